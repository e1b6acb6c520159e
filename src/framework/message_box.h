#pragma once

#include <string>

#include "framework/win.h"

namespace brevix::framework {

// A modal message box owned by `owner`. An empty caption shows the application name.
int message_box(HWND owner, const std::string& text, const std::string& caption = {},
                UINT type = MB_OK);

// Tells the user, in a message box owned by `owner`, that the exception being handled
// stopped what they asked for. Called only inside a catch block, where an exception must go
// no further (the system's callbacks); never throws, even when memory has run out.
void report_exception(HWND owner) noexcept;

}  // namespace brevix::framework
