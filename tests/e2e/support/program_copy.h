// A test with its own copy of the program in a test folder, the test encoder beside it
// as mp4.exe, and the WAV files the test writes in the same folder. The program is
// started from there, so whatever Encode starts is the test encoder and never the real
// one. Helpers drive the main window as a user would and read what it shows.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "expected_layout.h"
#include "support/app.h"
#include "support/dialogs.h"
#include "support/encoder_double.h"
#include "support/wav.h"

namespace brevix::e2e {

// The application name: the executable's file name without extension.
inline constexpr char kAppName[] = "brevix";

inline constexpr const char* kBitrateLabels[] = {
    "128 kbits/s per channel", "81 kbits/s per channel", "64 kbits/s per channel (recommended)",
    "56 kbits/s per channel",  "48 kbits/s per channel", "40 kbits/s per channel",
    "32 kbits/s per channel",
};
inline constexpr int kRecommendedRow = 2;

// What the main window shows of the job: the three displays, the profile buttons and the
// bit-rate list.
struct MainState {
    std::string input;
    std::string format;
    std::string output;
    bool main = false;
    bool lc = false;
    bool ssr = false;
    std::vector<std::string> bitrates;
    int selection = -1;

    bool operator==(const MainState& other) const;
    bool operator!=(const MainState& other) const { return !(*this == other); }
};
MainState read_main_state(HWND main);
std::string describe(const MainState& state);

struct ExpectedMessage {
    std::string text;
    std::string caption;
    std::string icon;  // "none" or "exclamation"
};

// How the source dialog is opened: the "Select Input" button or the File menu item.
enum class Trigger { kButton, kMenu };

class ProgramCopy : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A derived fixture may put the program into a folder inside the test folder, start
    // it from another working folder, or leave out the test encoder.
    virtual std::string program_subfolder() const { return {}; }
    virtual std::string working_folder() const { return {}; }
    virtual bool with_encoder() const { return true; }
    // The folder that holds the program (and the test encoder).
    std::string program_folder() const;

    App& app() { return *app_; }
    HWND control(int id) const { return GetDlgItem(main_, id); }
    MainState state() const { return read_main_state(main_); }
    // Writes a file into the test folder and returns its full path.
    std::string write_file(const std::string& name, const std::string& bytes);

    // Opens the source dialog; an empty FileDialog (nullptr) when none appeared.
    FileDialog open_source_dialog(Trigger trigger = Trigger::kButton);
    // Chooses a file in the source dialog; true once the dialog has gone.
    bool choose_source(const std::string& path, Trigger trigger = Trigger::kButton,
                       Confirm confirm = Confirm::kDefaultButton);
    // Chooses a file that is accepted, and checks the window shows it as such.
    void load_source(const std::string& path, Trigger trigger = Trigger::kButton,
                     Confirm confirm = Confirm::kDefaultButton);
    // Chooses an output file in the save dialog; true once the dialog has gone.
    bool choose_output(const std::string& path);

    void click_profile(int id);
    void choose_bitrate(int row);

    // Waits for a message box over the program's windows (nullptr when none came).
    HWND wait_for_message_box();
    // Expects exactly this message box (one OK button) and dismisses it.
    void expect_message(const ExpectedMessage& expected);
    // After a barrier: no window of the program is open over the main window, and the
    // main window is enabled again.
    void expect_nothing_open();

    TestFolder folder_;
    std::unique_ptr<EncoderDouble> encoder_;
    std::unique_ptr<App> app_;
    HWND main_ = nullptr;
};

}  // namespace brevix::e2e
