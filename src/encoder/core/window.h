// Analysis windows: sine and Kaiser-Bessel-derived (KBD) shapes for long (2048) and short
// (256) blocks, and the composite windows of the four window sequences.
#pragma once

#include "core/aac_types.h"

namespace brevix::aac {

constexpr int kLongBlock = 2 * kFrameLength;   // 2048 samples under one long window
constexpr int kShortBlock = 2 * kShortLength;  // 256 samples under one short window
// Offset of the first short window inside the 2048-sample frame block.
constexpr int kShortWindowStart =
    (kLongBlock - kNumShortWindows * kShortLength) / 2 - kShortLength / 2;  // 448

// Rising half (N/2 values) of the window of `shape`; the falling half is its mirror.
// Sine: sin(pi/N (n + 1/2)). KBD: alpha 4 for long, 6 for short windows.
const float* long_rising_half(WindowShape shape);
const float* short_rising_half(WindowShape shape);

// Windows the 2048-sample block `in` for a long-type sequence (only long, start, stop).
// `previous` is the previous frame's shape (left half), `current` this frame's (right half).
void window_long_block(const float* in, WindowSequence sequence, WindowShape previous,
                       WindowShape current, float* out);

// Windows short block `index` (0..7) of the 2048-sample block: 256 samples starting at
// 448 + 128 * index. The first block's left half continues the previous frame's shape.
void window_short_block(const float* in, int index, WindowShape previous, WindowShape current,
                        float* out);

// True when `next` may follow `previous` (the overlapping halves must match in length).
bool is_legal_transition(WindowSequence previous, WindowSequence next);

}  // namespace brevix::aac
