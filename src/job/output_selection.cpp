#include "job/output_selection.h"

namespace brevix::job {

void select_output(MainView& view) {
    const std::optional<std::string> path =
        view.ask_save_path(kOutputDefaultExtension, kOutputFilter);
    if (path) {
        view.set_text(kOutputDisplay, *path);
    }
}

}  // namespace brevix::job
