// Block switching: when the psychoacoustic model asks for short windows (attacks and
// abrupt ends, never steady sound), the window-sequence state machine, and short-window
// grouping.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "core/block_switch.h"
#include "core/psycho.h"
#include "core/window.h"

namespace brevix::aac {
namespace {

using S = WindowSequence;

// Runs the model and the state machine the way the encoder does: each new block enters
// a three-block history, and frame k (blocks k, k+1) is decided with block k+2 in view.
// Returns the sequence of every frame. (The encoder also codes a frame of silence and
// block 0 first; that one is left out here.)
std::vector<S> sequences_for(const std::vector<float>& signal) {
    PsychoModel model(44100);
    std::vector<float> history(3 * 1024, 0.0f);
    std::vector<S> out;
    S previous = S::kOnlyLong;
    for (std::size_t start = 0; start + 1024 <= signal.size(); start += 1024) {
        std::copy(history.begin() + 1024, history.end(), history.begin());
        std::copy(signal.begin() + static_cast<std::ptrdiff_t>(start),
                  signal.begin() + static_cast<std::ptrdiff_t>(start + 1024),
                  history.begin() + 2048);
        model.look_ahead(history.data());
        if (start >= 2048) {
            previous =
                next_window_sequence(previous, model.wants_short_now(), model.wants_short_next());
            out.push_back(previous);
        }
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

TEST(BlockSwitching, SteadySignalsNeverSwitch) {
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
    // A slow fade (20 dB per second) is steady too.
    std::vector<float> fading = tone(40 * 1024, 20000.0f);
    for (std::size_t i = 0; i < fading.size(); ++i) {
        fading[i] *= std::pow(10.0f, -static_cast<float>(i) / 44100.0f);
    }
    for (const S s : sequences_for(fading)) {
        EXPECT_EQ(s, S::kOnlyLong);
    }
}

// Start, short and stop windows around the event, long windows everywhere else, and the
// event inside the span the short windows cover.
void expect_short_windows_around(const std::vector<S>& seq, int position) {
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
    ASSERT_GE(first_short, 1) << "event at " << position;
    EXPECT_EQ(seq[static_cast<std::size_t>(first_short - 1)], S::kLongStart);
    EXPECT_EQ(seq[static_cast<std::size_t>(last_short + 1)], S::kLongStop);
    EXPECT_LE(last_short - first_short, 1);
    // Frame k holds samples 1024 k .. 1024 k + 2048, its short windows 448 .. 1600.
    const int covered_from = first_short * 1024 + kShortWindowStart;
    const int covered_to = last_short * 1024 + kShortWindowStart + 8 * 128 + 128;
    EXPECT_GE(position, covered_from) << "event at " << position;
    EXPECT_LT(position, covered_to) << "event at " << position;
    for (std::size_t k = 0; k < seq.size(); ++k) {
        if (static_cast<int>(k) < first_short - 1 || static_cast<int>(k) > last_short + 1) {
            EXPECT_EQ(seq[k], S::kOnlyLong) << "frame " << k << ", event at " << position;
        }
    }
}

TEST(BlockSwitching, AClickGivesStartShortStop) {
    for (int position : {10 * 1024 + 100, 10 * 1024 + 600, 10 * 1024 + 1000}) {
        std::vector<float> x = tone(24 * 1024, 200.0f);
        for (int i = 0; i < 64; ++i) {
            x[static_cast<std::size_t>(position + i)] += 20000.0f * std::exp(-i / 20.0f);
        }
        expect_short_windows_around(sequences_for(x), position);
    }
}

// A long window would spread the noise of a loud sound into the silence after it, where
// nothing masks it.
TEST(BlockSwitching, ASoundThatStopsAbruptlyGetsShortWindows) {
    const int position = 10 * 1024 + 700;
    std::mt19937 random(2);
    std::normal_distribution<float> noise(0.0f, 3000.0f);
    std::vector<float> x = tone(24 * 1024, 30.0f);
    for (int i = 0; i < position; ++i) {
        x[static_cast<std::size_t>(i)] += noise(random);
    }
    expect_short_windows_around(sequences_for(x), position);
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
