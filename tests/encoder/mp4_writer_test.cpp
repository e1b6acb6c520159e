// The MP4 writer in-process, read back with the tests' own box parser: box sizes, the
// index (every frame found where the tables say, byte for byte), the durations and edit
// that give the source's exact length, the decoder configuration for every profile, rate
// and channel count, and 64-bit sizes and offsets past 4 GiB.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "core/encoder.h"
#include "core/mp4_writer.h"
#include "support/mp4_parser.h"
#include "support/test_files.h"

namespace brevix::aac {
namespace {

class MemoryFile : public ByteSink {
public:
    void write(const void* data, std::size_t bytes) override {
        const auto* p = static_cast<const std::uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + bytes);
    }
    void write_at(std::uint64_t offset, const void* data, std::size_t bytes) override {
        ASSERT_LE(offset + bytes, bytes_.size());
        std::memcpy(bytes_.data() + offset, data, bytes);
    }
    std::vector<std::uint8_t> bytes_;
};

// Passes frames on to a container and keeps a copy of each.
class Recorder : public FrameSink {
public:
    explicit Recorder(FrameSink& next) : next_(next) {}
    void write_frame(const std::uint8_t* data, std::size_t bytes, int fullness) override {
        frames_.emplace_back(data, data + bytes);
        next_.write_frame(data, bytes, fullness);
    }
    FrameSink& next_;
    std::vector<std::vector<std::uint8_t>> frames_;
};

struct Encoded {
    std::vector<std::uint8_t> file;
    std::vector<std::vector<std::uint8_t>> frames;
};

Encoded encode_mp4(int samples, int channels) {
    EncoderConfig config;
    config.channels = channels;
    config.bit_rate = 64000 * channels;
    MemoryFile file;
    Mp4Writer mp4({config.profile, config.sample_rate, channels}, file);
    Recorder recorder(mp4);
    Encoder encoder(config, mp4.overhead_bits_per_frame());
    std::vector<float> block(1024);
    std::vector<const float*> planar(static_cast<std::size_t>(channels), block.data());
    for (int start = 0; start < samples; start += 1024) {
        const int count = std::min(1024, samples - start);
        for (int i = 0; i < count; ++i) {
            block[static_cast<std::size_t>(i)] =
                static_cast<float>(8000.0 * std::sin(0.05 * (start + i)));
        }
        encoder.encode(planar.data(), count, recorder);
    }
    encoder.finish(recorder);
    mp4.finish(static_cast<std::uint64_t>(samples));
    return {file.bytes_, recorder.frames_};
}

TEST(Mp4Writer, IndexFindsEveryFrameAndTheEditGivesTheExactLength) {
    // Empty, one sample, a partial block, and more than one chunk with a short last chunk.
    for (const int n : {0, 1, 1500, Mp4Writer::kFramesPerChunk * 1024 + 5}) {
        SCOPED_TRACE(n);
        const Encoded e = encode_mp4(n, 2);
        const test::Mp4Track t = test::read_mp4_track(e.file);
        const std::size_t frames = e.frames.size();
        ASSERT_EQ(frames, static_cast<std::size_t>((n + 1023) / 1024 + 1));

        EXPECT_EQ(t.major_brand, "M4A ");
        EXPECT_EQ(t.handler, "soun");
        ASSERT_EQ(t.sample_sizes.size(), frames);
        EXPECT_FALSE(t.co64);
        EXPECT_FALSE(t.mdat_large);
        std::uint64_t payload = 0;
        for (std::size_t i = 0; i < frames; ++i) {
            EXPECT_EQ(t.sample_sizes[i], e.frames[i].size()) << "frame " << i;
            payload += t.sample_sizes[i];
        }
        EXPECT_EQ(payload, t.mdat_data_size);

        // Chunks: expand the sample-to-chunk runs and walk the frames through the file.
        ASSERT_FALSE(t.chunk_offsets.empty());
        EXPECT_EQ(t.chunk_offsets[0], t.mdat_data_offset) << "the first chunk opens mdat";
        ASSERT_EQ(t.sample_to_chunk.size() % 3, 0u);
        std::size_t frame = 0;
        for (std::size_t chunk = 0; chunk < t.chunk_offsets.size(); ++chunk) {
            std::uint32_t per_chunk = 0;
            for (std::size_t r = 0; r < t.sample_to_chunk.size(); r += 3) {
                if (t.sample_to_chunk[r] <= chunk + 1) {
                    per_chunk = t.sample_to_chunk[r + 1];
                }
                EXPECT_EQ(t.sample_to_chunk[r + 2], 1u);
            }
            std::uint64_t offset = t.chunk_offsets[chunk];
            for (std::uint32_t k = 0; k < per_chunk && frame < frames; ++k, ++frame) {
                ASSERT_LE(offset + t.sample_sizes[frame], e.file.size());
                const std::vector<std::uint8_t> stored(
                    e.file.begin() + static_cast<std::ptrdiff_t>(offset),
                    e.file.begin() + static_cast<std::ptrdiff_t>(offset + t.sample_sizes[frame]));
                EXPECT_EQ(stored, e.frames[frame]) << "frame " << frame;
                offset += t.sample_sizes[frame];
            }
        }
        EXPECT_EQ(frame, frames) << "the chunks hold every frame";

        // Time: sample-rate time scales; the media is priming + source, the edit skips the
        // priming and lasts exactly the source's length.
        EXPECT_EQ(t.movie_timescale, 44100u);
        EXPECT_EQ(t.media_timescale, 44100u);
        std::uint64_t media = 0;
        for (std::size_t r = 0; r < t.time_to_sample.size(); ++r) {
            media += std::uint64_t{t.time_to_sample[r].first} * t.time_to_sample[r].second;
            if (r + 1 < t.time_to_sample.size()) {
                EXPECT_EQ(t.time_to_sample[r].second, 1024u);
            }
        }
        EXPECT_EQ(media, 1024u + static_cast<std::uint64_t>(n));
        EXPECT_EQ(t.media_duration, media);
        ASSERT_EQ(t.edits.size(), 1u);
        EXPECT_EQ(t.edits[0].first, static_cast<std::uint64_t>(n));
        EXPECT_EQ(t.edits[0].second, 1024);
        EXPECT_EQ(t.movie_duration, static_cast<std::uint64_t>(n));
        EXPECT_EQ(t.track_duration, static_cast<std::uint64_t>(n));
    }
}

TEST(Mp4Writer, AccessUnitsAreRawDataBlocks) {
    const Encoded e = encode_mp4(3000, 6);
    const test::Mp4Track t = test::read_mp4_track(e.file);
    // No ADTS sync word in front: the first element of 5.1 is the centre's SCE, tag 0.
    const std::uint8_t first = e.file[static_cast<std::size_t>(t.chunk_offsets[0])];
    EXPECT_EQ(first >> 5, 0) << "single channel element";
    EXPECT_EQ((first >> 1) & 0xF, 0) << "instance tag 0";
    EXPECT_EQ(t.channel_count, 6);
}

TEST(Mp4Writer, DecoderConfigurationDescribesTheStream) {
    struct Expected {
        Profile profile;
        int rate;
        int channels;
        std::vector<std::uint8_t> config;
    };
    // Object type (5 bits), sampling-frequency index (4), channel configuration (4), three
    // zero flags.
    const std::vector<Expected> cases = {
        {Profile::kLowComplexity, 44100, 2, {0x12, 0x10}},
        {Profile::kMain, 44100, 2, {0x0A, 0x10}},
        {Profile::kMain, 44100, 1, {0x0A, 0x08}},
        {Profile::kLowComplexity, 44100, 3, {0x12, 0x18}},
        {Profile::kLowComplexity, 44100, 4, {0x12, 0x20}},
        {Profile::kLowComplexity, 44100, 5, {0x12, 0x28}},
        {Profile::kLowComplexity, 44100, 6, {0x12, 0x30}},
        {Profile::kLowComplexity, 48000, 6, {0x11, 0xB0}},
        {Profile::kMain, 48000, 2, {0x09, 0x90}},
    };
    for (const Expected& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.profile) << " " << c.rate << " Hz "
                                        << c.channels << " ch");
        MemoryFile file;
        Mp4Writer mp4({c.profile, c.rate, c.channels}, file);
        const std::vector<std::uint8_t> frame(100, 0x5A);
        mp4.write_frame(frame.data(), frame.size(), 0x7FF);
        mp4.write_frame(frame.data(), 60, 0x7FF);
        mp4.finish(100);
        const test::Mp4Track t = test::read_mp4_track(file.bytes_);
        EXPECT_EQ(t.audio_specific_config, c.config);
        EXPECT_EQ(Mp4Writer::audio_specific_config({c.profile, c.rate, c.channels}), c.config);
        EXPECT_EQ(t.object_type, 0x40);
        EXPECT_EQ(t.stream_type_byte, 0x15);
        EXPECT_EQ(t.sl_predefined, 2);
        EXPECT_EQ(t.channel_count, c.channels);
        EXPECT_EQ(t.sample_rate, static_cast<std::uint32_t>(c.rate));
        EXPECT_EQ(t.buffer_size, 768u * static_cast<std::uint32_t>(c.channels));
        // 160 bytes over two frames of 1024 samples.
        EXPECT_EQ(t.avg_bit_rate, static_cast<std::uint32_t>(160 * 8 * c.rate / 2048));
        EXPECT_GE(t.max_bit_rate, t.avg_bit_rate);
    }
}

