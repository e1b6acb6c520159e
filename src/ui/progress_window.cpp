#include "ui/progress_window.h"

#include <cstdint>
#include <string>

#include "framework/message_box.h"
#include "framework/system_library.h"
#include "job/job_state.h"
#include "launch/command.h"
#include "res/resource.h"

namespace brevix::ui {

using framework::on_message;
using framework::Route;

struct ProgressWindowRoutes {
    static constexpr Route<ProgressWindow> table[] = {
        on_message<ProgressWindow>(WM_CLOSE, &ProgressWindow::on_close),
    };
};

ProgressWindow::ProgressWindow() : Dialog(IDD_PROGRESS) {
    // The animation and the progress bar are common controls, registered on first use.
    framework::register_common_controls(ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS);
}

void ProgressWindow::do_data_exchange() {
    bind(IDC_ANIMATION, animation_);
}

bool ProgressWindow::on_init_dialog() {
    animation_.open(IDR_ANIMATION);  // auto-play: it loops from now on
    if (!start_encoder())
        end_dialog(IDCANCEL);
    return true;
}

bool ProgressWindow::dispatch(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR& result) {
    return route(*this, ProgressWindowRoutes::table, message, wparam, lparam, result);
}

INT_PTR ProgressWindow::on_close(WPARAM, LPARAM) {
    end_dialog(IDCANCEL);
    return TRUE;
}

bool ProgressWindow::start_encoder() {
    job::JobState& state = job::job_state();
    // The encoder gets the handle's 32-bit value; handles of this 32-bit program fit.
    const auto handle = reinterpret_cast<std::intptr_t>(hwnd());
    const launch::ComposeStatus status = launch::compose_command(state, handle);
    if (status != launch::ComposeStatus::kOk) {
        framework::message_box(hwnd(), launch::compose_failure_message(status), {},
                               MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    // WinExec looks for a program given by bare name in this program's folder first.
    if (WinExec(state.command.data(), SW_HIDE) <= 31) {
        framework::message_box(hwnd(),
                               "The encoder mp4.exe could not be started. It must be in the "
                               "same folder as this program.",
                               {}, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    return true;
}

}  // namespace brevix::ui
