// The few operating-system services the program needs, implemented once for POSIX
// (platform_posix.cpp) and once for Windows (platform_win32.cpp). Paths are UTF-8 on
// every platform; the Windows side converts them for the wide file API.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "program/progress.h"

namespace brevix::mp4 {

// The program's arguments, without the program name, in UTF-8 (on Windows read from the
// UTF-16 command line, so every file name Windows allows arrives intact).
std::vector<std::string> command_line_arguments(int argc, char** argv);

// What an output path names, found before anything is encoded.
struct OutputTarget {
    enum Kind {
        kNewFile,      // nothing yet, in an existing folder
        kRegularFile,  // a file that may be replaced
        kDevice,       // a device, pipe or socket: written to directly
        kFolder,
        kMissingFolder,  // the folder it would go into does not exist
        kReadOnly,
        kNameTooLong,
        kUnreachable  // any other failure; `reason` holds the system's words
    };
    std::string path;  // a symbolic link's final target; the path itself otherwise
    Kind kind = kUnreachable;
    std::string reason;
};
OutputTarget find_output_target(const std::string& path);

struct OpenedFile {
    enum Problem { kNone, kBusy, kNoReader, kInTheWay, kFailed };
    std::FILE* file = nullptr;  // set when problem is kNone
    Problem problem = kFailed;
    std::string reason;  // the system's words for kFailed; what is there for kInTheWay

    static OpenedFile in_the_way(std::string what) {
        OpenedFile result;
        result.problem = kInTheWay;
        result.reason = std::move(what);
        return result;
    }
};

// Opens an existing device or pipe for writing, without creating or truncating anything.
// kNoReader: a pipe that nobody reads (writing would wait for ever).
OpenedFile open_device(const std::string& path);

// Creates the temporary file `path`, or takes over one a dead run left behind, and holds
// an exclusive lock on it for as long as it is open: a run never touches a temporary
// that another live run is writing (kBusy). Anything else at that name (a link, a second
// name of a file, a pipe, a folder) is left as it is (kInTheWay).
OpenedFile open_temporary(const std::string& path);

// Moves the complete temporary file onto `target`, which keeps the permissions (mode or
// attributes) of the file it replaces, less set-user-ID and set-group-ID, then closes it. On
// failure fills `error` and removes the temporary file.
bool commit_temporary(std::FILE* file, const std::string& path, const std::string& target,
                      std::string* error);

// Removes the temporary file while its lock is still held, then closes it.
void discard_temporary(std::FILE* file, const std::string& path);

// True when both paths name the same existing file (on Windows also two spellings of one
// full path that names nothing yet).
bool same_file(const std::string& a, const std::string& b);

// Writes a message for the person at the console (stderr), in their console's characters.
void write_console_text(const std::string& text);

// Ctrl+C / termination requests set a flag instead of killing the process, so the
// encoder can stop cleanly and remove its temporary file.
void install_interrupt_handler();
bool interrupt_requested();

// Progress reporter for the window given with -wn; nullptr where windows do not exist.
std::unique_ptr<ProgressReporter> make_window_progress(std::int32_t window);

}  // namespace brevix::mp4
