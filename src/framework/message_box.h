#pragma once

#include <string>

#include "framework/win.h"

namespace brevix::framework {

// A modal message box owned by `owner`. An empty caption shows the application name.
int message_box(HWND owner, const std::string& text, const std::string& caption = {},
                UINT type = MB_OK);

}  // namespace brevix::framework
