#include "win32/utf8_paths.h"

#include <cwchar>

#include "win32/files.h"

namespace brevix::win32 {
namespace {

bool starts_with(const std::vector<wchar_t>& text, const wchar_t* prefix) {
    return std::wcsncmp(text.data(), prefix, std::wcslen(prefix)) == 0;
}

// prefix followed by text from its index `from` on, zero-terminated.
std::vector<wchar_t> prefixed(const wchar_t* prefix, const std::vector<wchar_t>& text,
                              std::size_t from) {
    std::vector<wchar_t> result(prefix, prefix + std::wcslen(prefix));
    result.insert(result.end(), text.begin() + static_cast<std::ptrdiff_t>(from), text.end());
    return result;
}

}  // namespace

std::vector<wchar_t> utf8_to_wide(const std::string& text) {
    return widen(text, CP_UTF8);
}

std::string wide_to_utf8(const wchar_t* text, std::size_t length) {
    const int count = static_cast<int>(length);
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, count, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, count, &result[0], n, nullptr, nullptr);
    return result;
}

std::string wide_to_utf8(const wchar_t* text) {
    return wide_to_utf8(text, std::wcslen(text));
}

std::vector<wchar_t> system_path(const std::string& path) {
    const std::vector<wchar_t> wide = utf8_to_wide(path);
    const DWORD size = GetFullPathNameW(wide.data(), 0, nullptr, nullptr);
    if (size == 0) {
        return wide;
    }
    std::vector<wchar_t> full(size, L'\0');
    const DWORD length = GetFullPathNameW(wide.data(), size, full.data(), nullptr);
    if (length == 0 || length >= size) {
        return wide;
    }
    full.resize(length + 1);  // the terminator the call wrote
    if (starts_with(full, L"\\\\?\\") || starts_with(full, L"\\\\.\\")) {
        return full;
    }
    if (starts_with(full, L"\\\\")) {
        return prefixed(L"\\\\?\\UNC\\", full, 2);
    }
    return prefixed(L"\\\\?\\", full, 0);
}

}  // namespace brevix::win32
