// One running copy of the program under test. Each test starts its own instance and the
// destructor ends it if the test did not (the process is terminated, so a failing test
// never leaves a window behind for the next one).
#pragma once

#include <memory>
#include <string>

#include "support/paths.h"
#include "support/probe.h"
#include "support/wait.h"
#include "support/win.h"

namespace brevix::e2e {

inline constexpr char kMainCaption[] = "Quanor MPEG-4 Brevix 1.0 (Alpha 2)";
inline constexpr char kAboutCaption[] = "About Quanor MPEG-4 Encoder";
inline constexpr char kDialogClass[] = "#32770";

struct Launch {
    std::string program = built_program();  // the executable to start
    std::string folder;                     // working folder; empty: the program's folder
    std::string arguments;                  // appended to the quoted program path
};

class App {
public:
    explicit App(const Launch& launch = {});
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    DWORD process_id() const { return process_id_; }
    HANDLE process() const { return process_; }
    bool running() const;
    // Waits for the process to end; true when it did.
    bool wait_for_exit(DWORD timeout_ms = kTimeoutMs);
    // The exit code once the process has ended (STILL_ACTIVE before).
    DWORD exit_code() const;

    // The main window, once it is shown and its thread answers messages (nullptr when it
    // did not appear in time). The first call waits; later calls return the same window.
    HWND main_window();
    // A visible dialog of this process with the given caption, waited for.
    HWND wait_for_dialog(const std::string& caption, DWORD timeout_ms = kTimeoutMs);
    // Waits until the window no longer exists or is hidden.
    bool wait_until_gone(HWND hwnd, DWORD timeout_ms = kTimeoutMs);

    // The in-process probe, installed on the main window's thread at first use.
    Probe& probe();
    // Returns once the program's UI thread has taken every message posted to it so far.
    bool settle();

    // The program's visible windows, for failure messages.
    std::string describe_windows() const;

private:
    HANDLE process_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD process_id_ = 0;
    HWND main_window_ = nullptr;
    std::unique_ptr<Probe> probe_;
};

// A folder of its own for a test (below the system's temporary folder), removed with
// everything in it when the test ends. Later tests put a copy of the program and a
// stand-in encoder here.
class TestFolder {
public:
    TestFolder();
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return join(path_, name); }
    // Copies a file into the folder under the given name; true on success.
    bool copy_in(const std::string& source, const std::string& name) const;
    bool write(const std::string& name, const std::string& bytes) const;
    // Creates a folder inside this one; true when it exists afterwards.
    bool make_folder(const std::string& name) const;

private:
    std::string path_;
};

}  // namespace brevix::e2e
