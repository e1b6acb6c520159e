// The test encoder, a stand-in for mp4.exe: what it records in mp4_runs.log and how it
// answers the progress window are described in tests/e2e/README.md ("The test encoder").
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "res/resource.h"

int main() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length < MAX_PATH ? length : 0);
    folder.erase(folder.find_last_of('\\') + 1);

    const char* command = GetCommandLineA();
    const char* number = std::strstr(command, " -wn ");
    HWND window =
        number == nullptr
            ? nullptr
            : reinterpret_cast<HWND>(static_cast<INT_PTR>(std::strtol(number + 5, nullptr, 10)));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    char window_class[64] = {};
    const int class_length = GetClassNameA(window, window_class, sizeof window_class);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    HWND bar = GetDlgItem(window, IDC_PROGRESS_BAR);
    HWND status = GetDlgItem(window, IDC_STATUS_LINE);
    char status_text[128] = {};
    GetWindowTextA(status, status_text, sizeof status_text);

    std::ofstream(folder + "mp4_runs.log", std::ios::app | std::ios::binary)
        << "show=" << ((startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1)
        << " window=" << std::string(window_class, class_length > 0 ? class_length : 0)
        << " owner=" << reinterpret_cast<UINT_PTR>(GetWindow(window, GW_OWNER))
        << " process=" << process << " bar=" << SendMessageA(bar, PBM_GETPOS, 0, 0) << "/"
        << SendMessageA(bar, PBM_GETRANGE, FALSE, 0) << " status=[" << status_text
        << "] cmd=" << command << "\n";

    SendMessageA(bar, PBM_SETPOS, 60, 0);
    SetWindowTextA(status, "Test encoder: 60%");
    // mp4_exit beside it: end at once with the status it holds, leaving the window open.
    const std::string exit_file = folder + "mp4_exit";
    if (GetFileAttributesA(exit_file.c_str()) != INVALID_FILE_ATTRIBUTES) {
        int exit_status = 0;
        std::ifstream(exit_file) >> exit_status;
        return exit_status;
    }
    const std::string hold = folder + "mp4_hold";
    if (GetFileAttributesA(hold.c_str()) == INVALID_FILE_ATTRIBUTES) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    }
    for (int i = 0; i < 3000 && GetFileAttributesA(hold.c_str()) != INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(20);  // at most a minute, so that a forgotten hold does not linger
    std::ofstream(folder + "mp4_runs.log", std::ios::app | std::ios::binary) << "released\n";
    return 0;
}
