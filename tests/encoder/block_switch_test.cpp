// Attack detection, the window-sequence state machine and short-window grouping.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "core/block_switch.h"
#include "core/window.h"

namespace brevix::aac {
namespace {

using S = WindowSequence;

// Runs the detector and the state machine the way the encoder does: masks of blocks
// k, k+1, k+2 decide frame k. Returns the sequence of every frame.
std::vector<S> sequences_for(const std::vector<float>& signal) {
    TransientDetector detector;
    std::vector<std::uint8_t> masks;
    for (std::size_t start = 0; start + 1024 <= signal.size(); start += 1024) {
        masks.push_back(detector.analyze(signal.data() + start));
    }
    std::vector<S> out;
    S previous = S::kOnlyLong;
    for (std::size_t k = 0; k + 2 < masks.size(); ++k) {
        const bool now = frame_wants_short(masks[k], masks[k + 1]);
        const bool next = frame_wants_short(masks[k + 1], masks[k + 2]);
        previous = next_window_sequence(previous, now, next);
        out.push_back(previous);
    }
    return out;
}

std::vector<float> tone(int n, float amplitude) {
    std::vector<float> x(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        x[static_cast<std::size_t>(i)] = amplitude * std::sin(0.0627f * static_cast<float>(i));
    }
    return x;
}

TEST(TransientDetector, SteadySignalsNeverSwitch) {
    for (const S s : sequences_for(tone(40 * 1024, 20000.0f))) {
        EXPECT_EQ(s, S::kOnlyLong);
    }
    std::mt19937 random(1);
    std::normal_distribution<float> noise(0.0f, 5000.0f);
    std::vector<float> x(40 * 1024);
    for (float& v : x) {
        v = noise(random);
    }
    for (const S s : sequences_for(x)) {
        EXPECT_EQ(s, S::kOnlyLong);
    }
}

TEST(TransientDetector, FindsTheSegmentOfAClick) {
    TransientDetector detector;
    std::vector<float> block = tone(1024, 100.0f);
    EXPECT_EQ(detector.analyze(block.data()), 0u);
    for (int i = 0; i < 32; ++i) {
        block[static_cast<std::size_t>(3 * 128 + 40 + i)] += (i % 2 ? 15000.0f : -15000.0f);
    }
    EXPECT_EQ(detector.analyze(block.data()), 1u << 3);
}

TEST(BlockSwitching, AClickGivesStartShortStop) {
    for (int position : {10 * 1024 + 100, 10 * 1024 + 600, 10 * 1024 + 1000}) {
        std::vector<float> x = tone(24 * 1024, 200.0f);
        for (int i = 0; i < 64; ++i) {
            x[static_cast<std::size_t>(position + i)] += 20000.0f * std::exp(-i / 20.0f);
        }
        const std::vector<S> seq = sequences_for(x);
        // Find the short frames: they must be preceded by a start and followed by a stop.
        int first_short = -1;
        int last_short = -1;
        for (std::size_t k = 0; k < seq.size(); ++k) {
            if (seq[k] == S::kEightShort) {
                if (first_short < 0) {
                    first_short = static_cast<int>(k);
                }
                last_short = static_cast<int>(k);
            }
        }
        ASSERT_GE(first_short, 1) << "click at " << position;
        EXPECT_EQ(seq[static_cast<std::size_t>(first_short - 1)], S::kLongStart);
        EXPECT_EQ(seq[static_cast<std::size_t>(last_short + 1)], S::kLongStop);
        EXPECT_LE(last_short - first_short, 1);
        // The click lies inside the span covered by the short windows (frame k holds
        // samples 1024 k .. 1024 k + 2048, short windows 448 .. 1600 of it).
        const int covered_from = first_short * 1024 + kShortWindowStart;
        const int covered_to = last_short * 1024 + kShortWindowStart + 8 * 128 + 128;
        EXPECT_GE(position, covered_from) << "click at " << position;
        EXPECT_LT(position, covered_to) << "click at " << position;
        for (std::size_t k = 0; k < seq.size(); ++k) {
            if (static_cast<int>(k) < first_short - 1 || static_cast<int>(k) > last_short + 1) {
                EXPECT_EQ(seq[k], S::kOnlyLong) << "frame " << k;
            }
        }
    }
}

TEST(BlockSwitching, RandomWishesOnlyProduceLegalSequences) {
    std::mt19937 random(3);
    S previous = S::kOnlyLong;
    bool now = false;
    int shorts = 0;
    for (int k = 0; k < 5000; ++k) {
        const bool next = random() % 3 == 0;
        const S s = next_window_sequence(previous, now, next);
        ASSERT_TRUE(is_legal_transition(previous, s))
            << static_cast<int>(previous) << "->" << static_cast<int>(s);
        // A wish announced one frame ahead is always honoured.
        if (now && (previous == S::kLongStart || previous == S::kEightShort)) {
            EXPECT_EQ(s, S::kEightShort);
        }
        shorts += s == S::kEightShort;
        previous = s;
        now = next;
    }
    EXPECT_GT(shorts, 500);
}

TEST(Grouping, SplitsAtEnergyJumpsAndEncodesTheField) {
    const float flat[8] = {1e6f, 1e6f, 1.2e6f, 0.9e6f, 1e6f, 1e6f, 1e6f, 1e6f};
    int lengths[8];
    ASSERT_EQ(group_short_windows(flat, lengths), 1);
    EXPECT_EQ(lengths[0], 8);
    EXPECT_EQ(grouping_bits(lengths, 1), 0x7Fu);

    const float attack[8] = {1e3f, 1e3f, 1e3f, 1e3f, 1e8f, 2e7f, 1.5e7f, 1e7f};
    const int groups = group_short_windows(attack, lengths);
    ASSERT_EQ(groups, 3);
    EXPECT_EQ(lengths[0], 4);
    EXPECT_EQ(lengths[1], 1);
    EXPECT_EQ(lengths[2], 3);
    // Windows 1-3 continue group 0 (bits 6-4), window 4 starts a group, 5 too, 6-7 continue.
    EXPECT_EQ(grouping_bits(lengths, groups), 0b1110011u);

    const int singles[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(grouping_bits(singles, 8), 0u);
}

}  // namespace
}  // namespace brevix::aac
