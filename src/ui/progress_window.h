#pragma once

#include <cstdint>
#include <optional>

#include "framework/controls.h"
#include "framework/dialog.h"
#include "win32/files.h"

namespace brevix::ui {

// The small window shown while the encoder runs: a looping animation, a status line and
// a progress bar that the encoder itself writes (it gets this window's handle on its
// command line). It closes on WM_CLOSE (sent by the encoder when it is done), Enter or
// Escape; closing it never stops the encoder. An encoder that ends without closing it
// (one that failed, crashed or was killed, or another maker's) closes it too.
class ProgressWindow : public framework::Dialog {
public:
    ProgressWindow();

    // After the modal run: the status of an encoder that ended while the window was open
    // with a status other than 0; nothing when it ended well or the window closed first.
    std::optional<std::uint32_t> encoder_failure() const { return encoder_failure_; }

protected:
    void do_data_exchange() override;
    bool on_init_dialog() override;
    bool dispatch(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR& result) override;

private:
    INT_PTR on_close(WPARAM, LPARAM);
    INT_PTR on_timer(WPARAM, LPARAM);
    // Starts the encoder; false (after telling the user why) when it could not be started.
    bool start_encoder();

    framework::AnimateCtrl animation_;
    win32::Handle encoder_{INVALID_HANDLE_VALUE};  // the encoder's process, once started
    std::optional<std::uint32_t> encoder_failure_;

    friend struct ProgressWindowRoutes;
};

}  // namespace brevix::ui
