// Everything about one channel of one frame that the bitstream needs: window information,
// the spectrum in coding order, per-band energy and allowed noise, and the quantiser's
// results (scalefactors, codebooks, sections, quantised values). Preallocated and reused
// frame after frame.
#pragma once

#include <cstdint>

#include "core/aac_types.h"
#include "core/bands.h"
#include "core/section.h"
#include "core/tns.h"

namespace brevix::aac {

// Coding bands: long windows use band b directly; short windows number the bands of
// window group g as g * bands_per_group + b.
constexpr int kMaxCodingBands = kNumShortWindows * kMaxShortBands;

struct Ics {
    // ics_info
    WindowSequence sequence = WindowSequence::kOnlyLong;
    WindowShape shape = WindowShape::kSine;
    int max_sfb = 0;
    int group_count = 1;
    int group_length[kNumShortWindows] = {1};
    int bands_per_group = 0;

    // Geometry of the coding bands in `spectrum` (grouped order for short windows: group
    // after group, band after band, and inside a band window after window).
    std::uint16_t band_start[kMaxCodingBands + 1] = {};
    std::uint16_t band_width[kMaxCodingBands] = {};

    float spectrum[kFrameLength] = {};
    float energy[kMaxCodingBands] = {};
    float threshold[kMaxCodingBands] = {};  // allowed noise energy per band
    float weight[kMaxCodingBands] = {};     // importance of the band's noise-to-mask ratio
    TnsData tns;                            // filters applied to `spectrum`, per window

    // Quantiser results.
    int global_gain = 0;
    int scalefactor[kMaxCodingBands] = {};
    std::uint8_t book[kMaxCodingBands] = {};
    Section sections[kNumShortWindows][kMaxLongBands] = {};
    int section_count[kNumShortWindows] = {};
    int quantized[kFrameLength] = {};

    bool is_short() const { return sequence == WindowSequence::kEightShort; }

    // Fills group geometry and band_start/band_width from the layout and the grouping.
    void set_layout(const BandLayout& layout, int max_bands);
};

}  // namespace brevix::aac
