#include "app/brevix_app.h"

#include "job/job_state.h"
#include "ui/main_window.h"

namespace brevix::app {

bool BrevixApp::init_instance() {
    // Register the common control classes the dialogs use (animation, progress bar) and
    // give the standard controls the current visual style.
    INITCOMMONCONTROLSEX classes{sizeof classes,
                                 ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&classes);

    job::job_state();  // the job record exists, with its start values, before any window

    ui::MainWindow main_window;
    main_window.do_modal(nullptr);
    return false;  // no message loop of our own: the program ends here
}

}  // namespace brevix::app
