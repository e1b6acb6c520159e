#include "support/dialogs.h"

namespace brevix::e2e {

bool is_file_dialog(HWND dialog) {
    return GetDlgItem(dialog, kFileNameCombo) != nullptr;
}

bool is_progress_window(HWND dialog) {
    return GetDlgItem(dialog, kProgressBar) != nullptr && window_text(dialog).empty();
}

bool is_message_box(HWND dialog) {
    if (is_file_dialog(dialog) || is_progress_window(dialog))
        return false;
    for (HWND child : children(dialog)) {
        if (lstrcmpiA(class_name(child).c_str(), "Button") == 0)
            return true;
    }
    return false;
}

HWND wait_for_owned(App& app, HWND owner, bool (*is_wanted)(HWND), DWORD timeout_ms) {
    HWND found = nullptr;
    wait_until(
        [&] {
            for (HWND dialog : owned_dialogs(app.process_id(), owner)) {
                if (is_wanted(dialog)) {
                    found = dialog;
                    return true;
                }
            }
            return !app.running();
        },
        timeout_ms);
    return found;
}

std::vector<HWND> owned_windows(DWORD process_id, HWND owner) {
    std::vector<HWND> result;
    for (HWND hwnd : top_level_windows(process_id)) {
        if (GetWindow(hwnd, GW_OWNER) == owner)
            result.push_back(hwnd);
    }
    return result;
}

HWND FileDialog::name_field() const {
    return find_descendant(GetDlgItem(hwnd_, kFileNameCombo), "Edit");
}

std::vector<std::string> FileDialog::file_types() const {
    return combo_items(GetDlgItem(hwnd_, kFileTypeList));
}

int FileDialog::file_type() const {
    return combo_selection(GetDlgItem(hwnd_, kFileTypeList));
}

void FileDialog::choose_file_type(int index) {
    HWND list = GetDlgItem(hwnd_, kFileTypeList);
    send(list, CB_SETCURSEL, static_cast<WPARAM>(index));
    post_command(hwnd_, kFileTypeList, CBN_SELCHANGE);
    post_command(hwnd_, kFileTypeList, CBN_SELENDOK);
}

bool FileDialog::choose(App& app, const std::string& path, Confirm confirm) {
    HWND field = name_field();
    if (field == nullptr)
        return false;
    set_text(field, path);
    if (confirm == Confirm::kEnter) {
        focus_control(hwnd_, field);
        post_key(field, VK_RETURN);
    } else {
        click(GetDlgItem(hwnd_, IDOK));
    }
    return app.wait_until_gone(hwnd_);
}

bool FileDialog::cancel(App& app) {
    click(GetDlgItem(hwnd_, IDCANCEL));
    return app.wait_until_gone(hwnd_);
}

MessageBoxSeen read_message_box(App& app, HWND box) {
    MessageBoxSeen seen;
    seen.facts = read_message_box(box);
    seen.icon = app.probe().shown_icon(box);
    return seen;
}

std::string describe(const MessageBoxSeen& box) {
    std::string text = "message box \"" + box.facts.caption + "\": \"" + box.facts.text +
                       "\", icon " + box.icon + ", buttons";
    for (const std::string& button : box.facts.buttons)
        text += " [" + button + "]";
    return text;
}

bool dismiss(App& app, HWND box) {
    for (HWND child : children(box)) {
        if (lstrcmpiA(class_name(child).c_str(), "Button") == 0 && IsWindowVisible(child)) {
            click(child);
            break;
        }
    }
    return app.wait_until_gone(box);
}

}  // namespace brevix::e2e
