// Which WAV channel feeds which coded channel.
//
// A WAV file names its speakers with a channel mask (WAVE_FORMAT_EXTENSIBLE); its channels
// come in the order of the mask's bits. Plain PCM files have no mask: they get the usual
// mask for their channel count,
//   3: FL FR FC   4: FL FR BL BR (quad)   5: FL FR FC BL BR   6: FL FR FC LFE BL BR (5.1).
// Each speaker goes to its place in the smallest channel configuration (see
// channel_config.h) that has a place for every speaker of the file; places no speaker
// fills are coded as silence:
//   FC -> C, FL/FR -> L/R, BL/BR or SL/SR -> Ls/Rs, BC -> Cs, LFE -> LFE.
// So quad becomes configuration 5 with a silent centre (configuration 4 has no surround
// pair), and e.g. FL FR BC becomes configuration 4 with a silent centre. Mono and stereo
// files are coded as they are, whatever their mask says.
#pragma once

#include <cstdint>
#include <string>

#include "core/aac_types.h"

namespace brevix::aac {

// Speaker bits of a WAV channel mask.
enum SpeakerBit : std::uint32_t {
    kSpeakerFrontLeft = 0x1,
    kSpeakerFrontRight = 0x2,
    kSpeakerFrontCenter = 0x4,
    kSpeakerLowFrequency = 0x8,
    kSpeakerBackLeft = 0x10,
    kSpeakerBackRight = 0x20,
    kSpeakerBackCenter = 0x100,
    kSpeakerSideLeft = 0x200,
    kSpeakerSideRight = 0x400,
};

struct SpeakerMap {
    int coded_channels = 0;         // channels of the coded stream (= its configuration)
    int source[kMaxChannels] = {};  // per coded channel: the WAV channel, or -1 for silence
};

// The mapping for a file with `channels` channels and channel mask `mask` (0: none).
// Throws std::invalid_argument, naming the problem, for more than 6 channels and for
// speaker sets no configuration can hold (e.g. both back and side surrounds).
SpeakerMap map_speakers(int channels, std::uint32_t mask);

// The mask a file without one is taken to have.
std::uint32_t default_speaker_mask(int channels);

}  // namespace brevix::aac
