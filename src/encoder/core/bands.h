// Scalefactor-band layouts per sampling rate.
#pragma once

#include <cstdint>

namespace brevix::aac {

constexpr int kMaxLongBands = 51;   // largest long-window band count of any rate
constexpr int kMaxShortBands = 15;  // largest short-window band count of any rate

struct BandLayout {
    int count;                     // number of bands
    const std::uint16_t* offsets;  // count + 1 entries: first line of each band, then end
    int width(int band) const { return offsets[band + 1] - offsets[band]; }
};

// Index written in headers (e.g. 3 for 48000, 4 for 44100); -1 if unknown.
int sampling_frequency_index(int sample_rate);

BandLayout long_bands(int sample_rate);
BandLayout short_bands(int sample_rate);

// Number of bands of `layout` that start below `lines` (a bandwidth in spectral lines).
int bands_below(const BandLayout& layout, int lines);
// Number of bands of `layout` (of a window of `window_lines` lines) that start below `hz`,
// i.e. the first band that starts at or above it.
int bands_below_hz(const BandLayout& layout, int window_lines, int hz, int sample_rate);

}  // namespace brevix::aac
