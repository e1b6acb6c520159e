#include "core/rate_loop.h"

#include <algorithm>
#include <cmath>

#include "core/noise_substitution.h"
#include "core/quantize.h"
#include "core/syntax_writer.h"

namespace brevix::aac {
namespace {

constexpr float kMinLambda = 1e-9f;
constexpr float kMaxLambda = 1e9f;
// How strongly lambda follows the frames' deviation from their targets: in the long run a
// frame at twice its target raises it by 11 %. Slow, so lambda stays nearly constant over
// many frames (equal slopes over time are what minimises the total distortion) while the
// reservoir absorbs the differences between frames. The first frames adapt faster (gain 1
// settling to the long-run one with a time constant of kSettleFrames): lambda starts from
// one frame's guess.
constexpr float kLambdaGain = 0.15f;
constexpr float kSettleFrames = 20.0f;
constexpr int kSearchSteps = 8;  // solves at most when a frame leaves its limits

}  // namespace

RateLoop::RateLoop() : scratch_(new Scratch[kMaxChannels]) {}

RateLoop::~RateLoop() = default;

void RateLoop::prepare(Ics* const* channels, int count) {
    count_ = count;
    pair_count_ = 0;
    for (int c = 0; c < count; ++c) {
        Ics& ics = *channels[c];
        Scratch& s = scratch_[c];
        channels_[c] = &ics;
        compand(ics.spectrum, kFrameLength, s.xpow);
        for (int g = 0; g < ics.group_count; ++g) {
            s.coded_limit[g] = ics.max_sfb;
            for (int b = 0; b < ics.max_sfb; ++b) {
                const int i = g * ics.bands_per_group + b;
                const int start = ics.band_start[i];
                float sum_sqrt = 0.0f;
                float largest = 0.0f;
                for (int k = start; k < start + ics.band_width[i]; ++k) {
                    sum_sqrt += std::sqrt(std::fabs(ics.spectrum[k]));  // xpow^(2/3)
                    largest = std::max(largest, s.xpow[k]);
                }
                Band& band = s.band[i];
                const float threshold = std::max(ics.threshold[i], 1e-9f);
                band.inverse_mask = ics.weight[i] / threshold;
                band.energy = ics.energy[i];
                band.sum_sqrt = sum_sqrt;
                band.min_sf = min_scalefactor(largest);
                // Cache the scalefactors around noise = threshold, where the answer lies
                // unless the budget is extreme (each step is 1.5 dB of noise).
                const int at_mask = static_cast<int>(scalefactor_for_noise(threshold, sum_sqrt));
                band.cache_base = std::max(band.min_sf, std::min(at_mask - 20, kMaxScalefactor));
                band.chosen = kNotCoded;
                band.fixed = ics.fixed_book[i] != 0;
                band.joined = false;
                band.substituted =
                    band.fixed ? -1.0f : substitution_cost(ics, g, i, band.inverse_mask);
                band.hole = empty_band_loss(ics, b, i, band.inverse_mask);
                std::fill(s.cached_bits[i], s.cached_bits[i] + kCacheSize, std::int16_t{-1});
            }
        }
    }
}

void RateLoop::pair(int left, std::uint8_t* ms_used, bool join_noise) {
    if (pair_count_ < kMaxChannels / 2) {
        Pair& p = pairs_[pair_count_++];
        p.left = left;
        p.ms_used = ms_used;
        p.join_noise = join_noise;
        std::copy(ms_used, ms_used + kMaxCodingBands, p.ms_chosen);
    }
}

// Exact bits (cheapest book, without section and scalefactor side information) and
// noise of band `band` at `scalefactor`, from the cache where possible.
void RateLoop::measure(int channel, int band, int scalefactor, int* bits, float* noise) {
    Scratch& s = scratch_[channel];
    const int slot = scalefactor - s.band[band].cache_base;
    const bool cacheable = slot >= 0 && slot < kCacheSize;
    if (cacheable && s.cached_bits[band][slot] >= 0) {
        *bits = s.cached_bits[band][slot];
        *noise = s.cached_noise[band][slot];
        return;
    }
    const Ics& ics = *channels_[channel];
    const int start = ics.band_start[band];
    const int width = ics.band_width[band];
    int q[kFrameLength];
    const int largest = quantize_band(ics.spectrum + start, s.xpow + start, width, scalefactor, q);
    *bits = cheapest_book_bits(q, width, largest);
    *noise = largest == 0 ? s.band[band].energy
                          : quantization_noise(ics.spectrum + start, q, width, scalefactor);
    if (cacheable) {
        s.cached_bits[band][slot] = static_cast<std::int16_t>(std::min(*bits, 32767));
        s.cached_noise[band][slot] = *noise;
    }
}

// Picks the band's scalefactor for `lambda`: starts where the high-resolution theory puts
// the optimum (noise growing with lambda and the band's lines per unit of weight) and
// walks downhill in cost from there; the cost is close to convex in the scalefactor.
void RateLoop::choose(int channel, int band, float lambda, bool substitution) {
    Scratch& s = scratch_[channel];
    Band& b = s.band[band];
    const Ics& ics = *channels_[channel];
    if (b.fixed) {
        b.chosen = kFixed;
        return;
    }
    // The best of the options without spectral bits: a band with energy that may be
    // substituted is substituted rather than left empty (a band that comes and goes from
    // frame to frame is heard).
    float empty = b.inverse_mask * b.energy * b.hole;
    int empty_choice = kNotCoded;
    if (b.substituted >= 0.0f && substitution) {
        empty = b.substituted + lambda * kSubstitutedBits;
        empty_choice = kSubstituted;
    }
    if (b.energy <= 0.0f) {
        b.chosen = kNotCoded;
        return;
    }
    const float noise_at_optimum = optimum_noise(lambda, ics.band_width[band], b.inverse_mask);
    int sf = static_cast<int>(std::lround(scalefactor_for_noise(noise_at_optimum, b.sum_sqrt)));
    sf = std::clamp(sf, b.min_sf, kMaxScalefactor);
    auto cost = [&](int scalefactor) {
        int bits = 0;
        float noise = 0.0f;
        measure(channel, band, scalefactor, &bits, &noise);
        if (noise >= b.energy) {
            noise *= b.hole;  // every value quantised to zero: as empty as not coding it
        }
        return b.inverse_mask * noise + lambda * static_cast<float>(bits);
    };
    float best = cost(sf);
    int step = 1;
    if (sf < kMaxScalefactor) {
        const float up = cost(sf + 1);
        if (up < best) {
            best = up;
            ++sf;
        } else {
            step = -1;
        }
    } else {
        step = -1;
    }
    for (;;) {
        const int next = sf + step;
        if (next < b.min_sf || next > kMaxScalefactor) {
            break;
        }
        const float c = cost(next);
        if (c >= best) {
            break;
        }
        best = c;
        sf = next;
    }
    // A scalefactor at which every value quantises to zero leaves the band as empty as
    // not coding it (its noise is the band's energy).
    int bits = 0;
    float noise = 0.0f;
    measure(channel, band, sf, &bits, &noise);
    const bool empty_anyway = empty_choice == kSubstituted && noise >= b.energy;
    b.chosen = best < empty && !empty_anyway ? sf : empty_choice;
}

// Makes the pairs' noise what both decoders give alike (see pair()):
//  * An M/S band gets no noise: beside a coded mid or side the noise band is chosen
//    again without that option; where neither is coded, the band becomes left/right and
//    both channels get noise of their own energies.
//  * In a left/right band of channels alike enough, noise beside the other channel's
//    waveform (uncorrelated with it) becomes noise in both, where both are noise-like.
//  * Bands with noise in both channels get independent noise, or are joined: the right
//    channel becomes an intensity band copying the left one's noise (in or out of phase).
//    Bands are joined in the share |correlation| of them (the remainder carried from band
//    to band), so that a critical band, several coding bands wide at these frequencies,
//    keeps about the source's correlation.
void RateLoop::reconcile_pairs(float lambda) {
    for (int p = 0; p < pair_count_; ++p) {
        Pair& pair = pairs_[p];
        const Ics& ics = *channels_[pair.left];
        Ics& right_ics = *channels_[pair.left + 1];
        Band* left = scratch_[pair.left].band;
        Band* right = scratch_[pair.left + 1].band;
        float carried = 0.0f;
        for (int k = 0; k < ics.group_count * ics.max_sfb; ++k) {
            const int i = k / ics.max_sfb * ics.bands_per_group + k % ics.max_sfb;
            if (k % ics.max_sfb == 0) {
                carried = 0.0f;
            }
            // Undo what an earlier solve of this frame did.
            if (right[i].joined) {
                right[i].joined = false;
                right_ics.fixed_book[i] = 0;
            }
            pair.ms_used[i] = pair.ms_chosen[i];
            const bool noise_left = left[i].chosen == kSubstituted;
            const bool noise_right = right[i].chosen == kSubstituted;
            if (pair.ms_used[i] != 0 && (noise_left || noise_right)) {
                if (left[i].chosen >= 0 || right[i].chosen >= 0) {
                    choose(pair.left + (noise_left ? 0 : 1), i, lambda, false);
                    continue;
                }
                pair.ms_used[i] = 0;
                for (Band* band : {&left[i], &right[i]}) {
                    band->chosen = band->substituted >= 0.0f ? kSubstituted : kNotCoded;
                }
            }
            if (pair.ms_used[i] != 0 || !pair.join_noise) {
                continue;
            }
            const float alike = std::fabs(ics.correlation[i]);
            if (noise_left != noise_right && noise_in_both(ics, right_ics, i)) {
                Band& other = noise_left ? right[i] : left[i];
                if (other.substituted >= 0.0f && !other.fixed) {
                    other.chosen = kSubstituted;
                }
            }
            if (left[i].chosen != kSubstituted || right[i].chosen != kSubstituted) {
                continue;
            }
            carried += alike;
            if (carried < 0.5f) {
                continue;
            }
            carried -= 1.0f;
            join_noise_by_intensity(ics, right_ics, i);
            right[i].chosen = kFixed;
            right[i].joined = true;
        }
    }
}

void RateLoop::quantize_chosen(int channel) {
    Ics& ics = *channels_[channel];
    Scratch& s = scratch_[channel];
    for (int g = 0; g < ics.group_count; ++g) {
        for (int b = 0; b < ics.max_sfb; ++b) {
            const int i = g * ics.bands_per_group + b;
            const int start = ics.band_start[i];
            const int sf = s.band[i].chosen;
            if (b >= s.coded_limit[g] || sf < 0) {
                std::fill(ics.quantized + start, ics.quantized + start + ics.band_width[i], 0);
                s.largest[i] = 0;
                if (ics.fixed_book[i] == 0) {
                    ics.scalefactor[i] = 0;  // an intensity band keeps its position
                }
                continue;
            }
            ics.scalefactor[i] = sf;
            s.largest[i] = quantize_band(ics.spectrum + start, s.xpow + start, ics.band_width[i],
                                         sf, ics.quantized + start);
        }
    }
}

// Scalefactors of consecutive coded bands may differ by at most 60. Only raising a
// scalefactor is safe (it can never push a value past the largest codable magnitude), so
// both passes raise; a band that then quantises to zero leaves the chain, and the chain is
// checked again.
void RateLoop::enforce_scalefactor_range(int channel) {
    Ics& ics = *channels_[channel];
    Scratch& s = scratch_[channel];
    int order[kMaxCodingBands];
    auto requantize = [&](int i, int sf) {
        const int start = ics.band_start[i];
        ics.scalefactor[i] = sf;
        s.largest[i] = quantize_band(ics.spectrum + start, s.xpow + start, ics.band_width[i], sf,
                                     ics.quantized + start);
    };
    for (int round = 0; round < kMaxCodingBands; ++round) {
        int n = 0;
        for (int g = 0; g < ics.group_count; ++g) {
            for (int b = 0; b < s.coded_limit[g]; ++b) {
                const int i = g * ics.bands_per_group + b;
                if (s.largest[i] > 0) {
                    order[n++] = i;
                }
            }
        }
        bool changed = false;
        for (int k = n - 2; k >= 0; --k) {
            const int floor_sf = ics.scalefactor[order[k + 1]] - kScalefactorDiffLimit;
            if (ics.scalefactor[order[k]] < floor_sf) {
                requantize(order[k], floor_sf);
                changed = true;
            }
        }
        for (int k = 1; k < n; ++k) {
            const int floor_sf = ics.scalefactor[order[k - 1]] - kScalefactorDiffLimit;
            if (ics.scalefactor[order[k]] < floor_sf) {
                requantize(order[k], floor_sf);
                changed = true;
            }
        }
        if (!changed) {
            return;
        }
        bool emptied = false;
        for (int k = 0; k < n; ++k) {
            emptied = emptied || s.largest[order[k]] == 0;
        }
        if (!emptied) {
            return;
        }
    }
}

int RateLoop::count_channel_bits(int channel) {
    Ics& ics = *channels_[channel];
    Scratch& s = scratch_[channel];
    const bool is_short = ics.is_short();
    int bits = 0;
    for (int g = 0; g < ics.group_count; ++g) {
        std::uint8_t fixed[kMaxLongBands];
        for (int b = 0; b < ics.max_sfb; ++b) {
            const int i = g * ics.bands_per_group + b;
            fixed[b] = ics.fixed_book[i];
            if (fixed[b] == 0 && b < s.coded_limit[g] && s.band[i].chosen == kSubstituted) {
                fixed[b] = kNoiseCodebook;
            }
            int* cost = s.band_bits + i * kNumSpectralBooks;
            if (fixed[b] != 0) {
                continue;
            }
            count_bits_all_books(ics.quantized + ics.band_start[i], ics.band_width[i], s.largest[i],
                                 cost);
            if (s.largest[i] == 0) {
                // A zero band inside a coded section still carries a scalefactor
                // (difference 0, one bit).
                for (int book = 1; book < kNumSpectralBooks; ++book) {
                    cost[book] += 1;
                }
            }
        }
        bits +=
            choose_sections(s.band_bits + g * ics.bands_per_group * kNumSpectralBooks, ics.max_sfb,
                            is_short, ics.sections[g], &ics.section_count[g], fixed);
    }
    // Codebook per band from the sections.
    for (int g = 0; g < ics.group_count; ++g) {
        for (int k = 0; k < ics.section_count[g]; ++k) {
            const Section& sec = ics.sections[g][k];
            for (int b = sec.start; b < sec.end; ++b) {
                const int i = g * ics.bands_per_group + b;
                ics.book[i] = sec.book;
                if (has_spectral_values(sec.book) && s.largest[i] == 0) {
                    bits -= 1;  // its scalefactor is counted with the others below
                }
            }
        }
    }
    // Scalefactors: the first coded band sets global_gain; zero bands inside coded
    // sections repeat the previous value.
    ics.global_gain = -1;
    for (int g = 0; g < ics.group_count && ics.global_gain < 0; ++g) {
        for (int b = 0; b < ics.max_sfb; ++b) {
            const int i = g * ics.bands_per_group + b;
            if (has_spectral_values(ics.book[i]) && s.largest[i] > 0) {
                ics.global_gain = ics.scalefactor[i];
                break;
            }
        }
    }
    set_noise_energies(*channels_[channel]);
    if (ics.global_gain < 0) {
        ics.global_gain = kScalefactorOffset;
    }
    int last = ics.global_gain;
    for (int g = 0; g < ics.group_count; ++g) {
        for (int b = 0; b < ics.max_sfb; ++b) {
            const int i = g * ics.bands_per_group + b;
            if (has_spectral_values(ics.book[i])) {
                if (s.largest[i] == 0) {
                    ics.scalefactor[i] = last;
                }
                last = ics.scalefactor[i];
            }
        }
    }
    return bits + scalefactor_data_bits(ics);
}

// Noise energies of the substituted bands, kept within the differences the stream can
// carry (the decoded energy then misses the source's where the source's band energies
// leap by more than 45 dB from one substituted band to the next). Without a quantised band
// global_gain only anchors the noise energies.
// Codes every channel at `lambda`; returns the exact bits.
int RateLoop::solve(float lambda) {
    int bits = 0;
    for (int c = 0; c < count_; ++c) {
        const Ics& ics = *channels_[c];
        Scratch& s = scratch_[c];
        for (int g = 0; g < ics.group_count; ++g) {
            for (int b = 0; b < s.coded_limit[g]; ++b) {
                choose(c, g * ics.bands_per_group + b, lambda);
            }
        }
    }
    reconcile_pairs(lambda);
    for (int c = 0; c < count_; ++c) {
        quantize_chosen(c);
        enforce_scalefactor_range(c);
        bits += count_channel_bits(c);
    }
    return bits;
}

// Finds a lambda whose bits lie within [low, high], close to the limit that `bits` (at
// `lambda`) missed: a frame with too many bits should still use about all it may, one
// with too few only as many more as it must. Bits fall roughly linearly with log lambda,
// so the search steps by the deficit over an estimated slope until it has the limits
// bracketed, then interpolates within the bracket (keeping a tenth of it clear of either
// end, so it cannot stall at one side). Never exceeding `high` comes first: failing all
// else it settles for fewer bits than `low`. Leaves the frame coded at the returned
// lambda and sets `*bits` to its cost.
float RateLoop::search(float lambda, int low, int high, int* bits) {
    const bool too_many = *bits > high;
    const int goal = too_many ? high : low;
    const int tolerance = std::max(32, goal / 50);
    // The best solution so far: within both limits if possible, then closest to `goal`.
    float best_x = 0.0f;
    int best_bits = -1;
    auto consider = [&](float x, int b) {
        if (b > high) {
            return;
        }
        const bool fits = b >= low;
        const bool best_fits = best_bits >= low;
        if (best_bits < 0 || (fits && !best_fits) ||
            (fits == best_fits && std::abs(b - goal) < std::abs(best_bits - goal))) {
            best_x = x;
            best_bits = b;
        }
    };
    // Brackets in x = log2 lambda: more bits than `goal` at `more_x`, fewer at `fewer_x`.
    float x = std::log2(lambda);
    consider(x, *bits);
    float more_x = x;
    int more_bits = *bits;
    float fewer_x = x;
    int fewer_bits = *bits;
    bool have_more = too_many;
    bool have_fewer = !too_many;
    float slope = std::max(64.0f, static_cast<float>(*bits) / 6.0f);  // bits per octave
    float reach = 1.0f;
    int last_bits = *bits;
    for (int step = 0; step < kSearchSteps; ++step) {
        if (have_more && have_fewer) {
            const float t = static_cast<float>(more_bits - goal) /
                            static_cast<float>(std::max(1, more_bits - fewer_bits));
            x = more_x + std::clamp(t, 0.1f, 0.9f) * (fewer_x - more_x);
        } else {
            const float from_x = have_more ? more_x : fewer_x;
            const int from_bits = have_more ? more_bits : fewer_bits;
            const float octaves = static_cast<float>(from_bits - goal) / slope * reach;
            x = from_x + std::clamp(octaves, -8.0f, 8.0f) + (have_more ? 0.1f : -0.1f);
            reach *= 2.0f;  // still unbracketed next time: reach further
        }
        x = std::clamp(x, std::log2(kMinLambda), std::log2(kMaxLambda));
        last_bits = solve(std::exp2(x));
        consider(x, last_bits);
        if (last_bits >= low && last_bits <= high && std::abs(last_bits - goal) <= tolerance) {
            break;
        }
        if (last_bits > goal) {
            if (have_more && last_bits < more_bits && more_x < x) {
                slope = std::max(slope, static_cast<float>(more_bits - last_bits) / (x - more_x));
            }
            more_x = x;
            more_bits = last_bits;
            have_more = true;
        } else {
            fewer_x = x;
            fewer_bits = last_bits;
            have_fewer = true;
        }
    }
    if (best_bits < 0) {
        // Nothing fitted: the largest lambda codes (next to) nothing.
        best_x = std::log2(kMaxLambda);
        best_bits = solve(kMaxLambda);
    } else if (best_x != x || best_bits != last_bits) {
        best_bits = solve(std::exp2(best_x));
    }
    *bits = best_bits;
    return std::exp2(best_x);
}

int RateLoop::run(const FrameBudget& budget) {
    const int max_bits = std::max(0, budget.max);
    const int min_bits = std::min(std::max(0, budget.min), max_bits);
    const int target = std::clamp(budget.target, 1, std::max(1, max_bits));
    int low = min_bits;
    int high = max_bits;
    if (lambda_ <= 0.0f) {
        // First frame: no history, so aim at the target itself.
        lambda_ = 0.1f;
        low = std::max(low, target * 9 / 10);
        high = std::min(high, target);
    }
    float lambda = lambda_;
    int bits = solve(lambda);
    if (bits > high || bits < low) {
        lambda = search(lambda, low, high, &bits);
    }
    // Even coding nothing too expensive (only with absurd budgets): stop coding the
    // highest bands until it fits.
    while (bits > max_bits) {
        bool cut = false;
        for (int c = 0; c < count_; ++c) {
            for (int g = 0; g < channels_[c]->group_count; ++g) {
                int& limit = scratch_[c].coded_limit[g];
                if (limit > 0) {
                    limit = limit * 3 / 4;
                    cut = true;
                }
            }
        }
        bits = solve(lambda);
        if (!cut) {
            break;
        }
    }
    // Follow the average rate: a frame over its target makes bits dearer for the next.
    // (From the steady lambda, not from one the limits forced on this frame: a frame
    // squeezed by an empty reservoir must not starve the frames after it.)
    const float deviation =
        std::clamp(static_cast<float>(bits - target) / static_cast<float>(target), -1.0f, 1.0f);
    const float gain =
        kLambdaGain + (1.0f - kLambdaGain) * std::exp(-static_cast<float>(frames_) / kSettleFrames);
    lambda_ = std::clamp(lambda_ * std::exp2(gain * deviation), kMinLambda, kMaxLambda);
    ++frames_;
    return bits;
}

}  // namespace brevix::aac
