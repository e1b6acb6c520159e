// Thin wrappers over the controls the program uses. They hold the control's window
// handle, bound when the dialog initialises, and expose the control's messages.
#pragma once

#include <string>

#include "framework/win.h"

namespace brevix::framework {

class Window {
public:
    void attach(HWND hwnd) { hwnd_ = hwnd; }

    std::string text() const;
    void set_text(const std::string& text) { SetWindowTextA(hwnd_, text.c_str()); }
    void enable(bool enabled) { EnableWindow(hwnd_, enabled ? TRUE : FALSE); }

protected:
    LRESULT send(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) const {
        return SendMessageA(hwnd_, message, wparam, lparam);
    }

private:
    HWND hwnd_ = nullptr;
};

class ComboBox : public Window {
public:
    void reset() { send(CB_RESETCONTENT); }
    int add_string(const std::string& text) {
        return static_cast<int>(send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
    }
    void set_cur_sel(int index) { send(CB_SETCURSEL, static_cast<WPARAM>(index)); }
    int cur_sel() const { return static_cast<int>(send(CB_GETCURSEL)); }
};

class AnimateCtrl : public Window {
public:
    // Opens an AVI resource of the program's own module; with the auto-play style the
    // control starts playing at once and loops.
    bool open(int resource_id) {
        return send(ACM_OPENA, 0, reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(resource_id))) != 0;
    }
};

}  // namespace brevix::framework
