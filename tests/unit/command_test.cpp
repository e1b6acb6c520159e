#include "launch/command.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

namespace brevix::launch {
namespace {

using job::JobState;

template <std::size_t N>
void set_path(std::array<char, N>& buffer, const std::string& text) {
    ASSERT_LT(text.size(), N);
    std::memcpy(buffer.data(), text.c_str(), text.size() + 1);
}

JobState job(std::int32_t profile, std::int32_t row, std::int32_t channel_mode,
             const std::string& in = "C:\\music\\song.wav",
             const std::string& out = "C:\\music\\song.aac") {
    JobState s;
    s.source_loaded = 1;
    s.profile_selector = profile;
    s.bitrate_index = row;
    s.channel_mode = channel_mode;
    set_path(s.input_path, in);
    set_path(s.output_path, out);
    return s;
}

std::string command_of(const JobState& s) {
    return s.command.data();
}

TEST(ComposeCommand, StereoLcExample) {
    JobState s = job(job::kProfileLc, 2, 1);
    ASSERT_EQ(compose_command(s, 716), ComposeStatus::kOk);
    EXPECT_EQ(command_of(s),
              "mp4.exe -nh -wn 716 -eb .aac -r 128000 -c -lc -eo .wav C:\\music\\song.wav -o "
              "C:\\music\\song.aac");
    EXPECT_EQ(s.total_bitrate, 128000);
}

TEST(ComposeCommand, EachProfileHasItsSwitch) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {job::kProfileMain, "-main"}, {job::kProfileLc, "-lc"}, {job::kProfileSsr, "-ssr"}};
    for (const auto& [profile, flag] : cases) {
        JobState s = job(profile, 6, 0, "a.wav", "b.aac");
        ASSERT_EQ(compose_command(s, 1), ComposeStatus::kOk);
        EXPECT_EQ(command_of(s), std::string("mp4.exe -nh -wn 1 -eb .aac -r 32000 -c ") + flag +
                                     " -eo .wav a.wav -o b.aac");
    }
}

TEST(ComposeCommand, TotalBitRateIsPerChannelRateDoubledForStereo) {
    struct Case {
        std::int32_t row;
        std::int32_t channel_mode;
        std::int32_t total;
    };
    for (const Case c : {Case{0, 0, 128000}, Case{0, 1, 256000}, Case{1, 1, 162000},
                         Case{1, 0, 81000}, Case{6, 1, 64000}}) {
        JobState s = job(job::kProfileMain, c.row, c.channel_mode);
        ASSERT_EQ(compose_command(s, 716), ComposeStatus::kOk);
        EXPECT_EQ(s.total_bitrate, c.total) << "row " << c.row << " mode " << c.channel_mode;
        EXPECT_NE(command_of(s).find(" -r " + std::to_string(c.total) + " "), std::string::npos);
    }
}

TEST(ComposeCommand, ComposingAgainChangesOnlyTheWindowHandle) {
    JobState s = job(job::kProfileSsr, 3, 1);
    ASSERT_EQ(compose_command(s, 716), ComposeStatus::kOk);
    std::string first = command_of(s);
    ASSERT_EQ(compose_command(s, 90210), ComposeStatus::kOk);
    std::string second = command_of(s);
    EXPECT_EQ(first.replace(first.find(" 716 "), 5, " 90210 "), second);
}

TEST(ComposeCommand, WindowHandleIsItsSigned32BitValue) {
    JobState s = job(job::kProfileMain, 2, 0, "a.wav", "b.aac");
    ASSERT_EQ(compose_command(s, -5), ComposeStatus::kOk);
    EXPECT_EQ(command_of(s).rfind("mp4.exe -nh -wn -5 -eb ", 0), 0u) << command_of(s);

    ASSERT_EQ(compose_command(s, std::numeric_limits<std::int32_t>::min()), ComposeStatus::kOk);
    EXPECT_NE(command_of(s).find("-wn -2147483648 "), std::string::npos);
    if (sizeof(std::intptr_t) > 4) {
        // Only the low 32 bits of a wider value count, as on the 32-bit target.
        const auto wide = static_cast<std::intptr_t>((std::int64_t{1} << 32) | 0x80000001);
        ASSERT_EQ(compose_command(s, wide), ComposeStatus::kOk);
        EXPECT_NE(command_of(s).find("-wn -2147483647 "), std::string::npos);
    }
}

TEST(ComposeCommand, QuotesOnlyPathsThatContainSpaces) {
    JobState s = job(job::kProfileLc, 2, 1, "C:\\music\\song.wav", "C:\\My Music\\song.aac");
    ASSERT_EQ(compose_command(s, 716), ComposeStatus::kOk);
    EXPECT_EQ(command_of(s),
              "mp4.exe -nh -wn 716 -eb .aac -r 128000 -c -lc -eo .wav C:\\music\\song.wav -o "
              "\"C:\\My Music\\song.aac\"");

    s = job(job::kProfileLc, 2, 1, "C:\\a b\\in.wav", "C:\\out.aac");
    ASSERT_EQ(compose_command(s, 716), ComposeStatus::kOk);
    EXPECT_NE(command_of(s).find(" \"C:\\a b\\in.wav\" -o C:\\out.aac"), std::string::npos);
}

TEST(ComposeCommand, RefusesACommandThatDoesNotFitTheBuffer) {
    // The fixed text, the handle and the rate, with empty paths.
    JobState probe = job(job::kProfileLc, 2, 1, "", "");
    ASSERT_EQ(compose_command(probe, 716), ComposeStatus::kOk);
    const std::size_t fixed = command_of(probe).size();
    const std::size_t room = job::kCommandBufferSize - 1 - fixed;

    // Exactly full: accepted.
    JobState s =
        job(job::kProfileLc, 2, 1, std::string(room / 2, 'i'), std::string(room - room / 2, 'o'));
    ASSERT_EQ(compose_command(s, 716), ComposeStatus::kOk);
    EXPECT_EQ(command_of(s).size(), job::kCommandBufferSize - 1);

    // One character more, and the longest paths the buffers hold: refused, nothing kept.
    for (const auto& [in, out] :
         {std::pair{std::string(room / 2 + 1, 'i'), std::string(room - room / 2, 'o')},
          std::pair{std::string(511, 'i'), std::string(511, 'o')}}) {
        JobState t = job(job::kProfileLc, 2, 1, in, out);
        EXPECT_EQ(compose_command(t, 716), ComposeStatus::kTooLong);
        EXPECT_EQ(t.command[0], '\0');
        EXPECT_STRNE(compose_failure_message(ComposeStatus::kTooLong), "");
    }
}

TEST(ComposeCommand, RefusesWithoutProfileOrBitRate) {
    JobState s = job(0, 2, 1);
    EXPECT_EQ(compose_command(s, 716), ComposeStatus::kNoProfile);
    EXPECT_EQ(s.command[0], '\0');
    for (std::int32_t row : {-1, 7}) {
        JobState t = job(job::kProfileMain, row, 1);
        EXPECT_EQ(compose_command(t, 716), ComposeStatus::kNoBitrate);
        EXPECT_EQ(t.command[0], '\0');
    }
}

}  // namespace
}  // namespace brevix::launch
