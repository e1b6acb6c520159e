// A stand-in for the encoder, used only by the end-to-end tests: they copy it as mp4.exe
// into a test folder next to a copy of brevix.exe (it is never placed next to the real
// program). It records how it was started and what it was given, checks the progress
// window whose handle follows -wn, moves its progress bar, writes its status line and
// closes it, as the real encoder does.
//
// Next to this program:
//   mp4_runs.log   one line is appended per start ("run ...") and one when it ends
//                  ("done ..."): tab-separated key=value fields.
//   mp4_mode.txt   optional: "hold" keeps the window open and waits until mp4_release
//                  exists, then ends without touching the window (so a test can close the
//                  window itself and see this program carry on); "wait" waits the same way
//                  and then closes the window as a normal run does (so a test can look at
//                  the window first); anything else, or no file, closes it at once.
//
// It is a console program, like the encoder it stands in for. That matters: the program
// starts the encoder with WinExec, which waits until a windowed program reads its first
// message (for up to 30 seconds) but not for a console program; a windowed stand-in that
// never reads messages would keep the program's window thread waiting that long.
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>

namespace {

// Longest wait for mp4_release: long enough for any test, short enough that a test that
// forgets to release does not leave a process behind for long.
constexpr int kHoldPolls = 600;
constexpr DWORD kHoldPollMs = 100;

std::string own_folder() {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n < MAX_PATH ? n : 0);
    const auto slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

std::string current_folder() {
    char path[MAX_PATH] = {};
    const DWORD n = GetCurrentDirectoryA(MAX_PATH, path);
    return std::string(path, n < MAX_PATH ? n : 0);
}

bool file_exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string read_small_file(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    char buffer[64] = {};
    DWORD got = 0;
    if (!ReadFile(file, buffer, sizeof buffer - 1, &got, nullptr))
        got = 0;
    CloseHandle(file);
    return std::string(buffer, got);
}

// Appends one line with a single write, so a reader never sees half a line.
void append_line(const std::string& path, const std::string& line) {
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const std::string text = line + "\r\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

// The number after "-wn " on the raw command line, as the program printed it: a signed
// 32-bit decimal.
HWND window_from_command_line(const std::string& command) {
    const auto at = command.find(" -wn ");
    if (at == std::string::npos)
        return nullptr;
    const long value = std::strtol(command.c_str() + at + 5, nullptr, 10);
    return reinterpret_cast<HWND>(static_cast<INT_PTR>(value));
}

std::string class_of(HWND window) {
    char name[64] = {};
    const int n = window != nullptr ? GetClassNameA(window, name, sizeof name) : 0;
    return std::string(name, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::string text_of(HWND window) {
    char text[256] = {};
    const int n = GetWindowTextA(window, text, sizeof text);
    return std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::string number(UINT_PTR value) {
    return std::to_string(static_cast<unsigned long long>(value));
}

// Tabs and line ends would break the log's fields; paths carry neither.
std::string field(std::string text) {
    for (char& c : text) {
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    }
    return text;
}

}  // namespace

int main() {
    const std::string folder = own_folder();
    const std::string log = folder + "mp4_runs.log";
    const std::string command = GetCommandLineA();

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    const bool show_given = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0;

    HWND window = window_from_command_line(command);
    const bool window_ok = window != nullptr && IsWindow(window);
    DWORD window_process = 0;
    if (window_ok)
        GetWindowThreadProcessId(window, &window_process);
    HWND progress = window_ok ? GetDlgItem(window, 1021) : nullptr;
    HWND status = window_ok ? GetDlgItem(window, 1025) : nullptr;
    const bool progress_ok = lstrcmpiA(class_of(progress).c_str(), PROGRESS_CLASSA) == 0;
    const bool status_ok = lstrcmpiA(class_of(status).c_str(), "Static") == 0;

    const std::string pid = std::to_string(GetCurrentProcessId());
    std::string line = "run\tpid=" + pid;
    line += "\tshow_given=" + std::string(show_given ? "1" : "0");
    line += "\tshow=" + std::to_string(show_given ? startup.wShowWindow : -1);
    line += "\twindow=" + std::string(window_ok ? "1" : "0");
    if (window_ok) {
        line += "\twindow_class=" + field(class_of(window));
        line += "\twindow_text=" + field(text_of(window));
        line += "\twindow_owner=" + number(reinterpret_cast<UINT_PTR>(GetWindow(window, GW_OWNER)));
        line += "\twindow_pid=" + std::to_string(window_process);
        line += "\tstatus_text=" + field(status_ok ? text_of(status) : std::string());
    }
    line += "\tprogress=" + std::string(progress_ok ? "1" : "0");
    if (progress_ok) {
        // What the bar showed before this program touched it.
        line += "\tprogress_pos=" + std::to_string(SendMessageA(progress, PBM_GETPOS, 0, 0));
        line += "\tprogress_high=" + std::to_string(SendMessageA(progress, PBM_GETRANGE, FALSE, 0));
    }
    line += "\tstatus=" + std::string(status_ok ? "1" : "0");
    line += "\tcwd=" + field(current_folder());
    line += "\targc=" + std::to_string(__argc);
    for (int i = 0; i < __argc; ++i)
        line += "\targ" + std::to_string(i) + "=" + field(__argv[i]);
    line += "\tcmd=" + field(command);
    append_line(log, line);

    if (progress_ok) {
        SendMessageA(progress, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        SendMessageA(progress, PBM_SETPOS, 60, 0);
    }
    if (status_ok)
        SetWindowTextA(status, "Test encoder: 60%");

    const std::string mode = read_small_file(folder + "mp4_mode.txt");
    const bool hold = mode.rfind("hold", 0) == 0;
    const bool wait = mode.rfind("wait", 0) == 0;
    if (hold || wait) {
        // Wait (bounded) until the test releases us; the window may be gone by then.
        for (int i = 0; i < kHoldPolls && !file_exists(folder + "mp4_release"); ++i)
            Sleep(kHoldPollMs);
    }
    if (!hold && window_ok && IsWindow(window))
        PostMessageA(window, WM_CLOSE, 0, 0);
    append_line(log, "done\tpid=" + pid +
                         "\twindow_alive=" + (window != nullptr && IsWindow(window) ? "1" : "0"));
    return 0;
}
