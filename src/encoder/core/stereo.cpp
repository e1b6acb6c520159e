#include "core/stereo.h"

#include <algorithm>
#include <cmath>

#include "core/huffman.h"
#include "core/psycho.h"
#include "core/rate_loop.h"

namespace brevix::aac {
namespace {

// What a pair's decoders make of substituted noise: independent noise in the two
// channels of a left/right band (the decoded channels uncorrelated); in an intensity band
// the right channel's copy of the left one's noise (correlation +1 or -1). Decoders differ
// on noise in mid/side bands, so those are never substituted (see RateLoop::pair()). A
// band where noise may stand in for its own sake stays left/right, so that it can, unless
// its channels are at least this alike (|correlation|): then mid/side may code it.
constexpr float kMidSideNoiseCorrelation = 0.8f;
// Where noise only fills holes (the higher rates), mid/side may code a band whose channels
// are at least this alike: its mid and side keep the image that independent noise in left
// and right blurs (each channel's quantisation noise lowers their correlation).
constexpr float kMidSideHolesCorrelation = 0.5f;
// How much further mid/side may move a band's decoded correlation from the source's than
// left/right would (see image_shift()).
constexpr float kImageShiftSlack = 0.02f;
// Intensity stereo keeps the channels' levels but makes them fully (anti-)correlated: only
// for bands whose channels are at least this alike.
constexpr float kIntensityMinCorrelation = 0.8f;
// What intensity stereo costs a listener: the band's waveform error in each channel (what
// the common signal cannot represent: the channels' differences in phase and in their
// waveforms' fine structure), counted as noise times kIntensityLoss, since in these bands
// a listener follows the level difference (which intensity keeps, per band and frame) far
// more than the waveforms.
constexpr float kIntensityLoss = 0.25f;
constexpr float kIntensityBits = 3.0f;  // a position's difference code
// Each channel at least this much of a band's energy for intensity stereo.
constexpr float kIntensityMinShare = 1e-3f;

// The threshold of mid and side when a band is coded as mid/side: the noise of both lands
// in each output channel, so each must stay below t_l t_r / (t_l + t_r), at which it costs
// as much as left and right at their own thresholds.
float mid_side_threshold(float t_l, float t_r) {
    return t_l * t_r / std::max(t_l + t_r, 1e-30f);
}

// How far a band's decoded correlation moves from the source's when it is coded as left/
// right and as mid/side, with each coded signal left the noise the rate loop gives it at
// `lambda` (optimum_noise()). At these noise levels a coded signal keeps about
// 1 - noise / energy of itself (the noise is mostly energy lost, orthogonal to what is
// kept). Left/right noise is independent in the two channels and lowers the correlation
// by the square root of both shares; mid/side keeps the image while mid and side keep
// alike shares and makes the channels one when the side is left empty.
struct ImageShift {
    float left_right = 0.0f;
    float mid_side = 0.0f;
};

float kept_share(float energy, float threshold, float weight, int lines, float lambda) {
    if (energy <= 0.0f) {
        return 1.0f;
    }
    const float noise = optimum_noise(lambda, lines, weight / std::max(threshold, 1e-9f));
    return std::max(0.0f, 1.0f - noise / energy);
}

// `lr` is the band's sum of l * r; t_* the thresholds left/right and mid/side code against.
ImageShift image_shift(float e_l, float e_r, float lr, float t_l, float t_r, float t_ms,
                       float weight, int lines, float lambda) {
    const float source = lr / std::max(std::sqrt(e_l * e_r), 1e-30f);
    const float a_l = kept_share(e_l, t_l, weight, lines, lambda);
    const float a_r = kept_share(e_r, t_r, weight, lines, lambda);
    const float e_mid = 0.25f * (e_l + e_r + 2.0f * lr);
    const float e_side = 0.25f * (e_l + e_r - 2.0f * lr);
    const float a_m = kept_share(e_mid, t_ms, weight, lines, lambda);
    const float a_s = kept_share(e_side, t_ms, weight, lines, lambda);
    // Decoded left = mid + side and right = mid - side: their product keeps a_m e_mid -
    // a_s e_side, their energies the kept cross term 2 sum(mid side) = (e_l - e_r) / 2 too.
    const float cross = 0.5f * a_m * a_s * (e_l - e_r);
    const float kept_mid_side = a_m * e_mid + a_s * e_side;
    const float energies = (kept_mid_side + cross) * (kept_mid_side - cross);
    const float decoded = (a_m * e_mid - a_s * e_side) / std::sqrt(std::max(energies, 1e-30f));
    return {std::fabs(source) * (1.0f - std::sqrt(a_l * a_r)), std::fabs(decoded - source)};
}

// Lowest cost (distortion plus lambda times bits) of coding a band of `energy` over `lines`
// lines against `threshold` with `weight`, by the same estimate of the bits as
// optimum_noise(): the rate loop's trade-off, estimated.
float coding_cost(float energy, float threshold, float weight, int lines, float lambda) {
    const float inverse_mask = weight / std::max(threshold, 1e-9f);
    const float noise = optimum_noise(lambda, lines, inverse_mask);
    if (noise >= energy) {
        return inverse_mask * energy;
    }
    return inverse_mask * noise +
           lambda * 0.5f * static_cast<float>(lines) * std::log2(energy / noise);
}

// Intensity stereo for band `band` of a pair when it costs less than coding both channels
// (as left/right or mid/side, whichever is cheaper), by the rate loop's trade-off of the
// last frame: the left channel then carries the sum of both (in or out of phase, by the
// sign of `correlation`, the sum of l * r) scaled to the left channel's energy, the right
// one only the level difference as its intensity position. Returns whether it did.
bool choose_intensity(Ics& left, Ics& right, int band, float correlation, float lambda) {
    const int i = band;
    const float e_l = left.energy[i];
    const float e_r = right.energy[i];
    const float sign = correlation >= 0.0f ? 1.0f : -1.0f;
    const float e_sum = e_l + e_r + 2.0f * sign * correlation;
    if (e_l <= kIntensityMinShare * (e_l + e_r) || e_r <= kIntensityMinShare * (e_l + e_r) ||
        e_sum <= 0.0f) {
        return false;
    }
    const int lines = left.band_width[i];
    const float t_l = left.threshold[i];
    const float t_r = right.threshold[i];
    const float w = left.weight[i];
    // Waveform error of each channel when both follow the sum (closed form of
    // |x - x_energy / sum_energy * sum|^2).
    const float root = std::sqrt(e_sum);
    const float error_l =
        std::max(0.0f, 2.0f * e_l - 2.0f * std::sqrt(e_l) * (e_l + sign * correlation) / root);
    const float error_r =
        std::max(0.0f, 2.0f * e_r - 2.0f * std::sqrt(e_r) * (e_r + sign * correlation) / root);
    const float e_mid = 0.25f * (e_l + e_r + 2.0f * correlation);
    const float e_side = 0.25f * (e_l + e_r - 2.0f * correlation);
    const float t_ms = mid_side_threshold(t_l, t_r);
    const float lr =
        coding_cost(e_l, t_l, w, lines, lambda) + coding_cost(e_r, t_r, w, lines, lambda);
    const float ms =
        coding_cost(e_mid, t_ms, w, lines, lambda) + coding_cost(e_side, t_ms, w, lines, lambda);
    // The left channel's coding noise reaches the right one scaled by e_r / e_l: it counts
    // against both thresholds.
    const float t_is = 1.0f / (1.0f / std::max(t_l, 1e-9f) + e_r / (e_l * std::max(t_r, 1e-9f)));
    const float intensity =
        coding_cost(e_l, t_is, w, lines, lambda) + lambda * kIntensityBits +
        kIntensityLoss * w * (error_l / std::max(t_l, 1e-9f) + error_r / std::max(t_r, 1e-9f));
    if (lambda <= 0.0f || intensity >= std::min(lr, ms)) {
        return false;
    }
    const int start = left.band_start[i];
    const float scale = std::sqrt(e_l / e_sum);
    for (int k = start; k < start + lines; ++k) {
        left.spectrum[k] = scale * (left.spectrum[k] + sign * right.spectrum[k]);
        right.spectrum[k] = 0.0f;
    }
    // The decoder's right channel: left * 2^(-position / 4) (sign by the book).
    const int position = static_cast<int>(std::lround(2.0f * std::log2(e_l / e_r)));
    right.scalefactor[i] = std::clamp(position, -kMaxIntensityPosition, kMaxIntensityPosition);
    right.fixed_book[i] =
        static_cast<std::uint8_t>(sign > 0.0f ? kIntensityCodebook : kIntensityOutOfPhaseCodebook);
    right.may_substitute[i] = 0;
    right.energy[i] = 0.0f;
    left.threshold[i] = t_is;
    return true;
}

// Per band, codes mid = (L+R)/2 and side = (L-R)/2 instead of left and right when that
// needs fewer bits by the perceptual-entropy estimate. The noise of mid and side both
// land in each output channel (left = mid + side, right = mid - side), so each output
// channel's noise-to-mask ratio counts for both: mid and side share the threshold
// t_l t_r / (t_l + t_r), at which their noise costs as much as left and right at their
// own thresholds. (Which of the two then gets fewer bits is the rate loop's choice.)
// Bands that may be substituted stay left/right unless the channels are alike (see
// kMidSideNoiseCorrelation and kMidSideHolesCorrelation), and become mid/side only where
// that keeps the image as well as left/right would; how alike the channels are is kept per
// band for the rate loop, which joins noise bands by intensity in that proportion.
}  // namespace

void choose_stereo(Ics& left, Ics& right, StereoMask& mask, const StereoTools& tools,
                   float lambda) {
    int used = 0;
    int total = 0;
    bool all_flags = true;
    for (int g = 0; g < left.group_count; ++g) {
        // How alike the channels are around each band: their correlation over the band
        // and its neighbours (a narrow band's own correlation is mostly chance).
        float ll[kMaxLongBands + 2] = {};
        float rr[kMaxLongBands + 2] = {};
        float lr[kMaxLongBands + 2] = {};
        for (int b = 0; b < left.max_sfb; ++b) {
            const int i = g * left.bands_per_group + b;
            for (int k = left.band_start[i]; k < left.band_start[i] + left.band_width[i]; ++k) {
                ll[b + 1] += left.spectrum[k] * left.spectrum[k];
                rr[b + 1] += right.spectrum[k] * right.spectrum[k];
                lr[b + 1] += left.spectrum[k] * right.spectrum[k];
            }
        }
        for (int b = 0; b < left.max_sfb; ++b) {
            const int i = g * left.bands_per_group + b;
            const float around_lr = lr[b] + lr[b + 1] + lr[b + 2];
            const float around_ll = ll[b] + ll[b + 1] + ll[b + 2];
            const float around_rr = rr[b] + rr[b + 1] + rr[b + 2];
            left.correlation[i] = around_lr / std::max(std::sqrt(around_ll * around_rr), 1e-30f);
        }
        for (int b = 0; b < left.max_sfb; ++b) {
            const int i = g * left.bands_per_group + b;
            const int start = left.band_start[i];
            const int width = left.band_width[i];
            float e_mid = 0.0f;
            float e_side = 0.0f;
            float correlation = 0.0f;
            for (int k = start; k < start + width; ++k) {
                const float m = 0.5f * (left.spectrum[k] + right.spectrum[k]);
                const float s = 0.5f * (left.spectrum[k] - right.spectrum[k]);
                e_mid += m * m;
                e_side += s * s;
                correlation += left.spectrum[k] * right.spectrum[k];
            }
            mask.used[i] = 0;
            ++total;
            const bool may_substitute = left.may_substitute[i] != 0 || right.may_substitute[i] != 0;
            const float alike = std::fabs(left.correlation[i]);
            if (tools.intensity && b >= tools.intensity_start[left.is_short() ? 1 : 0] &&
                left.predicted[i] == 0 && right.predicted[i] == 0 &&
                alike >= kIntensityMinCorrelation &&
                choose_intensity(left, right, i, correlation, lambda)) {
                continue;
            }
            const bool freely = left.may_substitute[i] == kSubstituteFreely ||
                                right.may_substitute[i] == kSubstituteFreely;
            if (may_substitute &&
                alike < (freely ? kMidSideNoiseCorrelation : kMidSideHolesCorrelation)) {
                continue;  // left/right, so that noise may stand in for it
            }
            const float t_l = left.threshold[i];
            const float t_r = right.threshold[i];
            const float t_mid = mid_side_threshold(t_l, t_r);
            const float t_side = t_mid;
            const float pe_lr = band_entropy(left.energy[i], left.threshold[i], width) +
                                band_entropy(right.energy[i], right.threshold[i], width);
            const float pe_ms =
                band_entropy(e_mid, t_mid, width) + band_entropy(e_side, t_side, width);
            bool ms = pe_ms <= pe_lr;
            if (ms && may_substitute) {
                const ImageShift shift =
                    image_shift(left.energy[i], right.energy[i], correlation, t_l, t_r, t_mid,
                                left.weight[i], width, lambda);
                ms = shift.mid_side <= shift.left_right + kImageShiftSlack;
            }
            mask.used[i] = ms ? 1 : 0;
            if (!ms) {
                continue;
            }
            ++used;
            all_flags = all_flags && !may_substitute;
            for (int k = start; k < start + width; ++k) {
                const float l = left.spectrum[k];
                const float r = right.spectrum[k];
                left.spectrum[k] = 0.5f * (l + r);
                right.spectrum[k] = 0.5f * (l - r);
            }
            left.energy[i] = e_mid;
            right.energy[i] = e_side;
            left.threshold[i] = std::max(t_mid, 1e-9f);
            right.threshold[i] = std::max(t_side, 1e-9f);
        }
    }
    // Flags per band where the rate loop may still clear one (see RateLoop::pair()).
    mask.present = used == 0 ? 0 : (used == total && all_flags ? 2 : 1);
}

}  // namespace brevix::aac
