#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "program/platform.h"

namespace brevix::mp4 {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void on_signal(int) {
    g_interrupted = 1;
}

}  // namespace

std::FILE* create_new_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        const int error = errno;
        ::close(fd);
        ::unlink(path.c_str());
        errno = error;
    }
    return file;
}

bool seek_file(std::FILE* file, std::uint64_t offset) {
    return ::fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool seek_file_end(std::FILE* file) {
    return ::fseeko(file, 0, SEEK_END) == 0;
}

bool replace_file(const std::string& from, const std::string& to, std::string* error) {
    if (std::rename(from.c_str(), to.c_str()) == 0) {
        return true;
    }
    *error = std::strerror(errno);
    return false;
}

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) {
        return false;
    }
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int process_id() {
    return static_cast<int>(::getpid());
}

void install_interrupt_handler() {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

bool interrupt_requested() {
    return g_interrupted != 0;
}

std::unique_ptr<ProgressReporter> make_window_progress(std::int32_t) {
    return nullptr;
}

}  // namespace brevix::mp4
