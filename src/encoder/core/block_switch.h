// Block switching: an attack detector on the incoming samples, the window-sequence state
// machine, and the grouping of the eight short windows of a frame.
//
// Timing: frame k covers input blocks k and k+1 (1024 samples each). Its short windows
// cover 448..1600 of that 2048-sample span, so an attack in the first five 128-sample
// segments of block k+1, or in the last four of block k, is best coded by short windows
// in frame k (segment 4, at 512..640 of a block, straddles the end of the short windows
// and makes both neighbouring frames short). The encoder looks one block ahead, which
// lets it announce short windows one frame early with a start window.
#pragma once

#include <cstdint>

#include "core/aac_types.h"

namespace brevix::aac {

constexpr int kSegmentsPerBlock = 8;  // 128-sample segments, aligned with short windows

// Finds attacks in one channel: sudden energy jumps of the high-passed signal.
class TransientDetector {
public:
    // Analyses 1024 new samples; returns a mask with bit s set when segment s holds an
    // attack.
    std::uint8_t analyze(const float* block);

private:
    float last_sample_ = 0.0f;
    float envelope_ = 0.0f;  // smoothed energy of the segments before
};

// True when frame k should use short windows, from the attack masks of its two blocks.
bool frame_wants_short(std::uint8_t first_block_mask, std::uint8_t second_block_mask);

// Sequence for the next frame, given the previous one and whether this frame and the
// following one want short windows. Only legal transitions come out.
WindowSequence next_window_sequence(WindowSequence previous, bool short_now, bool short_next);

// Groups the eight short windows by their energies: a new group starts when a window's
// energy differs from the running group's mean by more than a factor of four. Writes the
// group lengths, returns the number of groups.
int group_short_windows(const float* window_energy, int* group_lengths);

// The 7-bit scale_factor_grouping field for the given group lengths.
unsigned grouping_bits(const int* group_lengths, int group_count);

}  // namespace brevix::aac
