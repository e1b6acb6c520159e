// UTF-8 text and paths for the wide Windows API, as the encoder takes them (its command line
// and messages are UTF-8). Kept apart from files.h: the front end, whose texts are in the
// ANSI code page, links none of this. Wide text is a zero-terminated vector here too, as in
// files.h: std::wstring would bring the library's whole wide string (some 35 KiB) into the
// encoder.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace brevix::win32 {

// Zero-terminated UTF-16.
std::vector<wchar_t> utf8_to_wide(const std::string& text);
std::string wide_to_utf8(const wchar_t* text, std::size_t length);
std::string wide_to_utf8(const wchar_t* text);  // zero-terminated

// A path as the wide file API takes it (zero-terminated): made full and given the prefix
// that lifts the 260-character limit (device names such as NUL stay as they are).
std::vector<wchar_t> system_path(const std::string& path);

}  // namespace brevix::win32
