#include "ui/about_box.h"

#include "res/resource.h"

namespace brevix::ui {

AboutBox::AboutBox() : Dialog(IDD_ABOUTBOX) {}

}  // namespace brevix::ui
