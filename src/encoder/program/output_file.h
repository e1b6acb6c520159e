// The output file, written under a temporary name beside the final one and moved onto it
// only when complete. An existing output survives any failure, and no half-written file
// is left behind: the destructor removes the temporary file unless commit() succeeded.
#pragma once

#include <cstdio>
#include <string>

#include "core/container.h"

namespace brevix::mp4 {

class OutputFile : public aac::ByteSink {
public:
    // Creates the temporary file; throws std::runtime_error naming the problem.
    explicit OutputFile(const std::string& final_path);
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const void* data, std::size_t bytes) override;  // throws on failure
    void write_at(std::uint64_t offset, const void* data, std::size_t bytes) override;
    void commit();  // closes and moves the file into place; throws on failure

    const std::string& temp_path() const { return temp_path_; }

private:
    std::string final_path_;
    std::string temp_path_;
    std::FILE* file_ = nullptr;
    bool committed_ = false;
};

}  // namespace brevix::mp4
