#include "support/app.h"

#include <stdexcept>
#include <vector>

#include "support/window.h"

namespace brevix::e2e {

App::App(const Launch& launch) {
    std::string command_line = "\"" + launch.program + "\"";
    if (!launch.arguments.empty())
        command_line += " " + launch.arguments;
    std::vector<char> writable(command_line.begin(), command_line.end());
    writable.push_back('\0');
    const std::string folder = launch.folder.empty() ? folder_of(launch.program) : launch.folder;

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(launch.program.c_str(), writable.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, folder.c_str(), &startup, &info))
        throw std::runtime_error("cannot start " + launch.program + " (error " +
                                 std::to_string(GetLastError()) + ")");
    process_ = info.hProcess;
    thread_ = info.hThread;
    process_id_ = info.dwProcessId;
}

App::~App() {
    probe_.reset();  // unhook before the process goes
    if (running()) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, kTimeoutMs);
    }
    CloseHandle(thread_);
    CloseHandle(process_);
}

bool App::running() const {
    return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool App::wait_for_exit(DWORD timeout_ms) {
    return WaitForSingleObject(process_, timeout_ms) == WAIT_OBJECT_0;
}

DWORD App::exit_code() const {
    DWORD code = 0;
    if (!GetExitCodeProcess(process_, &code))
        return STILL_ACTIVE;
    return code;
}

HWND App::main_window() {
    if (main_window_ != nullptr && IsWindow(main_window_))
        return main_window_;
    HWND found = nullptr;
    wait_until([&] {
        found = find_window(process_id_, kDialogClass, kMainCaption);
        return found != nullptr || !running();
    });
    if (found != nullptr && answers(found))
        main_window_ = found;
    return main_window_;
}

HWND App::wait_for_dialog(const std::string& caption, DWORD timeout_ms) {
    HWND found = nullptr;
    wait_until(
        [&] {
            found = find_window(process_id_, kDialogClass, caption);
            return found != nullptr || !running();
        },
        timeout_ms);
    return found;
}

bool App::wait_until_gone(HWND hwnd, DWORD timeout_ms) {
    return wait_until([&] { return !IsWindow(hwnd) || !IsWindowVisible(hwnd); }, timeout_ms);
}

Probe& App::probe() {
    if (!probe_) {
        HWND window = main_window();
        if (window == nullptr)
            throw std::runtime_error("no main window to probe");
        probe_ = std::make_unique<Probe>(process_id_, GetWindowThreadProcessId(window, nullptr));
    }
    return *probe_;
}

bool App::settle() {
    HWND window = main_window();
    return window != nullptr && probe().ping(window);
}

std::string App::describe_windows() const {
    std::string text =
        running() ? "program running, windows:\n"
                  : "program ended with code " + std::to_string(exit_code()) + ", windows:\n";
    return text + e2e::describe_windows(process_id_);
}

namespace {

void remove_tree(const std::string& folder) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(join(folder, "*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string path = join(folder, name);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_tree(path);
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

TestFolder::TestFolder() {
    char temp[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathA(sizeof temp, temp);
    const std::string base = n > 0 && n < sizeof temp ? std::string(temp, n) : ".\\";
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        const std::string candidate = join(
            base, "brevix_e2e_" + std::to_string(GetCurrentProcessId()) + "_" +
                      std::to_string(GetTickCount64() % 1000000) + "_" + std::to_string(attempt));
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a test folder below " + base);
}

TestFolder::~TestFolder() {
    remove_tree(path_);
}

bool TestFolder::copy_in(const std::string& source, const std::string& name) const {
    return CopyFileA(source.c_str(), file(name).c_str(), FALSE) != FALSE;
}

bool TestFolder::write(const std::string& name, const std::string& bytes) const {
    HANDLE handle = CreateFileA(file(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    CloseHandle(handle);
    return ok;
}

bool TestFolder::make_folder(const std::string& name) const {
    const std::string path = file(name);
    if (CreateDirectoryA(path.c_str(), nullptr))
        return true;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace brevix::e2e
