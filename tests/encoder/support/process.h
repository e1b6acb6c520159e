// Runs a program with an argument vector (no shell, so paths may hold spaces) and
// collects its output and exit status.
#pragma once

#include <string>
#include <vector>

namespace brevix::test {

struct ProcessResult {
    int exit_code = -1;  // -1 if it did not exit normally
    int signal = 0;      // terminating signal, if any
    std::string out;     // standard output
    std::string err;     // standard error
};

ProcessResult run_process(const std::vector<std::string>& argv);

// A started process whose status is collected later (for interrupt tests).
class RunningProcess {
public:
    explicit RunningProcess(const std::vector<std::string>& argv);
    ~RunningProcess();  // kills and reaps the process if still running
    RunningProcess(const RunningProcess&) = delete;
    RunningProcess& operator=(const RunningProcess&) = delete;
    int pid() const { return pid_; }
    bool finished();       // without waiting
    ProcessResult wait();  // waits for the exit

private:
    int pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;
};

bool program_available(const std::string& name);

std::string mp4_binary();

}  // namespace brevix::test
