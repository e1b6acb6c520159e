#pragma once

#include <optional>
#include <string>

#include "framework/win.h"

namespace brevix::framework {

// The platform's modal open and save dialogs. `filter` separates descriptions and
// patterns with '|' and ends with '|', e.g. "Wave files (*.wav)|*.wav|". The save dialog
// appends `default_extension` to a name typed without one. Returns the full path name, or
// nothing when the user cancels.
std::optional<std::string> ask_open_file(HWND owner, const std::string& filter);
std::optional<std::string> ask_save_file(HWND owner, const std::string& filter,
                                         const std::string& default_extension);

}  // namespace brevix::framework
