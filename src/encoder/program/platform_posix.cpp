#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

#include "program/platform.h"

namespace brevix::mp4 {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void on_signal(int) {
    g_interrupted = 1;
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Follows symbolic links to the path they finally name, which need not exist. Empty when
// the chain is too long or a link cannot be read.
std::string follow_links(std::string path) {
    std::vector<char> text(4096);
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return path;
        }
        const ssize_t length = ::readlink(path.c_str(), text.data(), text.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= text.size()) {
            return {};
        }
        const std::string link(text.data(), static_cast<std::size_t>(length));
        path = link[0] == '/' || path.find('/') == std::string::npos
                   ? link
                   : path.substr(0, path.rfind('/') + 1) + link;
    }
    return {};
}

OpenedFile opened(int fd) {
    OpenedFile result;
    result.file = ::fdopen(fd, "wb");
    if (result.file == nullptr) {
        result.reason = std::strerror(errno);
        ::close(fd);
        return result;
    }
    result.problem = OpenedFile::kNone;
    return result;
}

OpenedFile failed(int error) {
    OpenedFile result;
    result.problem = error == ENXIO ? OpenedFile::kNoReader : OpenedFile::kFailed;
    result.reason = std::strerror(error);
    return result;
}

// What lies at a temporary file's name when it is not a file a run may take over and
// truncate: only a regular file with no other name can be one a killed run left behind.
// Empty when it may be taken over.
std::string in_the_way(const struct stat& st) {
    if (S_ISLNK(st.st_mode)) {
        return "a symbolic link";
    }
    if (S_ISDIR(st.st_mode)) {
        return "a folder";
    }
    if (S_ISFIFO(st.st_mode)) {
        return "a pipe";
    }
    if (!S_ISREG(st.st_mode)) {
        return "a device";
    }
    return st.st_nlink > 1 ? "another name of a file (a hard link)" : "";
}

}  // namespace

std::vector<std::string> command_line_arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
}

OutputTarget find_output_target(const std::string& path) {
    OutputTarget target;
    struct stat st {};
    // A device or pipe is opened through the name as given: the links of names such as
    // /dev/stdout end in texts that are no paths ("pipe:[1234]").
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        target.path = path;
        target.kind = OutputTarget::kDevice;
        return target;
    }
    target.path = follow_links(path);
    if (target.path.empty()) {
        target.reason = std::strerror(ELOOP);
        return target;
    }
    if (::stat(target.path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            target.kind = OutputTarget::kFolder;
        } else if (!S_ISREG(st.st_mode)) {
            target.kind = OutputTarget::kDevice;
        } else if (::access(target.path.c_str(), W_OK) != 0) {
            target.kind = OutputTarget::kReadOnly;
        } else {
            target.kind = OutputTarget::kRegularFile;
        }
        return target;
    }
    const int error = errno;
    struct stat folder {};
    if (error == ENAMETOOLONG) {
        target.kind = OutputTarget::kNameTooLong;
    } else if (error == ENOTDIR || (error == ENOENT && path.back() == '/')) {
        target.kind = OutputTarget::kMissingFolder;
    } else if (error != ENOENT) {
        target.reason = std::strerror(error);
    } else if (::stat(folder_of(target.path).c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) {
        target.kind = OutputTarget::kMissingFolder;
    } else {
        target.kind = OutputTarget::kNewFile;
    }
    return target;
}

OpenedFile open_device(const std::string& path) {
    // Non-blocking, so a pipe without a reader is refused instead of waiting for ever.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return failed(errno);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return opened(fd);
}

OpenedFile open_temporary(const std::string& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Never through a link, and never waiting for the reader of a pipe.
        const int fd =
            ::open(path.c_str(),
                   O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
        struct stat held {};
        if (fd < 0) {
            const int error = errno;
            return ::lstat(path.c_str(), &held) == 0 && !in_the_way(held).empty()
                       ? OpenedFile::in_the_way(in_the_way(held))
                       : failed(error);
        }
        if (::fstat(fd, &held) != 0 || !in_the_way(held).empty()) {
            const std::string what = in_the_way(held);
            const int error = errno;
            ::close(fd);
            return what.empty() ? failed(error) : OpenedFile::in_the_way(what);
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            OpenedFile result = failed(error);
            if (error == EWOULDBLOCK) {
                result.problem = OpenedFile::kBusy;
            }
            return result;
        }
        // The lock counts only if the name still leads to the locked file: a run that
        // finished in between has moved or removed it, and the name must be opened anew.
        struct stat named {};
        if (::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino) {
            if (::ftruncate(fd, 0) != 0) {
                const int error = errno;
                ::close(fd);
                return failed(error);
            }
            return opened(fd);
        }
        ::close(fd);
    }
    return failed(EAGAIN);
}

bool commit_temporary(std::FILE* file, const std::string& path, const std::string& target,
                      std::string* error) {
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0) {
        // The replacement keeps the owner (where allowed) and the permissions, but not
        // set-user-ID or set-group-ID: new contents must not run with the old file's rights.
        const int fd = ::fileno(file);
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
            (void)::fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
        }
        ::fchmod(fd, existing.st_mode & 07777 & ~static_cast<mode_t>(S_ISUID | S_ISGID));
    }
    // Moved while still locked, so no other run can take it for a stale temporary.
    if (std::rename(path.c_str(), target.c_str()) != 0) {
        *error = std::strerror(errno);
        discard_temporary(file, path);
        return false;
    }
    if (std::fclose(file) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    return true;
}

void discard_temporary(std::FILE* file, const std::string& path) {
    ::unlink(path.c_str());
    std::fclose(file);
}

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) {
        return false;
    }
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void write_console_text(const std::string& text) {
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}

void install_interrupt_handler() {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal the caller has the program ignore (nohup, a shell's background job)
        // stays ignored.
        struct sigaction inherited {};
        if (::sigaction(signal, nullptr, &inherited) == 0 && inherited.sa_handler != SIG_IGN) {
            ::sigaction(signal, &action, nullptr);
        }
    }
    // A pipe whose reader has gone makes writes fail (EPIPE), which is reported like any
    // other write error, instead of ending the program without a word.
    ::signal(SIGPIPE, SIG_IGN);
}

bool interrupt_requested() {
    return g_interrupted != 0;
}

std::unique_ptr<ProgressReporter> make_window_progress(std::int32_t) {
    return nullptr;
}

}  // namespace brevix::mp4
