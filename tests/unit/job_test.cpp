// The main window's rules through the recording fake view: source selection with its
// refusals, the bit-rate list, the profile buttons, the output choice and the checks of
// Encode.
#include <gtest/gtest.h>

#include <tuple>

#include "bench/temp_folder.h"
#include "bench/wav_file.h"
#include "fake_main_view.h"
#include "job/bitrate_list.h"
#include "job/encode_action.h"
#include "job/output_selection.h"
#include "job/profile_selection.h"
#include "job/source_selection.h"

namespace brevix::job {
namespace {

using namespace brevix::wav;
using testing::FakeMainView;

const std::string kAskOpen = "ask_open 16-bit Windows waveform files (*.wav)|*.wav|";

// What an opened source shows before its rate is judged: its name, its output name and its
// format, the Main profile and an emptied list.
std::vector<std::string> shown_calls(const std::string& path, const std::string& format) {
    return {kAskOpen,
            "set_text 1008 " + path,
            "set_text 1009 " + path.substr(0, path.size() - 3) + "aac",
            "set_text 1016 " + format,
            "set_check 1010 on",
            "set_check 1013 off",
            "set_check 1012 off",
            "list_clear"};
}

std::vector<std::string> refill_calls() {
    std::vector<std::string> calls = {"list_clear"};
    for (const BitrateRow& row : kBitrateTable) {
        calls.push_back(std::string("list_add ") + row.label);
    }
    calls.push_back("list_select 2");
    return calls;
}

class Job : public ::testing::Test {
protected:
    std::string fixture(const std::string& name, const Bytes& bytes) {
        EXPECT_TRUE(write_file(folder_.file(name), bytes));
        return folder_.file(name);
    }
    std::string pcm_file(const std::string& name, int channels, int rate, int bits = 16,
                         int tag = 1) {
        return fixture(name, file({tag, channels, rate, bits}, Bytes(64, 0x11)));
    }
    void choose(const std::optional<std::string>& answer) {
        view.answers.push_back(answer);
        select_source(state, view);
    }
    // A stereo file accepted, then a lower rate and LC chosen: what a refusal must keep.
    void load_first_file() {
        choose(pcm_file("first.wav", 2, 44100));
        ASSERT_EQ(state.source_loaded, 1);
        view.selection = 5;
        on_bitrate_selection_changed(state, view);
        view.click_radio(kLcButton);
        on_profile_clicked(state, view);
        view.selection = 5;
        on_bitrate_selection_changed(state, view);
        view.calls.clear();
    }
    auto snapshot() const {
        return std::make_tuple(state.source_loaded, state.channel_mode, state.profile_selector,
                               state.bitrate_index, view.texts, view.checks, view.enabled,
                               view.list, view.selection);
    }

