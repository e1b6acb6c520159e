// Channel configurations 1 to 6: which syntactic elements carry the channels of a frame,
// in stream order. The encoder numbers its channels in that order too:
//   1: C              (SCE)
//   2: L R            (CPE)
//   3: C, L R         (SCE, CPE)
//   4: C, L R, Cs     (SCE, CPE, SCE)        Cs = back centre
//   5: C, L R, Ls Rs  (SCE, CPE, CPE)
//   6: C, L R, Ls Rs, LFE  (SCE, CPE, CPE, LFE) = 5.1
// For these configurations the channel count and the channel_configuration value written
// in headers are the same number.
#pragma once

#include "core/aac_types.h"

namespace brevix::aac {

struct ChannelElement {
    ElementId id = ElementId::kSce;  // kSce, kCpe or kLfe
    int tag = 0;                     // element_instance_tag, counted per element type
    int first = 0;                   // the element's first channel
    int channels() const { return id == ElementId::kCpe ? 2 : 1; }
};

constexpr int kMaxElements = 4;

struct ElementLayout {
    int configuration = 0;  // channel_configuration
    int count = 0;          // elements in use
    ChannelElement elements[kMaxElements];
};

// The layout for 1 to 6 channels; throws std::invalid_argument for other counts.
ElementLayout element_layout(int channels);

}  // namespace brevix::aac
