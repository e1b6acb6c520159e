// Block switching: the window-sequence state machine and the grouping of the eight short
// windows of a frame. (Whether a frame wants short windows is the psychoacoustic model's
// call: see PsychoModel::wants_short_now().)
//
// Frame k covers input blocks k and k+1 (1024 samples each); its short windows cover
// 448..1600 of that 2048-sample span. The encoder looks one block ahead, which lets it
// announce short windows one frame early with a start window.
#pragma once

#include "core/aac_types.h"

namespace brevix::aac {

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
