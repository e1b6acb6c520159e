#include "bench/nmr.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "core/fft.h"

namespace brevix::bench {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kBandWidthBark = 0.5;
constexpr int kTonalityContext = 2;  // bins either side of a band: a Hann main lobe

double bark(double hz) {
    return 13.0 * std::atan(0.00076 * hz) + 3.5 * std::atan((hz / 7500.0) * (hz / 7500.0));
}

// Schroeder's spreading function in dB, `dz` = maskee minus masker in Bark: shallow
// towards higher frequencies, steep towards lower ones, 0 dB at dz = 0.
double spreading_db(double dz) {
    return 15.81 + 7.5 * (dz + 0.474) - 17.5 * std::sqrt(1.0 + (dz + 0.474) * (dz + 0.474));
}

// Johnston's offsets between masker and threshold: a noise-like masker hides noise
// 5.5 dB below it, a tonal one only noise (14.5 + z) dB below it.
double masking_offset_db(double tonality, double z) {
    return tonality * (14.5 + z) + (1.0 - tonality) * 5.5;
}

// Tonality 0..1 from the spectral flatness (geometric over arithmetic mean of the power
// spectrum): about -3 dB, what noise gives, maps to 0; -25 dB and below, a clear line
// spectrum, to 1.
double tonality(const float* power, int first, int end) {
    double log_sum = 0.0;
    double sum = 0.0;
    for (int k = first; k < end; ++k) {
        const double p = static_cast<double>(power[k]) + 1e-6;
        log_sum += std::log(p);
        sum += p;
    }
    const double count = static_cast<double>(end - first);
    const double flatness_db = 10.0 / std::log(10.0) * (log_sum / count - std::log(sum / count));
    return std::clamp((flatness_db + 3.0) / -22.0, 0.0, 1.0);
}

unsigned next_power_of_two(std::size_t n) {
    unsigned p = 4;
    while (p < n) {
        p *= 2;
    }
    return p;
}

}  // namespace

double quiet_threshold_db(double hz) {
    const double khz = std::max(hz, 20.0) / 1000.0;
    return 3.64 * std::pow(khz, -0.8) - 6.5 * std::exp(-0.6 * (khz - 3.3) * (khz - 3.3)) +
           1e-3 * std::pow(khz, 4.0);
}

NmrMeter::NmrMeter(int sample_rate, double full_scale_spl_db)
    : sample_rate_(sample_rate), fft_(kFrameSize) {
    const int n = kFrameSize;
    window_.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        window_[static_cast<std::size_t>(i)] =
            static_cast<float>(0.5 - 0.5 * std::cos(2.0 * kPi * i / n));
    }
    // Half-Bark bands over bins 1 .. n/2 - 1 (DC and Nyquist carry no audible content).
    const double hz_per_bin = static_cast<double>(sample_rate) / n;
    int current = -1;
    for (int k = 1; k < n / 2; ++k) {
        const int band = static_cast<int>(bark(k * hz_per_bin) / kBandWidthBark);
        if (band != current) {
            band_first_.push_back(k);
            band_end_.push_back(k + 1);
            current = band;
        } else {
            band_end_.back() = k + 1;
        }
    }
    // A full-scale sine of amplitude A shows 3 n^2 A^2 / 32 in the one-sided power
    // spectrum of a Hann-windowed frame (Parseval, mean square of the window 3/8).
    const double full_scale_power = 3.0 * n * n * 32768.0 * 32768.0 / 32.0;
    const int bands = band_count();
    for (int b = 0; b < bands; ++b) {
        double sum_bark = 0.0;
        double quietest = 1e9;
        for (int k = band_first_[static_cast<std::size_t>(b)];
             k < band_end_[static_cast<std::size_t>(b)]; ++k) {
            sum_bark += bark(k * hz_per_bin);
            quietest = std::min(quietest, quiet_threshold_db(k * hz_per_bin));
        }
        centre_bark_.push_back(sum_bark / (band_end_[static_cast<std::size_t>(b)] -
                                           band_first_[static_cast<std::size_t>(b)]));
        quiet_.push_back(full_scale_power * std::pow(10.0, (quietest - full_scale_spl_db) / 10.0));
    }
    // Spreading normalised so that a spectrum with equal energy in every band is spread
    // to itself: the offsets then mean what they say for broadband maskers.
    spreading_.assign(static_cast<std::size_t>(bands * bands), 0.0);
    for (int maskee = 0; maskee < bands; ++maskee) {
        double gain = 0.0;
        for (int masker = 0; masker < bands; ++masker) {
            const double s =
                std::pow(10.0, spreading_db(centre_bark_[static_cast<std::size_t>(maskee)] -
                                            centre_bark_[static_cast<std::size_t>(masker)]) /
                                   10.0);
            spreading_[static_cast<std::size_t>(masker * bands + maskee)] = s;
            gain += s;
        }
        for (int masker = 0; masker < bands; ++masker) {
            spreading_[static_cast<std::size_t>(masker * bands + maskee)] /= gain;
        }
    }
}

