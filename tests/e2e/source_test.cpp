// Choosing the source in the system's open dialog, from the button and from the File menu,
// and each kind of refusal; then the output file chosen in the save dialog. (The profile
// buttons and the bit-rate list reach the encoder's command line: see encode_test.cpp.)
#include <gtest/gtest.h>

#include "job/bitrate_list.h"
#include "support.h"

namespace brevix::e2e {
namespace {

std::vector<std::string> all_rates() {
    std::vector<std::string> labels;
    for (const job::BitrateRow& row : job::kBitrateTable)
        labels.push_back(row.label);
    return labels;
}

TEST(Source, CancelledFromTheButtonAndChosenFromTheFileMenu) {
    App app;
    ASSERT_TRUE(app.select_input("")) << app.seen();
    EXPECT_TRUE(app.owned(app.main).empty()) << app.seen();
    EXPECT_EQ(text(app.item(IDC_INPUT_DISPLAY)), "No file selected");

    const std::string song = app.write_wav("song.wav");
    ASSERT_TRUE(app.choose_file(
        [&] {
            app.keys(app.main, {VK_MENU, 'F'});
            app.keys(app.main, {'S'});
        },
        song))
        << app.seen();
    EXPECT_EQ(text(app.item(IDC_INPUT_DISPLAY)), song);
    EXPECT_EQ(text(app.item(IDC_FORMAT_DISPLAY)), "44100 Hz Stereo PCM file");
    EXPECT_EQ(text(app.item(IDC_OUTPUT_DISPLAY)), app.folder.file("song.aac"));
    EXPECT_EQ(combo_items(app.item(IDC_BITRATE_LIST)), all_rates());
    EXPECT_EQ(SendMessageA(app.item(IDC_BITRATE_LIST), CB_GETCURSEL, 0, 0),
              job::kRecommendedBitrateRow);
    EXPECT_TRUE(screenshot(app.main, "main_window_loaded"));
}

TEST(Source, EachRefusalSaysWhy) {
    App app;
    CreateDirectoryA(app.folder.file("My Music").c_str(), nullptr);
    const std::string not_wave = app.folder.file("text.wav");
    wav::write_file(not_wave, wav::Bytes(100, 'x'));
    const std::string corrupt = app.folder.file("corrupt.wav");
    wav::write_file(corrupt, wav::riff("WAVE", wav::chunk("data", wav::Bytes(8))));
    const struct {
        std::string path;
        const char* text;
        const char* caption;
        const char* screenshot;
    } cases[] = {
        {app.write_wav("My Music\\song.wav"),
         "Source path and file name must not contain space characters!", "Error!", nullptr},
        {app.folder.file("missing.wav"), "Cannot open wave file, aborting!", "Error!", nullptr},
        {not_wave, "Error loading wave file", "brevix", nullptr},
        {corrupt, "This wave file is corrupt.", "brevix", nullptr},
        {app.write_wav("float.wav", {3, 2, 44100, 32}),
         "This file is not in PCM format. Wave files must be in PCM (uncompressed) format in "
         "order to compress.",
         "I/O format error", nullptr},
        {app.write_wav("48k.wav", {1, 2, 48000, 16}),
         "Error: this version of MPEG-4 Encoder requires 44100 Hz / 16 bit / Stereo wave files",
         "Sampling Rate Error!", "refusal_box"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_TRUE(app.select_input(c.path)) << app.seen();
        const Box box = app.message_box(c.screenshot);
        EXPECT_EQ(std::tie(box.text, box.caption, box.icon, box.owner),
                  std::make_tuple(c.text, c.caption, true, app.main))
            << app.seen();
    }
}

TEST(Settings, OutputFromTheSaveDialogReachesTheEncoderAsOneArgument) {
    App app;
    ASSERT_TRUE(app.select_input(app.write_wav("song.wav"))) << app.seen();
    CreateDirectoryA(app.folder.file("My Out").c_str(), nullptr);
    // A name typed without an extension gets the selected file type's: *.aac.
    ASSERT_TRUE(app.choose_file([&] { click(app.item(IDC_SELECT_OUTPUT)); },
                                app.folder.file("My Out\\result")))
        << app.seen();
    const std::string output = app.folder.file("My Out\\result.aac");
    EXPECT_EQ(text(app.item(IDC_OUTPUT_DISPLAY)), output);
    click(app.item(IDC_ENCODE));
    const std::vector<std::string> runs = app.encoder_runs(1);
    ASSERT_EQ(runs.size(), 1u) << app.seen();
    const std::string tail = " -o \"" + output + "\"";
    EXPECT_EQ(runs[0].rfind(tail), runs[0].size() - tail.size()) << runs[0];
    // A hard link is another name of the source itself.
    ASSERT_TRUE(app.back_to_main()) << app.seen();
    CreateHardLinkA(app.folder.file("link.aac").c_str(), app.folder.file("song.wav").c_str(), 0);
    app.choose_file([&] { click(app.item(IDC_SELECT_OUTPUT)); }, app.folder.file("link.aac"));
    click(app.item(IDC_ENCODE));
    EXPECT_EQ(app.message_box().text,
              "The output file must not be the input file. Please choose another output file.");
}

}  // namespace
}  // namespace brevix::e2e
