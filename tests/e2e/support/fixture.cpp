#include "support/fixture.h"

namespace brevix::e2e {

void expect_texts_fit(Probe& probe, HWND window) {
    const auto rooms = probe.text_room(window);
    ASSERT_FALSE(rooms.empty()) << "no text controls found: " << probe.last_error();
    for (const TextRoom& room : rooms) {
        if (room.text.empty())
            continue;
        SCOPED_TRACE(room.kind + " " + std::to_string(room.index) + " (id " +
                     std::to_string(room.id) + ") \"" + room.text + "\": needs " +
                     std::to_string(room.need.cx) + " x " + std::to_string(room.need.cy) +
                     ", has " + std::to_string(room.have.cx) + " x " +
                     std::to_string(room.have.cy));
        // Room a button takes besides its text: the edge of a push button, the box of a
        // check or radio button and the gap after it.
        const int extra = room.kind == "push"  ? 4
                          : room.kind == "box" ? GetSystemMetrics(SM_CXMENUCHECK) + 2
                                               : 0;
        EXPECT_LE(room.need.cx + extra, room.have.cx);
        EXPECT_LE(room.need.cy, room.have.cy);
    }
}

}  // namespace brevix::e2e
