// The few operating-system services the program needs, implemented once for POSIX
// (platform_posix.cpp) and once for Windows (platform_win32.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "program/progress.h"

namespace brevix::mp4 {

// Creates `path` for writing only if it does not exist yet. nullptr (errno set) otherwise.
std::FILE* create_new_file(const std::string& path);

// Moves the position of `file` to `offset` bytes from its start (64-bit on every
// platform). False on failure.
bool seek_file(std::FILE* file, std::uint64_t offset);
// Moves the position of `file` to its end. False on failure.
bool seek_file_end(std::FILE* file);

// Moves `from` onto `to`, replacing an existing `to` in one step. Fills `error` on failure.
bool replace_file(const std::string& from, const std::string& to, std::string* error);

// True when both paths name the same existing file.
bool same_file(const std::string& a, const std::string& b);

int process_id();

// Ctrl+C / termination requests set a flag instead of killing the process, so the
// encoder can stop cleanly and remove its temporary file.
void install_interrupt_handler();
bool interrupt_requested();

// Progress reporter for the window given with -wn; nullptr where windows do not exist.
std::unique_ptr<ProgressReporter> make_window_progress(std::int32_t window);

}  // namespace brevix::mp4
