// The driver's side of the in-process probe (probe/brevix_probe.cpp): it installs the
// probe's message hook on the program's UI thread and asks it what only the program's own
// process can tell: menus, dialog base units, window icons, the focus. It also serves as a
// barrier: ping() returns once the UI thread has taken every message posted before it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../probe/probe_protocol.h"
#include "support/win.h"

namespace brevix::e2e {

struct MenuItem {
    UINT type = 0;   // MFT_* flags
    UINT state = 0;  // MFS_* flags
    UINT id = 0;
    std::string text;
    bool has_submenu = false;
    std::vector<MenuItem> items;  // the submenu's items
};
std::string describe(const std::vector<MenuItem>& menu, int depth = 0);

struct IconFacts {
    bool present = false;
    int width = 0;
    int height = 0;
};

struct WindowIcons {
    IconFacts big_icon;
    IconFacts small_icon;
    IconFacts drag_icon;  // WM_QUERYDRAGICON
};

// Dialog base units as MapDialogRect applies them: x pixels per 4 units, y per 8.
struct BaseUnits {
    int x = 0;
    int y = 0;
    int to_x(int units) const { return MulDiv(units, x, 4); }
    int to_y(int units) const { return MulDiv(units, y, 8); }
    // A dialog-unit rectangle (x, y, width, height) in pixels, as the dialog manager
    // places a control.
    RECT to_pixels(int left, int top, int width, int height) const;
};

// A text control's text, the room drawing it takes in the control's font, and the room the
// control has (its client area).
struct TextRoom {
    int index = 0;  // among the window's children, in Z order
    int id = 0;
    std::string kind;  // "static", "push" (push button) or "box" (check or radio button)
    std::string text;
    SIZE need{};
    SIZE have{};
};

class Probe {
public:
    // Installs the hook on the given thread of the given process.
    Probe(DWORD process_id, DWORD thread_id);
    ~Probe();
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    // Raw request: the answer text, or an empty string (and a message in last_error())
    // when the program did not answer in time.
    std::string request(HWND target, probe::Request request, DWORD timeout_ms);
    const std::string& last_error() const { return last_error_; }

    bool ping(HWND target);
    std::vector<MenuItem> menu(HWND window);
    std::vector<MenuItem> system_menu(HWND window);
    BaseUnits base_units(HWND dialog);
    WindowIcons icons(HWND window);
    HWND focus(HWND any_window_of_the_thread);
    bool redraw(HWND window);
    std::vector<TextRoom> text_room(HWND window);
    // The system icon a message box shows: "none", "exclamation", "hand", "question",
    // "asterisk", "other"; empty when the program did not answer.
    std::string shown_icon(HWND window);

private:
    std::vector<MenuItem> parse_menu(const std::string& answer);

    HANDLE mapping_ = nullptr;
    probe::Block* block_ = nullptr;
    HMODULE dll_ = nullptr;
    HHOOK hook_ = nullptr;
    UINT message_ = 0;
    std::int32_t sequence_ = 0;
    std::string last_error_;
};

}  // namespace brevix::e2e
