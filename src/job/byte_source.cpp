#include "job/byte_source.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "common/file_position.h"

namespace brevix::job {

FileByteSource::FileByteSource(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {}

std::size_t FileByteSource::read_at(std::uint64_t offset, unsigned char* out, std::size_t count) {
    if (!file_ || count == 0 ||
        offset > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return 0;
    }
    if (!seek_file(file_.get(), offset)) {
        return 0;
    }
    return std::fread(out, 1, count, file_.get());
}

std::size_t MemoryByteSource::read_at(std::uint64_t offset, unsigned char* out, std::size_t count) {
    if (offset >= size_) {
        return 0;
    }
    const auto start = static_cast<std::size_t>(offset);
    const std::size_t n = std::min(count, size_ - start);
    if (n > 0) {
        std::memcpy(out, data_ + start, n);
    }
    return n;
}

}  // namespace brevix::job
