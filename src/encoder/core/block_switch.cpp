#include "core/block_switch.h"

#include <algorithm>
#include <cmath>

namespace brevix::aac {
namespace {

// Side information a group adds per band and channel: a scalefactor difference and a
// share of the sections.
constexpr float kGroupSideBits = 3.0f;

// Perceptual entropy of windows [first, end) coded as one group.
float group_entropy(const ShortWindowBands* channels, int count, const BandLayout& layout,
                    int bands, int first, int end) {
    const float windows = static_cast<float>(end - first);
    float bits = 0.0f;
    for (int c = 0; c < count; ++c) {
        for (int b = 0; b < bands; ++b) {
            float energy = 0.0f;
            float threshold = 1e30f;
            for (int w = first; w < end; ++w) {
                energy += channels[c].energy[w * kMaxShortBands + b];
                threshold = std::min(threshold, channels[c].threshold[w * kMaxShortBands + b]);
            }
            const float ratio = energy / std::max(threshold * windows, 1e-9f);
            bits += 0.5f * static_cast<float>(layout.width(b)) * windows * std::log2(1.0f + ratio);
        }
    }
    return bits;
}

}  // namespace

WindowSequence next_window_sequence(WindowSequence previous, bool short_now, bool short_next) {
    const bool previous_ends_short =
        previous == WindowSequence::kLongStart || previous == WindowSequence::kEightShort;
    if (previous_ends_short) {
        return (short_now || short_next || previous == WindowSequence::kLongStart)
                   ? WindowSequence::kEightShort
                   : WindowSequence::kLongStop;
    }
    // After a long right half only long-type windows may follow; a wish for short windows
    // now that was not announced a frame earlier is served by the following frame.
    return (short_now || short_next) ? WindowSequence::kLongStart : WindowSequence::kOnlyLong;
}

int group_short_windows(const ShortWindowBands* channels, int count, const BandLayout& layout,
                        int bands, int* group_lengths) {
    // Fewest bits for windows [0, w), and where their last group starts.
    float best[kNumShortWindows + 1] = {};
    int start[kNumShortWindows + 1] = {};
    const float side = kGroupSideBits * static_cast<float>(bands * count);
    for (int end = 1; end <= kNumShortWindows; ++end) {
        best[end] = 1e30f;
        for (int first = 0; first < end; ++first) {
            const float bits =
                best[first] + side + group_entropy(channels, count, layout, bands, first, end);
            if (bits < best[end]) {
                best[end] = bits;
                start[end] = first;
            }
        }
    }
    int lengths[kNumShortWindows];
    int groups = 0;
    for (int end = kNumShortWindows; end > 0; end = start[end]) {
        lengths[groups++] = end - start[end];
    }
    for (int g = 0; g < groups; ++g) {
        group_lengths[g] = lengths[groups - 1 - g];
    }
    return groups;
}

unsigned grouping_bits(const int* group_lengths, int group_count) {
    // Bit (6 - i) tells whether window i + 1 continues the group of window i.
    unsigned bits = 0;
    int window = 0;
    for (int g = 0; g < group_count; ++g) {
        for (int i = 0; i < group_lengths[g]; ++i, ++window) {
            if (window > 0) {
                bits = (bits << 1) | (i > 0 ? 1u : 0u);
            }
        }
    }
    return bits;
}

}  // namespace brevix::aac
