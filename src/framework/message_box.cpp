#include "framework/message_box.h"

#include "framework/application.h"

namespace brevix::framework {

int message_box(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    const std::string& shown = caption.empty() ? Application::name() : caption;
    return MessageBoxA(owner, text.c_str(), shown.c_str(), type);
}

}  // namespace brevix::framework
