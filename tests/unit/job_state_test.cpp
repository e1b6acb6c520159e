#include "job/job_state.h"

#include <gtest/gtest.h>

namespace brevix::job {
namespace {

TEST(JobState, StartsWithNoSourceNoBitRateAndEmptyBuffers) {
    const JobState& s = job_state();
    EXPECT_EQ(s.source_loaded, 0);
    EXPECT_EQ(s.channel_mode, 0);
    EXPECT_EQ(s.profile_selector, 0);
    EXPECT_EQ(s.bitrate_index, -1);
    EXPECT_EQ(s.total_bitrate, 0);
    EXPECT_EQ(s.input_path[0], '\0');
    EXPECT_EQ(s.output_path[0], '\0');
    EXPECT_EQ(s.command[0], '\0');
    EXPECT_EQ(&job_state(), &s) << "one process-wide instance";
}

}  // namespace
}  // namespace brevix::job
