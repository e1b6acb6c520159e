// Noise substitution: where noise may stand in for a band, what that (and a band left
// empty where it may not) costs a listener, how a pair's noise is made what both decoders
// give alike, and the noise energy a band is coded with. The rate loop chooses per band
// between its waveform, noise and nothing by these rules; the bitstream writer codes the
// energies (core/syntax_writer.h), and the predictors are reset in substituted bands as
// decoders do (core/prediction.h).
#pragma once

#include <cstdint>

#include "core/ics.h"

namespace brevix::aac {

// Bits a substituted band costs: its noise energy, a short difference code.
constexpr float kSubstitutedBits = 3.0f;

// Marks the bands of `ics` from `first_band` on where noise may stand in (`mode`:
// kSubstituteFreely, kSubstituteForHoles or 0; below `free_band` noise only fills holes),
// except bands the predictor serves, and takes each band's energy as what the decoder
// should give back. Clears every band's fixed book. (Call after prediction, before the
// stereo decisions.)
void mark_substitutable(Ics& ics, int first_band, int free_band, std::uint8_t mode);

// What coding band `i` (in group `g`) as noise costs a listener, as noise energy times
// `inverse_mask` (weight over threshold); negative where noise may not stand in.
float substitution_cost(const Ics& ics, int g, int i, float inverse_mask);

// How many times its energy (the noise it leaves) leaving band `i` (band `b` of its group)
// empty costs a listener: more than once below the bands where noise may stand in, where an
// empty band the source fills above its mask is a hole; once elsewhere.
float empty_band_loss(const Ics& ics, int b, int i, float inverse_mask);

// In a left/right band of a pair, whether noise in one channel beside the other channel's
// coded waveform should be noise in both (channels alike enough, both noise-like).
bool noise_in_both(const Ics& left, const Ics& right, int i);

// Makes the right channel's band `i` an intensity band copying the left one's noise (in or
// out of phase, by the channels' correlation) at the level of its own energy.
void join_noise_by_intensity(const Ics& left, Ics& right, int i);

// Sets the noise energies (in `scalefactor`) of the bands coded with the noise book, within
// what every decoder takes and what the bitstream can carry from one to the next; sets
// global_gain if no band is coded otherwise.
void set_noise_energies(Ics& ics);

}  // namespace brevix::aac
