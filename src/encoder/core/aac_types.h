// Basic vocabulary of the AAC core: frame sizes, window sequences and shapes, profiles.
#pragma once

#include <cstdint>

namespace brevix::aac {

constexpr int kFrameLength = 1024;  // new samples per frame and spectral lines per long window
constexpr int kShortLength = 128;   // spectral lines per short window
constexpr int kNumShortWindows = 8;
constexpr int kMaxChannels = 6;           // channel configurations 1 to 6 (up to 5.1)
constexpr int kMaxBitsPerChannel = 6144;  // decoder input buffer per channel, bits

// Sampling rates the encoder has band tables for (44.1 and 48 kHz share them).
constexpr bool is_supported_sample_rate(int sample_rate) {
    return sample_rate == 44100 || sample_rate == 48000;
}

// Window sequence as written in ics_info.
enum class WindowSequence : std::uint8_t {
    kOnlyLong = 0,
    kLongStart = 1,
    kEightShort = 2,
    kLongStop = 3,
};

// Window shape as written in ics_info: the shape of the window's right half
// (the left half always continues the previous frame's shape).
enum class WindowShape : std::uint8_t {
    kSine = 0,
    kKbd = 1,
};

// Audio object types this encoder writes.
enum class Profile : std::uint8_t {
    kMain = 1,
    kLowComplexity = 2,
};

// Syntactic element identifiers of a raw data block.
enum class ElementId : std::uint8_t {
    kSce = 0,
    kCpe = 1,
    kCce = 2,
    kLfe = 3,
    kDse = 4,
    kPce = 5,
    kFil = 6,
    kEnd = 7,
};

}  // namespace brevix::aac
