// Win32 file services shared by both Windows programs: the front end, whose paths are in the
// ANSI code page, and the encoder, whose paths are UTF-8. Both hand this code wide paths.
// Wide text is kept in vectors: std::wstring would bring the library's whole wide string
// into the front end, a sixth of its size.
#pragma once

#include <string>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace brevix::win32 {

// Text in the given code page as zero-terminated UTF-16, for the wide API.
std::vector<wchar_t> widen(const std::string& text, UINT code_page);

// Owns a kernel handle and closes it; INVALID_HANDLE_VALUE for none.
struct Handle {
    explicit Handle(HANDLE h) : value(h) {}
    ~Handle() {
        if (valid())
            CloseHandle(value);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return value != INVALID_HANDLE_VALUE; }
    HANDLE value;
};

// Opens an existing file, folder or device for its information only (links followed),
// without keeping anyone else from opening, changing or deleting it.
HANDLE open_for_information(const wchar_t* path);

// Whether two paths name the same file. Existing files are compared by volume and file
// index, which sees through different spellings (case, doubled separators, short 8.3 names,
// "..", links); otherwise the full path names are compared without regard to case.
bool same_file(const wchar_t* a, const wchar_t* b);

}  // namespace brevix::win32
