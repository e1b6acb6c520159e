#include "ui/main_window.h"

#include "framework/application.h"
#include "framework/file_dialog.h"
#include "framework/message_box.h"
#include "job/bitrate_list.h"
#include "job/encode_action.h"
#include "job/job_state.h"
#include "job/output_selection.h"
#include "job/profile_selection.h"
#include "job/source_selection.h"
#include "launch/command.h"
#include "res/resource.h"
#include "ui/about_box.h"
#include "ui/progress_window.h"
#include "win32/files.h"

namespace brevix::ui {

using framework::on_command;
using framework::on_message;
using framework::on_notification;
using framework::Route;

namespace {

// Whether the two paths, in the ANSI code page as everywhere in this program, name one file.
bool same_file(const std::string& a, const std::string& b) {
    return win32::same_file(win32::widen(a, CP_ACP).data(), win32::widen(b, CP_ACP).data());
}

}  // namespace

struct MainWindowRoutes {
    // First matching line wins.
    static constexpr Route<MainWindow> table[] = {
        on_message<MainWindow>(WM_SYSCOMMAND, &MainWindow::on_sys_command),
        on_message<MainWindow>(WM_PAINT, &MainWindow::on_paint),
        on_message<MainWindow>(WM_QUERYDRAGICON, &MainWindow::on_query_drag_icon),
        on_command<MainWindow>(IDC_SELECT_INPUT, &MainWindow::on_select_input),
        on_command<MainWindow>(ID_APP_ABOUT, &MainWindow::on_about),
        on_command<MainWindow>(IDC_PROFILE_MAIN, &MainWindow::on_profile),
        on_command<MainWindow>(IDC_PROFILE_LC, &MainWindow::on_profile),
        on_command<MainWindow>(IDC_ENCODE, &MainWindow::on_encode),
        on_notification<MainWindow>(CBN_SELCHANGE, IDC_BITRATE_LIST, &MainWindow::on_bitrate),
        on_command<MainWindow>(IDC_SELECT_OUTPUT, &MainWindow::on_select_output),
        on_command<MainWindow>(IDC_PROFILE_SSR, &MainWindow::on_profile),
        // F1: the About box is the program's only help.
        on_message<MainWindow>(WM_HELP, &MainWindow::on_about),
        on_command<MainWindow>(ID_HELP, &MainWindow::on_about),
    };
};

MainWindow::MainWindow()
    : Dialog(IDD_MAIN),
      icon_(IDR_MAINFRAME, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)),
      small_icon_(IDR_MAINFRAME, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)) {}

void MainWindow::do_data_exchange() {
    bind(IDC_BITRATE_LIST, bitrate_list_);
}

bool MainWindow::on_init_dialog() {
    set_check(IDC_PROFILE_MAIN, true);
    set_check(IDC_PROFILE_SSR, false);
    set_check(IDC_PROFILE_LC, false);

    // The list shows its third entry selected; the job's bit-rate index stays "none"
    // until the user picks a rate or a source is accepted.
    bitrate_list_.set_cur_sel(2);

    add_about_item_to_system_menu();

    SendMessageA(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.get()));
    SendMessageA(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_.get()));

    const LONG_PTR ex_style = GetWindowLongPtrA(hwnd(), GWL_EXSTYLE);
    SetWindowLongPtrA(hwnd(), GWL_EXSTYLE, ex_style | WS_EX_WINDOWEDGE);
    return true;
}

bool MainWindow::dispatch(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR& result) {
    return route(*this, MainWindowRoutes::table, message, wparam, lparam, result);
}

