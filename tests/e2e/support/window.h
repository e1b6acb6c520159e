// Looking at and driving another process's windows with plain messages. Queries go
// through SendMessageTimeout so a hung program fails the test instead of hanging it;
// actions that may open a modal window (a click, a menu command, a key) are posted, and
// the caller then waits for their effect.
#pragma once

#include <string>
#include <vector>

#include "support/win.h"

namespace brevix::e2e {

// What a test sees of one window, for checks and for failure messages.
struct WindowFacts {
    HWND hwnd = nullptr;
    int id = 0;
    std::string class_name;
    std::string text;
    DWORD style = 0;
    DWORD ex_style = 0;
    RECT rect{};  // children: in the parent's client coordinates; top-level: on screen
};

std::string class_name(HWND hwnd);
// The window's text by WM_GETTEXT (works across processes for every control class).
std::string window_text(HWND hwnd);
// Wide text in the system's ANSI code page.
std::string narrow(const std::wstring& wide);
DWORD style(HWND hwnd);
DWORD ex_style(HWND hwnd);
RECT window_rect(HWND hwnd);
RECT client_rect(HWND hwnd);
// A child's rectangle in its parent's client coordinates.
RECT rect_in_parent(HWND child);
WindowFacts facts(HWND hwnd);
std::string describe(const WindowFacts& facts);
std::string describe(const RECT& rect);

// Direct children in Z order (for a dialog: the template order).
std::vector<HWND> children(HWND parent);
HWND child_by_id(HWND parent, int id);
// The first window of a class anywhere below parent (children, their children, ...), in
// Z order; e.g. the file-name Edit inside a file dialog's combo box.
HWND find_descendant(HWND parent, const std::string& class_name);
// Top-level windows of a process, visible or not.
std::vector<HWND> top_level_windows(DWORD process_id);
// A visible top-level window of the process with this class and caption (nullptr if none).
HWND find_window(DWORD process_id, const std::string& class_name, const std::string& caption);
// Visible top-level dialogs (#32770) of the process owned by owner.
std::vector<HWND> owned_dialogs(DWORD process_id, HWND owner);
// One line per visible top-level window of the process, for failure messages.
std::string describe_windows(DWORD process_id);

// Returns after the window's thread has handled every message sent before; false when
// it did not answer within the timeout (hung or gone).
bool answers(HWND hwnd, DWORD timeout_ms = 5000);
LRESULT send(HWND hwnd, UINT message, WPARAM wparam = 0, LPARAM lparam = 0);

// Combo box contents and selection.
std::vector<std::string> combo_items(HWND combo);
int combo_selection(HWND combo);
bool is_checked(HWND button);

// Actions (posted).
void post_command(HWND dialog, int id, int code = BN_CLICKED);
void post_menu_command(HWND window, int id);  // WM_COMMAND as a menu sends it
void post_sys_command(HWND window, WPARAM command);
void click(HWND button);  // BM_CLICK
// WM_KEYDOWN and WM_KEYUP for a virtual key to the window that should get them (the
// focused control, so that the dialog manager sees the key as the user would press it).
void post_key(HWND target, UINT virtual_key);
// Alt+key as a system key (e.g. Alt+F4).
void post_alt_key(HWND target, UINT virtual_key);
// Moves the dialog's focus to a control as Tab would (WM_NEXTDLGCTL).
void focus_control(HWND dialog, HWND control);
// The window that has the focus on a thread (nullptr when unknown).
HWND focused_window(DWORD thread_id);
// Selects a combo box entry and tells the dialog, as a user's choice does.
void choose_combo_entry(HWND dialog, HWND combo, int index);
// Replaces an edit control's text (WM_SETTEXT).
void set_text(HWND hwnd, const std::string& text);

// A message box as the user sees it: caption, the message text, whether it shows an icon,
// and its buttons' texts.
struct MessageBoxFacts {
    HWND hwnd = nullptr;
    std::string caption;
    std::string text;
    bool has_icon = false;
    std::vector<std::string> buttons;
};
MessageBoxFacts read_message_box(HWND box);

}  // namespace brevix::e2e
