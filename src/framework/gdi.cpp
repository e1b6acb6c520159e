#include "framework/gdi.h"

#include "framework/application.h"

namespace brevix::framework {

Icon::Icon(int resource_id, int width, int height)
    : icon_(static_cast<HICON>(LoadImageA(Application::instance(), MAKEINTRESOURCEA(resource_id),
                                          IMAGE_ICON, width, height, LR_DEFAULTCOLOR))) {}

}  // namespace brevix::framework
