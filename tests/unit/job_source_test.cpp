#include "job/source_selection.h"

#include <gtest/gtest.h>

#include <tuple>

#include "fake_main_view.h"
#include "job/encode_action.h"
#include "job/profile_selection.h"
#include "scoped_temp_dir.h"
#include "wav_builder.h"

namespace brevix::job {
namespace {

using brevix::testing::Bytes;
using brevix::testing::chunk;
using brevix::testing::format_data;
using brevix::testing::riff;
using brevix::testing::wav;
using testing::FakeMainView;

const std::string kAskOpen = "ask_open 16-bit Windows waveform files (*.wav)|*.wav|";

const std::vector<std::string> kRefillCalls = {
    "list_clear",
    "list_add 128 kbits/s per channel",
    "list_add 81 kbits/s per channel",
    "list_add 64 kbits/s per channel (recommended)",
    "list_add 56 kbits/s per channel",
    "list_add 48 kbits/s per channel",
    "list_add 40 kbits/s per channel",
    "list_add 32 kbits/s per channel",
    "list_select 2",
};

// Everything a refused file must leave as it was.
auto snapshot(const JobState& s, const FakeMainView& v) {
    return std::make_tuple(s.source_loaded, s.channel_mode, s.profile_selector, s.bitrate_index,
                           s.total_bitrate, v.texts, v.checks, v.enabled, v.list, v.selection);
}

class SourceSelection : public ::testing::Test {
protected:
    std::string fixture(const std::string& name, const Bytes& bytes) {
        const std::string path = dir_.file(name);
        EXPECT_TRUE(brevix::testing::write_file(path, bytes));
        return path;
    }

    void choose(const std::optional<std::string>& answer) {
        view.open_answers.push_back(answer);
        select_source(state, view);
    }

    // A stereo file accepted, then a lower rate chosen and LC clicked: the state a later
    // refusal must not disturb.
    void load_first_file() {
        choose(fixture("first.wav", wav(1, 2, 44100)));
        ASSERT_EQ(state.source_loaded, 1);
        view.selection = 5;
        state.bitrate_index = 5;
        view.click_radio(kLcButton);
        state.profile_selector = kProfileLc;
        view.calls.clear();
    }

    brevix::testing::ScopedTempDir dir_;
    JobState state;
    FakeMainView view;
};

TEST_F(SourceSelection, AcceptsPcmAt44100InAnyChannelCountAndSampleWidth) {
    struct Case {
        std::uint16_t channels;
        std::uint16_t bits;
        const char* format_text;
        int channel_mode;
    };
    for (const Case c :
         {Case{1, 16, "44100 Hz Mono PCM file", 0}, Case{2, 16, "44100 Hz Stereo PCM file", 1},
          Case{6, 16, "44100 Hz Stereo PCM file", 1}, Case{1, 8, "44100 Hz Mono PCM file", 0},
          Case{2, 24, "44100 Hz Stereo PCM file", 1}}) {
        SCOPED_TRACE(c.format_text + std::string(" ") + std::to_string(c.channels) + "ch " +
                     std::to_string(c.bits) + "bit");
        state = JobState{};
        view = FakeMainView{};
        view.click_radio(kSsrButton);
        const std::string path = fixture("song.wav", wav(1, c.channels, 44100, c.bits));
        const std::string out = path.substr(0, path.size() - 3) + "aac";
        choose(path);

        std::vector<std::string> expected = {
            kAskOpen,
            "set_text 1008 " + path,
            "set_text 1009 " + out,
            std::string("set_text 1016 ") + c.format_text,
            "set_check 1010 on",
            "set_check 1013 off",
            "set_check 1012 off",
            "list_clear",
            "enable 1010 on",
        };
        expected.insert(expected.end(), kRefillCalls.begin(), kRefillCalls.end());
        EXPECT_EQ(view.calls, expected);
        EXPECT_TRUE(view.messages.empty());
        EXPECT_EQ(state.source_loaded, 1);
        EXPECT_EQ(state.channel_mode, c.channel_mode);
        EXPECT_EQ(state.profile_selector, kProfileMain);
        EXPECT_EQ(state.bitrate_index, 2);
        EXPECT_EQ(view.list.size(), 7u);
        EXPECT_EQ(view.selection, 2);
    }
}

TEST_F(SourceSelection, SecondAcceptedFileReplacesTheFirst) {
    load_first_file();
    const std::string path = fixture("second.wav", wav(1, 1, 44100));
    choose(path);
    EXPECT_EQ(view.texts[kInputDisplay], path);
    EXPECT_EQ(state.source_loaded, 1);
    EXPECT_EQ(state.channel_mode, 0);
    EXPECT_EQ(state.profile_selector, kProfileMain);
    EXPECT_TRUE(view.is_checked(kMainButton));
    EXPECT_FALSE(view.is_checked(kLcButton));
    EXPECT_EQ(state.bitrate_index, 2);
}

TEST_F(SourceSelection, OutputNameReplacesTheLastThreeCharacters) {
    EXPECT_EQ(derive_output_path("C:\\music\\song.wav"), "C:\\music\\song.aac");
    EXPECT_EQ(derive_output_path("C:\\music\\song.wave"), "C:\\music\\song.waac");
    EXPECT_EQ(derive_output_path("C:\\music\\song"), "C:\\music\\saac");
    EXPECT_EQ(derive_output_path("ab"), "aac");  // too short to come from the dialog

    const std::string path = fixture("song.wave", wav(1, 2, 44100));
    choose(path);
    EXPECT_EQ(view.texts[kOutputDisplay], path.substr(0, path.size() - 4) + "waac");
}

TEST_F(SourceSelection, RefusalsChangeNothingAndShowOnlyTheirMessage) {
    const std::string kAppName;  // empty caption: the application name
    struct Case {
        const char* file_name;
        std::optional<Bytes> bytes;  // nothing: the file does not exist
        const char* text;
        std::string caption;
    };
    Bytes mp3_like = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0x21, 0xFF, 0xFB, 0x90, 0x64};
    mp3_like.resize(600, 0x55);
    Bytes four_byte_fmt = format_data(1, 2, 44100);
    four_byte_fmt.resize(4);
    const Case cases[] = {
        {"my song.wav", wav(1, 2, 44100),
         "Source path and file name must not contain space characters!", "Error!"},
        {"no such file.wav", std::nullopt,
         "Source path and file name must not contain space characters!", "Error!"},
        {"missing.wav", std::nullopt, "Cannot open wave file, aborting!", "Error!"},
        {"music.wav", mp3_like, "Error loading wave file", kAppName},
        {"avi.wav", riff("AVI ", chunk("fmt ", format_data(1, 2, 44100))),
         "Error loading wave file", kAppName},
        {"nofmt.wav", riff("WAVE", chunk("data", Bytes(32, 0))), "This wave file is corrupt.",
         kAppName},
        {"shortfmt.wav", riff("WAVE", chunk("fmt ", four_byte_fmt)), "This wave file is corrupt.",
         kAppName},
        {"float.wav", wav(3, 2, 44100, 32),
         "This file is not in PCM format. Wave files must be in PCM (uncompressed) format in "
         "order to compress.",
         "I/O format error"},
    };
    load_first_file();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file_name);
        const std::string path = dir_.file(c.file_name);
        if (c.bytes) {
            fixture(c.file_name, *c.bytes);
        }
        const auto before = snapshot(state, view);
        view.calls.clear();
        view.messages.clear();