// One-sided power spectrum (bins 0 .. n/2) of the Hann-windowed frame at `x`.
void NmrMeter::power_spectrum(const float* x, float* power) const {
    float re[kFrameSize];
    float im[kFrameSize] = {};
    for (std::size_t i = 0; i < static_cast<std::size_t>(kFrameSize); ++i) {
        re[i] = x[i] * window_[i];
    }
    fft_.forward(re, im);
    for (int k = 0; k <= kFrameSize / 2; ++k) {
        power[k] = re[k] * re[k] + im[k] * im[k];
    }
}

void NmrMeter::band_energy(const float* frame, double* energy) const {
    float power[kFrameSize / 2 + 1];
    power_spectrum(frame, power);
    band_energies(power, energy);
}

double NmrMeter::band_centre_hz(int b) const {
    const std::size_t i = static_cast<std::size_t>(b);
    return 0.5 * (band_first_[i] + band_end_[i] - 1) * sample_rate_ / kFrameSize;
}

void NmrMeter::band_energies(const float* power, double* energy) const {
    for (std::size_t b = 0; b < band_first_.size(); ++b) {
        double sum = 0.0;
        for (int k = band_first_[b]; k < band_end_[b]; ++k) {
            sum += power[k];
        }
        energy[b] = sum;
    }
}

MaskingCurve NmrMeter::masking(const std::vector<float>& source) const {
    MaskingCurve curve;
    curve.bands = band_count();
    const std::size_t bands = static_cast<std::size_t>(curve.bands);
    const std::size_t frames =
        source.size() < kFrameSize ? 0 : (source.size() - kFrameSize) / kHop + 1;
    curve.threshold.resize(frames * bands);
    std::vector<float> power(kFrameSize / 2 + 1);
    std::vector<double> energy(bands);
    std::vector<double> lowered(bands);
    const int last_bin = kFrameSize / 2;
    for (std::size_t f = 0; f < frames; ++f) {
        power_spectrum(source.data() + f * kHop, power.data());
        band_energies(power.data(), energy.data());
        for (std::size_t b = 0; b < bands; ++b) {
            const int first = std::max(0, band_first_[b] - kTonalityContext);
            const int end = std::min(last_bin, band_end_[b] + kTonalityContext);
            const double offset =
                masking_offset_db(tonality(power.data(), first, end), centre_bark_[b]);
            lowered[b] = energy[b] * std::pow(10.0, -offset / 10.0);
        }
        for (std::size_t maskee = 0; maskee < bands; ++maskee) {
            double spread = 0.0;
            for (std::size_t masker = 0; masker < bands; ++masker) {
                spread += lowered[masker] * spreading_[masker * bands + maskee];
            }
            curve.threshold[f * bands + maskee] =
                static_cast<float>(std::max(spread, quiet_[maskee]));
        }
    }
    return curve;
}

std::vector<double> NmrMeter::noise_to_mask(const std::vector<float>& source,
                                            const MaskingCurve& mask,
                                            const std::vector<float>& decoded, int lag,
                                            std::vector<double>* band_sums,
                                            const std::vector<std::uint8_t>* energy_cells) const {
    const std::size_t bands = static_cast<std::size_t>(mask.bands);
    std::vector<double> ratios;
    std::vector<float> error(kFrameSize);
    std::vector<float> played(kFrameSize);
    std::vector<float> power(kFrameSize / 2 + 1);
    std::vector<double> energy(bands);
    std::vector<double> source_energy(bands);
    std::vector<double> decoded_energy(bands);
    for (std::size_t f = 0; f < mask.frames(); ++f) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(kFrameSize); ++i) {
            const std::size_t s = f * kHop + i;
            const std::size_t d = s + static_cast<std::size_t>(lag);
            played[i] = d < decoded.size() ? decoded[d] : 0.0f;
            error[i] = played[i] - source[s];
        }
        power_spectrum(error.data(), power.data());
        band_energies(power.data(), energy.data());
        const std::uint8_t* cells =
            energy_cells != nullptr && energy_cells->size() >= (f + 1) * bands
                ? energy_cells->data() + f * bands
                : nullptr;
        if (cells != nullptr && std::find(cells, cells + bands, 1) != cells + bands) {
            band_energy(source.data() + f * kHop, source_energy.data());
            band_energy(played.data(), decoded_energy.data());
            for (std::size_t b = 0; b < bands; ++b) {
                if (cells[b] != 0) {
                    energy[b] = std::fabs(decoded_energy[b] - source_energy[b]);
                }
            }
        }
        double sum = 0.0;
        for (std::size_t b = 0; b < bands; ++b) {
            const double ratio = energy[b] / mask.threshold[f * bands + b];
            sum += ratio;
            if (band_sums != nullptr) {
                (*band_sums)[b] += ratio;
            }
        }
        ratios.push_back(sum / static_cast<double>(bands));
    }
    return ratios;
}

