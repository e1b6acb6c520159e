// The program's icon: set on the main window in both sizes, answered for dragging, and
// stored in the executable as one group of three images.
#include <gtest/gtest.h>

#include "support/fixture.h"
#include "support/resources.h"

namespace brevix::e2e {
namespace {

using Icons = RunningProgram;

TEST_F(Icons, WindowHasBigAndSmallIcon) {
    const WindowIcons icons = app_.probe().icons(main_);
    ASSERT_TRUE(app_.probe().last_error().empty()) << app_.probe().last_error();
    EXPECT_TRUE(icons.big_icon.present);
    EXPECT_EQ(icons.big_icon.width, 32);
    EXPECT_EQ(icons.big_icon.height, 32);
    EXPECT_TRUE(icons.small_icon.present);
    EXPECT_EQ(icons.small_icon.width, 16);
    EXPECT_EQ(icons.small_icon.height, 16);
    EXPECT_TRUE(icons.drag_icon.present) << "WM_QUERYDRAGICON gives no icon";
    EXPECT_EQ(icons.drag_icon.width, 32);
    EXPECT_EQ(icons.drag_icon.height, 32);
}

TEST(IconResource, GroupOfThreeImages) {
    ResourceFile exe(built_program());
    ASSERT_TRUE(exe.loaded()) << built_program();
    const auto group = parse_icon_group(exe.bytes(128, MAKEINTRESOURCEA(14)));  // RT_GROUP_ICON
    ASSERT_TRUE(group.has_value()) << "no icon group 128";
    ASSERT_EQ(group->size(), 3u);

    struct Want {
        int size;
        int bits;
        int colors;  // as the group entry counts them: 0 for 256
    };
    const Want want[] = {{32, 4, 16}, {16, 4, 16}, {32, 8, 0}};
    for (std::size_t i = 0; i < 3; ++i) {
        const IconGroupEntry& entry = (*group)[i];
        SCOPED_TRACE("image " + std::to_string(i));
        EXPECT_EQ(entry.width, want[i].size);
        EXPECT_EQ(entry.height, want[i].size);
        EXPECT_EQ(entry.color_count, want[i].colors);
        const auto image = parse_icon_image(exe.bytes(entry.id, MAKEINTRESOURCEA(3)));  // RT_ICON
        ASSERT_TRUE(image.has_value()) << "icon image " << entry.id << " missing or not a DIB";
        EXPECT_EQ(image->width, want[i].size);
        EXPECT_EQ(image->height, want[i].size);
        EXPECT_EQ(image->bit_count, want[i].bits);
    }
}

}  // namespace
}  // namespace brevix::e2e
