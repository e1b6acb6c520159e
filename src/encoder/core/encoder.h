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
#include <vector>

#include "core/aac_types.h"
#include "core/bit_writer.h"
#include "core/block_switch.h"
#include "core/channel_config.h"
#include "core/ics.h"
#include "core/mdct.h"
#include "core/prediction.h"
#include "core/psycho.h"
#include "core/rate_loop.h"
#include "core/syntax_writer.h"
#include "core/tns.h"

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

    const EncoderConfig& config() const { return config_; }

    // Largest raw data block in bytes for `channels` channels.
    static std::size_t max_frame_bytes(int channels);

private:
    struct Channel;

    void push_block(const float* const* planar, int count, FrameSink& sink);
    void encode_frame(FrameSink& sink);
    void analyze_channel(Channel& ch, WindowSequence sequence, WindowShape shape);
    void analyze_element(const ChannelElement& element);
    void window_channels(int first, int count, WindowSequence sequence);
    float frame_correlation(int left) const;
    int short_grouping(int first, int count, int* lengths) const;
    void group_and_layout(int first, int count, int long_max_sfb, const int* lengths, int groups);
    bool predicts(const ChannelElement& element) const;
    void predict_element(const ChannelElement& element);
    void update_predictors(const ChannelElement& element);
    int element_predictors(const ChannelElement& element, Ics** ics, Predictors** predictors);
    int choose_stereo_coding(const ChannelElement& element);  // returns its fixed bits
    void write_element(BitWriter& out, const ChannelElement& element);
    void choose_mid_side_and_intensity(Ics& left, Ics& right, StereoMask& mask);
    bool choose_intensity(Ics& left, Ics& right, int band, float correlation);
    void mark_bands(int first, int count, std::uint8_t substitute);
    FrameBudget frame_budget(int average_bits, int side_bits) const;

    EncoderConfig config_;
    int container_bits_;
    int long_max_sfb_ = 0;
    int short_max_sfb_ = 0;
    int lfe_max_sfb_ = 0;
    std::uint8_t noise_substitution_mode_ = 0;  // what may_substitute marks, 0 for nothing
    bool intensity_ = false;
    // First long and short bands where noise substitution and intensity stereo may serve.
    int noise_start_[2] = {};
    int intensity_start_[2] = {};
    ElementLayout layout_;

    Mdct long_mdct_;
    Mdct short_mdct_;
    Tns tns_;
    std::vector<std::unique_ptr<Channel>> channels_;
    RateLoop rate_loop_;
    StereoMask stereo_masks_[kMaxChannels / 2];  // per channel pair, by instance tag
    std::vector<std::uint8_t> frame_buffer_;
    float windowed_[2 * kFrameLength] = {};

    // Rate control.
    std::int64_t rate_remainder_ = 0;  // fractional bits carried between frames, times rate
    int reservoir_bits_ = 0;
    int reservoir_capacity_ = 0;

    std::int64_t samples_in_ = 0;
    std::int64_t blocks_pushed_ = 0;
    std::int64_t frames_written_ = 0;
    bool finished_ = false;
};

}  // namespace brevix::aac
