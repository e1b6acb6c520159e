// The AAC profile radio buttons (Main, LC, SSR).
#pragma once

#include "job/job_state.h"
#include "job/main_view.h"

namespace brevix::job {

// A profile button was clicked. The buttons form an automatic group, so the clicked one is
// already the only checked one: the choice is read from the check states, not from the
// button that reported the click. Every click refills the bit-rate list, which returns it
// to the recommended rate when a source is loaded.
void on_profile_clicked(JobState& state, MainView& view);

}  // namespace brevix::job
