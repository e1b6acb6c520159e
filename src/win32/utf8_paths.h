// UTF-8 text and paths for the wide Windows API, as the encoder takes them (its command line
// and messages are UTF-8). Kept apart from files.h: the front end, whose texts are in the
// ANSI code page, links none of this.
#pragma once

#include <string>

namespace brevix::win32 {

std::wstring utf8_to_wide(const std::string& text);
std::string wide_to_utf8(const std::wstring& text);

// A path as the wide file API takes it: made full and given the prefix that lifts the
// 260-character limit (device names such as NUL stay as they are).
std::wstring system_path(const std::string& path);

}  // namespace brevix::win32
