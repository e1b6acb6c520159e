#include "bench/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <stdexcept>

namespace brevix::bench {
namespace {

// Closes a descriptor once, on every path.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = -1;
    }

private:
    int fd_;
};

// Close-on-exec, so a child keeps only the ends it was given as 0, 1 and 2.
std::array<int, 2> open_pipe() {
    std::array<int, 2> fds{};
    if (pipe2(fds.data(), O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot create a pipe");
    }
    return fds;
}

struct Pipe {
    Pipe() : Pipe(open_pipe()) {}
    explicit Pipe(const std::array<int, 2>& fds) : read_end(fds[0]), write_end(fds[1]) {}
    Fd read_end;
    Fd write_end;
};

double seconds_of(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// Reads both pipes until both are closed, so neither can fill up and stall the child.
void drain(int out_fd, int err_fd, std::string& out, std::string& err) {
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    int open_count = (out_fd >= 0 ? 1 : 0) + 1;
    char buffer[1 << 16];
    while (open_count > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
}

bool write_all(int fd, const void* data, std::size_t bytes) {
    const char* p = static_cast<const char*>(data);
    while (bytes > 0) {
        const ssize_t n = write(fd, p, bytes);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        bytes -= static_cast<std::size_t>(n);
    }
    return true;
}

bool read_all(int fd, void* data, std::size_t bytes) {
    char* p = static_cast<char*>(data);
    while (bytes > 0) {
        const ssize_t n = read(fd, p, bytes);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        bytes -= static_cast<std::size_t>(n);
    }
    return true;
}

bool write_string(int fd, const std::string& s) {
    const std::uint64_t size = s.size();
    return write_all(fd, &size, sizeof size) && write_all(fd, s.data(), s.size());
}

bool read_string(int fd, std::string& s) {
    std::uint64_t size = 0;
    if (!read_all(fd, &size, sizeof size) || size > (1u << 30)) {
        return false;
    }
    s.resize(size);
    return read_all(fd, s.data(), size);
}

// The helper's fixed-size reply; the error text follows as a string.
struct Reply {
    int exit_code;
    double cpu_seconds;
    double wall_seconds;
    long peak_rss_kb;
};

// The helper: runs one request after another until the benchmark closes the pipe.
[[noreturn]] void serve(int requests, int replies) {
    for (;;) {
        std::uint64_t count = 0;
        if (!read_all(requests, &count, sizeof count)) {
            _exit(0);
        }
        std::vector<std::string> argv(count);
        for (std::string& a : argv) {
            if (!read_string(requests, a)) {
                _exit(1);
            }
        }
        ChildRun run;
        try {
            run = run_child(argv, false);
        } catch (const std::exception& e) {
            run.exit_code = 127;
            run.err = e.what();
        }
        const Reply reply{run.exit_code, run.cpu_seconds, run.wall_seconds, run.peak_rss_kb};
        if (!write_all(replies, &reply, sizeof reply) || !write_string(replies, run.err)) {
            _exit(1);
        }
    }
}

}  // namespace

Launcher::Launcher() {
    Pipe requests;
    Pipe replies;
    pid_ = fork();
    if (pid_ < 0) {
        throw std::runtime_error("cannot start the launcher process");
    }
    if (pid_ == 0) {
        requests.write_end.reset();
        replies.read_end.reset();
        serve(requests.read_end.get(), replies.write_end.get());
    }
    // Kept close-on-exec, so programs the benchmark starts itself do not hold them open.
    to_helper_ = fcntl(requests.write_end.get(), F_DUPFD_CLOEXEC, 0);
    from_helper_ = fcntl(replies.read_end.get(), F_DUPFD_CLOEXEC, 0);
    if (to_helper_ < 0 || from_helper_ < 0) {
        // Closing every write end of its requests (here and when `requests` goes) ends
        // the helper.
        if (to_helper_ >= 0) {
            close(to_helper_);
        }
        if (from_helper_ >= 0) {
            close(from_helper_);
        }
        requests.write_end.reset();
        waitpid(pid_, nullptr, 0);
        throw std::runtime_error("cannot talk to the launcher process");
    }
}

Launcher::~Launcher() {
    close(to_helper_);  // the helper sees the end of its requests and exits
    close(from_helper_);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
}

ChildRun Launcher::run(const std::vector<std::string>& argv) {
    const std::uint64_t count = argv.size();
    bool sent = write_all(to_helper_, &count, sizeof count);
    for (const std::string& a : argv) {
        sent = sent && write_string(to_helper_, a);
    }
    Reply reply{};
    ChildRun run;
    if (!sent || !read_all(from_helper_, &reply, sizeof reply) ||
        !read_string(from_helper_, run.err)) {
        throw std::runtime_error("the launcher process is gone");
    }
    run.exit_code = reply.exit_code;
    run.cpu_seconds = reply.cpu_seconds;
    run.wall_seconds = reply.wall_seconds;
    run.peak_rss_kb = reply.peak_rss_kb;
    if (run.exit_code == 127) {
        throw std::runtime_error("cannot run " + argv[0] + ": " + run.err);
    }
    return run;
}

ChildRun run_child(const std::vector<std::string>& argv, bool capture_stdout) {
    if (argv.empty()) {
        throw std::runtime_error("no program to run");
    }
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);

    Pipe out;
    Pipe err;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("cannot start " + argv[0]);
    }
    if (pid == 0) {
        // Child: only async-signal-safe calls until exec.
        const int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
        dup2(null_fd, 0);
        dup2(capture_stdout ? out.write_end.get() : null_fd, 1);
        dup2(err.write_end.get(), 2);
        execvp(args[0], args.data());
        _exit(127);
    }
    out.write_end.reset();
    err.write_end.reset();
    ChildRun run;
    drain(capture_stdout ? out.read_end.get() : -1, err.read_end.get(), run.out, run.err);
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            throw std::runtime_error("lost track of " + argv[0]);
        }
    }
    run.wall_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.cpu_seconds = seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
    run.peak_rss_kb = usage.ru_maxrss;
    if (WIFEXITED(status)) {
        run.exit_code = WEXITSTATUS(status);
    }
    if (run.exit_code == 127) {
        throw std::runtime_error("cannot run " + argv[0]);
    }
    return run;
}

bool program_available(const std::string& name) {
    try {
        return run_child({name, "-version"}, false).exit_code != 127;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace brevix::bench
