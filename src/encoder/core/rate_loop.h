// Chooses scalefactors, quantised values and codebooks for all channels of a frame under
// a bit budget.
//
// Each band starts from the scalefactor at which its quantisation noise should equal the
// psychoacoustic threshold. One common offset, in scalefactor steps, then moves every
// band's noise up or down together (each step is 1.13 dB), so all bands keep the same
// noise-to-mask ratio while the frame's exact cost follows the offset. A bracketing and
// bisection search finds the smallest offset whose exact cost fits the budget; the bits
// left below the budget then buy the next finer offset for as many of the lowest bands as
// they pay for. Bands whose whole energy lies below their (offset) threshold are not
// coded at all.
#pragma once

#include "core/ics.h"

namespace brevix::aac {

class RateLoop {
public:
    // Prepares per-band statistics for `count` channels (call once per frame after the
    // spectra and thresholds are final).
    void prepare(Ics* const* channels, int count);

    // Quantises all prepared channels so their scalefactor, section and spectral bits sum
    // to at most `target_bits` where possible, never more than `max_bits` (bands are
    // dropped from the top if even the coarsest offset does not fit). Returns the bits.
    int run(int target_bits, int max_bits);

    // Offset chosen in the last run (exposed for tests and diagnostics).
    int last_offset() const { return offset_; }

private:
    struct Scratch {
        float xpow[kFrameLength];
        float base_sf[kMaxCodingBands];
        float drop_offset[kMaxCodingBands];  // offsets at or above this leave the band out
        int min_sf[kMaxCodingBands];
        int largest[kMaxCodingBands];
        int band_bits[kMaxCodingBands * kNumSpectralBooks];
        int coded_limit[kNumShortWindows];  // bands coded per group (max_sfb unless cut)
    };

    // Quantises with `low_offset` for bands below `split` (in each window group) and
    // `offset` above; returns the channel's bits.
    int evaluate(int channel, int offset, int low_offset, int split);
    int evaluate_all(int offset, int low_offset, int split);
    void quantize_band(int channel, int band, int scalefactor);
    void enforce_scalefactor_range(int channel);
    int count_channel_bits(int channel);

    Ics* channels_[kMaxChannels] = {};
    Scratch scratch_[kMaxChannels];
    int count_ = 0;
    int offset_ = 0;
};

}  // namespace brevix::aac