        choose(path);
        EXPECT_EQ(view.calls,
                  (std::vector<std::string>{kAskOpen, std::string("message ") + c.text}));
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.messages[0].caption, c.caption);
        EXPECT_EQ(view.messages[0].icon, MessageIcon::kExclamation);
        EXPECT_EQ(snapshot(state, view), before);
    }
}

TEST_F(SourceSelection, CancelAndTruncatedFilesEndSilently) {
    load_first_file();
    const auto before = snapshot(state, view);
    Bytes truncated = wav(1, 2, 44100);
    truncated.resize(12 + 8 + 6);  // ends inside the format chunk

    choose(std::nullopt);
    choose(fixture("cut.wav", truncated));
    EXPECT_EQ(view.calls, (std::vector<std::string>{kAskOpen, kAskOpen}));
    EXPECT_EQ(snapshot(state, view), before);
}

TEST_F(SourceSelection, WrongRateShowsTheFileThenRefusesItAndBlocksEncode) {
    load_first_file();
    const std::string path = fixture("dat.wav", wav(1, 1, 48000));
    choose(path);

    // The window already shows the refused file when the message comes up, last.
    const std::vector<std::string> expected = {
        kAskOpen,
        "set_text 1008 " + path,
        "set_text 1009 " + path.substr(0, path.size() - 3) + "aac",
        "set_text 1016 48000 Hz Mono PCM file",
        "set_check 1010 on",
        "set_check 1013 off",
        "set_check 1012 off",
        "list_clear",
        "message Error: this version of MPEG-4 Encoder requires 44100 Hz / 16 bit / Stereo "
        "wave files",
    };
    EXPECT_EQ(view.calls, expected);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].caption, "Sampling Rate Error!");
    EXPECT_EQ(view.messages[0].icon, MessageIcon::kExclamation);
    EXPECT_EQ(state.channel_mode, 0);
    EXPECT_EQ(state.profile_selector, kProfileMain);
    EXPECT_EQ(state.bitrate_index, 5) << "the index keeps its value";
    EXPECT_TRUE(view.list.empty());

    // The earlier file's settings must not be encoded under the refused file's name.
    EXPECT_EQ(state.source_loaded, 0);
    view.messages.clear();
    EXPECT_FALSE(check_encode_and_copy_paths(state, view));
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, "Please select input file");
    EXPECT_EQ(state.input_path[0], '\0');

    // A profile click cannot bring the list back either...
    view.click_radio(kSsrButton);
    on_profile_clicked(state, view);
    EXPECT_TRUE(view.list.empty());

    // ...only an accepted file does.
    choose(fixture("good.wav", wav(1, 2, 44100)));
    EXPECT_EQ(state.source_loaded, 1);
    EXPECT_EQ(state.bitrate_index, 2);
    EXPECT_EQ(view.list.size(), 7u);
}

}  // namespace
}  // namespace brevix::job
