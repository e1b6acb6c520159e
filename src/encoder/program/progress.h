// Where the encoder reports progress and errors: the console, or a progress window.
#pragma once

#include <memory>
#include <string>

namespace brevix::mp4 {

class ProgressReporter {
public:
    virtual ~ProgressReporter() = default;
    // Encoding of `input_name` starts.
    virtual void begin(const std::string& input_name) = 0;
    // Percentage of the input read, 0..100; called only when it changes.
    virtual void update(int percent) = 0;
    // Something the person should know about a job that still succeeds ("in.wav is
    // truncated: ..."); shown at the end.
    virtual void warn(const std::string& message) = 0;
    // Something the person should know that does not concern the audio ("song.wav: its
    // tags ... were left out"); told at once, the job goes on.
    virtual void note(const std::string& message) = 0;
    // The output file is complete.
    virtual void done() = 0;
    // The job failed; `message` names the problem.
    virtual void fail(const std::string& message) = 0;
};

// Reports to stderr: a self-updating percentage on a terminal, errors always.
std::unique_ptr<ProgressReporter> make_console_progress();

}  // namespace brevix::mp4
