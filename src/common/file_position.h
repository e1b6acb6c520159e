// 64-bit positions in C streams on both platforms: WAV and MP4 files may pass 2 GiB.
#pragma once

#include <cstdint>
#include <cstdio>

namespace brevix {

// Moves `file` to `offset` from `whence` (SEEK_SET, SEEK_END); false on failure.
inline bool seek_file(std::FILE* file, std::uint64_t offset, int whence = SEEK_SET) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<long long>(offset), whence) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), whence) == 0;
#endif
}

// The position of `file`; negative on failure.
inline std::int64_t tell_file(std::FILE* file) {
#ifdef _WIN32
    return _ftelli64(file);
#else
    return ftello(file);
#endif
}

}  // namespace brevix
