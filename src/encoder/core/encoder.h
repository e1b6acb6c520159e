// The AAC encoder core: PCM blocks in, raw data blocks out.
//
// Each call to encode() takes 1024 samples per channel. Frame k's transform spans input
// blocks k-1 and k, with one block of silence in front of the first input block (the
// usual 1024-sample priming), and the encoder looks one more block ahead to announce
// short windows in time. finish() pads with silence until every input sample has passed
// through two overlapping transforms, so a decoder's output, after dropping its first
// 1024 samples, covers the whole input (plus less than one frame of trailing silence).
// Channels come in the order of the channel configuration (core/channel_config.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/aac_types.h"

namespace brevix::aac {

struct EncoderConfig {
    int sample_rate = 44100;
    int channels = 2;
    int bit_rate = 128000;  // total over all channels, bits per second
    Profile profile = Profile::kLowComplexity;
    bool constant_rate = true;  // pad with fill elements to hold the rate exactly
    int bandwidth_hz = 0;       // 0: chosen from the bit rate
    // Coding tools the encoder may use where they pay; switched off only to measure what
    // each one brings. Prediction exists in the Main profile only.
    struct Tools {
        bool tns = true;         // temporal noise shaping
        bool pns = true;         // perceptual noise substitution
        bool intensity = true;   // intensity stereo
        bool prediction = true;  // backward-adaptive prediction
    } tools;
};

// Receives each finished raw data block.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    // `buffer_fullness`: bit-reservoir state for headers that carry it (0x7FF: variable).
    virtual void write_frame(const std::uint8_t* data, std::size_t bytes, int buffer_fullness) = 0;
};

// Bit-rate limits for a configuration, bits per second over all channels.
int min_bit_rate(int channels);
int max_bit_rate(int sample_rate, int channels);
// Throws std::invalid_argument, naming the allowed range, when `bit_rate` lies outside
// min_bit_rate..max_bit_rate.
void check_bit_rate(int bit_rate, int sample_rate, int channels);
// Audio bandwidth the encoder keeps at a given rate per channel.
int default_bandwidth(int bit_rate_per_channel, int sample_rate);

class FrameEncoder;

class Encoder {
public:
    // Decoded output starts with this many samples before the first input sample.
    static constexpr int kPrimingSamples = kFrameLength;

    // `container_bits_per_frame`: bits the container adds to every frame (ADTS: 56); they
    // count against the bit rate. Throws std::invalid_argument for an unusable config.
    Encoder(const EncoderConfig& config, int container_bits_per_frame);
    ~Encoder();
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    // `planar[c]` holds `count` (<= 1024) samples of channel c, 16-bit scale (+-32768).
    // Fewer than 1024 samples are padded with silence; only the last call may be short.
    void encode(const float* const* planar, int count, FrameSink& sink);

    // Flushes the remaining frames.
    void finish(FrameSink& sink);

    // Frames written for `samples` input samples per channel: each input block passes
    // through two overlapping transforms.
    static std::uint64_t frames_for(std::uint64_t samples) {
        return (samples + kFrameLength - 1) / kFrameLength + 1;
    }

private:
    std::unique_ptr<FrameEncoder> frames_;
};

}  // namespace brevix::aac
