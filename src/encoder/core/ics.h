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

constexpr std::uint8_t kSubstituteFreely = 1;
constexpr std::uint8_t kSubstituteForHoles = 2;

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
    float tonality[kMaxCodingBands] = {};   // 0 noise-like .. 1 a line spectrum

    // Bands coded without quantised values. `fixed_book` is set before the rate loop and
    // kept by it: kIntensityCodebook / kIntensityOutOfPhaseCodebook on the right channel
    // of a pair, with the intensity position in `scalefactor`; 0 elsewhere. The rate loop
    // may substitute noise in bands marked `may_substitute` (kSubstituteFreely: where it
    // pays; kSubstituteForHoles: only instead of leaving a band with energy empty), with
    // the decoded energy `output_energy` (the band's energy in this output channel, also
    // where `energy` is a mid or side channel's).
    std::uint8_t fixed_book[kMaxCodingBands] = {};
    std::uint8_t may_substitute[kMaxCodingBands] = {};
    int noise_start = 0;  // the lowest band of a group where noise may ever stand in
    float output_energy[kMaxCodingBands] = {};
    // The left channel of a pair: how alike the two channels are per band, their
    // normalised correlation (-1..1), so that noise filling holes in both keeps it.
    float correlation[kMaxCodingBands] = {};
    TnsData tns;  // filters applied to `spectrum`, per window

    // Quantiser results.
    int global_gain = 0;
    // Per band by its book: scalefactor, noise energy (kNoiseCodebook) or intensity position.
    int scalefactor[kMaxCodingBands] = {};
    std::uint8_t book[kMaxCodingBands] = {};
    Section sections[kNumShortWindows][kMaxLongBands] = {};
    int section_count[kNumShortWindows] = {};
    int quantized[kFrameLength] = {};

    // Main-profile prediction (long windows): predictor_data_present, the reset group it
    // announces (1..30) and prediction_used per band. A predicted band is never noise-
    // substituted or intensity coded: its decoder-side value must be known to the encoder.
    bool prediction_present = false;
    int prediction_reset = 0;
    std::uint8_t predicted[kMaxCodingBands] = {};

    bool is_short() const { return sequence == WindowSequence::kEightShort; }

    // Fills group geometry and band_start/band_width from the layout and the grouping.
    void set_layout(const BandLayout& layout, int max_bands);
};

}  // namespace brevix::aac
