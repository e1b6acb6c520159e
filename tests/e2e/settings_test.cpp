// The choices made after the source: the profile buttons and what they do to the bit-rate
// list, and the output file chosen through the real save dialog.
#include <gtest/gtest.h>

#include "support/program_copy.h"

namespace brevix::e2e {
namespace {

using Settings = ProgramCopy;

TEST_F(Settings, ProfileClicksReturnTheListToTheRecommendedRate) {
    // Before any source the list keeps its five entries and whatever was chosen in it.
    choose_bitrate(4);
    click_profile(kProfileLc);
    MainState seen = state();
    EXPECT_TRUE(!seen.main && seen.lc && !seen.ssr) << describe(seen);
    EXPECT_EQ(seen.bitrates.size(), 5u) << describe(seen);
    EXPECT_EQ(seen.selection, 4) << describe(seen);

    load_source(write_file("song.wav", wav_file()));
    struct Step {
        int row;
        int profile;
    };
    // Each profile after another rate; the last clicks the button that is already checked.
    const Step steps[] = {
        {0, kProfileLc}, {5, kProfileSsr}, {1, kProfileMain}, {6, kProfileSsr}, {3, kProfileSsr},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE("rate row " + std::to_string(step.row) + ", then profile " +
                     std::to_string(step.profile));
        choose_bitrate(step.row);
        EXPECT_EQ(combo_selection(control(kBitrateList)), step.row);
        click_profile(step.profile);
        seen = state();
        EXPECT_EQ(seen.main, step.profile == kProfileMain) << describe(seen);
        EXPECT_EQ(seen.lc, step.profile == kProfileLc) << describe(seen);
        EXPECT_EQ(seen.ssr, step.profile == kProfileSsr) << describe(seen);
        EXPECT_EQ(seen.bitrates,
                  std::vector<std::string>(std::begin(kBitrateLabels), std::end(kBitrateLabels)));
        EXPECT_EQ(seen.selection, kRecommendedRow) << describe(seen);
        EXPECT_EQ(window_text(control(kBitrateList)), kBitrateLabels[kRecommendedRow]);
    }
    expect_nothing_open();
}

TEST_F(Settings, OutputChosenInTheSaveDialog) {
    ASSERT_TRUE(folder_.make_folder("My Out"));
    const std::string out_folder = folder_.file("My Out");

    // Works before any source; a name typed without an extension gets the extension of the
    // selected file type, the first one (*.aac).
    click(control(kSelectOutput));
    HWND hwnd = wait_for_owned(app(), main_, &is_file_dialog);
    ASSERT_NE(hwnd, nullptr) << "no save dialog\n" << app().describe_windows();
    FileDialog dialog(hwnd);
    EXPECT_FALSE(IsWindowEnabled(main_)) << "the save dialog is modal";
    EXPECT_EQ(
        dialog.file_types(),
        (std::vector<std::string>{"AAC RAW FILES (*.aac)", "MPEG-4 ISO Reference files (*.mp4)"}));
    EXPECT_EQ(dialog.file_type(), 0);
    ASSERT_TRUE(dialog.choose(app(), join(out_folder, "result"))) << app().describe_windows();
    expect_nothing_open();
    EXPECT_EQ(window_text(control(kOutputDisplay)), join(out_folder, "result.aac"));
    EXPECT_EQ(window_text(control(kInputDisplay)), "No file selected");

    // Cancel keeps the chosen path.
    click(control(kSelectOutput));
    hwnd = wait_for_owned(app(), main_, &is_file_dialog);
    ASSERT_NE(hwnd, nullptr) << "no save dialog\n" << app().describe_windows();
    ASSERT_TRUE(FileDialog(hwnd).cancel(app())) << app().describe_windows();
    expect_nothing_open();
    EXPECT_EQ(window_text(control(kOutputDisplay)), join(out_folder, "result.aac"));

    // With the second file type selected, the name gets that type's extension (*.mp4).
    click(control(kSelectOutput));
    hwnd = wait_for_owned(app(), main_, &is_file_dialog);
    ASSERT_NE(hwnd, nullptr) << "no save dialog\n" << app().describe_windows();
    FileDialog(hwnd).choose_file_type(1);
    EXPECT_EQ(FileDialog(hwnd).file_type(), 1);
    ASSERT_TRUE(FileDialog(hwnd).choose(app(), join(out_folder, "second")))
        << app().describe_windows();
    expect_nothing_open();
    EXPECT_EQ(window_text(control(kOutputDisplay)), join(out_folder, "second.mp4"));

    // A source overwrites it with the derived name; a file that exists is then taken
    // without a question.
    const std::string source = write_file("song.wav", wav_file());
    load_source(source);
    EXPECT_EQ(window_text(control(kOutputDisplay)), folder_.file("song.aac"));
    const std::string existing = write_file("existing.mp4", "not empty");
    ASSERT_TRUE(choose_output(existing));
    expect_nothing_open();
    EXPECT_EQ(window_text(control(kOutputDisplay)), existing);
    EXPECT_EQ(window_text(control(kInputDisplay)), source);
}

}  // namespace
}  // namespace brevix::e2e
