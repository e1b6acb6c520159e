#include "wav/speaker_map.h"

#include <cstdio>
#include <stdexcept>

namespace brevix::aac {
namespace {

// Coded channel positions in configurations 3 to 6 (see channel_config.h).
enum Place { kCentre = 0, kLeft = 1, kRight = 2, kSurroundLeft = 3, kSurroundRight = 4, kLfe = 5 };
constexpr int kBackCentre = 3;  // configuration 4's fourth channel

std::string hex(std::uint32_t mask) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", mask);
    return text;
}

}  // namespace

std::uint32_t default_speaker_mask(int channels) {
    constexpr std::uint32_t kFront = kSpeakerFrontLeft | kSpeakerFrontRight;
    constexpr std::uint32_t kBack = kSpeakerBackLeft | kSpeakerBackRight;
    switch (channels) {
        case 1:
            return kSpeakerFrontCenter;
        case 2:
            return kFront;
        case 3:
            return kFront | kSpeakerFrontCenter;
        case 4:
            return kFront | kBack;
        case 5:
            return kFront | kSpeakerFrontCenter | kBack;
        case 6:
            return kFront | kSpeakerFrontCenter | kSpeakerLowFrequency | kBack;
        default:
            return 0;
    }
}

SpeakerMap map_speakers(int channels, std::uint32_t mask) {
    if (channels < 1 || channels > kMaxChannels) {
        throw std::invalid_argument(std::to_string(channels) +
                                    " channels are not supported (1 to 6)");
    }
    SpeakerMap map;
    if (channels <= 2) {
        map.coded_channels = channels;
        for (int c = 0; c < channels; ++c) {
            map.source[c] = c;
        }
        return map;
    }
    // The file's speakers: the lowest `channels` bits of the mask, in bit order. A mask
    // that names fewer speakers than there are channels says nothing usable.
    std::uint32_t speakers[kMaxChannels] = {};
    int named = 0;
    for (std::uint32_t bit = 1; bit != 0 && named < channels; bit <<= 1) {
        if ((mask & bit) != 0) {
            speakers[named++] = bit;
        }
    }
    if (named < channels) {
        mask = default_speaker_mask(channels);
        named = 0;
        for (std::uint32_t bit = 1; named < channels; bit <<= 1) {
            if ((mask & bit) != 0) {
                speakers[named++] = bit;
            }
        }
    }

    int place_of[kMaxChannels];
    bool lfe = false;
    bool surround = false;
    bool back_centre = false;
    for (int c = 0; c < channels; ++c) {
        switch (speakers[c]) {
            case kSpeakerFrontCenter:
                place_of[c] = kCentre;
                break;
            case kSpeakerFrontLeft:
                place_of[c] = kLeft;
                break;
            case kSpeakerFrontRight:
                place_of[c] = kRight;
                break;
            case kSpeakerBackLeft:
            case kSpeakerSideLeft:
                place_of[c] = kSurroundLeft;
                surround = true;
                break;
            case kSpeakerBackRight:
            case kSpeakerSideRight:
                place_of[c] = kSurroundRight;
                surround = true;
                break;
            case kSpeakerBackCenter:
                place_of[c] = kBackCentre;
                back_centre = true;
                break;
            case kSpeakerLowFrequency:
                place_of[c] = kLfe;
                lfe = true;
                break;
            default:
                throw std::invalid_argument("the WAV file's speaker layout (channel mask " +
                                            hex(mask) + ") cannot be coded: speaker " +
                                            hex(speakers[c]) + " has no place in AAC");
        }
    }
    if (back_centre && (surround || lfe)) {
        throw std::invalid_argument(
            "the WAV file's speaker layout (channel mask " + hex(mask) +
            ") cannot be coded: a back centre only fits without surround and LFE channels");
    }
    map.coded_channels = lfe ? 6 : surround ? 5 : back_centre ? 4 : 3;
    for (int& s : map.source) {
        s = -1;
    }
    for (int c = 0; c < channels; ++c) {
        int& slot = map.source[place_of[c]];
        if (slot >= 0) {
            throw std::invalid_argument("the WAV file's speaker layout (channel mask " + hex(mask) +
                                        ") cannot be coded: two speakers share one place");
        }
        slot = c;
    }
    return map;
}

}  // namespace brevix::aac
