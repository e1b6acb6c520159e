// Progress link to the front end's progress window (given with -wn): moves its progress
// bar, writes a status line, reports errors in a message box it owns, and closes it with
// WM_CLOSE at the end. The window belongs to another process and may vanish at any time
// (the user pressed Escape): every call checks IsWindow, and synchronous messages use a
// short timeout so a hung window never stalls the encoder.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "program/platform.h"
#include "res/resource.h"
#include "win32/utf8_paths.h"

namespace brevix::mp4 {
namespace {

// The progress window's controls, as the front end's resource script defines them.
constexpr int kProgressBarId = IDC_PROGRESS_BAR;
constexpr int kStatusTextId = IDC_STATUS_LINE;
constexpr UINT kTimeoutMs = 250;
constexpr const wchar_t* kCaption = L"MPEG-4 Encoder";
// How long a warning stays readable in the status line before the window is closed.
constexpr DWORD kWarningPauseMs = 3000;

class WindowProgress : public ProgressReporter {
public:
    explicit WindowProgress(std::int32_t handle)
        : window_(reinterpret_cast<HWND>(static_cast<std::intptr_t>(handle))) {}

    void begin(const std::string& input_name) override {
        name_ = input_name;
        if (!alive()) {
            return;
        }
        bar_ = GetDlgItem(window_, kProgressBarId);
        status_ = GetDlgItem(window_, kStatusTextId);
        send(bar_, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        set_position(0);
    }

    void update(int percent) override {
        if (alive()) {
            set_position(percent);
        }
    }

    void warn(const std::string& message) override {
        write_console_text("mp4: warning: " + message + "\n");
        warning_ = message;
    }

    void note(const std::string& message) override {
        write_console_text("mp4: warning: " + message + "\n");
        if (warning_.empty()) {
            warning_ = message;
        }
    }

    void done() override {
        if (!alive()) {
            return;
        }
        if (warning_.empty()) {
            set_status("Done: " + name_);
        } else {
            set_status("Done: " + warning_);
            Sleep(kWarningPauseMs);
        }
        if (alive()) {
            PostMessageA(window_, WM_CLOSE, 0, 0);
        }
    }

    void fail(const std::string& message) override {
        write_console_text("mp4: error: " + message + "\n");
        // Nobody is watching once the window is gone: stay silent then.
        if (alive()) {
            MessageBoxW(window_, win32::utf8_to_wide(message).data(), kCaption,
                        MB_OK | MB_ICONEXCLAMATION);
            if (IsWindow(window_)) {
                PostMessageA(window_, WM_CLOSE, 0, 0);
            }
        }
    }

private:
    bool alive() {
        if (window_alive_ && !IsWindow(window_)) {
            window_alive_ = false;
        }
        return window_alive_;
    }

    void set_position(int percent) {
        if (bar_ != nullptr) {
            if (slow_) {
                PostMessageA(bar_, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
            } else {
                send(bar_, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
            }
        }
        set_status("Encoding " + name_ + ": " + std::to_string(percent) + "%");
    }

    // The status text needs a synchronous message (its string crosses processes); once
    // the window has been slow to answer it is left alone.
    // The text goes as UTF-16, so names outside the window's code page arrive intact.
    void set_status(const std::string& text) {
        if (status_ != nullptr && !slow_) {
            const std::vector<wchar_t> wide = win32::utf8_to_wide(text);
            send(status_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.data()));
        }
    }

    void send(HWND target, UINT message, WPARAM w, LPARAM l) {
        DWORD_PTR result = 0;
        if (target != nullptr &&
            SendMessageTimeoutW(target, message, w, l, SMTO_ABORTIFHUNG | SMTO_NORMAL, kTimeoutMs,
                                &result) == 0) {
            slow_ = true;
        }
    }

    HWND window_;
    HWND bar_ = nullptr;
    HWND status_ = nullptr;
    bool window_alive_ = true;
    bool slow_ = false;
    std::string name_;
    std::string warning_;
};

}  // namespace

std::unique_ptr<ProgressReporter> make_window_progress(std::int32_t window) {
    return std::make_unique<WindowProgress>(window);
}

}  // namespace brevix::mp4
