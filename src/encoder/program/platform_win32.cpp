#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <string>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "program/platform.h"

namespace brevix::mp4 {
namespace {

volatile LONG g_interrupted = 0;

BOOL WINAPI on_console_event(DWORD) {
    InterlockedExchange(&g_interrupted, 1);
    return TRUE;  // handled: the encoder stops at the next block and cleans up
}

std::string last_error_text(DWORD code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result =
        length > 0 && text != nullptr ? std::string(text, length) : "error " + std::to_string(code);
    if (text != nullptr) {
        LocalFree(text);
    }
    while (!result.empty() &&
           (result.back() == '\n' || result.back() == '\r' || result.back() == '.')) {
        result.pop_back();
    }
    return result;
}

// Identity of an existing file: volume serial number and file index.
bool file_identity(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    const BOOL ok = GetFileInformationByHandle(h, info);
    CloseHandle(h);
    return ok != FALSE;
}

}  // namespace

std::FILE* create_new_file(const std::string& path) {
    const int fd =
        _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) {
        const int error = errno;
        _close(fd);
        _unlink(path.c_str());
        errno = error;
    }
    return file;
}

bool seek_file(std::FILE* file, std::uint64_t offset) {
    return _fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
}

bool seek_file_end(std::FILE* file) {
    return _fseeki64(file, 0, SEEK_END) == 0;
}

bool replace_file(const std::string& from, const std::string& to, std::string* error) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    *error = last_error_text(GetLastError());
    return false;
}

bool same_file(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION ia{};
    BY_HANDLE_FILE_INFORMATION ib{};
    if (!file_identity(a, &ia) || !file_identity(b, &ib)) {
        return false;
    }
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

int process_id() {
    return _getpid();
}

void install_interrupt_handler() {
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

bool interrupt_requested() {
    return InterlockedCompareExchange(&g_interrupted, 0, 0) != 0;
}

}  // namespace brevix::mp4
