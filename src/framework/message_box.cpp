#include "framework/message_box.h"

#include <cstring>
#include <exception>
#include <new>

#include "framework/application.h"

namespace brevix::framework {

int message_box(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    const std::string& shown = caption.empty() ? Application::name() : caption;
    return MessageBoxA(owner, text.c_str(), shown.c_str(), type);
}

void report_exception(HWND owner) noexcept {
    // A failure that recurs while the box is up (a paint, a timer) is told only once.
    static bool reporting = false;
    if (reporting)
        return;
    reporting = true;
    const char* text = "This action could not be completed: an unexpected error occurred.";
    std::string detailed;
    try {
        throw;
    } catch (const std::bad_alloc&) {
        text =
            "This action could not be completed: there is not enough memory. Please close "
            "other programs and try again.";
    } catch (const std::exception& e) {
        try {  // the same sentence, with the exception's own words before its full stop
            detailed = std::string(text, std::strlen(text) - 1) + " (" + e.what() + ").";
            text = detailed.c_str();
        } catch (...) {
        }
    } catch (...) {
    }
    constexpr UINT kType = MB_OK | MB_ICONERROR;
    try {
        message_box(owner, text, {}, kType);
    } catch (...) {
        MessageBoxA(owner, text, nullptr, kType);  // no room even for the texts: a plain box
    }
    reporting = false;
}

}  // namespace brevix::framework
