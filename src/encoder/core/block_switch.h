// Block switching: the window-sequence state machine and the grouping of the eight short
// windows of a frame. (Whether a frame wants short windows is the psychoacoustic model's
// call: see PsychoModel::wants_short_now().)
//
// Frame k covers input blocks k and k+1 (1024 samples each); its short windows cover
// 448..1600 of that 2048-sample span. The encoder looks one block ahead, which lets it
// announce short windows one frame early with a start window.
#pragma once

#include "core/aac_types.h"
#include "core/bands.h"

namespace brevix::aac {

// Sequence for the next frame, given the previous one and whether this frame and the
// following one want short windows. Only legal transitions come out.
WindowSequence next_window_sequence(WindowSequence previous, bool short_now, bool short_next);

// One channel's short-window bands: energy and masking threshold of band b of window w at
// [w * kMaxShortBands + b].
struct ShortWindowBands {
    const float* energy;
    const float* threshold;
};

// Groups the eight short windows of the `count` channels of an element (one grouping for
// all) so that the bits are fewest: the windows of a group share one scalefactor per band,
// so their noise follows the quietest window's threshold (see Encoder::group_and_layout),
// while every further group costs its bands' side information. Bits are estimated per
// band as the perceptual entropy, width/2 * log2(1 + energy / threshold) per window, over
// the first `bands` bands. Writes the group lengths, returns the number of groups.
int group_short_windows(const ShortWindowBands* channels, int count, const BandLayout& layout,
                        int bands, int* group_lengths);

// The 7-bit scale_factor_grouping field for the given group lengths.
unsigned grouping_bits(const int* group_lengths, int group_count);

}  // namespace brevix::aac
