#include "program/output_file.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "program/platform.h"

namespace brevix::mp4 {

OutputFile::OutputFile(const std::string& final_path) : final_path_(final_path) {
    // Unique per process, and created exclusively so a stale or foreign file is never
    // overwritten.
    const std::string base = final_path + "." + std::to_string(process_id());
    int error = 0;
    for (int attempt = 0; attempt < 100 && file_ == nullptr; ++attempt) {
        temp_path_ = base + (attempt == 0 ? "" : "-" + std::to_string(attempt)) + ".tmp";
        file_ = create_new_file(temp_path_);
        error = errno;
        if (file_ == nullptr && error != EEXIST) {
            break;
        }
    }
    if (file_ == nullptr) {
        throw std::runtime_error("cannot create the output file '" + final_path +
                                 "': " + std::strerror(error));
    }
}

OutputFile::~OutputFile() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
    if (!committed_) {
        std::remove(temp_path_.c_str());
    }
}

void OutputFile::write(const void* data, std::size_t bytes) {
    if (file_ == nullptr || std::fwrite(data, 1, bytes, file_) != bytes) {
        throw std::runtime_error("cannot write the output file '" + final_path_ +
                                 "': " + std::strerror(errno));
    }
}

void OutputFile::write_at(std::uint64_t offset, const void* data, std::size_t bytes) {
    const bool ok = file_ != nullptr && seek_file(file_, offset) &&
                    std::fwrite(data, 1, bytes, file_) == bytes && seek_file_end(file_);
    if (!ok) {
        throw std::runtime_error("cannot write the output file '" + final_path_ +
                                 "': " + std::strerror(errno));
    }
}

void OutputFile::commit() {
    if (file_ == nullptr) {
        throw std::logic_error("output file already closed");
    }
    const bool flushed = std::fflush(file_) == 0;
    const int error = errno;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed) {
        throw std::runtime_error("cannot write the output file '" + final_path_ +
                                 "': " + std::strerror(flushed ? errno : error));
    }
    std::string reason;
    if (!replace_file(temp_path_, final_path_, &reason)) {
        throw std::runtime_error("cannot replace the output file '" + final_path_ + "': " + reason);
    }
    committed_ = true;
}

}  // namespace brevix::mp4
