// The menu bar and the system menu, read from inside the program (menus cannot be read
// across processes everywhere).
#include <gtest/gtest.h>

#include "expected_layout.h"
#include "support/fixture.h"

namespace brevix::e2e {
namespace {

constexpr UINT kUnusable = MFS_GRAYED | MFS_DISABLED;

using Menu = RunningProgram;

TEST_F(Menu, MenuBar) {
    const auto bar = app_.probe().menu(main_);
    const std::string seen = "menu:\n" + describe(bar) + app_.probe().last_error();
    ASSERT_EQ(bar.size(), 4u) << seen;

    EXPECT_EQ(bar[0].text, "&File") << seen;
    EXPECT_EQ(bar[1].text, "&Options") << seen;
    EXPECT_EQ(bar[2].text, "") << seen;
    EXPECT_EQ(bar[3].text, "&Help") << seen;
    for (int i : {0, 1, 3})
        EXPECT_EQ(bar[i].type & MFT_RIGHTJUSTIFY, 0u) << seen;
    EXPECT_TRUE(bar[2].type & MFT_RIGHTJUSTIFY) << "help-style entry\n" << seen;
    for (const MenuItem& entry : bar) {
        EXPECT_TRUE(entry.has_submenu) << seen;
        EXPECT_EQ(entry.state & kUnusable, 0u) << seen;
        ASSERT_EQ(entry.items.size(), 1u) << seen;
        EXPECT_EQ(entry.items[0].type & (MFT_SEPARATOR | MFT_BITMAP | MFT_OWNERDRAW), 0u) << seen;
        EXPECT_FALSE(entry.items[0].has_submenu) << seen;
    }

    const MenuItem& select = bar[0].items[0];
    EXPECT_EQ(select.text, "&Select input file...");
    EXPECT_EQ(select.id, static_cast<UINT>(kSelectInput));
    EXPECT_EQ(select.state & kUnusable, 0u);

    const MenuItem& quality = bar[1].items[0];
    EXPECT_EQ(quality.text, "&High Quality AAC");
    EXPECT_EQ(quality.id, 0u);
    EXPECT_TRUE(quality.state & MFS_GRAYED) << "greyed: cannot be used";

    const MenuItem& help = bar[2].items[0];
    EXPECT_EQ(help.text, "&Help");
    EXPECT_EQ(help.id, static_cast<UINT>(kAboutCommand));
    EXPECT_EQ(help.state & kUnusable, 0u);

    const MenuItem& about = bar[3].items[0];
    EXPECT_EQ(about.text, "&About...");
    EXPECT_EQ(about.id, static_cast<UINT>(kAboutCommand));
    EXPECT_EQ(about.state & kUnusable, 0u);
}

TEST_F(Menu, SystemMenuEndsWithAboutItem) {
    const auto menu = app_.probe().system_menu(main_);
    const std::string seen = "system menu:\n" + describe(menu) + app_.probe().last_error();
    ASSERT_GE(menu.size(), 3u) << seen;
    const MenuItem& separator = menu[menu.size() - 2];
    const MenuItem& about = menu.back();
    EXPECT_TRUE(separator.type & MFT_SEPARATOR) << seen;
    EXPECT_EQ(about.type & (MFT_SEPARATOR | MFT_BITMAP | MFT_OWNERDRAW), 0u) << seen;
    EXPECT_EQ(about.text, "&About Tessarin...") << seen;
    EXPECT_EQ(about.id, kAboutSysCommand) << seen;
    EXPECT_EQ(about.state & kUnusable, 0u) << seen;
    // The standard items stay: Close among them.
    bool has_close = false;
    for (const MenuItem& item : menu)
        has_close |= item.id == SC_CLOSE;
    EXPECT_TRUE(has_close) << seen;
}

TEST_F(Menu, UnusableCommandsDoNothing) {
    // The greyed item's command (0), the disabled controls' clicks: nothing opens, the
    // program keeps running with its state.
    post_menu_command(main_, 0);
    for (int id : {kProfileCustom, kPlay, kExtensions})
        post_command(main_, id);
    ASSERT_TRUE(app_.settle()) << app_.describe_windows();
    EXPECT_TRUE(app_.running());
    EXPECT_TRUE(owned_dialogs(app_.process_id(), main_).empty()) << app_.describe_windows();
    EXPECT_TRUE(IsWindowEnabled(main_));
    EXPECT_TRUE(is_checked(control(kProfileMain)));
    EXPECT_FALSE(is_checked(control(kProfileCustom)));
    EXPECT_FALSE(is_checked(control(kExtensions)));
}

}  // namespace
}  // namespace brevix::e2e
