#include "job/encode_action.h"

#include <gtest/gtest.h>

#include "fake_main_view.h"

namespace brevix::job {
namespace {

using testing::FakeMainView;

std::string text_of(const std::array<char, kPathBufferSize>& buffer) {
    return buffer.data();
}

class EncodeAction : public ::testing::Test {
protected:
    void SetUp() override {
        state.source_loaded = 1;
        state.bitrate_index = 2;
        view.texts[kInputDisplay] = "C:\\music\\song.wav";
        view.texts[kOutputDisplay] = "C:\\music\\song.aac";
    }

    // Runs the checks expecting a refusal with one message; the path buffers stay empty.
    FakeMainView::Message refused() {
        EXPECT_FALSE(check_encode_and_copy_paths(state, view));
        EXPECT_EQ(state.input_path[0], '\0');
        EXPECT_EQ(state.output_path[0], '\0');
        EXPECT_EQ(view.messages.size(), 1u);
        FakeMainView::Message m =
            view.messages.empty() ? FakeMainView::Message{} : view.messages[0];
        view.messages.clear();
        return m;
    }

    JobState state;
    FakeMainView view;
};

TEST_F(EncodeAction, CopiesBothDisplaysIntoThePathBuffers) {
    EXPECT_TRUE(check_encode_and_copy_paths(state, view));
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(text_of(state.input_path), "C:\\music\\song.wav");
    EXPECT_EQ(text_of(state.output_path), "C:\\music\\song.aac");

    // A second Encode overwrites the buffers with the current texts.
    view.texts[kOutputDisplay] = "D:\\x.mp4";
    EXPECT_TRUE(check_encode_and_copy_paths(state, view));
    EXPECT_EQ(text_of(state.output_path), "D:\\x.mp4");
}

TEST_F(EncodeAction, NeedsALoadedSourceFirstAndThenABitRate) {
    state.source_loaded = 0;
    state.bitrate_index = -1;
    FakeMainView::Message m = refused();
    EXPECT_EQ(m.text, "Please select input file");
    EXPECT_EQ(m.caption, "Input file required");
    EXPECT_EQ(m.icon, MessageIcon::kNone);

    state.source_loaded = 1;
    m = refused();
    EXPECT_EQ(m.text, "You must select bit rate for target file");
    EXPECT_EQ(m.caption, "") << "the application name";
    EXPECT_EQ(m.icon, MessageIcon::kNone);
}

TEST_F(EncodeAction, PathsLongerThanTheBufferAreRefusedNotCut) {
    const std::string longest = "C:\\" + std::string(504, 'a') + ".wav";  // 511 characters
    ASSERT_EQ(longest.size(), 511u);
    view.texts[kInputDisplay] = longest;
    EXPECT_TRUE(check_encode_and_copy_paths(state, view));
    EXPECT_EQ(text_of(state.input_path), longest);
    state.input_path[0] = '\0';
    state.output_path[0] = '\0';

    view.texts[kInputDisplay] = longest + "x";
    EXPECT_NE(refused().text.find("too long"), std::string::npos);

    view.texts[kInputDisplay] = "C:\\music\\song.wav";
    view.texts[kOutputDisplay] = "C:\\" + std::string(600, 'b') + ".aac";
    const FakeMainView::Message m = refused();
    EXPECT_NE(m.text.find("output"), std::string::npos);
    EXPECT_EQ(m.icon, MessageIcon::kExclamation);
}

TEST_F(EncodeAction, OutputMustNotNameTheInputFile) {
    for (const char* output : {"C:\\music\\song.wav", "c:\\MUSIC\\Song.WAV", "C:/music/song.wav"}) {
        SCOPED_TRACE(output);
        view.texts[kOutputDisplay] = output;
        const FakeMainView::Message m = refused();
        EXPECT_NE(m.text.find("must not be the input file"), std::string::npos);
        EXPECT_EQ(m.icon, MessageIcon::kExclamation);
    }
    view.texts[kOutputDisplay] = "C:\\music\\song.wav.aac";
    EXPECT_TRUE(check_encode_and_copy_paths(state, view));
}

TEST_F(EncodeAction, TheFileSystemDecidesWhetherTheOutputIsTheInput) {
    // Another spelling of the source (say its short name) that only the file system knows.
    view.texts[kOutputDisplay] = "C:\\MUSIC~1\\SONG.WAV";
    const SameFile always = [](const std::string&, const std::string&) { return true; };
    EXPECT_FALSE(check_encode_and_copy_paths(state, view, always));
    EXPECT_NE(view.messages.at(0).text.find("must not be the input file"), std::string::npos);
    EXPECT_EQ(state.input_path[0], '\0');

    const SameFile never = [](const std::string&, const std::string&) { return false; };
    view.texts[kOutputDisplay] = "C:\\music\\song.wav";
    EXPECT_TRUE(check_encode_and_copy_paths(state, view, never));
}

}  // namespace
}  // namespace brevix::job
