#include "framework/file_dialog.h"

#include <algorithm>
#include <vector>

#include "framework/system_library.h"

namespace brevix::framework {

namespace {

// Room for paths longer than the job's own buffers, so that an overlong choice reaches
// the handlers (which refuse it with a message) instead of failing silently here.
constexpr size_t kPathRoom = 4096;

std::optional<std::string> run_file_dialog(bool open, HWND owner, const std::string& filter,
                                           const std::string& default_extension) {
    // The dialog wants the pairs separated by NULs and the list ended by two NULs.
    std::string pairs = filter;
    std::replace(pairs.begin(), pairs.end(), '|', '\0');
    pairs.push_back('\0');

    std::vector<char> path(kPathRoom, '\0');
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = pairs.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path.data();
    ofn.nMaxFile = static_cast<DWORD>(path.size());
    ofn.lpstrDefExt = default_extension.empty() ? nullptr : default_extension.c_str();
    ofn.Flags = OFN_EXPLORER;

    // The common dialog library brings the shell's libraries with it: loaded on first use.
    static const SystemLibrary library("comdlg32.dll");
    using Function = BOOL(WINAPI*)(OPENFILENAMEA*);
    const auto show = library.function<Function>(open ? "GetOpenFileNameA" : "GetSaveFileNameA");
    if (show == nullptr || !show(&ofn))
        return std::nullopt;
    return std::string(path.data());
}

}  // namespace

std::optional<std::string> ask_open_file(HWND owner, const std::string& filter) {
    return run_file_dialog(true, owner, filter, {});
}

std::optional<std::string> ask_save_file(HWND owner, const std::string& filter,
                                         const std::string& default_extension) {
    return run_file_dialog(false, owner, filter, default_extension);
}

}  // namespace brevix::framework
