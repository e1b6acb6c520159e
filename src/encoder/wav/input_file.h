// A read-only binary file with 64-bit positions, closed by its destructor. Paths are
// UTF-8 on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace brevix::aac {

class InputFile {
public:
    // Throws std::runtime_error naming the path if it cannot be opened.
    explicit InputFile(const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Reads up to `bytes`; returns how many were read (fewer only at the end of the file).
    std::size_t read(void* data, std::size_t bytes);
    // Moves to an absolute position; false if that fails.
    bool seek(std::uint64_t position);
    std::uint64_t size() const { return size_; }

private:
    std::FILE* file_ = nullptr;
    std::uint64_t size_ = 0;
};

}  // namespace brevix::aac
