// Chooses scalefactors, quantised values and codebooks for all channels of a frame under
// a bit budget, minimising the perceptual distortion
//     D = sum over bands of weight * noise / threshold
// (the noise-to-mask ratio integrated over the Bark scale, see psycho.h) for the bits spent.
//
// It uses a Lagrange multiplier lambda: every band takes, on its own, the scalefactor (or
// no coding at all) that minimises weight * noise / threshold + lambda * bits, with the
// band's exact quantisation noise and Huffman cost at that scalefactor. All bands then
// get the same return for their last bit, which is the best D for the bits spent. Noise
// and cost are cached per band and scalefactor for the frame, so the few lambdas a frame
// tries cost little more than one.
//
// Lambda carries over from frame to frame and follows the average rate, so a hard frame
// (an attack, a dense chord) gets more bits than an easy one at the same trade-off; only
// when a frame's bits leave the budget's limits is lambda searched for that frame.
//
// Bands the channel marks `may_substitute` have a third option besides a scalefactor and
// "not coded": noise substitution, the decoder filling the band with noise of its energy
// (see choose() for what that costs a listener). Such a band is never left empty unless it
// is all but silent. Intensity bands (`fixed_book`) keep their book and carry no spectral
// bits.
#pragma once

#include <cstdint>
#include <memory>

#include "core/huffman.h"
#include "core/ics.h"

namespace brevix::aac {

// The noise a band of `lines` lines is best coded with at trade-off `lambda`, where its
// noise costs `inverse_mask` (weight / threshold) per unit, by the high-resolution estimate
// of the bits (half a bit per line and halving of the noise):
// d/dN (m N + lambda * lines/2 * log2(E/N)) = 0  =>  N = lambda * lines / (2 ln2 m).
inline float optimum_noise(float lambda, int lines, float inverse_mask) {
    return lambda * static_cast<float>(lines) / (1.3862944f * inverse_mask);
}

struct FrameBudget {
    int target = 0;  // bits the frame would use at the average rate (steers lambda)
    int min = 0;     // spend at least this when the frame can use it (else it is padding)
    int max = 0;     // never more
};

class RateLoop {
public:
    RateLoop();
    ~RateLoop();
    RateLoop(const RateLoop&) = delete;
    RateLoop& operator=(const RateLoop&) = delete;

    // Takes the channels of a frame (spectra, energies, thresholds and weights final).
    void prepare(Ics* const* channels, int count);
    // Channels `left` and `left + 1` form a pair with a common window and these M/S flags
    // (call after prepare()). An M/S band is never substituted, since decoders make
    // different things of noise there; where neither mid nor side is coded, the band is
    // made left/right (its flag cleared) and both channels get noise of their energies.
    // With `join_noise`, noise bands of alike channels are joined by intensity (see
    // reconcile_pairs()).
    void pair(int left, std::uint8_t* ms_used, bool join_noise);

    // Quantises all prepared channels; their scalefactor, section and spectral bits sum
    // to at most budget.max (bands are dropped from the top in the unlikely case that
    // even coding nothing does not fit). Returns those bits.
    int run(const FrameBudget& budget);

    // The trade-off of the last frame, distortion per bit (for tests and diagnostics).
    float lambda() const { return lambda_; }

private:
    static constexpr int kCacheSize = 48;  // scalefactors remembered per band
    static constexpr int kNotCoded = -1;
    static constexpr int kSubstituted = -2;
    static constexpr int kFixed = -3;  // intensity

    struct Band {
        float inverse_mask;  // weight / threshold: distortion per unit of noise
        float energy;        // the noise when the band is not coded
        float sum_sqrt;      // sum of sqrt|x|, for the noise-to-scalefactor estimate
        int min_sf;          // below this a value would exceed the largest codable one
        int cache_base;      // scalefactor of cache slot 0
        int chosen;          // scalefactor, or kNotCoded / kSubstituted / kFixed
        float substituted;   // distortion when substituted, < 0 where not allowed
        float hole;          // times its energy that leaving the band empty costs
        bool fixed;          // intensity band
        bool joined;         // made intensity to share the left channel's noise
    };
    struct Pair {
        int left;
        std::uint8_t* ms_used;
        std::uint8_t ms_chosen[kMaxCodingBands];  // the flags as the stereo decision set them
        bool join_noise;
    };
    struct Scratch {
        float xpow[kFrameLength];
        Band band[kMaxCodingBands];
        std::int16_t cached_bits[kMaxCodingBands][kCacheSize];  // -1: not computed yet
        float cached_noise[kMaxCodingBands][kCacheSize];
        int largest[kMaxCodingBands];
        int band_bits[kMaxCodingBands * kNumSpectralBooks];
        int coded_limit[kNumShortWindows];  // bands coded per group (max_sfb unless cut)
    };

    int solve(float lambda);
    float search(float lambda, int low, int high, int* bits);
    void choose(int channel, int band, float lambda, bool substitution = true);
    void measure(int channel, int band, int scalefactor, int* bits, float* noise);
    void reconcile_pairs(float lambda);
    void quantize_chosen(int channel);
    void enforce_scalefactor_range(int channel);
    int count_channel_bits(int channel);

    Ics* channels_[kMaxChannels] = {};
    std::unique_ptr<Scratch[]> scratch_;  // one per channel; too large for the stack
    int count_ = 0;
    Pair pairs_[kMaxChannels / 2] = {};
    int pair_count_ = 0;
    float lambda_ = 0.0f;  // 0 until the first frame has set it
    int frames_ = 0;       // frames coded so far
};

}  // namespace brevix::aac
