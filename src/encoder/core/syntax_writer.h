// Writes the syntactic elements of a raw data block: single channel, channel pair and
// low-frequency effects elements with their individual channel streams, fill elements
// and the end marker.
// The *_bits functions give the exact size of the parts that do not depend on the
// quantiser, so the rate loop can budget the rest.
#pragma once

#include <cstdint>

#include "core/bit_writer.h"
#include "core/ics.h"
#include "core/stereo_mask.h"

namespace brevix::aac {

int ics_info_bits(const Ics& ics);
// Bits of the channel's scale_factor_data: scalefactors, noise energies and intensity
// positions by each band's book (values in `scalefactor`, differences within -60..60; the
// first noise energy within -256..255 of global_gain - kNoiseEnergyOffset).
int scalefactor_data_bits(const Ics& ics);
constexpr int kNoiseEnergyOffset = 90;
constexpr int kFirstNoiseBits = 9;
constexpr int kFirstNoiseBias = 256;
// Fixed part of a single channel element (everything except sections, scalefactors and
// spectral data; with the filters of temporal noise shaping). A low-frequency effects element has
// the same syntax.
int sce_fixed_bits(const Ics& ics);
// Fixed part of a channel pair element (`ics`: the left channel).
int cpe_fixed_bits(const Ics& ics, const Ics& right, const StereoMask& mask);

void write_sce(BitWriter& out, int tag, const Ics& ics);
void write_cpe(BitWriter& out, int tag, const Ics& left, const Ics& right, const StereoMask& mask);
// The LFE channel: long windows only, and only its lowest bands coded (the caller's
// max_sfb); otherwise written like a single channel element.
void write_lfe(BitWriter& out, int tag, const Ics& ics);

// Bits of a fill element carrying `bytes` payload bytes (0..269).
int fill_element_bits(int bytes);
constexpr int kMaxFillBytes = 269;
// Writes fill elements adding as close to `bits` (and not more) as possible; the rest,
// below 7 bits, is left for byte alignment. Returns the bits written.
int write_fill(BitWriter& out, int bits);

void write_end(BitWriter& out);
constexpr int kEndBits = 3;

}  // namespace brevix::aac
