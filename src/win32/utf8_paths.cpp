#include "win32/utf8_paths.h"

#include <vector>

#include "win32/files.h"

namespace brevix::win32 {

std::wstring utf8_to_wide(const std::string& text) {
    const std::vector<wchar_t> wide = widen(text, CP_UTF8);
    return std::wstring(wide.data(), wide.size() - 1);
}

std::string wide_to_utf8(const std::wstring& text) {
    const int length = static_cast<int>(text.size());
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &result[0], n, nullptr, nullptr);
    return result;
}

std::wstring system_path(const std::string& path) {
    const std::wstring wide = utf8_to_wide(path);
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return wide;
    }
    std::wstring full(size, L'\0');
    full.resize(GetFullPathNameW(wide.c_str(), size, &full[0], nullptr));
    if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) {
        return full;
    }
    if (full.rfind(L"\\\\", 0) == 0) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

}  // namespace brevix::win32
