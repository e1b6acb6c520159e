#include "win32/files.h"

#include <cwchar>

namespace brevix::win32 {
namespace {

// The path made full; the path itself when it cannot be. Zero-terminated.
std::vector<wchar_t> full_path(const wchar_t* path) {
    const DWORD size = GetFullPathNameW(path, 0, nullptr, nullptr);
    std::vector<wchar_t> full(size + 1, L'\0');
    const DWORD n = size == 0 ? 0 : GetFullPathNameW(path, size, full.data(), nullptr);
    if (n == 0 || n >= size)
        return std::vector<wchar_t>(path, path + std::wcslen(path) + 1);
    return full;
}

}  // namespace

std::vector<wchar_t> widen(const std::string& text, UINT code_page) {
    const int length = static_cast<int>(text.size());
    std::vector<wchar_t> wide(text.size() + 1, L'\0');
    const int n = length == 0
                      ? 0
                      : MultiByteToWideChar(code_page, 0, text.data(), length, wide.data(), length);
    wide.resize(static_cast<std::size_t>(n > 0 ? n : 0) + 1);
    return wide;
}

HANDLE open_for_information(const wchar_t* path) {
    return CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool same_file(const wchar_t* a, const wchar_t* b) {
    const Handle file_a(open_for_information(a));
    const Handle file_b(open_for_information(b));
    BY_HANDLE_FILE_INFORMATION info_a{};
    BY_HANDLE_FILE_INFORMATION info_b{};
    if (file_a.valid() && file_b.valid() && GetFileInformationByHandle(file_a.value, &info_a) &&
        GetFileInformationByHandle(file_b.value, &info_b)) {
        return info_a.dwVolumeSerialNumber == info_b.dwVolumeSerialNumber &&
               info_a.nFileIndexHigh == info_b.nFileIndexHigh &&
               info_a.nFileIndexLow == info_b.nFileIndexLow;
    }
    return CompareStringOrdinal(full_path(a).data(), -1, full_path(b).data(), -1, TRUE) ==
           CSTR_EQUAL;
}

}  // namespace brevix::win32