    TempFolder folder_;
    JobState state;
    FakeMainView view;
};

TEST_F(Job, AnAcceptedSourceFillsTheWindowResetsTheProfileAndRefillsTheList) {
    EXPECT_EQ(derive_output_path("C:\\music\\song.wave"), "C:\\music\\song.waac");
    EXPECT_EQ(derive_output_path("ab"), "aac");
    for (const auto& [channels, bits, text] :
         {std::tuple{1, 8, "44100 Hz Mono PCM file"}, std::tuple{2, 16, "44100 Hz Stereo PCM file"},
          std::tuple{6, 24, "44100 Hz Stereo PCM file"}}) {
        load_first_file();
        const std::string path = pcm_file("song.wav", channels, 44100, bits);
        choose(path);
        std::vector<std::string> expected = shown_calls(path, text);
        expected.push_back("enable 1010 on");
        const std::vector<std::string> refill = refill_calls();
        expected.insert(expected.end(), refill.begin(), refill.end());
        EXPECT_EQ(view.calls, expected);
        EXPECT_TRUE(view.messages.empty());
        EXPECT_EQ(std::make_tuple(state.source_loaded, state.channel_mode, state.profile_selector,
                                  state.bitrate_index),
                  std::make_tuple(1, channels == 1 ? 0 : 1, kProfileMain, 2));
    }
}

// Each refusal shows one message (its text and caption are checked where the user sees
// them, in the end-to-end tests) and changes nothing; a file that ends inside its format
// chunk and Cancel end silently.
TEST_F(Job, RefusedSourcesShowOneMessageAndChangeNothing) {
    Bytes short_fmt = format_data({});
    short_fmt.resize(4);
    Bytes cut = file({}, Bytes(64, 0));
    cut.resize(26);
    const std::pair<std::optional<std::string>, std::size_t> cases[] = {
        {pcm_file("my song.wav", 2, 44100), 1},
        {folder_.file("missing.wav"), 1},
        {fixture("text.wav", {'h', 'e', 'l', 'l', 'o'}), 1},
        {fixture("nofmt.wav", riff("WAVE", chunk("data", Bytes(32, 0)))), 1},
        {fixture("shortfmt.wav", riff("WAVE", chunk("fmt ", short_fmt))), 1},
        {pcm_file("float.wav", 2, 44100, 32, 3), 1},
        {fixture("cut.wav", cut), 0},
        {std::nullopt, 0},
    };
    load_first_file();
    const auto before = snapshot();
    for (const auto& [path, messages] : cases) {
        SCOPED_TRACE(path.value_or("Cancel"));
        view.calls.clear();
        view.messages.clear();
        choose(path);
        EXPECT_EQ(view.calls.size(), 1 + messages) << "the dialog, then only the message";
        ASSERT_EQ(view.messages.size(), messages);
        EXPECT_TRUE(messages == 0 || view.messages[0].icon == MessageIcon::kExclamation);
        EXPECT_EQ(snapshot(), before);
    }
}

TEST_F(Job, AWrongRateShowsTheFileThenRefusesItAndBlocksEncode) {
    load_first_file();
    const std::string path = pcm_file("dat.wav", 1, 48000);
    choose(path);
    std::vector<std::string> expected = shown_calls(path, "48000 Hz Mono PCM file");
    expected.push_back("message " + view.messages.at(0).text);  // its words: the e2e tests
    EXPECT_EQ(view.calls, expected);
    EXPECT_EQ(std::make_tuple(state.source_loaded, state.channel_mode, state.profile_selector,
                              state.bitrate_index),
              std::make_tuple(0, 0, kProfileMain, 5));

    // The earlier file's settings must not be encoded under the refused file's name, and a
    // profile click cannot bring the list back: only an accepted file does.
    EXPECT_FALSE(check_encode_and_copy_paths(state, view));
    EXPECT_EQ(view.messages.back().text, "Please select input file");
    view.click_radio(kSsrButton);
    on_profile_clicked(state, view);
    EXPECT_TRUE(view.list.empty());
    choose(pcm_file("good.wav", 2, 44100));
    EXPECT_EQ(state.source_loaded, 1);
    EXPECT_EQ(view.list.size(), 7u);
}

TEST_F(Job, TheBitRateListTracksTheChoiceAndProfileClicksReturnItToTheRecommendedRate) {
    // Before any source: the choice is tracked, a refill or profile click leaves the list.
    view.list = {"a", "b", "c", "d", "e"};
    view.selection = 4;
    on_bitrate_selection_changed(state, view);
    EXPECT_EQ(state.bitrate_index, 4);
    view.click_radio(kLcButton);
    view.calls.clear();
    on_profile_clicked(state, view);
    EXPECT_EQ(state.profile_selector, kProfileLc);
    EXPECT_EQ(view.calls, (std::vector<std::string>{"set_check 1010 off", "set_check 1013 off"}));
    view.selection = -1;
    on_bitrate_selection_changed(state, view);
    EXPECT_EQ(state.bitrate_index, -1);

    state.source_loaded = 1;
    for (const auto& [button, cleared] :
         {std::pair{kSsrButton, "set_check 1010 off"}, std::pair{kMainButton, "set_check 1012 off"},
          std::pair{kMainButton, "set_check 1012 off"}}) {
        view.selection = 0;
        on_bitrate_selection_changed(state, view);
        view.click_radio(button);
        view.calls.clear();
        on_profile_clicked(state, view);
        EXPECT_EQ(state.profile_selector, button);
        EXPECT_EQ(view.calls.at(0), cleared);
        EXPECT_EQ(std::vector<std::string>(view.calls.begin() + 2, view.calls.end()),
                  refill_calls());
        EXPECT_EQ(state.bitrate_index, 2);
    }
}

TEST_F(Job, TheSaveDialogsPathReplacesTheOutputDisplay) {
    view.texts[kOutputDisplay] = "C:\\music\\song.aac";
    view.answers = {std::nullopt, std::string("D:\\my files\\out.mp4")};
    const std::string ask =
        "ask_save mp4 AAC RAW FILES (*.aac)|*.aac|MPEG-4 ISO Reference files (*.mp4)|*.mp4|";
    select_output(view);
    select_output(view);
    EXPECT_EQ(view.calls,
              (std::vector<std::string>{ask, ask, "set_text 1009 D:\\my files\\out.mp4"}));
}

TEST_F(Job, EncodeChecksTheJobAndCopiesBothPaths) {
    EXPECT_FALSE(check_encode_and_copy_paths(state, view));
    state.source_loaded = 1;
    EXPECT_FALSE(check_encode_and_copy_paths(state, view));
    ASSERT_EQ(view.messages.size(), 2u);  // the first one's words: the e2e tests
    const FakeMainView::Message& no_rate = view.messages[1];
    EXPECT_EQ(std::make_tuple(no_rate.text, no_rate.caption, no_rate.icon),
              std::make_tuple("You must select bit rate for target file", "", MessageIcon::kNone));

    state.bitrate_index = 2;
    const std::string longest = "C:\\" + std::string(504, 'a') + ".wav";  // 511 characters
    const struct {
        std::string input, output;
        const char* refusal;  // a part of the message, or nullptr when accepted
    } cases[] = {
        {longest + "x", "C:\\out.aac", "input file path is too long"},
        {"C:\\in.wav", "C:\\" + std::string(600, 'b'), "output file path is too long"},
        {"C:\\music\\song.wav", "c:/MUSIC\\Song.WAV", "must not be the input file"},
        {longest, "C:\\music\\song.wav.aac", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        view.messages.clear();
        state.input_path.fill('\0');
        state.output_path.fill('\0');
        view.texts[kInputDisplay] = c.input;
        view.texts[kOutputDisplay] = c.output;
        EXPECT_EQ(check_encode_and_copy_paths(state, view), c.refusal == nullptr);
        if (c.refusal != nullptr) {
            ASSERT_EQ(view.messages.size(), 1u);
            EXPECT_NE(view.messages[0].text.find(c.refusal), std::string::npos);
            EXPECT_EQ(view.messages[0].icon, MessageIcon::kExclamation);
            EXPECT_EQ(state.input_path[0], '\0');
        } else {
            EXPECT_TRUE(view.messages.empty());
            EXPECT_EQ(std::string(state.input_path.data()), c.input);
            EXPECT_EQ(std::string(state.output_path.data()), c.output);
        }
    }
}

}  // namespace
}  // namespace brevix::job
