// Psychoacoustic model: for every scalefactor band it gives the signal energy, the noise
// energy the band can hide (its masking threshold) and a weight, all in the squared
// MDCT-coefficient domain the quantiser works in.
//
// Every frame's input is analysed on a sine-windowed long transform of its 2048 samples:
// the MDCT plus its sine counterpart, the MDST, whose squared sum does not flicker with the
// phase of a steady tone. Per band this gives:
//  * tonality from the spectral flatness around the band (a line spectrum masks noise
//    far less than noise does),
//  * a mask: the energies, lowered by a tonality-dependent offset, spread along the Bark
//    scale with a spreading function (steep towards lower, shallow towards higher
//    frequencies), normalised so a flat spectrum spreads onto itself.
// The analysis runs one frame ahead (the encoder's look-ahead block), because a long
// window's noise spreads over its whole span and so into the overlapping halves of the
// frames before and after: a long frame's threshold is its own mask, at most twice the
// previous frame's and four times the next frame's (an attack, or a sound that stops
// within the window, would otherwise leave audible noise where the signal is quiet), and
// never below the threshold in quiet (a full-scale sine taken as 92 dB SPL; capped at
// 50 dB SPL, as its steep rise at the ends of the range differs much between listeners).
//
// The same look-ahead decides between long and short windows: short windows when they
// would code the frame with fewer bits (perceptual entropy) than a long window whose
// noise stays below the mask of the frame's quietest part.
//
// Short windows take their tonality from the frame's long analysis (a tone that goes on
// under an attack stays a tone) and their energies window by window, with a little
// forward masking from each window into the next.
//
// The weight of a band is its width on the Bark scale: the rate loop minimises the
// noise-to-mask ratio integrated over the Bark scale, which is how a listener (and an
// NMR meter) adds up noise from many bands.
//
// One model per channel: it keeps the analyses of the previous, current and next frame.
#pragma once

#include <cstdint>

#include "core/aac_types.h"
#include "core/bands.h"
#include "core/mdct.h"

namespace brevix::aac {

// What the model asks of long windows beyond its plain rules, where the rate allows.
struct ModelStrictness {
    // The least masking offset of the bands below 200 Hz (fading out by 400 Hz), where it
    // exceeds the one below about 1 kHz; 0 for none.
    float bass_offset_db = 0.0f;
    // The least number of lines over which a band's tonality is judged (a narrow band's
    // own lines are filled by one tone's main lobe); 0 for the band and 2 lines either side.
    int tonality_lines = 0;
};

class PsychoModel {
public:
    explicit PsychoModel(int sample_rate, const ModelStrictness& strictness = {});

    // Analyses the next frame: `span` holds the 3072 input samples of this frame (the
    // first 2048) and the next (the last 2048). Call once per frame, before the window
    // decision and the analyze_*() call.
    void look_ahead(const float* span);

    // Whether short windows would code this frame (or the next) with fewer bits than a
    // long window that keeps its noise below the mask of every part of the frame: true
    // for attacks, and for sounds that stop or change abruptly within the frame.
    bool wants_short_now() const { return analyses_[current_].wants_short; }
    bool wants_short_next() const { return analyses_[next_].wants_short; }

    // Long window with MDCT `spectrum`. Fills energy, threshold and weight of every long
    // band.
    void analyze_long(const float* spectrum, float* energy, float* threshold, float* weight);

    // Eight short windows: `spectrum` holds 8 x 128 lines, window after window. Fills
    // energy/threshold as [window * kMaxShortBands + band] and weight per short band.
    void analyze_short(const float* spectrum, float* energy, float* threshold, float* weight);

    // Tonality 0..1 (noise-like .. a line spectrum) of the bands of the last
    // analyze_long() / analyze_short() call.
    const float* long_tonality() const { return analyses_[current_].tonality; }
    // How steady each long band's lines are from frame to frame, 0..1: a sound whose
    // lines keep their level and turn their phase by the same step each frame (a partial
    // of a plucked string, a sustained voice) is steady, noise is not. A band of many
    // partials can look as flat as noise within one frame; it stays apart from noise here.
    const float* long_steadiness() const { return analyses_[current_].steadiness; }
    // The current frame's MDCT under a long window of the sine shape on both halves, to the
    // bit as the encoder's own transform gives it (from the second look_ahead() on).
    const float* long_sine_spectrum() const { return analyses_[current_].spectrum; }
    const float* short_tonality() const { return short_tonality_; }

