// The encoder core in-process: frame count and priming, ADTS headers, frame-size limits,
// the window sequences in the stream, and the bit-rate bookkeeping of constant-rate mode.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "core/adts_writer.h"
#include "core/encoder.h"
#include "core/window.h"
#include "support/reference_tables.h"
#include "support/test_files.h"

namespace brevix::aac {
namespace {

class MemorySink : public ByteSink {
public:
    void write(const void* data, std::size_t bytes) override {
        const auto* p = static_cast<const std::uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + bytes);
    }
    std::vector<std::uint8_t> bytes_;
};

struct AdtsFrame {
    int profile;
    int sampling_index;
    int channel_config;
    int length;
    int fullness;
    int raw_blocks;
    WindowSequence sequence;
    WindowShape shape;
};

// Splits an ADTS stream into frames; reads each header and the first element's window.
std::vector<AdtsFrame> parse_adts(const std::vector<std::uint8_t>& stream) {
    std::vector<AdtsFrame> frames;
    std::size_t pos = 0;
    while (pos < stream.size()) {
        if (stream.size() - pos < 7) {
            throw std::runtime_error("truncated header");
        }
        test::BitReader h(stream.data() + pos, 7);
        if (h.read(12) != 0xFFF) {
            throw std::runtime_error("lost sync");
        }
        AdtsFrame f{};
        EXPECT_EQ(h.read(1), 0u);  // MPEG-4
        EXPECT_EQ(h.read(2), 0u);  // layer
        EXPECT_EQ(h.read(1), 1u);  // no CRC
        f.profile = static_cast<int>(h.read(2));
        f.sampling_index = static_cast<int>(h.read(4));
        h.read(1);
        f.channel_config = static_cast<int>(h.read(3));
        h.read(4);
        f.length = static_cast<int>(h.read(13));
        f.fullness = static_cast<int>(h.read(11));
        f.raw_blocks = static_cast<int>(h.read(2));
        if (f.length < 7 || pos + static_cast<std::size_t>(f.length) > stream.size()) {
            throw std::runtime_error("bad frame length");
        }
        test::BitReader raw(stream.data() + pos + 7, static_cast<std::size_t>(f.length - 7));
        const int id = static_cast<int>(raw.read(3));
        raw.read(4);  // tag
        if (id == 1) {
            EXPECT_EQ(raw.read(1), 1u);  // common window
        } else {
            EXPECT_EQ(id, 0);
            raw.read(8);  // global gain
        }
        EXPECT_EQ(raw.read(1), 0u);  // reserved
        f.sequence = static_cast<WindowSequence>(raw.read(2));
        f.shape = static_cast<WindowShape>(raw.read(1));
        frames.push_back(f);
        pos += static_cast<std::size_t>(f.length);
    }
    return frames;
}

std::vector<std::uint8_t> encode(const std::vector<std::vector<double>>& input,
                                 EncoderConfig config) {
    MemorySink sink;
    AdtsWriter adts({config.profile, config.sample_rate, config.channels}, sink);
    Encoder encoder(config, adts.overhead_bits_per_frame());
    const std::size_t n = input[0].size();
    std::vector<std::vector<float>> block(input.size(), std::vector<float>(1024));
    for (std::size_t start = 0; start < n; start += 1024) {
        const int count = static_cast<int>(std::min<std::size_t>(1024, n - start));
        std::vector<const float*> planar;
        for (std::size_t c = 0; c < input.size(); ++c) {
            for (int i = 0; i < count; ++i) {
                block[c][static_cast<std::size_t>(i)] =
                    static_cast<float>(input[c][start + static_cast<std::size_t>(i)] * 32768.0);
            }
            planar.push_back(block[c].data());
        }
        encoder.encode(planar.data(), count, adts);
    }
    encoder.finish(adts);
    return sink.bytes_;
}

TEST(Encoder, FrameCountCoversPrimingAndTheLastPartialBlock) {
    for (int n : {0, 1, 1023, 1024, 1025, 5000}) {
        EncoderConfig config;
        config.channels = 1;
        config.bit_rate = 64000;
        const std::vector<AdtsFrame> frames =
            parse_adts(encode({test::sine(1000.0, 0.3, n, 44100)}, config));
        EXPECT_EQ(static_cast<int>(frames.size()), (n + 1023) / 1024 + 1) << n << " samples";
    }
}

TEST(Encoder, HeadersDescribeTheStream) {
    struct Case {
        Profile profile;
        int rate;
        int channels;
        int profile_bits;
        int index;
    };
    for (const Case& c :
         {Case{Profile::kLowComplexity, 44100, 2, 1, 4}, Case{Profile::kMain, 48000, 1, 0, 3}}) {
        EncoderConfig config;
        config.profile = c.profile;
        config.sample_rate = c.rate;
        config.channels = c.channels;
        config.bit_rate = 64000 * c.channels;
        config.constant_rate = true;
        std::vector<std::vector<double>> input(static_cast<std::size_t>(c.channels),
                                               test::white_noise(0.2, 20000, 5));
        const std::vector<std::uint8_t> stream = encode(input, config);
        const std::vector<AdtsFrame> frames = parse_adts(stream);
        ASSERT_FALSE(frames.empty());
        for (const AdtsFrame& f : frames) {
            EXPECT_EQ(f.profile, c.profile_bits);
            EXPECT_EQ(f.sampling_index, c.index);
            EXPECT_EQ(f.channel_config, c.channels);
            EXPECT_EQ(f.raw_blocks, 0);
            EXPECT_LT(f.fullness, 0x7FF);               // constant rate: a real reservoir level
            EXPECT_LE(f.length - 7, 768 * c.channels);  // 6144 bits per channel
        }
    }
    EncoderConfig variable;
    variable.constant_rate = false;
    for (const AdtsFrame& f : parse_adts(encode(
             {test::sine(500, 0.2, 5000, 44100), test::sine(500, 0.2, 5000, 44100)}, variable))) {
        EXPECT_EQ(f.fullness, 0x7FF);
    }
}

TEST(Encoder, ClicksSwitchToShortWindowsLegally) {
    EncoderConfig config;
    config.bit_rate = 128000;
    const std::vector<double> x = test::clicks(44100, 44100, 11025);
    const std::vector<AdtsFrame> frames = parse_adts(encode({x, x}, config));
    int shorts = 0;
    for (std::size_t k = 1; k < frames.size(); ++k) {
        EXPECT_TRUE(is_legal_transition(frames[k - 1].sequence, frames[k].sequence))
            << "frame " << k;
        if (frames[k].sequence == WindowSequence::kEightShort) {
            ++shorts;
            EXPECT_EQ(frames[k].shape, WindowShape::kKbd);
        }
    }
    EXPECT_GE(shorts, 4);  // four clicks
    EXPECT_LE(shorts, 9);  // at most two frames per click, and the input's abrupt end
}

TEST(Encoder, ConstantRateHoldsTheRateOnEasyAndHardInput) {
    for (int rate : {64000, 128000, 256000}) {
        for (bool silent : {true, false}) {
            EncoderConfig config;
            config.bit_rate = rate;
            config.constant_rate = true;
            const int n = 44100 * 3;
            std::vector<double> x = silent ? std::vector<double>(static_cast<std::size_t>(n), 0.0)
                                           : test::white_noise(0.5, n, 9);
            const std::vector<std::uint8_t> stream = encode({x, x}, config);
            const std::size_t frames = parse_adts(stream).size();
            const double seconds = static_cast<double>(frames) * 1024.0 / 44100.0;
            const double measured = static_cast<double>(stream.size()) * 8.0 / seconds;
            // The reservoir may hold up to 6144 bits per channel less one frame.
            EXPECT_NEAR(measured, rate, rate * 0.05 + 12288.0 / seconds)
                << rate << (silent ? " silence" : " noise");
        }
    }
}

TEST(Encoder, RefusesUnusableSettings) {
    EncoderConfig config;
    config.sample_rate = 32000;
    EXPECT_THROW(Encoder(config, 56), std::invalid_argument);
    config = EncoderConfig{};
    config.channels = 7;
    EXPECT_THROW(Encoder(config, 56), std::invalid_argument);
    config = EncoderConfig{};
    config.bit_rate = 1000;
    EXPECT_THROW(Encoder(config, 56), std::invalid_argument);
    config.bit_rate = 600000;
    EXPECT_THROW(Encoder(config, 56), std::invalid_argument);
    EXPECT_EQ(max_bit_rate(44100, 2), 529200);
    EXPECT_EQ(min_bit_rate(1), 8000);
}

TEST(Encoder, BandwidthGrowsWithTheRate) {
    int previous = 0;
    for (int rate : {8000, 16000, 32000, 64000, 96000, 128000, 256000}) {
        const int hz = default_bandwidth(rate, 44100);
        EXPECT_GE(hz, previous);
        EXPECT_LT(hz, 22050);
        previous = hz;
    }
    EXPECT_GE(default_bandwidth(64000, 44100), 15000);
}

}  // namespace
}  // namespace brevix::aac
