#include "core/block_switch.h"

namespace brevix::aac {
namespace {

constexpr float kGroupRatio = 4.0f;

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

int group_short_windows(const float* window_energy, int* group_lengths) {
    int groups = 0;
    float group_sum = 0.0f;
    int group_size = 0;
    for (int w = 0; w < kNumShortWindows; ++w) {
        const float e = window_energy[w] + 1.0f;
        if (group_size > 0) {
            const float mean = group_sum / static_cast<float>(group_size);
            if (e > kGroupRatio * mean || e * kGroupRatio < mean) {
                group_lengths[groups++] = group_size;
                group_sum = 0.0f;
                group_size = 0;
            }
        }
        group_sum += e;
        ++group_size;
    }
    group_lengths[groups++] = group_size;
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
