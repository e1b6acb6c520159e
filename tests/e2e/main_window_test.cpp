// The main window as it comes up: caption, frame, size, every control in tab order with
// its place computed from the dialog base units, and the initial state of the displays,
// the profile buttons and the bit-rate list.
#include <gtest/gtest.h>

#include "expected_layout.h"
#include "support/fixture.h"
#include "support/screenshot.h"

namespace brevix::e2e {
namespace {

bool same_rect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

using MainWindow = RunningProgram;

TEST_F(MainWindow, CaptionFrameAndSize) {
    EXPECT_EQ(window_text(main_), kMainCaption);
    EXPECT_EQ(class_name(main_), kDialogClass);
    EXPECT_EQ(GetWindow(main_, GW_OWNER), nullptr) << "a top-level window of its own";

    const DWORD s = style(main_);
    EXPECT_TRUE(s & WS_VISIBLE);
    EXPECT_EQ(s & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
    EXPECT_TRUE(s & WS_SYSMENU);
    EXPECT_TRUE(s & WS_MINIMIZEBOX);
    EXPECT_FALSE(s & WS_MAXIMIZEBOX);
    EXPECT_FALSE(s & WS_THICKFRAME) << "a fixed-size window";
    EXPECT_FALSE(s & WS_CHILD);
    const DWORD ex = ex_style(main_);
    EXPECT_TRUE(ex & WS_EX_APPWINDOW) << "own task-bar button";
    EXPECT_TRUE(ex & WS_EX_WINDOWEDGE);
    EXPECT_TRUE(ex & WS_EX_DLGMODALFRAME);

    const BaseUnits units = app_.probe().base_units(main_);
    ASSERT_GT(units.x, 0) << app_.probe().last_error();
    ASSERT_GT(units.y, 0);
    const RECT client = client_rect(main_);
    EXPECT_EQ(client.right, units.to_x(kMainWidth)) << "base units " << units.x << "x" << units.y;
    EXPECT_EQ(client.bottom, units.to_y(kMainHeight)) << "base units " << units.x << "x" << units.y;

    // The frame holds the title bar, a one-line menu bar and the dialog border.
    RECT expected = client;
    AdjustWindowRectEx(&expected, s, TRUE, ex);
    const RECT actual = window_rect(main_);
    EXPECT_EQ(actual.right - actual.left, expected.right - expected.left) << describe(actual);
    EXPECT_EQ(actual.bottom - actual.top, expected.bottom - expected.top) << describe(actual);
}

TEST_F(MainWindow, ControlsInTabOrderWithTheirPlaces) {
    const BaseUnits units = app_.probe().base_units(main_);
    ASSERT_GT(units.x, 0) << app_.probe().last_error();

    const auto kids = children(main_);
    std::string seen;
    for (HWND kid : kids)
        seen += "  " + describe(facts(kid)) + "\n";
    ASSERT_EQ(kids.size(), std::size(kMainControls)) << seen;

    for (std::size_t i = 0; i < kids.size(); ++i) {
        const ExpectedControl& want = kMainControls[i];
        const WindowFacts got = facts(kids[i]);
        SCOPED_TRACE("control " + std::to_string(i) + ": " + describe(got));
        if (want.id == kNoId) {
            EXPECT_TRUE(is_no_id(got.id));
        } else {
            EXPECT_EQ(got.id, want.id);
        }
        EXPECT_STRCASEEQ(got.class_name.c_str(), want.class_name);

        DWORD want_style = want.style | WS_CHILD | WS_VISIBLE;
        // A radio button carries WS_TABSTOP while it is checked (the button control
        // moves it along with the check so Tab reaches the group's checked button).
        if ((want.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON && is_checked(kids[i]))
            want_style |= WS_TABSTOP;
        if (want.id == kBitrateList) {
            // A live combo box drops WS_VSCROLL (the template keeps it); its text is the
            // selected entry and its window is the closed list's height.
            want_style &= ~WS_VSCROLL;
            EXPECT_EQ(got.style & ~WS_VSCROLL, want_style);
            const RECT place = units.to_pixels(want.x, want.y, want.width, want.height);
            EXPECT_EQ(got.rect.left, place.left);
            EXPECT_EQ(got.rect.top, place.top);
            EXPECT_EQ(got.rect.right, place.right);
            // The template's 80 units are the dropped list's height; how a system splits
            // it between field and list differs, so here the list only has to drop below
            // the field at the field's width (the height is checked in the template).
            RECT dropped{};
            send(kids[i], CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
            const RECT field = window_rect(kids[i]);
            EXPECT_EQ(dropped.right - dropped.left, field.right - field.left)
                << "dropped list " << describe(dropped) << " field " << describe(field);
            EXPECT_GT(dropped.bottom - dropped.top, 3 * (field.bottom - field.top))
                << "dropped list " << describe(dropped) << " field " << describe(field);
            continue;
        }
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.style, want_style);
        const RECT place = units.to_pixels(want.x, want.y, want.width, want.height);
        EXPECT_TRUE(same_rect(got.rect, place)) << "expected " << describe(place);
    }
}

TEST_F(MainWindow, UnusableControlsAreDisabled) {
    for (const ExpectedControl& c : kMainControls) {
        if (c.id == kNoId)
            continue;
        const bool want_enabled = !(c.style & WS_DISABLED);
        EXPECT_EQ(IsWindowEnabled(control(c.id)) != FALSE, want_enabled) << "control " << c.id;
    }
}

TEST_F(MainWindow, InitialState) {
    EXPECT_EQ(window_text(control(kInputDisplay)), "No file selected");
    EXPECT_EQ(window_text(control(kFormatDisplay)), "-");
    EXPECT_EQ(window_text(control(kOutputDisplay)), "-");
    EXPECT_EQ(window_text(control(kSpareLine)), "-");

    EXPECT_TRUE(is_checked(control(kProfileMain)));
    EXPECT_FALSE(is_checked(control(kProfileLc)));
    EXPECT_FALSE(is_checked(control(kProfileSsr)));
    EXPECT_FALSE(is_checked(control(kProfileCustom)));
    EXPECT_FALSE(is_checked(control(kExtensions)));

    const auto items = combo_items(control(kBitrateList));
    ASSERT_EQ(items.size(), std::size(kInitialBitrates));
    for (std::size_t i = 0; i < items.size(); ++i)
        EXPECT_EQ(items[i], kInitialBitrates[i]);
    EXPECT_EQ(combo_selection(control(kBitrateList)), 2);
    EXPECT_EQ(window_text(control(kBitrateList)), "64 kbits/s per channel (recommended)");

    // The focus goes to the first tab stop. Checking a radio button gives it WS_TABSTOP,
    // so that is the checked Main profile button, ahead of the bit-rate list.
    HWND focus = app_.probe().focus(main_);
    EXPECT_EQ(focus, control(kProfileMain)) << "focus on " << describe(facts(focus));

    // No push button is the default button: the default id stays IDOK, which names no
    // control, so Enter ends the dialog unless a push button has the focus.
    const LRESULT default_id = send(main_, DM_GETDEFID);
    if (HIWORD(default_id) == DC_HASDEFID) {
        EXPECT_EQ(LOWORD(default_id), IDOK);
    }
    EXPECT_EQ(control(IDOK), nullptr);
    for (int id : {kEncode, kSelectInput, kSelectOutput, kPlay})
        EXPECT_EQ(style(control(id)) & BS_TYPEMASK, static_cast<DWORD>(BS_PUSHBUTTON)) << id;
}

TEST_F(MainWindow, TextsFit) {
    expect_texts_fit(app_.probe(), main_);
}

TEST_F(MainWindow, Screenshot) {
    const Image image = capture_window(app_.probe(), main_);
    ASSERT_FALSE(image.rgb.empty()) << "the window's picture did not settle";
    const RECT rect = window_rect(main_);
    EXPECT_EQ(image.width, rect.right - rect.left);
    EXPECT_EQ(image.height, rect.bottom - rect.top);
    const std::string path = save_png(image, "main_window.png");
    EXPECT_FALSE(path.empty());
    std::printf("screenshot: %s\n", path.c_str());
}

}  // namespace
}  // namespace brevix::e2e
