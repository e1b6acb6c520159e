#include <fcntl.h>
#include <io.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "program/platform.h"
#include "win32/files.h"  // the Windows headers, before the one below needs them
#include "win32/utf8_paths.h"

#include <shellapi.h>

namespace brevix::mp4 {
namespace {

volatile LONG g_interrupted = 0;

BOOL WINAPI on_console_event(DWORD) {
    InterlockedExchange(&g_interrupted, 1);
    return TRUE;  // handled: the encoder stops at the next block and cleans up
}

std::string last_error_text(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string result = length > 0 && text != nullptr ? win32::wide_to_utf8(text, length)
                                                       : "error " + std::to_string(code);
    if (text != nullptr) {
        LocalFree(text);
    }
    while (!result.empty() &&
           (result.back() == '\n' || result.back() == '\r' || result.back() == '.')) {
        result.pop_back();
    }
    return result;
}

using win32::Handle;

// Hands the file over to the C runtime's stream; the handle owns nothing afterwards.
OpenedFile opened(Handle& handle) {
    OpenedFile result;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle.value), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        result.reason = "cannot open a file descriptor";
        return result;
    }
    handle.value = INVALID_HANDLE_VALUE;  // the descriptor owns it now
    result.file = _fdopen(fd, "wb");
    if (result.file == nullptr) {
        _close(fd);
        result.reason = "cannot open a stream";
        return result;
    }
    result.problem = OpenedFile::kNone;
    return result;
}

OpenedFile failed(DWORD code) {
    OpenedFile result;
    result.problem = code == ERROR_SHARING_VIOLATION ? OpenedFile::kBusy : OpenedFile::kFailed;
    result.reason = last_error_text(code);
    return result;
}

}  // namespace

std::vector<std::string> command_line_arguments(int, char**) {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; words != nullptr && i < count; ++i) {
        args.push_back(win32::wide_to_utf8(words[i]));
    }
    LocalFree(words);
    return args;
}

OutputTarget find_output_target(const std::string& path) {
    OutputTarget target;
    target.path = path;
    const std::vector<wchar_t> name = win32::system_path(path);
    const std::size_t length = name.size() - 1;  // without the terminator
    std::size_t name_start = length;             // after the last separator
    while (name_start > 0 && name[name_start - 1] != L'\\' && name[name_start - 1] != L'/') {
        --name_start;
    }
    if (length - name_start > 255) {
        target.kind = OutputTarget::kNameTooLong;
        return target;
    }
    Handle h(win32::open_for_information(name.data()));
    if (!h.valid()) {
        const DWORD error = GetLastError();
        std::vector<wchar_t> folder(name.begin(),
                                    name.begin() + static_cast<std::ptrdiff_t>(name_start));
        folder.push_back(L'\0');
        const DWORD attributes = GetFileAttributesW(folder.data());
        if (error == ERROR_FILENAME_EXCED_RANGE) {
            target.kind = OutputTarget::kNameTooLong;
        } else if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            target.reason = last_error_text(error);
        } else if (attributes == INVALID_FILE_ATTRIBUTES ||
                   (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            target.kind = OutputTarget::kMissingFolder;
        } else {
            target.kind = OutputTarget::kNewFile;
        }
        return target;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(h.value) != FILE_TYPE_DISK) {
        target.kind = OutputTarget::kDevice;
    } else if (!GetFileInformationByHandle(h.value, &info)) {
        target.reason = last_error_text(GetLastError());
    } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        target.kind = OutputTarget::kFolder;
    } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        target.kind = OutputTarget::kReadOnly;
    } else {
        target.kind = OutputTarget::kRegularFile;
        // A symbolic link stays: what it points at receives the output.
        const DWORD own = GetFileAttributesW(name.data());
        if (own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            std::vector<wchar_t> final_path(32768, L'\0');
            const DWORD final_length =
                GetFinalPathNameByHandleW(h.value, final_path.data(), 32768, 0);
            if (final_length > 0 && final_length < 32768) {
                target.path = win32::wide_to_utf8(final_path.data(), final_length);
            }
        }
    }
    return target;
}

OpenedFile open_device(const std::string& path) {
    Handle h(CreateFileW(win32::system_path(path).data(), GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    return h.valid() ? opened(h) : failed(GetLastError());
}

OpenedFile open_temporary(const std::string& path) {
    const std::vector<wchar_t> name = win32::system_path(path);
    // Shared for deletion only: no other run can open it while this one writes, and it
    // can still be renamed or removed through its name while open. A link is opened as
    // itself, never followed.
    Handle h(CreateFileW(name.data(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!h.valid()) {
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesW(name.data());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                   ? OpenedFile::in_the_way("a folder")
                   : failed(error);
    }
    // Only a plain file with no other name can be one a killed run left behind.
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(h.value) != FILE_TYPE_DISK) {
        return OpenedFile::in_the_way("a device");
    }
    if (!GetFileInformationByHandle(h.value, &info)) {
        return failed(GetLastError());
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return OpenedFile::in_the_way("a symbolic link");
    }
    if (info.nNumberOfLinks > 1) {
        return OpenedFile::in_the_way("another name of a file (a hard link)");
    }
    if (!SetEndOfFile(h.value)) {
        return failed(GetLastError());
    }
    return opened(h);
}

bool commit_temporary(std::FILE* file, const std::string& path, const std::string& target,
                      std::string* error) {
    const std::vector<wchar_t> from = win32::system_path(path);
    const std::vector<wchar_t> to = win32::system_path(target);
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                       FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD existing = GetFileAttributesW(to.data());
    // Moved while still open, so no other run can take it for a stale temporary.
    if (!MoveFileExW(from.data(), to.data(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *error = last_error_text(GetLastError());
        discard_temporary(file, path);
        return false;
    }
    if (existing != INVALID_FILE_ATTRIBUTES) {
        SetFileAttributesW(to.data(),
                           (existing & kept) != 0 ? existing & kept : FILE_ATTRIBUTE_NORMAL);
    }
    if (std::fclose(file) != 0) {
        *error = "cannot close the file";
        return false;
    }
    return true;
}

void discard_temporary(std::FILE* file, const std::string& path) {
    DeleteFileW(win32::system_path(path).data());  // takes effect when it is closed
    std::fclose(file);
}

bool same_file(const std::string& a, const std::string& b) {
    return win32::same_file(win32::system_path(a).data(), win32::system_path(b).data());
}

void write_console_text(const std::string& text) {
    // A console shows UTF-16; a pipe or file receives the UTF-8 bytes.
    const HANDLE out = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode)) {
        const std::vector<wchar_t> wide = win32::utf8_to_wide(text);
        DWORD written = 0;
        WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size() - 1), &written, nullptr);
    } else {
        std::fputs(text.c_str(), stderr);
        std::fflush(stderr);
    }
}

void install_interrupt_handler() {
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

bool interrupt_requested() {
    return InterlockedCompareExchange(&g_interrupted, 0, 0) != 0;
}

}  // namespace brevix::mp4
