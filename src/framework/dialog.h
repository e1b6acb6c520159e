// Modal dialogs from templates, with control binding and an ordered routing table per
// dialog class: each line maps a message (and, for WM_COMMAND, a notification code and
// a control or command id) to a handler; the first matching line wins. Messages no line
// matches get the default handling: Enter (IDOK) and Escape or the close box (IDCANCEL)
// end the modal run.
#pragma once

#include <cstddef>

#include "framework/controls.h"
#include "framework/win.h"

namespace brevix::framework {

template <class D>
struct Route {
    using Handler = INT_PTR (D::*)(WPARAM, LPARAM);
    UINT message;
    WORD code;  // WM_COMMAND only: notification code (0 for menus and BN_CLICKED)
    WORD id;    // WM_COMMAND only: control or command identifier
    Handler handler;
};

// A window message, whatever its parameters.
template <class D>
constexpr Route<D> on_message(UINT message, typename Route<D>::Handler handler) {
    return {message, 0, 0, handler};
}
// A command: a menu item or a button click (both arrive with code 0).
template <class D>
constexpr Route<D> on_command(WORD id, typename Route<D>::Handler handler) {
    return {WM_COMMAND, 0, id, handler};
}
// A control notification other than a click, e.g. CBN_SELCHANGE.
template <class D>
constexpr Route<D> on_notification(WORD code, WORD id, typename Route<D>::Handler handler) {
    return {WM_COMMAND, code, id, handler};
}

class Dialog {
public:
    explicit Dialog(int template_id) : template_id_(template_id) {}
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Creates the dialog from its template and runs it modally; the owner is disabled
    // meanwhile. Returns the value given to end_dialog (IDOK, IDCANCEL, ...), or -1 when
    // the dialog could not be created.
    INT_PTR do_modal(HWND owner);
    void end_dialog(INT_PTR result) { EndDialog(hwnd_, result); }
    HWND hwnd() const { return hwnd_; }

protected:
    // Binds the control members to their controls (called before on_init_dialog).
    virtual void do_data_exchange() {}
    // Returns true to let the dialog manager put the focus on the first tab stop.
    virtual bool on_init_dialog() { return true; }
    // Looks the message up in the class's routing table; true when a line handled it.
    virtual bool dispatch(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR& result);

    void bind(int control_id, Window& control) { control.attach(GetDlgItem(hwnd_, control_id)); }

    template <class D, std::size_t N>
    static bool route(D& self, const Route<D> (&table)[N], UINT message, WPARAM wparam,
                      LPARAM lparam, INT_PTR& result) {
        for (const Route<D>& line : table) {
            if (line.message != message)
                continue;
            if (message == WM_COMMAND && (line.code != HIWORD(wparam) || line.id != LOWORD(wparam)))
                continue;
            result = (self.*line.handler)(wparam, lparam);
            return true;
        }
        return false;
    }

private:
    static INT_PTR CALLBACK dialog_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    // Fills list and combo boxes from the template's initialisation data resource.
    void execute_dialog_init();

    int template_id_;
    HWND hwnd_ = nullptr;
};

}  // namespace brevix::framework
