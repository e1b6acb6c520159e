#include "framework/dialog.h"

#include <cstring>

#include "framework/application.h"
#include "framework/message_box.h"

namespace brevix::framework {

namespace {

// Resource type of a dialog's initialisation data: records of (control id, message,
// data length, data) ended by a zero id. The messages are the 16-bit era's numbers; the
// program's templates hold combo box entries only.
constexpr WORD kDialogInitType = 240;
constexpr WORD kLegacyComboAddString = 0x0403;

}  // namespace

INT_PTR Dialog::do_modal(HWND owner) {
    return DialogBoxParamA(Application::instance(), MAKEINTRESOURCEA(template_id_), owner,
                           &Dialog::dialog_proc, reinterpret_cast<LPARAM>(this));
}

bool Dialog::dispatch(UINT, WPARAM, LPARAM, INT_PTR&) {
    return false;
}

// The window manager calls this; no exception may unwind through it (the system's frames
// between here and DialogBoxParam cannot be unwound, and the program would end). A handler
// that throws, e.g. std::bad_alloc from a string, is reported to the user, its message
// counts as not handled, and the dialog carries on.
INT_PTR CALLBACK Dialog::dialog_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) try {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Dialog*>(lparam);
        SetWindowLongPtrA(hwnd, DWLP_USER, lparam);
        self->hwnd_ = hwnd;
        self->do_data_exchange();
        self->execute_dialog_init();
        return self->on_init_dialog() ? TRUE : FALSE;
    }
    auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    if (self == nullptr)
        return FALSE;  // messages that arrive before WM_INITDIALOG

    INT_PTR result = FALSE;
    if (self->dispatch(message, wparam, lparam, result))
        return result;

    if (message == WM_COMMAND && HIWORD(wparam) == BN_CLICKED &&
        (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
        self->end_dialog(LOWORD(wparam));
        return TRUE;
    }
    if (message == WM_NCDESTROY)
        self->hwnd_ = nullptr;
    return FALSE;
} catch (...) {
    report_exception(hwnd);
    return FALSE;
}

void Dialog::execute_dialog_init() {
    const HINSTANCE instance = Application::instance();
    HRSRC info =
        FindResourceA(instance, MAKEINTRESOURCEA(template_id_), MAKEINTRESOURCEA(kDialogInitType));
    if (info == nullptr)
        return;
    HGLOBAL handle = LoadResource(instance, info);
    const auto* data = static_cast<const unsigned char*>(LockResource(handle));
    const DWORD size = SizeofResource(instance, info);
    if (data == nullptr)
        return;

    DWORD at = 0;
    for (;;) {
        WORD id = 0;
        if (size - at < sizeof id)
            break;
        std::memcpy(&id, data + at, sizeof id);
        if (id == 0)
            break;
        WORD legacy_message = 0;
        DWORD length = 0;
        if (size - at < 8)
            break;
        std::memcpy(&legacy_message, data + at + 2, sizeof legacy_message);
        std::memcpy(&length, data + at + 4, sizeof length);
        at += 8;
        if (length > size - at)
            break;
        const auto* text = reinterpret_cast<const char*>(data + at);
        // Only zero-terminated strings inside the record are passed on.
        if (legacy_message == kLegacyComboAddString && length > 0 &&
            std::memchr(text, '\0', length) != nullptr)
            SendDlgItemMessageA(hwnd_, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        at += length;
    }
}

}  // namespace brevix::framework
