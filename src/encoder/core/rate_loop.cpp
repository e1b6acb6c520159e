#include "core/rate_loop.h"

#include <algorithm>
#include <cmath>

#include "core/huffman.h"
#include "core/quantize.h"

namespace brevix::aac {
namespace {

constexpr int kMinOffset = -100;
constexpr int kMaxOffset = 200;

}  // namespace

void RateLoop::prepare(Ics* const* channels, int count) {
    count_ = count;
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
                const int width = ics.band_width[i];
                float sum_sqrt = 0.0f;
                float largest = 0.0f;
                for (int k = start; k < start + width; ++k) {
                    // xpow^(2/3) = |x|^(1/2)
                    sum_sqrt += std::sqrt(std::fabs(ics.spectrum[k]));
                    largest = std::max(largest, s.xpow[k]);
                }
                s.min_sf[i] = min_scalefactor(largest);
                const float threshold = std::max(ics.threshold[i], 1e-9f);
                s.base_sf[i] = scalefactor_for_noise(threshold, sum_sqrt);
                // The noise allowance grows by 2^(3/8) per offset step; once it exceeds the
                // band's energy, leaving the band out costs nothing audible.
                s.drop_offset[i] = ics.energy[i] > 0.0f
                                       ? 8.0f / 3.0f * std::log2(ics.energy[i] / threshold)
                                       : -1e9f;
            }
        }
    }
}

void RateLoop::quantize_band(int channel, int band, int scalefactor) {
    Ics& ics = *channels_[channel];
    Scratch& s = scratch_[channel];
    const int start = ics.band_start[band];
    ics.scalefactor[band] = scalefactor;
    s.largest[band] =
        brevix::aac::quantize_band(ics.spectrum + start, s.xpow + start, ics.band_width[band],
                                   scalefactor, ics.quantized + start);
}

// Scalefactors of consecutive coded bands may differ by at most 60. Only raising a
// scalefactor is safe (it can never push a value past the largest codable magnitude), so
// both passes raise; a band that then quantises to zero leaves the chain, and the chain is
// checked again.
void RateLoop::enforce_scalefactor_range(int channel) {
    Ics& ics = *channels_[channel];
    Scratch& s = scratch_[channel];
    int order[kMaxCodingBands];
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
                quantize_band(channel, order[k], floor_sf);
                changed = true;
            }
        }
        for (int k = 1; k < n; ++k) {
            const int floor_sf = ics.scalefactor[order[k - 1]] - kScalefactorDiffLimit;
            if (ics.scalefactor[order[k]] < floor_sf) {
                quantize_band(channel, order[k], floor_sf);
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
        for (int b = 0; b < ics.max_sfb; ++b) {
            const int i = g * ics.bands_per_group + b;
            int* cost = s.band_bits + i * kNumSpectralBooks;
            count_bits_all_books(ics.quantized + ics.band_start[i], ics.band_width[i], s.largest[i],
                                 cost);
            if (s.largest[i] == 0) {
                // A zero band inside a coded section still carries a scalefactor
                // (difference 0, one bit).
                cost[1] += 1;
                cost[2] += 1;
            }
        }
        bits += choose_sections(s.band_bits + g * ics.bands_per_group * kNumSpectralBooks,
                                ics.max_sfb, is_short, ics.sections[g], &ics.section_count[g]);
    }
    // Codebook per band from the sections.
    for (int g = 0; g < ics.group_count; ++g) {
        for (int k = 0; k < ics.section_count[g]; ++k) {
            const Section& sec = ics.sections[g][k];
            for (int b = sec.start; b < sec.end; ++b) {
                ics.book[g * ics.bands_per_group + b] = sec.book;
            }
        }
    }
    // Scalefactors: the first coded band sets global_gain; zero bands inside coded
    // sections repeat the previous value.
    ics.global_gain = -1;
    for (int g = 0; g < ics.group_count && ics.global_gain < 0; ++g) {
        for (int b = 0; b < ics.max_sfb; ++b) {
            const int i = g * ics.bands_per_group + b;
            if (ics.book[i] != kZeroCodebook && s.largest[i] > 0) {
                ics.global_gain = ics.scalefactor[i];
                break;
            }
        }
    }
    if (ics.global_gain < 0) {
        ics.global_gain = kScalefactorOffset;
    }
    int last = ics.global_gain;
    for (int g = 0; g < ics.group_count; ++g) {
        for (int b = 0; b < ics.max_sfb; ++b) {
            const int i = g * ics.bands_per_group + b;
            if (ics.book[i] == kZeroCodebook) {
                continue;
            }
            if (s.largest[i] == 0) {
                ics.scalefactor[i] = last;
            }
            bits += scalefactor_bits(ics.scalefactor[i] - last);
            last = ics.scalefactor[i];
        }
    }
    return bits;
}

