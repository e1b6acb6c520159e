#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace brevix::test {
namespace {

std::vector<char*> make_argv(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    return args;
}

ProcessResult decode_status(int status) {
    ProcessResult r;
    if (WIFEXITED(status)) {
        r.exit_code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        r.signal = WTERMSIG(status);
    }
    return r;
}

}  // namespace

ProcessResult run_process(const std::vector<std::string>& argv) {
    int out_pipe[2];
    int err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<char*> args = make_argv(argv);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        close(out_pipe[0]);
        close(err_pipe[0]);
        close(out_pipe[1]);
        close(err_pipe[1]);
        const int null_fd = open("/dev/null", O_RDONLY);
        dup2(null_fd, 0);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    std::string out;
    std::string err;
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    int open_fds = 2;
    char buffer[65536];
    while (open_fds > 0) {
        if (poll(fds, 2, -1) < 0) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
                if (n <= 0) {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    --open_fds;
                } else {
                    (i == 0 ? out : err).append(buffer, static_cast<std::size_t>(n));
                }
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ProcessResult r = decode_status(status);
    r.out = std::move(out);
    r.err = std::move(err);
    return r;
}

RunningProcess::RunningProcess(const std::vector<std::string>& argv) {
    std::vector<char*> args = make_argv(argv);
    pid_ = fork();
    if (pid_ == 0) {
        const int null_fd = open("/dev/null", O_RDWR);
        dup2(null_fd, 0);
        dup2(null_fd, 1);
        dup2(null_fd, 2);
        execvp(args[0], args.data());
        _exit(127);
    }
}

RunningProcess::~RunningProcess() {
    if (!reaped_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
    }
}

bool RunningProcess::finished() {
    if (reaped_) {
        return true;
    }
    if (waitpid(pid_, &status_, WNOHANG) == pid_) {
        reaped_ = true;
    }
    return reaped_;
}

ProcessResult RunningProcess::wait() {
    if (!reaped_) {
        waitpid(pid_, &status_, 0);
        reaped_ = true;
    }
    return decode_status(status_);
}

bool program_available(const std::string& name) {
    const ProcessResult r = run_process({"sh", "-c", "command -v " + name});
    return r.exit_code == 0;
}

std::string mp4_binary() {
    return MP4_BINARY;
}

}  // namespace brevix::test
