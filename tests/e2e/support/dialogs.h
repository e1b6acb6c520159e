// The windows the program opens over its main window: the system's open and save
// dialogs, message boxes and the progress window. Each is found among the visible
// dialogs the owner owns, and driven as a user would: a path typed into the file-name
// field and confirmed with the default button or Enter, OK clicked in a message box.
#pragma once

#include <string>
#include <vector>

#include "support/app.h"
#include "support/window.h"

namespace brevix::e2e {

// Control ids of the system's file dialogs: the file-name combo box (the name field is
// the Edit inside it) and the file-type list.
inline constexpr int kFileNameCombo = 1148;
inline constexpr int kFileTypeList = 1136;
// Control ids of the progress window.
inline constexpr int kProgressBar = 1021;
inline constexpr int kProgressAnimation = 1024;
inline constexpr int kProgressStatus = 1025;

bool is_file_dialog(HWND dialog);
bool is_progress_window(HWND dialog);
bool is_message_box(HWND dialog);

// Waits for a visible dialog owned by owner that passes the test (nullptr on timeout).
HWND wait_for_owned(App& app, HWND owner, bool (*is_wanted)(HWND), DWORD timeout_ms = kTimeoutMs);
// Any window owned by owner, shown or not yet shown: after a barrier this tells whether
// a handler has opened something.
std::vector<HWND> owned_windows(DWORD process_id, HWND owner);

enum class Confirm { kDefaultButton, kEnter };

// An open or save dialog of the system.
class FileDialog {
public:
    explicit FileDialog(HWND hwnd) : hwnd_(hwnd) {}
    HWND hwnd() const { return hwnd_; }
    HWND name_field() const;
    std::vector<std::string> file_types() const;
    int file_type() const;
    // Picks a file type as a user's choice in the list does: selection changed, then
    // the choice confirmed (the dialog acts on the confirmation).
    void choose_file_type(int index);
    // Types the path into the name field and confirms it; true once the dialog has gone.
    bool choose(App& app, const std::string& path, Confirm confirm = Confirm::kDefaultButton);
    // Cancels; true once the dialog has gone.
    bool cancel(App& app);

private:
    HWND hwnd_;
};

// A message box as read from the screen, with the system icon it shows.
struct MessageBoxSeen {
    MessageBoxFacts facts;
    std::string icon;  // "none", "exclamation", ... (see Probe::shown_icon)
};
MessageBoxSeen read_message_box(App& app, HWND box);
std::string describe(const MessageBoxSeen& box);
// Clicks the message box's only button and waits for it to go.
bool dismiss(App& app, HWND box);

}  // namespace brevix::e2e
