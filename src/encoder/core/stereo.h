// Stereo coding of a channel pair that shares its windows: per band, left/right, mid/side
// or intensity (the right channel as a level difference from the left one's signal), with
// the cost model each choice is made by. What the pair's decoders make of substituted
// noise decides where noise may stand in (see RateLoop::pair()).
#pragma once

#include "core/ics.h"
#include "core/stereo_mask.h"

namespace brevix::aac {

struct StereoTools {
    bool intensity = false;       // intensity stereo may serve (its rates)
    int intensity_start[2] = {};  // from this long / short band on
};

// Chooses the coding of every band of the pair and transforms the spectra, energies and
// thresholds to match: mid/side where it needs fewer bits by the perceptual-entropy
// estimate, intensity where it costs less than either by the rate loop's trade-off
// `lambda` (of the last frame). Keeps each band's correlation (left.correlation) for the
// rate loop, which joins noise bands by intensity in that proportion.
void choose_stereo(Ics& left, Ics& right, StereoMask& mask, const StereoTools& tools, float lambda);

}  // namespace brevix::aac
