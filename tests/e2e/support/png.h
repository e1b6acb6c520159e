// A small PNG writer: 8-bit RGB, no filtering, the image data in stored (uncompressed)
// deflate blocks. Enough for screenshots a person looks at.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brevix::e2e {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // rows top to bottom, 3 bytes per pixel
};

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);
std::uint32_t adler32(const std::uint8_t* data, std::size_t size);
// The whole PNG file as bytes (empty for an empty or inconsistent image).
std::vector<std::uint8_t> encode_png(const Image& image);

}  // namespace brevix::e2e
