#include "program/output_file.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "common/file_position.h"
#include "program/platform.h"

namespace brevix::mp4 {
namespace {

constexpr const char* kTemporarySuffix = ".mp4tmp";
constexpr std::size_t kMaxNameBytes = 255;  // a file name's limit on common file systems

}  // namespace

std::string temporary_path_for(const std::string& target) {
    const std::size_t slash = target.find_last_of("/\\");
    const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    std::string name = target.substr(name_start);
    const std::size_t suffix = std::strlen(kTemporarySuffix);
    if (name.size() + suffix > kMaxNameBytes) {
        std::uint32_t hash = 2166136261u;  // FNV-1a of the whole name keeps it unique
        for (const char c : name) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
        }
        char tag[10];
        std::snprintf(tag, sizeof tag, "~%08x", static_cast<unsigned>(hash));
        std::size_t keep = kMaxNameBytes - suffix - std::strlen(tag);
        while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) {
            --keep;  // never cut a UTF-8 character in two
        }
        name = name.substr(0, keep) + tag;
    }
    return target.substr(0, name_start) + name + kTemporarySuffix;
}

OutputFile::OutputFile(const std::string& path, bool seekable, const std::string& input)
    : path_(path) {
    const OutputTarget target = find_output_target(path);
    const std::string quoted = "'" + path + "'";
    switch (target.kind) {
        case OutputTarget::kFolder:
            throw std::runtime_error("the output " + quoted + " is a folder, not a file name");
        case OutputTarget::kMissingFolder:
            throw std::runtime_error("the folder of the output file " + quoted + " does not exist");
        case OutputTarget::kReadOnly:
            throw std::runtime_error("the output file " + quoted + " is read-only");
        case OutputTarget::kNameTooLong:
            throw std::runtime_error("the output file name " + quoted +
                                     " is too long for the system");
        case OutputTarget::kUnreachable:
            throw std::runtime_error("cannot create the output file " + quoted + ": " +
                                     target.reason);
        default:
            break;
    }
    target_ = target.path;
    const bool direct = target.kind == OutputTarget::kDevice;
    if (!direct) {
        temp_path_ = temporary_path_for(target_);
        if (!input.empty() && same_file(input, temp_path_)) {
            throw std::runtime_error("the input file '" + input +
                                     "' has the name of the temporary file the output " + quoted +
                                     " is written to; rename it or choose another output name");
        }
    }
    const OpenedFile opened = direct ? open_device(target_) : open_temporary(temp_path_);
    switch (opened.problem) {
        case OpenedFile::kBusy:
            throw std::runtime_error("the output file " + quoted +
                                     " is being written by another run of the encoder");
        case OpenedFile::kNoReader:
            throw std::runtime_error("nothing reads from the pipe " + quoted);
        case OpenedFile::kInTheWay:
            throw std::runtime_error("cannot create the output file " + quoted + ": '" +
                                     temp_path_ + "', the temporary file it is written to, is " +
                                     opened.reason +
                                     "; move that away or choose another output name");
        case OpenedFile::kFailed:
            throw std::runtime_error("cannot create the output file " + quoted + ": " +
                                     opened.reason);
        case OpenedFile::kNone:
            break;
    }
    file_ = opened.file;
    if (direct && seekable && !seek_file(file_, 0)) {
        std::fclose(file_);
        throw std::runtime_error("an MP4 file cannot be written to " + quoted +
                                 " (a pipe or device); give a name ending in .aac for an "
                                 "ADTS stream");
    }
}

OutputFile::~OutputFile() {
    if (file_ == nullptr) {
        return;
    }
    if (temp_path_.empty()) {
        std::fclose(file_);
    } else {
        discard_temporary(file_, temp_path_);
    }
}

void OutputFile::fail_writing() const {
    if (errno == EPIPE) {
        throw std::runtime_error("cannot write the output '" + path_ +
                                 "': the program reading it has stopped");
    }
    throw std::runtime_error("cannot write the output file '" + path_ +
                             "': " + std::strerror(errno));
}

void OutputFile::write(const void* data, std::size_t bytes) {
    if (file_ == nullptr || std::fwrite(data, 1, bytes, file_) != bytes) {
        fail_writing();
    }
}

void OutputFile::write_at(std::uint64_t offset, const void* data, std::size_t bytes) {
    if (file_ == nullptr || !seek_file(file_, offset) ||
        std::fwrite(data, 1, bytes, file_) != bytes || !seek_file(file_, 0, SEEK_END)) {
        fail_writing();
    }
}

void OutputFile::commit() {
    if (file_ == nullptr) {
        throw std::logic_error("output file already closed");
    }
    if (std::fflush(file_) != 0) {
        fail_writing();
    }
    std::FILE* const file = file_;
    file_ = nullptr;
    if (temp_path_.empty()) {
        if (std::fclose(file) != 0) {
            fail_writing();
        }
        return;
    }
    std::string reason;
    if (!commit_temporary(file, temp_path_, target_, &reason)) {
        throw std::runtime_error("cannot replace the output file '" + path_ + "': " + reason);
    }
}

}  // namespace brevix::mp4
