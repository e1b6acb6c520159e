// Starting and ending the program, and the About box: the main window as a user first sees
// it, the ways to end it, and the three ways to the About box and back.
#include <gtest/gtest.h>

#include "job/bitrate_list.h"
#include "support.h"

namespace brevix::e2e {
namespace {

TEST(Start, ShowsTheInitialStateWhateverTheArguments) {
    App app(Encoder::kNone, "C:\\no\\such.wav /s -h \"two words\"");
    EXPECT_EQ(text(app.main), "Quanor MPEG-4 Brevix 1.0 (Alpha 2)");
    EXPECT_EQ(text(app.item(IDC_INPUT_DISPLAY)), "No file selected");
    EXPECT_EQ(text(app.item(IDC_FORMAT_DISPLAY)), "-");
    EXPECT_EQ(text(app.item(IDC_OUTPUT_DISPLAY)), "-");
    EXPECT_EQ(IsDlgButtonChecked(app.main, IDC_PROFILE_MAIN), BST_CHECKED);
    std::vector<std::string> initial_rates;
    for (int row = 0; row < 5; ++row)
        initial_rates.push_back(job::kBitrateTable[row].label);
    EXPECT_EQ(combo_items(app.item(IDC_BITRATE_LIST)), initial_rates);
    EXPECT_EQ(SendMessageA(app.item(IDC_BITRATE_LIST), CB_GETCURSEL, 0, 0),
              job::kRecommendedBitrateRow);
    for (int id : {IDC_PROFILE_CUSTOM, IDC_PLAY, IDC_EXTENSIONS})
        EXPECT_FALSE(IsWindowEnabled(app.item(id))) << "control " << id;
    EXPECT_TRUE(app.owned(app.main).empty()) << app.seen();
    EXPECT_TRUE(screenshot(app.main, "main_window"));
}

TEST(Start, EndsWithEscapeTheCloseBoxAndAltF4) {
    const std::pair<const char*, void (*)(const App&)> ways[] = {
        {"Escape", [](const App& app) { app.keys(app.main, {VK_ESCAPE}); }},
        {"close box", [](const App& app) { PostMessageA(app.main, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"Alt+F4",
         [](const App& app) {
             app.keys(app.main, {VK_MENU, VK_F4});
         }},
    };
    for (const auto& [name, end] : ways) {
        SCOPED_TRACE(name);
        App app(Encoder::kNone);
        end(app);
        EXPECT_TRUE(app.ended()) << app.seen();
        DWORD code = 1;
        GetExitCodeProcess(app.process.hProcess, &code);
        EXPECT_EQ(code, 0u);
    }
}

TEST(About, OpensFromTheHelpMenuTheSystemMenuAndF1AndClosesWithOkOrEscape) {
    App app(Encoder::kNone);
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"Help menu",
         [&] {
             app.keys(app.main, {VK_MENU, 'H'});
             app.keys(app.main, {'A'});
         }},
        {"system menu, its last item",
         [&] {
             app.keys(app.main, {VK_MENU, VK_SPACE});
             app.keys(app.main, {VK_UP});
             app.keys(app.main, {VK_RETURN});
         }},
        {"F1", [&] { app.keys(app.main, {VK_F1}); }},
    };
    bool escape = false;
    for (const auto& [name, open] : ways) {
        SCOPED_TRACE(name);
        open();
        HWND about = app.wait_dialog([&](HWND window) {
            return GetWindow(window, GW_OWNER) == app.main &&
                   text(window) == "About Quanor MPEG-4 Encoder";
        });
        ASSERT_NE(about, nullptr) << app.seen();
        EXPECT_FALSE(IsWindowEnabled(app.main));
        if (escape) {
            app.keys(about, {VK_ESCAPE});
        } else {
            EXPECT_TRUE(screenshot(about, "about_box"));
            click(GetDlgItem(about, IDOK));
        }
        escape = !escape;
        EXPECT_TRUE(app.back_to_main()) << app.seen();
    }
}

}  // namespace
}  // namespace brevix::e2e
