// The bit-rate list, the profile buttons and the output choice, through the fake view.
#include <gtest/gtest.h>

#include "fake_main_view.h"
#include "job/bitrate_list.h"
#include "job/output_selection.h"
#include "job/profile_selection.h"

namespace brevix::job {
namespace {

using testing::FakeMainView;

const std::vector<std::string> kAllLabels = {
    "128 kbits/s per channel", "81 kbits/s per channel", "64 kbits/s per channel (recommended)",
    "56 kbits/s per channel",  "48 kbits/s per channel", "40 kbits/s per channel",
    "32 kbits/s per channel",
};

// The list as the main window starts: the first five rates (from the dialog's own
// initialisation data), the recommended one selected, no choice recorded yet.
void show_initial_bitrate_list(FakeMainView& view) {
    view.list.assign(kAllLabels.begin(), kAllLabels.begin() + 5);
    view.selection = 2;
}

TEST(BitrateList, TracksTheUsersChoiceBeforeAnySource) {
    JobState state;
    FakeMainView view;
    show_initial_bitrate_list(view);
    EXPECT_EQ(state.bitrate_index, -1) << "no choice is recorded until the user makes one";

    // Choosing before any source is loaded is tracked; clearing the selection gives -1.
    view.selection = 4;
    on_bitrate_selection_changed(state, view);
    EXPECT_EQ(state.bitrate_index, 4);
    view.selection = -1;
    on_bitrate_selection_changed(state, view);
    EXPECT_EQ(state.bitrate_index, -1);
}

TEST(BitrateList, RefillShowsAllRatesAndReturnsToTheRecommendedOne) {
    JobState state;
    FakeMainView view;
    show_initial_bitrate_list(view);
    state.source_loaded = 1;
    view.selection = 0;
    on_bitrate_selection_changed(state, view);
    ASSERT_EQ(state.bitrate_index, 0);

    refill_bitrate_list(state, view);
    EXPECT_EQ(view.list, kAllLabels);
    EXPECT_EQ(view.selection, 2);
    EXPECT_EQ(state.bitrate_index, 2);
}

TEST(BitrateList, RefillWithoutALoadedSourceDoesNothing) {
    JobState state;
    FakeMainView view;
    show_initial_bitrate_list(view);
    view.calls.clear();
    refill_bitrate_list(state, view);
    EXPECT_TRUE(view.calls.empty());
    EXPECT_EQ(view.list.size(), 5u);
    EXPECT_EQ(state.bitrate_index, -1);

    view.list.clear();  // emptied by a file refused for its rate
    refill_bitrate_list(state, view);
    EXPECT_TRUE(view.list.empty());
}

class ProfileSelection : public ::testing::Test {
protected:
    void SetUp() override {
        show_initial_bitrate_list(view);
        state.source_loaded = 1;
        state.profile_selector = kProfileMain;
        refill_bitrate_list(state, view);
        view.selection = 0;  // the user picked 128 kbit/s
        on_bitrate_selection_changed(state, view);
        view.calls.clear();
    }

    void click(int button) {
        view.click_radio(button);
        on_profile_clicked(state, view);
    }

    JobState state;
    FakeMainView view;
};

TEST_F(ProfileSelection, EachButtonBecomesTheSelectorAndResetsTheRate) {
    struct Case {
        int button;
        std::vector<std::string> cleared;
    };
    for (const Case& c : {Case{kLcButton, {"set_check 1010 off", "set_check 1013 off"}},
                          Case{kSsrButton, {"set_check 1010 off", "set_check 1012 off"}},
                          Case{kMainButton, {"set_check 1012 off", "set_check 1013 off"}}}) {
        SCOPED_TRACE(c.button);
        view.selection = 0;
        on_bitrate_selection_changed(state, view);
        view.calls.clear();

        click(c.button);
        EXPECT_EQ(state.profile_selector, c.button);
        ASSERT_GE(view.calls.size(), 2u);
        EXPECT_EQ(std::vector<std::string>(view.calls.begin(), view.calls.begin() + 2), c.cleared);
        EXPECT_EQ(view.calls[2], "list_clear") << "cleared first, then refilled";
        EXPECT_EQ(view.list, kAllLabels);
        EXPECT_EQ(view.selection, 2);
        EXPECT_EQ(state.bitrate_index, 2);
    }
}

TEST_F(ProfileSelection, DecidesByCheckStatesAndRefillsEvenOnTheCheckedButton) {
    // Main is already checked; clicking it again still refills.
    click(kMainButton);
    EXPECT_EQ(state.profile_selector, kProfileMain);
    EXPECT_EQ(state.bitrate_index, 2);
    EXPECT_EQ(view.calls.back(), "list_select 2");

    // The selector follows whichever button is checked after the click.
    view.click_radio(kSsrButton);
    on_profile_clicked(state, view);
    EXPECT_EQ(state.profile_selector, kProfileSsr);
}

TEST(ProfileSelectionBeforeSource, ChangesTheSelectorButNotTheList) {
    JobState state;
    FakeMainView view;
    show_initial_bitrate_list(view);
    view.click_radio(kLcButton);
    view.calls.clear();
    on_profile_clicked(state, view);
    EXPECT_EQ(state.profile_selector, kProfileLc);
    EXPECT_EQ(view.calls, (std::vector<std::string>{"set_check 1010 off", "set_check 1013 off"}));
    EXPECT_EQ(view.list.size(), 5u);
    EXPECT_EQ(state.bitrate_index, -1);
}

TEST(OutputSelection, SaveDialogPathReplacesTheOutputDisplay) {
    FakeMainView view;
    view.texts[kOutputDisplay] = "C:\\music\\song.aac";
    view.save_answers = {std::nullopt, std::string("D:\\my files\\out.mp4")};
    const std::string ask =
        "ask_save mp4 AAC RAW FILES (*.aac)|*.aac|MPEG-4 ISO Reference files (*.mp4)|*.mp4|";

    select_output(view);  // Cancel
    EXPECT_EQ(view.calls, std::vector<std::string>{ask});
    EXPECT_EQ(view.texts[kOutputDisplay], "C:\\music\\song.aac");

    select_output(view);  // a path with spaces is taken as it is
    EXPECT_EQ(view.calls,
              (std::vector<std::string>{ask, ask, "set_text 1009 D:\\my files\\out.mp4"}));
    EXPECT_TRUE(view.messages.empty());
}

}  // namespace
}  // namespace brevix::job
