// Driving a running copy of Brevix from the test driver, as a user does: keys go in through
// SendInput, buttons get BM_CLICK, texts are read with the wide messages (Wine's ANSI
// CB_GETLBTEXT across processes writes past the caller's buffer). Every wait polls a
// condition with a deadline.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "bench/temp_folder.h"
#include "bench/wav_file.h"
#include "res/resource.h"

namespace brevix::e2e {

inline constexpr DWORD kTimeoutMs = 10000;  // a cold start under Wine fits well within

// Polls until the condition holds (true) or the deadline passes (false).
bool wait_until(const std::function<bool()>& condition, DWORD timeout_ms = kTimeoutMs);

std::string text(HWND window);
std::vector<std::string> combo_items(HWND combo);
void click(HWND button);  // posted, so that a modal window it opens does not block the driver
std::string read_file(const std::string& path);
// The build folder (brevix.exe, mp4.exe, screenshots\) and the driver's own folder.
std::string build_folder();
std::string driver_folder();

// Saves the window as it is drawn on the screen to build\screenshots\NAME.bmp, once two
// captures in a row agree (outside `moving`, a child that animates); false if none settled.
bool screenshot(HWND window, const std::string& name, HWND moving = nullptr);
// True once the pixels of the window change (it animates).
bool moves(HWND window);

// A message box as the user sees it: an empty caption reads as the application name.
struct Box {
    HWND owner = nullptr;
    bool over_progress_window = false;  // its owner holds the progress bar
    std::string caption;
    std::string text;
    bool icon = false;
};

// Which mp4.exe sits beside the program: the test encoder (fake_encoder/fake_mp4.cpp), the
// real one, or none.
enum class Encoder { kDouble, kReal, kNone };

// A copy of brevix.exe in a test folder of its own, started there and ended with the object.
class App {
public:
    explicit App(Encoder encoder = Encoder::kDouble, const std::string& arguments = {});
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    HWND item(int id) const { return GetDlgItem(main, id); }
    bool ended(DWORD timeout_ms = kTimeoutMs) const;
    // Presses the keys of a chord (in order, released in reverse) into `window`, which is
    // made the foreground window first.
    void keys(HWND window, std::initializer_list<WORD> chord) const;
    // Returns once the program has taken every message posted to it before.
    bool settle() const;

    // The program's visible dialogs owned by `owner`; a wait for one that is wanted, and for
    // one owned by `owner` that holds control `id` (nullptr when none came).
    std::vector<HWND> owned(HWND owner) const;
    HWND wait_dialog(const std::function<bool(HWND)>& wanted) const;
    HWND wait_owned(HWND owner, int id) const {
        return wait_dialog(
            [&](HWND w) { return GetWindow(w, GW_OWNER) == owner && GetDlgItem(w, id); });
    }
    // Opens a file dialog with `action`, types the path and confirms (or cancels for an
    // empty path); true once the dialog has gone and the program has taken the answer.
    bool choose_file(const std::function<void()>& action, const std::string& path) const;
    bool select_input(const std::string& path) const {
        return choose_file([&] { click(item(IDC_SELECT_INPUT)); }, path);
    }
    // Writes a short WAV file into the test folder; returns its path.
    std::string write_wav(const std::string& name, const wav::Format& format = {}) const;
    // True once nothing is open over the main window and it is enabled again.
    bool back_to_main() const;
    // Waits for a message box over the program's windows, reads it and closes it with OK.
    // With a name, a screenshot of the box is saved first.
    Box message_box(const char* screenshot_name = nullptr) const;
    // The lines the test encoder wrote so far, once there are at least `count`.
    std::vector<std::string> encoder_runs(std::size_t count = 0) const;
    // The program's visible windows and their texts, for failure messages.
    std::string seen() const;

    // The program's process, ended (if need be) and closed with its owner.
    struct Process : PROCESS_INFORMATION {
        ~Process();
    };

    TempFolder folder;
    Process process{};
    HWND main = nullptr;
};

}  // namespace brevix::e2e
