// Runs a program (no shell) and reports what the benchmark compares: exit status, CPU and
// wall time, and peak resident memory of that one process, plus whatever it printed.
#pragma once

#include <string>
#include <vector>

namespace brevix::bench {

struct ChildRun {
    int exit_code = -1;        // -1 if the process did not exit normally
    double cpu_seconds = 0.0;  // user + system time of the child
    double wall_seconds = 0.0;
    long peak_rss_kb = 0;  // largest resident set of the child
    std::string out;       // standard output (only when captured)
    std::string err;       // standard error
    bool ok() const { return exit_code == 0; }
};

// Runs `argv` with standard input from /dev/null. Standard output is collected when
// `capture_stdout` is set and discarded otherwise; standard error is always collected.
// Throws std::runtime_error if the process cannot be started.
ChildRun run_child(const std::vector<std::string>& argv, bool capture_stdout);

// Runs timed programs from a small helper process forked before the benchmark allocates
// its buffers. Linux carries the memory a process has when it forks into the child's peak
// figure (ru_maxrss survives exec), so children forked straight from the benchmark would
// report the benchmark's size instead of their own.
class Launcher {
public:
    Launcher();   // forks the helper: create it first thing
    ~Launcher();  // ends the helper
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    // Like run_child(argv, false), run by the helper.
    ChildRun run(const std::vector<std::string>& argv);

private:
    int pid_ = -1;
    int to_helper_ = -1;
    int from_helper_ = -1;
};

// True when `name` can be started from PATH (or is an executable path).
bool program_available(const std::string& name);

}  // namespace brevix::bench
