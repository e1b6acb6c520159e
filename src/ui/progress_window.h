#pragma once

#include "framework/controls.h"
#include "framework/dialog.h"

namespace brevix::ui {

// The small window shown while the encoder runs: a looping animation, a status line and
// a progress bar that the encoder itself writes (it gets this window's handle on its
// command line). It closes on WM_CLOSE (sent by the encoder when it is done), Enter or
// Escape; closing it never stops the encoder.
class ProgressWindow : public framework::Dialog {
public:
    ProgressWindow();

protected:
    void do_data_exchange() override;
    bool on_init_dialog() override;
    bool dispatch(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR& result) override;

private:
    INT_PTR on_close(WPARAM, LPARAM);
    // Starts the encoder; false (after telling the user why) when it could not be started.
    bool start_encoder();

    framework::AnimateCtrl animation_;

    friend struct ProgressWindowRoutes;
};

}  // namespace brevix::ui
