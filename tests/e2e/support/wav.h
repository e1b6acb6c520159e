// WAV files for the tests, written byte by byte so that every field a test depends on is
// visible in the test: well-formed files of any format, and the broken ones the program
// must refuse.
#pragma once

#include <cstdint>
#include <string>

namespace brevix::e2e {

struct WavFormat {
    std::uint16_t tag = 1;  // 1: PCM, 3: IEEE float
    std::uint16_t channels = 2;
    std::uint32_t samples_per_second = 44100;
    std::uint16_t bits_per_sample = 16;
};

std::string le16(std::uint16_t value);
std::string le32(std::uint32_t value);

// One chunk: identifier, little-endian data size, data, a pad byte after odd-sized data.
std::string chunk(const std::string& id, const std::string& data);
// A RIFF chunk of form WAVE around the given sub-chunks.
std::string riff_wave(const std::string& chunks);
// The 16 bytes of a PCM-style "fmt " chunk's data.
std::string format_fields(const WavFormat& format);
// A whole file: RIFF/WAVE with "fmt " and a short "data" chunk of silence.
std::string wav_file(const WavFormat& format = {});
// The start of a compressed audio file (a tag header and a frame header), as found in a
// file that was merely given a .wav name.
std::string compressed_audio_bytes();

}  // namespace brevix::e2e
