// The output file. A regular file is written under a temporary name beside it and moved
// onto it only when complete: an existing output survives any failure, keeps its
// permissions, and no half-written file is left behind (the destructor removes the
// temporary file unless commit() succeeded). The temporary's name is fixed per output,
// so a run that was killed leaves at most one, which the next run to that output takes
// over. A symbolic link stays a link: the file it points at receives the output. A
// device or pipe is written to directly.
#pragma once

#include <cstdio>
#include <string>

#include "container/container.h"

namespace brevix::mp4 {

class OutputFile : public aac::ByteSink {
public:
    // Checks the path and opens what will receive the data, before any audio is read.
    // `seekable`: the container rewrites earlier bytes (MP4), so pipes cannot take it.
    // `input`: the file being encoded, never to be taken for a stale temporary file.
    // Throws std::runtime_error naming the problem.
    OutputFile(const std::string& path, bool seekable, const std::string& input = {});
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const void* data, std::size_t bytes) override;  // throws on failure
    void write_at(std::uint64_t offset, const void* data, std::size_t bytes) override;
    void commit();  // closes and moves the file into place; throws on failure

    // Empty when the output is written directly.
    const std::string& temp_path() const { return temp_path_; }

private:
    [[noreturn]] void fail_writing() const;

    std::string path_;    // as given, for messages
    std::string target_;  // where the file ends up
    std::string temp_path_;
    std::FILE* file_ = nullptr;
};

// The temporary file's name for an output: beside it, with a suffix, shortened with a
// hash of the name where the suffix would make the name longer than a file system allows.
std::string temporary_path_for(const std::string& target);

}  // namespace brevix::mp4
