#pragma once

#include "framework/dialog.h"

namespace brevix::ui {

// The About box: names the program, its build and what it rests on. No behaviour beyond
// being shown and closed (OK, Enter, Escape, close box).
class AboutBox : public framework::Dialog {
public:
    AboutBox();
};

}  // namespace brevix::ui
