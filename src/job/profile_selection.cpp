#include "job/profile_selection.h"

#include <array>

#include "job/bitrate_list.h"

namespace brevix::job {

void on_profile_clicked(JobState& state, MainView& view) {
    constexpr std::array<int, 3> kButtons{kMainButton, kLcButton, kSsrButton};
    int chosen = 0;
    for (const int button : kButtons) {
        if (view.is_checked(button)) {
            chosen = button;
            break;
        }
    }
    if (chosen == 0) {
        return;  // cannot happen with an automatic radio group; keep the old choice
    }
    state.profile_selector = chosen;
    for (const int button : kButtons) {
        if (button != chosen) {
            view.set_check(button, false);
        }
    }
    refill_bitrate_list(state, view);
}

}  // namespace brevix::job
