// The start-up benchmark's references: the least a program can do to show a dialog from a
// resource template. Built twice: with bare_dialog.rc (the main window's style and font, no
// menu and no controls) and with the program's own resources, showing the main window's
// template (menu and controls) with none of the program's code. Closes on WM_CLOSE (the
// launcher's signal) like the main window.
#include <windows.h>

#ifdef BREVIX_MAIN_TEMPLATE
#include "res/resource.h"
#endif

namespace {

#ifdef BREVIX_MAIN_TEMPLATE
constexpr int kTemplate = IDD_MAIN;
#else
constexpr int kTemplate = 1;
#endif

INT_PTR CALLBACK dialog_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_INITDIALOG) {
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wparam) == IDCANCEL) {
        EndDialog(hwnd, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return static_cast<int>(
        DialogBoxParamA(instance, MAKEINTRESOURCEA(kTemplate), nullptr, dialog_proc, 0));
}
