// Psychoacoustic model working directly on the MDCT spectrum: for every scalefactor band
// it gives the signal energy and the noise energy that band can hide (its masking
// threshold), both in the squared MDCT-coefficient domain the quantiser works in.
//
// The threshold of a band combines
//  * masking spread from neighbouring bands (energy densities spread along the Bark
//    scale, shallow towards higher, steep towards lower frequencies),
//  * a tonality-dependent offset (tones mask noise far less than noise does; tonality is
//    the share of a band's energy in spectral peaks),
//  * the absolute threshold of hearing, for a full-scale sine played at 96 dB SPL,
//  * for long blocks, a limit on how fast the threshold may rise from frame to frame,
//    so noise cannot spread in front of an attack (pre-echo).
// One model per channel: it keeps the previous frame's spectrum and thresholds.
#pragma once

#include <cstdint>

#include "core/aac_types.h"
#include "core/bands.h"

namespace brevix::aac {

class PsychoModel {
public:
    explicit PsychoModel(int sample_rate);

    // Long block: `spectrum` holds 1024 lines. Fills energy/threshold for every long band.
    // Returns the frame's perceptual entropy (an estimate of the bits it deserves).
    float analyze_long(const float* spectrum, float* energy, float* threshold);

    // Eight short blocks: `spectrum` holds 8 x 128 lines, window after window. Fills
    // energy/threshold as [window * kMaxShortBands + band]. Returns perceptual entropy.
    float analyze_short(const float* spectrum, float* energy, float* threshold);

    const BandLayout& long_layout() const { return long_; }
    const BandLayout& short_layout() const { return short_; }

private:
    struct BandParams {
        float spread_up[kMaxLongBands];    // attenuation from band b-1 into band b
        float spread_down[kMaxLongBands];  // attenuation from band b+1 into band b
        float bark[kMaxLongBands];         // centre of the band on the Bark scale
        float ath[kMaxLongBands];          // threshold in quiet, band energy
    };
    static void init_params(const BandLayout& layout, int block_half, int sample_rate,
                            BandParams& params);
    void spread(const BandLayout& layout, const BandParams& params, const float* energy,
                const float* tonality, float* threshold) const;

    BandLayout long_;
    BandLayout short_;
    BandParams long_params_;
    BandParams short_params_;
    float previous_spectrum_[kFrameLength] = {};
    float smoothed_energy_[kFrameLength] = {};
    std::uint8_t line_band_[kFrameLength] = {};  // long band of every spectral line
    float previous_threshold_[kMaxLongBands] = {};
    bool previous_long_ = false;
};

// Perceptual entropy of one band: roughly the bits needed to code `energy` over `lines`
// lines with noise `threshold`.
float band_entropy(float energy, float threshold, int lines);

}  // namespace brevix::aac
