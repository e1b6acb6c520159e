#include "framework/application.h"

#include <vector>

#include "framework/message_box.h"

namespace brevix::framework {

namespace {

std::string module_file_name() {
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size())
            return std::string(path.data(), n);
        path.resize(path.size() * 2);  // truncated: try again with more room
    }
}

std::string name_without_extension(const std::string& path) {
    const auto slash = path.find_last_of("\\/:");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    return name;
}

}  // namespace

HINSTANCE Application::instance() {
    return GetModuleHandleA(nullptr);
}

const std::string& Application::name() {
    static const std::string name = name_without_extension(module_file_name());
    return name;
}

int Application::run() {
    try {
        init_instance();
        return 0;
    } catch (...) {
        report_exception(nullptr);  // start-up failed outside any window
        return 1;
    }
}

}  // namespace brevix::framework