    const BandLayout& long_layout() const { return long_; }

private:
    struct BandParams {
        int count;
        float bark[kMaxLongBands];             // centre of the band on the Bark scale
        float width[kMaxLongBands];            // width on the Bark scale
        float ath[kMaxLongBands];              // threshold in quiet, band energy
        float least_offset_db[kMaxLongBands];  // the least masking offset (low bands)
        // spread[masker * count + maskee]: share of the masker's (offset) energy that
        // masks in the maskee band.
        float spread[kMaxLongBands * kMaxLongBands];
    };
    // Analysis of one frame's 2048 samples.
    struct Analysis {
        float spectrum[kFrameLength];  // MDCT of the sine-windowed frame
        float power[kFrameLength];     // MDCT^2 + MDST^2 of the sine-windowed frame
        float tonality[kMaxLongBands];
        float steadiness[kMaxLongBands];
        float mask[kMaxLongBands];  // masking threshold, without the time limits
        bool wants_short;
    };
    // `low_offset_db`: the least masking offset of the bands below about 1 kHz;
    // `bass_offset_db` of those below 200 Hz (see ModelStrictness).
    static void init_params(const BandLayout& layout, int block_half, int sample_rate,
                            float low_offset_db, float bass_offset_db, BandParams& params);
    // Tonality 0..1 of each band of `layout` from the power spectrum `power`, whose lines
    // are `scale` times finer than the layout's, judged over at least `least_lines` lines.
    static void tonality(const BandLayout& layout, const float* power, int lines, int scale,
                         int least_lines, float* out);
    // Steadiness per band of the frame whose spectrum is re + i im (see long_steadiness()),
    // and each line's power re^2 + im^2 into `power`; then remembers the spectrum.
    void steadiness(const float* re, const float* im, float* power, float* out);
    static void spread(const BandParams& params, const float* energy, const float* tonality,
                       float* threshold);
    void analyze(const float* samples, Analysis& out);
    // Perceptual entropy of the frame at `samples` coded with eight short windows (bands
    // below their own window's mask); `min_mask` gets each short band's smallest mask.
    float short_window_entropy(const float* samples, const float* tonal, float* min_mask);
    // Band energies of eight short windows, `scale` times the summed `power` of their lines.
    void short_energies(const float* power, float scale, float* energy) const;
    // Thresholds of the eight windows of a short frame from their band energies; returns
    // their perceptual entropy.
    void short_thresholds(const float* energy, const float* tonal, float* threshold) const;

    BandLayout long_;
    BandLayout short_;
    BandParams long_params_;
    BandParams short_params_;
    int long_tonality_lines_ = 0;
    Mdct long_mdct_;
    Mdct short_mdct_;
    float windowed_[2 * kFrameLength] = {};
    float short_power_[kFrameLength] = {};
    float short_energy_[kNumShortWindows * kMaxShortBands] = {};
    float short_threshold_[kNumShortWindows * kMaxShortBands] = {};
    float mdst_[kFrameLength] = {};
    // The complex spectra (MDCT + i MDST) of the two frames analysed before, for
    // predicting each line.
    float past_re_[2][kFrameLength] = {};
    float past_im_[2][kFrameLength] = {};
    float past_magnitude_[2][kFrameLength] = {};
    float line_weighted_[kFrameLength] = {};  // steadiness(): each line's weighted error
    float line_magnitude_[kFrameLength] = {};
    float short_tonality_[kMaxShortBands] = {};
    Analysis analyses_[3] = {};  // previous, current and next frame, by the indices below
    int previous_ = 0;
    int current_ = 1;
    int next_ = 2;
    bool started_ = false;
};

// Perceptual entropy of one band: roughly the bits needed to code `energy` over `lines`
// lines with noise `threshold`.
float band_entropy(float energy, float threshold, int lines);

}  // namespace brevix::aac
