// Random-access reading of a file's bytes, behind an interface so that the WAV header probe
// can read from a file in the program and from memory in tests and the fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace brevix::job {

class ByteSource {
public:
    virtual ~ByteSource() = default;

    // Copies up to `count` bytes starting at `offset` into `out` and returns how many were
    // copied: fewer than `count` (possibly 0) when the data ends or cannot be read.
    virtual std::size_t read_at(std::uint64_t offset, unsigned char* out, std::size_t count) = 0;
};

// A file opened for binary reading; closed when the object goes away.
class FileByteSource final : public ByteSource {
public:
    // The path is passed to the C library as it is (ANSI code page on Windows). A C stream
    // rather than a C++ one: the C++ streams bring the runtime's locale machinery into the
    // Windows program, which is statically linked, for no use.
    explicit FileByteSource(const std::string& path);

    bool is_open() const { return file_ != nullptr; }
    std::size_t read_at(std::uint64_t offset, unsigned char* out, std::size_t count) override;

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
};

// Bytes owned by the caller, which must outlive the source.
class MemoryByteSource final : public ByteSource {
public:
    MemoryByteSource(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t read_at(std::uint64_t offset, unsigned char* out, std::size_t count) override;

private:
    const unsigned char* data_;
    std::size_t size_;
};

}  // namespace brevix::job
