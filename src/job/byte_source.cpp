#include "job/byte_source.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace brevix::job {

FileByteSource::FileByteSource(const std::string& path)
    : file_(path, std::ios::in | std::ios::binary) {}

std::size_t FileByteSource::read_at(std::uint64_t offset, unsigned char* out, std::size_t count) {
    if (!file_.is_open() || count == 0 ||
        offset > static_cast<std::uint64_t>(std::numeric_limits<std::streamoff>::max())) {
        return 0;
    }
    if (count > static_cast<std::size_t>(std::numeric_limits<std::streamsize>::max())) {
        count = static_cast<std::size_t>(std::numeric_limits<std::streamsize>::max());
    }
    file_.clear();  // an earlier read may have hit the end of the file
    file_.seekg(static_cast<std::streamoff>(offset), std::ios::beg);
    if (!file_) {
        return 0;
    }
    file_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(count));
    return static_cast<std::size_t>(std::max<std::streamsize>(file_.gcount(), 0));
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
