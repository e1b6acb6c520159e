// The encoder's frame loop behind Encoder (core/encoder.h): analysis, window choice, the
// coding tools, the rate loop and the bitstream of each frame. Only the encoder itself and
// tests of its internals include this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/aac_types.h"
#include "core/bit_writer.h"
#include "core/block_switch.h"
#include "core/channel_config.h"
#include "core/encoder.h"
#include "core/ics.h"
#include "core/mdct.h"
#include "core/noise_substitution.h"
#include "core/prediction.h"
#include "core/psycho.h"
#include "core/rate_loop.h"
#include "core/stereo.h"
#include "core/syntax_writer.h"
#include "core/tns.h"

namespace brevix::aac {

class FrameEncoder {
public:
    // `container_bits_per_frame`: bits the container adds to every frame (ADTS: 56); they
    // count against the bit rate. Throws std::invalid_argument for an unusable config.
    FrameEncoder(const EncoderConfig& config, int container_bits_per_frame);
    ~FrameEncoder();
    FrameEncoder(const FrameEncoder&) = delete;
    FrameEncoder& operator=(const FrameEncoder&) = delete;

    // `planar[c]` holds `count` (<= 1024) samples of channel c, 16-bit scale (+-32768).
    // Fewer than 1024 samples are padded with silence; only the last call may be short.
    void encode(const float* const* planar, int count, FrameSink& sink);

    // Flushes the remaining frames.
    void finish(FrameSink& sink);

    // Largest raw data block in bytes for `channels` channels.
    static std::size_t max_frame_bytes(int channels);

private:
    struct Channel;

    void push_block(const float* const* planar, int count, FrameSink& sink);
    void encode_frame(FrameSink& sink);
    void analyze_channel(Channel& ch, WindowSequence sequence, WindowShape shape);
    void analyze_element(const ChannelElement& element);
    WindowShape long_window_shape(int first, int count, WindowSequence sequence, int max_sfb);
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
    void mark_bands(int first, int count, std::uint8_t substitute);
    FrameBudget frame_budget(int average_bits, int side_bits) const;

    EncoderConfig config_;
    int container_bits_;
    int long_max_sfb_ = 0;
    int short_max_sfb_ = 0;
    int lfe_max_sfb_ = 0;
    std::uint8_t noise_substitution_mode_ = 0;  // what may_substitute marks, 0 for nothing
    StereoTools stereo_tools_;
    // First long and short bands where noise substitution may serve, and where it may
    // serve for more than filling holes.
    int noise_start_[2] = {};
    int free_noise_start_[2] = {};
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