void MainWindow::add_about_item_to_system_menu() {
    HMENU system_menu = GetSystemMenu(hwnd(), FALSE);
    if (system_menu == nullptr)
        return;
    char text[256] = {};
    if (LoadStringA(framework::Application::instance(), IDS_ABOUTBOX, text, sizeof text) <= 0)
        return;
    AppendMenuA(system_menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(system_menu, MF_STRING, IDM_ABOUTBOX, text);
}

INT_PTR MainWindow::on_sys_command(WPARAM command, LPARAM) {
    if ((command & 0xFFF0) != IDM_ABOUTBOX)
        return FALSE;  // move, minimise, close...
    return on_about(0, 0);
}

INT_PTR MainWindow::on_paint(WPARAM, LPARAM) {
    if (!IsIconic(hwnd()))
        return FALSE;  // default painting
    framework::PaintDc dc(hwnd());
    SendMessageA(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.get()), 0);
    RECT client;
    GetClientRect(hwnd(), &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc.get(), x, y, icon_.get());
    return TRUE;
}

INT_PTR MainWindow::on_query_drag_icon(WPARAM, LPARAM) {
    return reinterpret_cast<INT_PTR>(icon_.get());
}

INT_PTR MainWindow::on_about(WPARAM, LPARAM) {
    AboutBox about;
    about.do_modal(hwnd());
    return TRUE;
}

INT_PTR MainWindow::on_select_input(WPARAM, LPARAM) {
    job::select_source(job::job_state(), *this);
    return TRUE;
}

INT_PTR MainWindow::on_profile(WPARAM, LPARAM) {
    job::on_profile_clicked(job::job_state(), *this);
    return TRUE;
}

INT_PTR MainWindow::on_bitrate(WPARAM, LPARAM) {
    job::on_bitrate_selection_changed(job::job_state(), *this);
    return TRUE;
}

INT_PTR MainWindow::on_select_output(WPARAM, LPARAM) {
    job::select_output(*this);
    return TRUE;
}

INT_PTR MainWindow::on_encode(WPARAM, LPARAM) {
    if (!job::check_encode_and_copy_paths(job::job_state(), *this, same_file))
        return TRUE;
    ProgressWindow progress;
    progress.do_modal(hwnd());  // the main window is disabled until it closes
    if (const auto status = progress.encoder_failure())
        framework::message_box(hwnd(), launch::encoder_stopped_message(*status), {},
                               MB_OK | MB_ICONEXCLAMATION);
    return TRUE;
}

framework::Window MainWindow::control(int control_id) const {
    framework::Window window;
    window.attach(GetDlgItem(hwnd(), control_id));
    return window;
}

void MainWindow::set_text(int control_id, const std::string& text) {
    control(control_id).set_text(text);
}

std::string MainWindow::text(int control_id) const {
    return control(control_id).text();
}

void MainWindow::set_check(int control_id, bool checked) {
    CheckDlgButton(hwnd(), control_id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool MainWindow::is_checked(int control_id) const {
    return IsDlgButtonChecked(hwnd(), control_id) == BST_CHECKED;
}

void MainWindow::enable(int control_id, bool enabled) {
    control(control_id).enable(enabled);
}

void MainWindow::list_clear() {
    bitrate_list_.reset();
}

void MainWindow::list_add(const std::string& label) {
    bitrate_list_.add_string(label);
}

void MainWindow::list_select(int index) {
    bitrate_list_.set_cur_sel(index);
}

int MainWindow::list_selection() const {
    return bitrate_list_.cur_sel();
}

void MainWindow::message_box(const std::string& text, const std::string& caption,
                             job::MessageIcon icon) {
    const UINT type = MB_OK | (icon == job::MessageIcon::kExclamation ? MB_ICONEXCLAMATION : 0);
    framework::message_box(hwnd(), text, caption, type);
}

std::optional<std::string> MainWindow::ask_open_path(const std::string& filter) {
    return framework::ask_open_file(hwnd(), filter);
}

std::optional<std::string> MainWindow::ask_save_path(const std::string& default_extension,
                                                     const std::string& filter) {
    return framework::ask_save_file(hwnd(), filter, default_extension);
}

}  // namespace brevix::ui
