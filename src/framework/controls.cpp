#include "framework/controls.h"

#include <vector>

namespace brevix::framework {

std::string Window::text() const {
    const int length = GetWindowTextLengthA(hwnd_);
    if (length <= 0)
        return {};
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    const int copied = GetWindowTextA(hwnd_, buffer.data(), static_cast<int>(buffer.size()));
    return std::string(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

}  // namespace brevix::framework
