// Codes PCM with the encoder core inside the benchmark's own process, so that settings the
// mp4 program does not offer (such as a coding tool switched off) can be measured.
#pragma once

#include <cstdint>
#include <vector>

#include "core/encoder.h"

namespace brevix::bench {

// `channels`: samples per channel in 16-bit scale, in the order of the channel
// configuration. Returns the ADTS stream the core and its ADTS writer make of them.
std::vector<std::uint8_t> encode_adts(const aac::EncoderConfig& config,
                                      const std::vector<std::vector<float>>& channels);

}  // namespace brevix::bench
