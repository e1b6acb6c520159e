#include "support/paths.h"

#include <vector>

#include "support/win.h"

namespace brevix::e2e {

namespace {

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

std::string folder_of(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    if (slash == std::string::npos)
        return ".";
    return path.substr(0, slash);
}

std::string join(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    const char last = folder.back();
    return last == '\\' || last == '/' ? folder + name : folder + "\\" + name;
}

std::string driver_folder() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return ".";
        if (n < buffer.size())
            return folder_of(std::string(buffer.data(), n));
        buffer.resize(buffer.size() * 2);
    }
}

std::string built_program() {
    return full_path(join(driver_folder(), BREVIX_E2E_PROGRAM));
}

std::string probe_dll() {
    return join(driver_folder(), "brevix_probe.dll");
}

std::string test_encoder_program() {
    return join(driver_folder(), "fake_mp4.exe");
}

std::string screenshot_folder() {
    const std::string folder = full_path(join(driver_folder(), BREVIX_E2E_SCREENSHOTS));
    CreateDirectoryA(folder.c_str(), nullptr);  // fails harmlessly when it exists
    return folder;
}

}  // namespace brevix::e2e
