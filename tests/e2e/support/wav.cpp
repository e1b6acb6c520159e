#include "support/wav.h"

namespace brevix::e2e {

std::string le16(std::uint16_t value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}

std::string le32(std::uint32_t value) {
    return le16(static_cast<std::uint16_t>(value & 0xFFFF)) +
           le16(static_cast<std::uint16_t>(value >> 16));
}

std::string chunk(const std::string& id, const std::string& data) {
    std::string bytes = id + le32(static_cast<std::uint32_t>(data.size())) + data;
    if (data.size() % 2 != 0)
        bytes += '\0';
    return bytes;
}

std::string riff_wave(const std::string& chunks) {
    return chunk("RIFF", "WAVE" + chunks);
}

std::string format_fields(const WavFormat& format) {
    const std::uint16_t block_align =
        static_cast<std::uint16_t>(format.channels * ((format.bits_per_sample + 7) / 8));
    return le16(format.tag) + le16(format.channels) + le32(format.samples_per_second) +
           le32(format.samples_per_second * block_align) + le16(block_align) +
           le16(format.bits_per_sample);
}

std::string wav_file(const WavFormat& format) {
    const std::uint16_t block_align =
        static_cast<std::uint16_t>(format.channels * ((format.bits_per_sample + 7) / 8));
    const std::string silence(64u * block_align, '\0');
    return riff_wave(chunk("fmt ", format_fields(format)) + chunk("data", silence));
}

std::string compressed_audio_bytes() {
    std::string bytes = "ID3";
    bytes += std::string("\x04\x00\x00\x00\x00\x00\x00", 7);  // version, flags, empty tag
    bytes += std::string("\xFF\xFB\x90\x64", 4);              // a frame header
    bytes += std::string(412, '\0');
    return bytes;
}

}  // namespace brevix::e2e
