// Starting and ending the program: the keys and commands that end it, the one that must
// not, command-line arguments, and two copies at once.
#include <gtest/gtest.h>

#include "expected_layout.h"
#include "support/fixture.h"

namespace brevix::e2e {
namespace {

class Lifetime : public RunningProgram {
protected:
    // Moves the focus to a control as Tab would and checks it arrived.
    HWND focus_on(int id) {
        focus_control(main_, control(id));
        HWND focus = app_.probe().focus(main_);
        EXPECT_EQ(focus, control(id)) << "focus on " << describe(facts(focus));
        return focus;
    }

    void expect_ends() {
        EXPECT_TRUE(app_.wait_for_exit()) << "the program did not end\n" << app_.describe_windows();
        EXPECT_EQ(app_.exit_code(), 0u);
    }
};

TEST_F(Lifetime, EnterOnARadioButtonEnds) {
    // The checked radio button has the focus from the start.
    HWND focus = app_.probe().focus(main_);
    ASSERT_EQ(focus, control(kProfileMain)) << "focus on " << describe(facts(focus));
    post_key(focus, VK_RETURN);
    expect_ends();
}

TEST_F(Lifetime, EnterOnTheClosedBitrateListEnds) {
    post_key(focus_on(kBitrateList), VK_RETURN);
    expect_ends();
}

TEST_F(Lifetime, EscapeEnds) {
    post_key(app_.probe().focus(main_), VK_ESCAPE);
    expect_ends();
}

TEST_F(Lifetime, CloseBoxEnds) {
    post_sys_command(main_, SC_CLOSE);
    expect_ends();
}

TEST_F(Lifetime, CloseMessageEnds) {
    PostMessageA(main_, WM_CLOSE, 0, 0);
    expect_ends();
}

TEST_F(Lifetime, AltF4Ends) {
    post_alt_key(app_.probe().focus(main_), VK_F4);
    expect_ends();
}

TEST_F(Lifetime, EnterOnEncodeDoesNotEnd) {
    // Enter on a push button clicks it; for Encode that starts an encoding, never ends
    // the program.
    post_key(focus_on(kEncode), VK_RETURN);
    ASSERT_TRUE(app_.settle()) << app_.describe_windows();
    EXPECT_TRUE(app_.running()) << app_.describe_windows();
    EXPECT_TRUE(IsWindow(main_) && IsWindowVisible(main_)) << app_.describe_windows();
}

TEST(Startup, ArgumentsAreIgnored) {
    Launch launch;
    launch.arguments = "C:\\no\\such\\file.wav /s -h --help \"two words\"";
    App app(launch);
    HWND main = app.main_window();
    ASSERT_NE(main, nullptr) << app.describe_windows();
    ASSERT_TRUE(app.settle());
    EXPECT_EQ(window_text(GetDlgItem(main, kInputDisplay)), "No file selected");
    EXPECT_EQ(window_text(GetDlgItem(main, kFormatDisplay)), "-");
    EXPECT_EQ(window_text(GetDlgItem(main, kOutputDisplay)), "-");
    EXPECT_EQ(combo_items(GetDlgItem(main, kBitrateList)).size(), std::size(kInitialBitrates));
    EXPECT_TRUE(owned_dialogs(app.process_id(), main).empty()) << app.describe_windows();
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(app.wait_for_exit()) << app.describe_windows();
}

TEST(Startup, RunsFromACopyInAnotherFolder) {
    // Needs nothing beside itself: a lone copy in an empty folder starts and ends.
    TestFolder folder;
    ASSERT_TRUE(folder.copy_in(built_program(), "brevix.exe")) << folder.path();
    Launch launch;
    launch.program = folder.file("brevix.exe");
    App app(launch);
    HWND main = app.main_window();
    ASSERT_NE(main, nullptr) << app.describe_windows();
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(app.wait_for_exit()) << app.describe_windows();
    EXPECT_EQ(app.exit_code(), 0u);
}

TEST(Startup, TwoCopiesRunAtOnce) {
    App first;
    App second;
    HWND first_main = first.main_window();
    HWND second_main = second.main_window();
    ASSERT_NE(first_main, nullptr) << first.describe_windows();
    ASSERT_NE(second_main, nullptr) << second.describe_windows();
    EXPECT_NE(first_main, second_main);
    EXPECT_NE(first.process_id(), second.process_id());

    // Ending one leaves the other running.
    PostMessageA(first_main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(first.wait_for_exit()) << first.describe_windows();
    ASSERT_TRUE(second.settle()) << second.describe_windows();
    EXPECT_TRUE(second.running());
    EXPECT_TRUE(IsWindowVisible(second_main));
    PostMessageA(second_main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(second.wait_for_exit()) << second.describe_windows();
}

}  // namespace
}  // namespace brevix::e2e
