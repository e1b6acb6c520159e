// How a channel pair is coded: the stereo decisions the bitstream, the predictors and the
// rate loop share.
#pragma once

#include <cstdint>

#include "core/ics.h"  // kMaxCodingBands

namespace brevix::aac {

// How a channel pair is coded: with a common window (one ics_info for both, then M/S
// decisions per coding band) or each channel with windows of its own (no M/S).
struct StereoMask {
    bool common_window = true;
    int present = 0;  // 0 none, 1 per band, 2 all bands
    std::uint8_t used[kMaxCodingBands] = {};
};

}  // namespace brevix::aac