int RateLoop::evaluate(int channel, int offset, int low_offset, int split) {
    Ics& ics = *channels_[channel];
    Scratch& s = scratch_[channel];
    for (int g = 0; g < ics.group_count; ++g) {
        for (int b = 0; b < ics.max_sfb; ++b) {
            const int i = g * ics.bands_per_group + b;
            const int start = ics.band_start[i];
            const int band_offset = b < split ? low_offset : offset;
            if (b >= s.coded_limit[g] || static_cast<float>(band_offset) >= s.drop_offset[i]) {
                std::fill(ics.quantized + start, ics.quantized + start + ics.band_width[i], 0);
                s.largest[i] = 0;
                ics.scalefactor[i] = 0;
                continue;
            }
            const int sf = std::clamp(static_cast<int>(std::lround(s.base_sf[i] + band_offset)),
                                      s.min_sf[i], kMaxScalefactor);
            quantize_band(channel, i, sf);
        }
    }
    enforce_scalefactor_range(channel);
    return count_channel_bits(channel);
}

int RateLoop::evaluate_all(int offset, int low_offset, int split) {
    int bits = 0;
    for (int c = 0; c < count_; ++c) {
        bits += evaluate(c, offset, low_offset, split);
    }
    return bits;
}

int RateLoop::run(int target_bits, int max_bits) {
    target_bits = std::min(target_bits, max_bits);
    // Bracket the answer starting from the previous frame's offset, then bisect.
    int good = kMaxOffset + 1;  // smallest offset known to fit
    int bad = kMinOffset - 1;   // largest offset known not to fit
    int probe = std::clamp(offset_, kMinOffset, kMaxOffset);
    int step = 4;
    if (evaluate_all(probe, probe, 0) <= target_bits) {
        good = probe;
        while (good > kMinOffset) {
            probe = std::max(kMinOffset, good - step);
            step *= 2;
            if (evaluate_all(probe, probe, 0) <= target_bits) {
                good = probe;
            } else {
                bad = probe;
                break;
            }
        }
    } else {
        bad = probe;
        while (bad < kMaxOffset) {
            probe = std::min(kMaxOffset, bad + step);
            step *= 2;
            if (evaluate_all(probe, probe, 0) <= target_bits) {
                good = probe;
                break;
            }
            bad = probe;
        }
    }
    while (good - bad > 1 && good <= kMaxOffset && bad >= kMinOffset) {
        const int mid = bad + (good - bad) / 2;
        if (evaluate_all(mid, mid, 0) <= target_bits) {
            good = mid;
        } else {
            bad = mid;
        }
    }
    if (good > kMaxOffset) {
        good = kMaxOffset;
    }
    offset_ = good;
    int bits = evaluate_all(good, good, 0);
    // One offset step can be a big jump in bits (whole bands appear or vanish together).
    // Spend what is left between the two: the lowest bands, which usually matter most, get
    // the finer offset as far up as the budget allows.
    if (bad >= kMinOffset && bits < target_bits) {
        int fits = 0;
        int too_many = kMaxLongBands + 1;
        while (too_many - fits > 1) {
            const int split = (fits + too_many) / 2;
            if (evaluate_all(good, bad, split) <= target_bits) {
                fits = split;
            } else {
                too_many = split;
            }
        }
        bits = fits > 0 ? evaluate_all(good, bad, fits) : evaluate_all(good, good, 0);
    }
    // Even the coarsest offset too expensive: stop coding the highest bands until it fits.
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
        bits = evaluate_all(good, good, 0);
        if (!cut) {
            break;
        }
    }
    return bits;
}

}  // namespace brevix::aac