NmrSummary summarize(const std::vector<std::vector<double>>& channel_ratios) {
    NmrSummary summary;
    if (channel_ratios.empty()) {
        return summary;
    }
    std::size_t frames = channel_ratios[0].size();
    for (const std::vector<double>& c : channel_ratios) {
        frames = std::min(frames, c.size());
    }
    summary.frames = frames;
    if (frames == 0) {
        return summary;
    }
    std::vector<double> ratio(frames, 0.0);
    double total = 0.0;
    for (std::size_t f = 0; f < frames; ++f) {
        for (const std::vector<double>& c : channel_ratios) {
            ratio[f] += c[f] / static_cast<double>(channel_ratios.size());
        }
        total += ratio[f];
    }
    const auto to_db = [](double r) { return 10.0 * std::log10(r + 1e-30); };
    summary.mean_db = to_db(total / static_cast<double>(frames));
    const std::size_t worst = std::max<std::size_t>(1, frames / 20);
    std::partial_sort(ratio.begin(), ratio.begin() + static_cast<std::ptrdiff_t>(worst),
                      ratio.end(), std::greater<double>());
    double worst_total = 0.0;
    for (std::size_t i = 0; i < worst; ++i) {
        worst_total += ratio[i];
    }
    summary.worst_db = to_db(worst_total / static_cast<double>(worst));
    return summary;
}

int find_lag(const std::vector<float>& source, const std::vector<float>& decoded, int max_lag) {
    const std::vector<float> curve = lag_curve(source, decoded, max_lag);
    return static_cast<int>(std::max_element(curve.begin(), curve.end()) - curve.begin());
}

std::vector<float> lag_curve(const std::vector<float>& source, const std::vector<float>& decoded,
                             int max_lag) {
    const std::size_t lags = static_cast<std::size_t>(std::max(0, max_lag)) + 1;
    const std::size_t length = std::min<std::size_t>(source.size(), 1 << 16);
    if (length == 0) {
        return std::vector<float>(lags, 0.0f);
    }
    const std::size_t start = (source.size() - length) / 2;
    // Circular correlation of the zero-padded stretches equals the linear one for every
    // lag searched as long as the transform holds `length + lags` samples.
    const unsigned size = next_power_of_two(length + lags);
    std::vector<float> a_re(size, 0.0f), a_im(size, 0.0f), b_re(size, 0.0f), b_im(size, 0.0f);
    for (std::size_t i = 0; i < length; ++i) {
        a_re[i] = source[start + i];
    }
    for (std::size_t i = 0; i < length + lags && start + i < decoded.size(); ++i) {
        b_re[i] = decoded[start + i];
    }
    aac::Fft fft(static_cast<int>(size));
    fft.forward(a_re.data(), a_im.data());
    fft.forward(b_re.data(), b_im.data());
    // corr = IDFT(conj(A) B); IDFT(X) is the conjugate of DFT(conj(X)), up to scale. Every
    // frequency counts by its phase alone (a loud bass would otherwise make the peak so
    // broad that a little noise could move it by a sample), and only frequencies below a
    // fifteenth of the sampling rate count (about 3 kHz), where encoders code waveforms
    // rather than substitute noise or intensity.
    const unsigned top = size / 15;
    for (unsigned k = 0; k < size; ++k) {
        const float re = a_re[k] * b_re[k] + a_im[k] * b_im[k];
        const float im = a_re[k] * b_im[k] - a_im[k] * b_re[k];
        const bool low = k <= top || size - k <= top;
        const float magnitude = low ? std::sqrt(re * re + im * im) + 1e-20f : 1e30f;
        a_re[k] = re / magnitude;
        a_im[k] = -im / magnitude;
    }
    fft.forward(a_re.data(), a_im.data());
    return std::vector<float>(a_re.begin(), a_re.begin() + static_cast<std::ptrdiff_t>(lags));
}

double snr_db(const std::vector<float>& source, const std::vector<float>& decoded, int lag) {
    double signal = 0.0;
    double noise = 0.0;
    for (std::size_t i = 0; i < source.size(); ++i) {
        const std::size_t d = i + static_cast<std::size_t>(lag);
        const double y = d < decoded.size() ? decoded[d] : 0.0;
        signal += static_cast<double>(source[i]) * source[i];
        noise += (source[i] - y) * (source[i] - y);
    }
    return 10.0 * std::log10((signal + 1e-9) / (noise + 1e-9));
}

}  // namespace brevix::bench
