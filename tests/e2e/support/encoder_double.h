// The test encoder (fake_encoder/fake_mp4.cpp) installed as mp4.exe in a test folder, and
// what it recorded about each start: how it was started, its command line and arguments,
// and the window it was given.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/paths.h"
#include "support/wait.h"
#include "support/win.h"

namespace brevix::e2e {

// One start of the test encoder, from its log.
struct EncoderRun {
    std::map<std::string, std::string> fields;  // the "run" line's key=value fields
    bool done = false;                          // its "done" line is there
    bool window_alive_at_end = false;

    std::string get(const std::string& key) const;
    DWORD pid() const;
    std::string command() const { return get("cmd"); }
    std::vector<std::string> arguments() const;  // argv as the encoder's runtime split it
    // The number after -wn, as text (empty when there is none).
    std::string window_number() const;
};
std::string describe(const std::vector<EncoderRun>& runs);

enum class EncoderMode {
    kClose,  // close the progress window at once
    kWait,   // wait for release(), then close the window
    kHold,   // wait for release(), then end without touching the window
};

class EncoderDouble {
public:
    // Installs the test encoder as folder\mp4.exe.
    explicit EncoderDouble(const std::string& folder);
    // Releases every held run and waits for every recorded run to end, so the folder can
    // be removed.
    ~EncoderDouble();
    EncoderDouble(const EncoderDouble&) = delete;
    EncoderDouble& operator=(const EncoderDouble&) = delete;

    bool installed() const { return installed_; }
    // The mode for the next starts; clears an earlier release.
    bool set_mode(EncoderMode mode);
    bool release();

    std::vector<EncoderRun> runs() const;
    // Waits until at least count runs have been recorded (and, with done, have ended).
    bool wait_for_runs(std::size_t count, bool done = false, DWORD timeout_ms = kTimeoutMs);

private:
    std::string file(const char* name) const { return join(folder_, name); }

    std::string folder_;
    bool installed_ = false;
};

// Reads a test encoder log (for a folder that holds a copy of the encoder).
std::vector<EncoderRun> read_encoder_log(const std::string& path);

// True while the process exists and has not ended.
bool process_alive(DWORD pid);

}  // namespace brevix::e2e
