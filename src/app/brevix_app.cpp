#include "app/brevix_app.h"

#include "job/job_state.h"
#include "ui/main_window.h"

namespace brevix::app {

void BrevixApp::init_instance() {
    job::job_state();  // the job record exists, with its start values, before any window

    ui::MainWindow main_window;
    main_window.do_modal(nullptr);
}

}  // namespace brevix::app
