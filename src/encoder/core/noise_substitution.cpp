#include "core/noise_substitution.h"

#include <algorithm>
#include <cmath>

#include "core/huffman.h"
#include "core/quantize.h"
#include "core/syntax_writer.h"

namespace brevix::aac {
namespace {

// What noise substitution costs a listener, as noise energy against the band's threshold.
// The decoder's noise has the band's energy but none of its waveform. For a noise-like
// band that is what a listener takes in anyway: what is lost is the finer shape within
// the band and the frame (how its energy moves over the lines and the 23 ms), counted as
// noise kNoiseLikeLoss times the band's energy. A tonal band loses what makes it a tone:
// a line spectrum replaced by a hiss is as wrong as no band at all (noise = the energy).
// The tonality (0..1) mixes the two.
constexpr float kNoiseLikeLoss = 0.6f;
// Substitution pays for its own sake only in bands this noise-like (tonality below it);
// in others noise only stands in for a band that would otherwise be left empty.
constexpr float kNoiseLikeTonality = 0.3f;
// In a left/right band of a pair whose channels are at least this alike, noise in one
// channel beside the other's coded waveform is made noise in both (see noise_in_both()).
constexpr float kNoiseBesideWaveform = 0.5f;
// Below the bands where noise may stand in, a band the source fills above its mask and
// the coding leaves empty is a hole: a part of the sound gone for a frame (the band of a
// fricative, a formant), heard more than noise of the band's energy would be.
constexpr float kHoleLoss = 2.0f;
// A substituted band's noise energy value is 2 log2 E for noise of energy E per window
// (the sum of its lines' squares, in the spectrum's scale, as decoders give it back), and
// within kMinNoiseEnergy..kMaxNoiseEnergy, what every decoder takes (a full-scale band is
// near 98; a hiss of a few 16-bit steps has bands below energy 1, values below 0). A band
// quieter than the lowest value (energy 2^-50, far below hearing) is left empty instead.
constexpr int kMinNoiseEnergy = -100;
constexpr int kMaxNoiseEnergy = 100;

// The noise energy value of a band of `energy` over `windows` windows, unclamped.
float noise_energy_value(float energy, int windows) {
    return 2.0f * std::log2(std::max(energy, 1e-30f) / static_cast<float>(windows));
}

}  // namespace

void mark_substitutable(Ics& ics, int first_band, int free_band, std::uint8_t mode) {
    ics.noise_start = first_band;
    // The window before short ones ends in the attack they announce: noise of the attack's
    // energy spread over the whole window would be heard before it, so there noise only
    // stands in for bands that would otherwise be left empty.
    const std::uint8_t allowed =
        ics.sequence == WindowSequence::kLongStart && mode != 0 ? kSubstituteForHoles : mode;
    // In a band a shaping filter covers, the energy is the filtered lines': the decoder's
    // synthesis filter gives noise of that energy back the band's envelope in time and, as
    // the filtered lines are nearly white, about its energy.
    for (int g = 0; g < ics.group_count; ++g) {
        for (int b = 0; b < ics.bands_per_group; ++b) {
            const int i = g * ics.bands_per_group + b;
            ics.fixed_book[i] = 0;
            const std::uint8_t here =
                b < free_band && allowed == kSubstituteFreely ? kSubstituteForHoles : allowed;
            ics.may_substitute[i] = b >= first_band && ics.predicted[i] == 0 ? here : 0;
            ics.output_energy[i] = ics.energy[i];
        }
    }
}

float substitution_cost(const Ics& ics, int g, int i, float inverse_mask) {
    if (ics.may_substitute[i] == 0 ||
        noise_energy_value(ics.output_energy[i], ics.group_length[g]) <
            static_cast<float>(kMinNoiseEnergy)) {
        return -1.0f;
    }
    // Only for holes it costs what an empty band costs (and its bits): it is never chosen
    // for its own sake, only instead of leaving the band empty.
    const float t = std::clamp(ics.tonality[i], 0.0f, 1.0f);
    const bool freely =
        ics.may_substitute[i] == kSubstituteFreely && ics.tonality[i] < kNoiseLikeTonality;
    const float loss = freely ? kNoiseLikeLoss + (1.0f - kNoiseLikeLoss) * t : 1.0f;
    return inverse_mask * ics.energy[i] * loss;
}

float empty_band_loss(const Ics& ics, int b, int i, float inverse_mask) {
    return b < ics.noise_start && inverse_mask * ics.energy[i] > 1.0f ? kHoleLoss : 1.0f;
}

bool noise_in_both(const Ics& left, const Ics& right, int i) {
    return std::fabs(left.correlation[i]) >= kNoiseBesideWaveform &&
           left.tonality[i] < kNoiseLikeTonality && right.tonality[i] < kNoiseLikeTonality;
}

void join_noise_by_intensity(const Ics& left, Ics& right, int i) {
    const float ratio =
        std::max(left.output_energy[i], 1e-30f) / std::max(right.output_energy[i], 1e-30f);
    right.scalefactor[i] = std::clamp(static_cast<int>(std::lround(2.0f * std::log2(ratio))),
                                      -kMaxIntensityPosition, kMaxIntensityPosition);
    right.fixed_book[i] = static_cast<std::uint8_t>(
        left.correlation[i] >= 0.0f ? kIntensityCodebook : kIntensityOutOfPhaseCodebook);
}

void set_noise_energies(Ics& ics) {
    int last = 0;
    bool first = true;
    for (int g = 0; g < ics.group_count; ++g) {
        for (int b = 0; b < ics.max_sfb; ++b) {
            const int i = g * ics.bands_per_group + b;
            if (ics.book[i] != kNoiseCodebook) {
                continue;
            }
            int value = std::clamp(static_cast<int>(std::lround(noise_energy_value(
                                       ics.output_energy[i], ics.group_length[g]))),
                                   kMinNoiseEnergy, kMaxNoiseEnergy);
            if (first) {
                if (ics.global_gain < 0) {
                    ics.global_gain = std::clamp(value + kNoiseEnergyOffset, 0, kMaxScalefactor);
                }
                const int base = ics.global_gain - kNoiseEnergyOffset;
                value = std::clamp(value, base - kFirstNoiseBias, base + kFirstNoiseBias - 1);
                first = false;
            } else {
                value =
                    std::clamp(value, last - kScalefactorDiffLimit, last + kScalefactorDiffLimit);
            }
            ics.scalefactor[i] = value;
            last = value;
        }
    }
}

}  // namespace brevix::aac
