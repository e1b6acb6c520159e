// The encoder's command line, composed from the job state.
#include "launch/command.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

namespace brevix::launch {
namespace {

using job::JobState;

JobState job(std::int32_t profile, std::int32_t row, std::int32_t channel_mode,
             const std::string& in = "C:\\music\\song.wav",
             const std::string& out = "C:\\music\\song.aac") {
    JobState s;
    s.profile_selector = profile;
    s.bitrate_index = row;
    s.channel_mode = channel_mode;
    std::memcpy(s.input_path.data(), in.c_str(), std::min(in.size() + 1, s.input_path.size()));
    std::memcpy(s.output_path.data(), out.c_str(), std::min(out.size() + 1, s.output_path.size()));
    return s;
}

std::string compose(JobState& s, std::intptr_t handle = 716) {
    EXPECT_EQ(compose_command(s, handle), ComposeStatus::kOk);
    return s.command.data();
}

TEST(ComposeCommand, ProfileRateAndPathsFillTheTemplate) {
    const struct {
        std::int32_t profile, row, channel_mode, total;
        const char* flag;
    } cases[] = {
        {job::kProfileLc, 2, 1, 128000, "-lc"},
        {job::kProfileMain, 0, 0, 128000, "-main"},
        {job::kProfileSsr, 1, 1, 162000, "-ssr"},
        {job::kProfileMain, 6, 1, 64000, "-main"},
    };
    for (const auto& c : cases) {
        JobState s = job(c.profile, c.row, c.channel_mode);
        EXPECT_EQ(compose(s), "mp4.exe -nh -wn 716 -eb .aac -r " + std::to_string(c.total) +
                                  " -c " + c.flag +
                                  " -eo .wav C:\\music\\song.wav -o C:\\music\\song.aac");
        EXPECT_EQ(s.total_bitrate, c.total);
    }
    // Paths with a space or tab are quoted; others are inserted as they are.
    JobState s = job(job::kProfileLc, 2, 1, "C:\\a\tb\\in.wav", "C:\\My Music\\song.aac");
    EXPECT_NE(compose(s).find(" \"C:\\a\tb\\in.wav\" -o \"C:\\My Music\\song.aac\""),
              std::string::npos);
}

TEST(ComposeCommand, TheWindowHandleIsItsSigned32BitValue) {
    JobState s = job(job::kProfileMain, 2, 0, "a.wav", "b.aac");
    EXPECT_EQ(compose(s, -5).rfind("mp4.exe -nh -wn -5 -eb ", 0), 0u);
    EXPECT_NE(compose(s, std::numeric_limits<std::int32_t>::min()).find("-wn -2147483648 "),
              std::string::npos);
    if (sizeof(std::intptr_t) > 4) {  // only the low 32 bits count, as on the target
        const auto wide = static_cast<std::intptr_t>((std::int64_t{1} << 32) | 0x80000001);
        EXPECT_NE(compose(s, wide).find("-wn -2147483647 "), std::string::npos);
    }
}

TEST(ComposeCommand, RefusesWhatItCannotComposeAndLeavesTheBufferEmpty) {
    JobState empty_paths = job(job::kProfileLc, 2, 1, "", "");
    const std::size_t room = job::kCommandBufferSize - 1 - compose(empty_paths).size();
    JobState full =
        job(job::kProfileLc, 2, 1, std::string(room / 2, 'i'), std::string(room - room / 2, 'o'));
    EXPECT_EQ(compose(full).size(), job::kCommandBufferSize - 1);

    const struct {
        JobState state;
        ComposeStatus status;
    } cases[] = {
        {job(job::kProfileLc, 2, 1, std::string(room / 2 + 1, 'i'),
             std::string(room - room / 2, 'o')),
         ComposeStatus::kTooLong},
        {job(job::kProfileLc, 2, 1, std::string(511, 'i'), std::string(511, 'o')),
         ComposeStatus::kTooLong},
        {job(0, 2, 1), ComposeStatus::kNoProfile},
        {job(job::kProfileMain, -1, 1), ComposeStatus::kNoBitrate},
        {job(job::kProfileMain, 7, 1), ComposeStatus::kNoBitrate},
    };
    for (auto c : cases) {
        c.state.command[0] = 'x';
        EXPECT_EQ(compose_command(c.state, 716), c.status);
        EXPECT_EQ(c.state.command[0], '\0');
        EXPECT_STRNE(compose_failure_message(c.status), "");
    }
    EXPECT_STREQ(compose_failure_message(ComposeStatus::kOk), "");
}

TEST(EncoderStoppedMessage, GivesTheStatusAsWindowsShowsIt) {
    for (const auto& [status, shown] :
         {std::pair{3u, "3"}, {0x7FFFFFFFu, "2147483647"}, {0xC0000005u, "0xC0000005"}}) {
        EXPECT_NE(encoder_stopped_message(status).find("(exit status " + std::string(shown) + ")"),
                  std::string::npos)
            << encoder_stopped_message(status);
    }
}

}  // namespace
}  // namespace brevix::launch