// Keeps the start of the file and what comes after a marked position; counts the rest.
class SparseFile : public ByteSink {
public:
    void write(const void* data, std::size_t bytes) override {
        const auto* p = static_cast<const std::uint8_t*>(data);
        for (std::size_t i = 0; i < bytes && size_ + i < head_.size(); ++i) {
            head_[size_ + i] = p[i];
        }
        if (keep_tail_) {
            tail_.insert(tail_.end(), p, p + bytes);
        }
        size_ += bytes;
    }
    void write_at(std::uint64_t offset, const void* data, std::size_t bytes) override {
        ASSERT_LE(offset + bytes, head_.size());
        std::memcpy(head_.data() + offset, data, bytes);
    }
    std::vector<std::uint8_t> head_ = std::vector<std::uint8_t>(64);
    std::vector<std::uint8_t> tail_;
    std::uint64_t size_ = 0;
    bool keep_tail_ = false;
};

TEST(Mp4Writer, PastFourGigabytesSizesOffsetsAndTimesGrowTo64Bits) {
    // More than 2^32 bytes of media and more than 2^32 samples (44100 Hz, 1024 per frame).
    const std::uint64_t frames = (std::uint64_t{1} << 22) + 100;
    const std::vector<std::uint8_t> frame(1100, 0x21);
    SparseFile file;
    Mp4Writer mp4({Profile::kLowComplexity, 44100, 2}, file);
    for (std::uint64_t i = 0; i < frames; ++i) {
        mp4.write_frame(frame.data(), frame.size(), 0x7FF);
    }
    const std::uint64_t moov_offset = file.size_;
    file.keep_tail_ = true;
    const std::uint64_t source = frames * 1024 - 1024 - 500;
    mp4.finish(source);

    // ftyp, then the 16 bytes reserved for mdat now hold a 64-bit mdat header.
    const std::vector<test::Mp4Box> head =
        test::parse_boxes(std::vector<std::uint8_t>(file.head_.begin(), file.head_.begin() + 28));
    ASSERT_EQ(head.size(), 1u);
    EXPECT_EQ(head[0].type, "ftyp");
    const std::uint8_t* mdat = file.head_.data() + 28;
    EXPECT_EQ(std::vector<std::uint8_t>(mdat, mdat + 8),
              (std::vector<std::uint8_t>{0, 0, 0, 1, 'm', 'd', 'a', 't'}));
    std::uint64_t large = 0;
    for (int i = 8; i < 16; ++i) {
        large = (large << 8) | mdat[i];
    }
    EXPECT_EQ(28 + large, moov_offset) << "mdat ends where moov starts";

    const test::Mp4Track t = test::read_moov(file.tail_, moov_offset);
    EXPECT_EQ(moov_offset + file.tail_.size(), file.size_);
    EXPECT_TRUE(t.co64);
    ASSERT_EQ(t.sample_sizes.size(), frames);
    const std::uint64_t chunks = (frames + 63) / 64;
    ASSERT_EQ(t.chunk_offsets.size(), chunks);
    EXPECT_EQ(t.chunk_offsets[0], 44u);
    EXPECT_EQ(t.chunk_offsets.back(), 44 + (chunks - 1) * 64 * 1100);
    EXPECT_EQ(t.media_duration, source + 1024);
    EXPECT_EQ(t.movie_duration, source);
    ASSERT_EQ(t.edits.size(), 1u);
    EXPECT_EQ(t.edits[0].first, source);
    ASSERT_EQ(t.time_to_sample.size(), 2u);
    EXPECT_EQ(t.time_to_sample[1], (std::pair<std::uint32_t, std::uint32_t>{1, 524}));
}

TEST(Mp4Writer, RefusesWhatItCannotDescribe) {
    MemoryFile file;
    EXPECT_THROW(Mp4Writer({Profile::kLowComplexity, 44000, 2}, file), std::invalid_argument);
    EXPECT_THROW(Mp4Writer({Profile::kLowComplexity, 44100, 7}, file), std::invalid_argument);
    // A sink that cannot go back cannot finish an MP4 file.
    class Pipe : public ByteSink {
        void write(const void*, std::size_t) override {}
    } pipe;
    Mp4Writer mp4({Profile::kLowComplexity, 44100, 2}, pipe);
    EXPECT_THROW(mp4.finish(0), std::runtime_error);
}

}  // namespace
}  // namespace brevix::aac
