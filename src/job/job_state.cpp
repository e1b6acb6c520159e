#include "job/job_state.h"

namespace brevix::job {

JobState& job_state() {
    static JobState state;
    return state;
}

}  // namespace brevix::job
