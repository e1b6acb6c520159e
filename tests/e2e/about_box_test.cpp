// The About box: the ways to open it from the main window, its contents and place, and the
// ways to close it, after which the main window is usable again.
#include <gtest/gtest.h>

#include <functional>

#include "expected_layout.h"
#include "support/fixture.h"
#include "support/screenshot.h"

namespace brevix::e2e {
namespace {

class AboutBox : public RunningProgram {
protected:
    // Opens the About box with the given action and waits for it.
    HWND open(const std::function<void()>& action) {
        action();
        HWND about = app_.wait_for_dialog(kAboutCaption);
        EXPECT_NE(about, nullptr) << "no About box\n" << app_.describe_windows();
        return about;
    }
    HWND open_from_system_menu() {
        return open([&] { post_sys_command(main_, kAboutSysCommand); });
    }

    // Closes it with the given action; the main window is then enabled and the program
    // still runs.
    void expect_closed_by(HWND about, const std::function<void()>& action) {
        action();
        EXPECT_TRUE(app_.wait_until_gone(about)) << app_.describe_windows();
        ASSERT_TRUE(app_.settle()) << app_.describe_windows();
        EXPECT_TRUE(app_.running());
        EXPECT_TRUE(IsWindowVisible(main_));
        EXPECT_TRUE(IsWindowEnabled(main_)) << "the main window stays disabled";
        EXPECT_EQ(find_window(app_.process_id(), kDialogClass, kAboutCaption), nullptr);
    }
};

TEST_F(AboutBox, OpensFromSystemMenuAndBothHelpItems) {
    struct Way {
        const char* name;
        std::function<void()> action;
    };
    const Way ways[] = {
        {"system menu item", [&] { post_sys_command(main_, kAboutSysCommand); }},
        // The system passes its own flags in the low four bits of a system command.
        {"system menu item, low bits set",
         [&] { post_sys_command(main_, kAboutSysCommand | 0xF); }},
        // Both Help items carry this command (checked in menu_test.cpp).
        {"Help items' command", [&] { post_menu_command(main_, kAboutCommand); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        HWND about = open(way.action);
        if (about == nullptr)
            continue;
        EXPECT_EQ(GetWindow(about, GW_OWNER), main_);
        EXPECT_FALSE(IsWindowEnabled(main_)) << "the About box is modal";
        expect_closed_by(about, [&] { click(GetDlgItem(about, IDOK)); });
    }
}

TEST_F(AboutBox, OtherSystemCommandsDoNotOpenIt) {
    // A neighbour of the About command is a different command.
    post_sys_command(main_, kAboutSysCommand + 0x10);
    ASSERT_TRUE(app_.settle());
    EXPECT_EQ(find_window(app_.process_id(), kDialogClass, kAboutCaption), nullptr);
    EXPECT_TRUE(app_.running());
}

TEST_F(AboutBox, ClosesWithOkEscapeAndCloseBox) {
    HWND about = open_from_system_menu();
    ASSERT_NE(about, nullptr);
    expect_closed_by(about, [&] { click(GetDlgItem(about, IDOK)); });

    about = open_from_system_menu();
    ASSERT_NE(about, nullptr);
    expect_closed_by(about, [&] {
        HWND focus = app_.probe().focus(about);
        EXPECT_EQ(focus, GetDlgItem(about, IDOK)) << "focus on " << describe(facts(focus));
        post_key(focus != nullptr ? focus : about, VK_ESCAPE);
    });

    about = open_from_system_menu();
    ASSERT_NE(about, nullptr);
    expect_closed_by(about, [&] {
        HWND focus = app_.probe().focus(about);
        post_key(focus != nullptr ? focus : about, VK_RETURN);
    });

    about = open_from_system_menu();
    ASSERT_NE(about, nullptr);
    expect_closed_by(about, [&] { post_sys_command(about, SC_CLOSE); });
}

TEST_F(AboutBox, ContentsAndPlace) {
    HWND about = open_from_system_menu();
    ASSERT_NE(about, nullptr);

    const DWORD s = style(about);
    EXPECT_EQ(s & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
    EXPECT_TRUE(s & WS_SYSMENU);
    EXPECT_FALSE(s & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_TRUE(ex_style(about) & WS_EX_DLGMODALFRAME);

    const BaseUnits units = app_.probe().base_units(about);
    ASSERT_GT(units.x, 0) << app_.probe().last_error();
    const RECT client = client_rect(about);
    EXPECT_EQ(client.right, units.to_x(kAboutWidth));
    EXPECT_EQ(client.bottom, units.to_y(kAboutHeight));

    const auto kids = children(about);
    std::string seen;
    for (HWND kid : kids)
        seen += "  " + describe(facts(kid)) + "\n";
    ASSERT_EQ(kids.size(), std::size(kAboutControls)) << seen;
    for (std::size_t i = 0; i < kids.size(); ++i) {
        const ExpectedControl& want = kAboutControls[i];
        const WindowFacts got = facts(kids[i]);
        SCOPED_TRACE("control " + std::to_string(i) + ": " + describe(got));
        if (want.id == kNoId) {
            EXPECT_TRUE(is_no_id(got.id));
        } else {
            EXPECT_EQ(got.id, want.id);
        }
        EXPECT_STRCASEEQ(got.class_name.c_str(), want.class_name);
        EXPECT_EQ(got.style, want.style | WS_CHILD | WS_VISIBLE);
        if (want.text != nullptr) {
            EXPECT_EQ(got.text, want.text);
        }
        const RECT place = units.to_pixels(want.x, want.y, want.width, want.height);
        if ((want.style & SS_TYPEMASK) == SS_ICON && want.class_name[0] == 'S') {
            // An icon control takes the size of its icon, at the template's position.
            EXPECT_EQ(got.rect.left, place.left);
            EXPECT_EQ(got.rect.top, place.top);
            EXPECT_NE(send(kids[i], STM_GETICON), 0) << "the icon control shows no icon";
            continue;
        }
        EXPECT_EQ(got.rect.left, place.left);
        EXPECT_EQ(got.rect.top, place.top);
        EXPECT_EQ(got.rect.right, place.right);
        EXPECT_EQ(got.rect.bottom, place.bottom);
    }

    // The build line and a rights notice; the web-page line, an empty line, the developer.
    const std::string build = window_text(kids[3]);
    const auto newline = build.find('\n');
    ASSERT_NE(newline, std::string::npos) << build;
    EXPECT_EQ(build.substr(0, newline), kBuildLine);
    EXPECT_GT(build.size(), newline + 1) << "no rights notice";
    const std::string credits = window_text(kids[4]);
    const auto first = credits.find('\n');
    ASSERT_NE(first, std::string::npos) << credits;
    EXPECT_GT(first, 0u) << credits;
    EXPECT_EQ(credits.compare(first, 2, "\n\n"), 0) << credits;
    EXPECT_GT(credits.size(), first + 2) << credits;
    EXPECT_EQ(credits.find('\n', first + 2), std::string::npos) << credits;

    // OK is the default button and has the focus.
    const LRESULT default_id = send(about, DM_GETDEFID);
    EXPECT_EQ(HIWORD(default_id), DC_HASDEFID);
    EXPECT_EQ(LOWORD(default_id), IDOK);
    EXPECT_EQ(app_.probe().focus(about), GetDlgItem(about, IDOK));

    // The About box has no menu; its system menu is the standard one.
    EXPECT_EQ(app_.probe().menu(about).size(), 0u);

    expect_texts_fit(app_.probe(), about);

    const std::string path = save_screenshot(app_.probe(), about, "about_box.png");
    EXPECT_FALSE(path.empty()) << "no screenshot of the About box";
    std::printf("screenshot: %s\n", path.c_str());
}

}  // namespace
}  // namespace brevix::e2e
