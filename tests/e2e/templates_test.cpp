// The dialog templates, menu data and list data stored in brevix.exe, read as the system
// reads them. The live windows are checked elsewhere; some style bits (a combo box's
// scroll bar, the border of animation and progress controls) only show here, because a
// live control may drop them.
#include <gtest/gtest.h>

#include <sstream>

#include "expected_layout.h"
#include "support/paths.h"
#include "support/resources.h"

namespace brevix::e2e {
namespace {

const char* const kDialogType = RT_DIALOG;
const char* const kDialogInitType = MAKEINTRESOURCEA(240);
constexpr int kLegacyComboAddString = 0x0403;

std::string describe(const TemplateItem& item) {
    std::ostringstream out;
    out << "id " << item.id << " class \"" << item.class_name << "\" text \"" << item.text
        << "\" style 0x" << std::hex << item.style << std::dec << " at " << item.x << ", " << item.y
        << " size " << item.width << " x " << item.height;
    return out.str();
}

class Templates : public ::testing::Test {
protected:
    DialogTemplate load(int id) {
        const auto bytes = exe_.bytes(id, kDialogType);
        EXPECT_FALSE(bytes.empty()) << "no dialog template " << id << " in " << built_program();
        const auto parsed = parse_dialog_template(bytes);
        EXPECT_TRUE(parsed.has_value()) << "dialog template " << id << " is malformed";
        return parsed.value_or(DialogTemplate{});
    }

    // Every item in order, with its id, class, text, style (WS_CHILD and WS_VISIBLE on
    // every control) and place. A nullptr text is not compared.
    template <std::size_t N>
    void expect_items(const DialogTemplate& t, const ExpectedControl (&expected)[N]) {
        ASSERT_EQ(t.items.size(), N);
        for (std::size_t i = 0; i < N; ++i) {
            const TemplateItem& item = t.items[i];
            const ExpectedControl& want = expected[i];
            SCOPED_TRACE("item " + std::to_string(i) + ": " + describe(item));
            if (want.id == kNoId) {
                EXPECT_TRUE(is_no_id(item.id));
            } else {
                EXPECT_EQ(item.id, want.id);
            }
            EXPECT_STRCASEEQ(item.class_name.c_str(), want.class_name);
            if (want.text != nullptr) {
                EXPECT_EQ(item.text, want.text);
            }
            EXPECT_EQ(item.style, want.style | WS_CHILD | WS_VISIBLE);
            EXPECT_EQ(item.ex_style, 0u);
            EXPECT_EQ(item.x, want.x);
            EXPECT_EQ(item.y, want.y);
            EXPECT_EQ(item.width, want.width);
            EXPECT_EQ(item.height, want.height);
        }
    }

    ResourceFile exe_{built_program()};
};

TEST_F(Templates, MainWindowTemplate) {
    ASSERT_TRUE(exe_.loaded()) << built_program();
    const DialogTemplate t = load(102);
    EXPECT_EQ(t.style, static_cast<DWORD>(DS_SETFONT | DS_MODALFRAME | DS_3DLOOK | WS_POPUP |
                                          WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX));
    EXPECT_EQ(t.ex_style, static_cast<DWORD>(WS_EX_APPWINDOW));
    EXPECT_EQ(t.caption, "Quanor MPEG-4 Brevix 1.0 (Alpha 2)");
    EXPECT_EQ(t.menu, "#130");
    EXPECT_EQ(t.window_class, "");
    EXPECT_EQ(t.width, kMainWidth);
    EXPECT_EQ(t.height, kMainHeight);
    EXPECT_EQ(t.font, "MS Sans Serif");
    EXPECT_EQ(t.point_size, 8);
    EXPECT_EQ(t.weight, FW_DONTCARE) << "default weight";
    EXPECT_FALSE(t.italic);
    EXPECT_EQ(t.charset, DEFAULT_CHARSET) << "default character set (DEFAULT_CHARSET)";
    expect_items(t, kMainControls);
}

TEST_F(Templates, AboutBoxTemplate) {
    ASSERT_TRUE(exe_.loaded()) << built_program();
    const DialogTemplate t = load(100);
    EXPECT_EQ(t.style,
              static_cast<DWORD>(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(t.caption, "About Quanor MPEG-4 Encoder");
    EXPECT_EQ(t.menu, "");
    EXPECT_EQ(t.width, kAboutWidth);
    EXPECT_EQ(t.height, kAboutHeight);
    EXPECT_EQ(t.font, "MS Sans Serif");
    EXPECT_EQ(t.point_size, 8);
    expect_items(t, kAboutControls);
    ASSERT_EQ(t.items.size(), std::size(kAboutControls));
    EXPECT_EQ(t.items[0].text, "#128") << "the icon control shows icon 128";
    EXPECT_EQ(t.items[3].text.rfind(std::string(kBuildLine) + "\n", 0), 0u) << t.items[3].text;
}

TEST_F(Templates, ProgressWindowTemplate) {
    ASSERT_TRUE(exe_.loaded()) << built_program();
    const DialogTemplate t = load(131);
    EXPECT_EQ(t.style, static_cast<DWORD>(DS_SETFONT | DS_MODALFRAME | DS_3DLOOK |
                                          DS_SETFOREGROUND | WS_POPUP | WS_VISIBLE));
    EXPECT_EQ(t.style & (WS_CAPTION | WS_SYSMENU), 0u) << "no title bar, no system menu";
    EXPECT_EQ(t.caption, "");
    EXPECT_EQ(t.width, 300);
    EXPECT_EQ(t.height, 52);
    EXPECT_EQ(t.font, "MS Sans Serif");
    EXPECT_EQ(t.point_size, 8);
    expect_items(t, kProgressControls);
}

TEST_F(Templates, BitrateListInitialisationData) {
    ASSERT_TRUE(exe_.loaded()) << built_program();
    const auto entries = parse_dialog_init(exe_.bytes(102, kDialogInitType));
    ASSERT_TRUE(entries.has_value()) << "no well-formed initialisation data for dialog 102";
    ASSERT_EQ(entries->size(), std::size(kInitialBitrates));
    for (std::size_t i = 0; i < entries->size(); ++i) {
        EXPECT_EQ((*entries)[i].control_id, kBitrateList) << i;
        EXPECT_EQ((*entries)[i].message, kLegacyComboAddString) << i;
        EXPECT_EQ((*entries)[i].data, kInitialBitrates[i]) << i;
    }
}

}  // namespace
}  // namespace brevix::e2e
