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

namespace {

// Looks every tenth of a second whether the encoder has ended.
constexpr UINT_PTR kEncoderWatch = 1;
constexpr UINT kEncoderWatchMs = 100;

}  // namespace

struct ProgressWindowRoutes {
    static constexpr Route<ProgressWindow> table[] = {
        on_message<ProgressWindow>(WM_CLOSE, &ProgressWindow::on_close),
        on_message<ProgressWindow>(WM_TIMER, &ProgressWindow::on_timer),
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

// An encoder that closes the window posts WM_CLOSE before it ends, and posted messages
// come before timer messages: so the window is still open here only when the encoder
// ended without closing it.
INT_PTR ProgressWindow::on_timer(WPARAM timer, LPARAM) {
    if (timer != kEncoderWatch || WaitForSingleObject(encoder_.value, 0) != WAIT_OBJECT_0)
        return TRUE;
    KillTimer(hwnd(), kEncoderWatch);
    DWORD status = 0;
    if (GetExitCodeProcess(encoder_.value, &status) && status != 0)
        encoder_failure_ = status;
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
    // Started hidden, as WinExec would; a program given by bare name is looked for in this
    // program's folder first.
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, state.command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        const DWORD error = GetLastError();
        const bool not_a_program = error == ERROR_BAD_EXE_FORMAT || error == ERROR_BAD_FORMAT ||
                                   error == ERROR_EXE_MACHINE_TYPE_MISMATCH;
        framework::message_box(hwnd(),
                               not_a_program
                                   ? "The encoder mp4.exe could not be started: the mp4.exe "
                                     "found is not a program that Windows can run. Put the "
                                     "mp4.exe that came with this program beside it."
                                   : "The encoder mp4.exe could not be started. It must be in "
                                     "the same folder as this program.",
                               {}, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    CloseHandle(process.hThread);
    encoder_.value = process.hProcess;
    SetTimer(hwnd(), kEncoderWatch, kEncoderWatchMs, nullptr);
    return true;
}

}  // namespace brevix::ui
