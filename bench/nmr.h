// Noise-to-mask ratio (NMR): how far the coding noise of a decoded signal rises above the
// masking threshold of its source, per critical band and frame. Below 0 dB the noise is
// (by this model) inaudible; every 10 dB more noise raises the NMR by 10 dB.
//
// Per frame of 2048 samples (hop 1024, Hann window) and per half-Bark band:
//   mask  = max(spread source energy lowered by a tonality-dependent offset,
//               threshold in quiet)
//   noise = energy of (decoded - source) in the same band
// The frame's NMR is 10 log10 of the mean noise/mask ratio over all bands, so a few
// badly coded bands dominate, as they do for a listener. README.md gives the details.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/fft.h"

namespace brevix::bench {

// Masking threshold of one source channel: `bands` values per frame, frame after frame.
struct MaskingCurve {
    int bands = 0;
    std::vector<float> threshold;
    std::size_t frames() const {
        return bands > 0 ? threshold.size() / static_cast<std::size_t>(bands) : 0;
    }
};

// Noise/mask ratios are averaged as ratios (not as dB), over bands and frames: a frame
// whose noise is 30 dB below its mask is no better to the ear than one 10 dB below, while
// one 10 dB above it is clearly worse, and the ratio's mean weighs them that way.
struct NmrSummary {
    double mean_db = 0.0;   // dB of the mean ratio over all frames
    double worst_db = 0.0;  // dB of the mean ratio over the worst 5 % of frames
    std::size_t frames = 0;
};

class NmrMeter {
public:
    static constexpr int kFrameSize = 2048;
    static constexpr int kHop = 1024;

    // `full_scale_spl_db`: playback level of a full-scale sine, which places the threshold
    // in quiet relative to the samples (16-bit scale, +-32768).
    explicit NmrMeter(int sample_rate, double full_scale_spl_db = 92.0);

    MaskingCurve masking(const std::vector<float>& source) const;

    // Per frame, the mean over bands of noise/mask (linear) of `decoded` against `source`,
    // where decoded[i + lag] plays source[i]. Samples beyond `decoded` count as silence.
    // `band_sums`, if given (band_count() entries), gets every band's ratio added per frame.
    // `energy_cells`, if given (one flag per frame and band, frame after frame), marks the
    // cells whose noise is the difference of the band energies |E_decoded - E_source|
    // instead of the energy of decoded - source: bands an encoder replaced by noise of the
    // same energy, whose waveform is meant to differ.
    std::vector<double> noise_to_mask(
        const std::vector<float>& source, const MaskingCurve& mask,
        const std::vector<float>& decoded, int lag, std::vector<double>* band_sums = nullptr,
        const std::vector<std::uint8_t>* energy_cells = nullptr) const;

    // Band energies (band_count() values) of the Hann-windowed frame of kFrameSize
    // samples at `frame`, in the units of MaskingCurve::threshold.
    void band_energy(const float* frame, double* energy) const;

    int band_count() const { return static_cast<int>(band_first_.size()); }
    // FFT bins of band `b`: band_first(b) .. band_end(b) - 1 (bin k: k * rate / kFrameSize Hz).
    int band_first(int b) const { return band_first_[static_cast<std::size_t>(b)]; }
    int band_end(int b) const { return band_end_[static_cast<std::size_t>(b)]; }
    // Centre frequency of band `b` in Hz.
    double band_centre_hz(int b) const;

private:
    void power_spectrum(const float* x, float* power) const;
    void band_energies(const float* power, double* energy) const;

    int sample_rate_;
    aac::Fft fft_;
    std::vector<float> window_;
    std::vector<int> band_first_;  // first FFT bin of each band; bins run to band_end_
    std::vector<int> band_end_;
    std::vector<double> centre_bark_;
    std::vector<double> quiet_;      // threshold in quiet per band, band energy
    std::vector<double> spreading_;  // [masker * bands + maskee], normalised (see .cpp)
};

// Threshold in quiet (Terhardt) in dB SPL at `hz`.
double quiet_threshold_db(double hz);

// Combines the channels frame by frame (mean of their ratios) and summarises.
NmrSummary summarize(const std::vector<std::vector<double>>& channel_ratios);

// Lag (0..max_lag) at which `decoded` best matches `source` by cross-correlation, i.e.
// the delay an encoder and decoder added. Uses a stretch from the middle of the source.
int find_lag(const std::vector<float>& source, const std::vector<float>& decoded, int max_lag);
// The cross-correlation find_lag() maximises, per lag 0..max_lag (each frequency counted
// by its phase alone): curves of several channels add up.
std::vector<float> lag_curve(const std::vector<float>& source, const std::vector<float>& decoded,
                             int max_lag);

// Waveform signal-to-noise ratio in dB of decoded[i + lag] against source[i].
double snr_db(const std::vector<float>& source, const std::vector<float>& decoded, int lag);

}  // namespace brevix::bench
