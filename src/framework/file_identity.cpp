#include "framework/file_identity.h"

#include <vector>

#include "framework/win.h"

namespace brevix::framework {

namespace {

// An open file handle, closed with its owner.
class FileHandle {
public:
    explicit FileHandle(const std::string& path)
        : handle_(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)) {}
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool info(BY_HANDLE_FILE_INFORMATION& out) const {
        return handle_ != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle_, &out);
    }

private:
    HANDLE handle_;
};

std::string full_path(const std::string& path) {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()),
                                         buffer.data(), nullptr);
        if (n == 0)
            return path;
        if (n < buffer.size())
            return std::string(buffer.data(), n);
        buffer.resize(n + 1);
    }
}

}  // namespace

bool same_file(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION info_a{};
    BY_HANDLE_FILE_INFORMATION info_b{};
    const FileHandle file_a(a);
    const FileHandle file_b(b);
    if (file_a.info(info_a) && file_b.info(info_b)) {
        return info_a.dwVolumeSerialNumber == info_b.dwVolumeSerialNumber &&
               info_a.nFileIndexHigh == info_b.nFileIndexHigh &&
               info_a.nFileIndexLow == info_b.nFileIndexLow;
    }
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, full_path(a).c_str(), -1,
                          full_path(b).c_str(), -1) == CSTR_EQUAL;
}

}  // namespace brevix::framework
