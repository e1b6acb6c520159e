// WAV reader: sample conversion for every depth, the chunk walk on unusual and damaged
// files, and the refusals with their messages.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "core/wav_reader.h"
#include "support/test_files.h"

namespace brevix::aac {
namespace {

using test::format_chunk;
using test::pcm_bytes;
using test::RiffBuilder;

class WavReaderTest : public ::testing::Test {
protected:
    std::string write(const std::vector<std::uint8_t>& bytes) {
        const std::string path = dir_.file("in" + std::to_string(count_++) + ".wav");
        test::write_file(path, bytes);
        return path;
    }

    // Expects the reader to refuse the file with a message containing `words`.
    void expect_refused(const std::vector<std::uint8_t>& bytes, const std::string& words) {
        try {
            WavReader reader(write(bytes));
            ADD_FAILURE() << "accepted; expected: " << words;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
        }
    }

    std::vector<float> read_all(WavReader& reader, int channel) {
        std::vector<float> out;
        std::vector<float> a(4096), b(4096);
        float* planar[2] = {a.data(), b.data()};
        while (const int n = reader.read(planar, 1000)) {
            out.insert(out.end(), planar[channel], planar[channel] + n);
        }
        return out;
    }

    test::TempDir dir_;
    int count_ = 0;
};

TEST_F(WavReaderTest, ConvertsEveryDepthToSixteenBitScale) {
    const std::vector<double> values = {0.0, 0.5, -0.5, -1.0, 0.25};
    for (int bits : {8, 16, 24, 32}) {
        RiffBuilder riff;
        riff.chunk("fmt ", format_chunk(1, 2, 44100, bits));
        riff.chunk("data", pcm_bytes({values, values}, bits));
        WavReader reader(write(riff.bytes()));
        EXPECT_EQ(reader.format().bits_per_sample, bits);
        EXPECT_EQ(reader.format().frames, values.size());
        const std::vector<float> right = read_all(reader, 1);
        ASSERT_EQ(right.size(), values.size());
        for (std::size_t i = 0; i < values.size(); ++i) {
            EXPECT_NEAR(right[i], values[i] * 32768.0, 1e-3) << bits << " bits, sample " << i;
        }
        EXPECT_DOUBLE_EQ(reader.progress(), 1.0);
    }
}

TEST_F(WavReaderTest, ExtensiblePcmIsAccepted) {
    RiffBuilder riff;
    riff.chunk("fmt ", format_chunk(1, 1, 48000, 24, true));
    riff.chunk("data", pcm_bytes({{0.5, -0.25}}, 24));
    WavReader reader(write(riff.bytes()));
    EXPECT_EQ(reader.format().sample_rate, 48000);
    EXPECT_EQ(reader.format().channels, 1);
    const std::vector<float> samples = read_all(reader, 0);
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_NEAR(samples[1], -8192.0, 1e-3);
}

TEST_F(WavReaderTest, WalksPastOddSizedAndUnknownChunks) {
    RiffBuilder riff;
    riff.chunk("LIST", {'I', 'N', 'F', 'O', 'x'});  // odd size: padded
    riff.chunk("fmt ", format_chunk(1, 1, 44100, 16));
    riff.chunk("junk", std::vector<std::uint8_t>(7, 0xEE));
    riff.chunk("data", pcm_bytes({{0.1, 0.2, 0.3}}, 16));
    riff.chunk("id3 ", std::vector<std::uint8_t>(3, 0x11));
    WavReader reader(write(riff.bytes()));
    EXPECT_EQ(reader.format().frames, 3u);
    EXPECT_FALSE(reader.format().truncated);
    EXPECT_NEAR(read_all(reader, 0)[2], 0.3 * 32768.0, 1.0);
}

TEST_F(WavReaderTest, DataBeforeFormatIsFound) {
    RiffBuilder riff;
    riff.chunk("data", pcm_bytes({{0.1, 0.2}}, 16));
    riff.chunk("fmt ", format_chunk(1, 1, 44100, 16));
    WavReader reader(write(riff.bytes()));
    EXPECT_EQ(reader.format().frames, 2u);
    EXPECT_NEAR(read_all(reader, 0)[0], 0.1 * 32768.0, 1.0);
}

TEST_F(WavReaderTest, TruncatedDataIsReadUpToTheEnd) {
    RiffBuilder riff;
    riff.chunk("fmt ", format_chunk(1, 2, 44100, 16));
    std::vector<std::uint8_t> data = pcm_bytes({{0.1, 0.2, 0.3}, {0.1, 0.2, 0.3}}, 16);
    data.push_back(0x12);  // a partial sample frame
    riff.chunk("data", data, 1000000);
    std::vector<std::uint8_t> bytes = riff.bytes();
    bytes.pop_back();  // drop the pad byte so the file ends inside the data
    WavReader reader(write(bytes));
    EXPECT_TRUE(reader.format().truncated);
    EXPECT_EQ(reader.format().frames, 3u);
    EXPECT_EQ(read_all(reader, 0).size(), 3u);
}

TEST_F(WavReaderTest, StreamingSizeMeansUntilTheEnd) {
    RiffBuilder riff;
    riff.chunk("fmt ", format_chunk(1, 1, 44100, 16));
    riff.chunk("data", pcm_bytes({{0.1, 0.2, 0.3, 0.4}}, 16), 0xFFFFFFFF);
    WavReader reader(write(riff.bytes()));
    EXPECT_FALSE(reader.format().truncated);
    EXPECT_EQ(reader.format().frames, 4u);
}

TEST_F(WavReaderTest, EmptyDataGivesNoFrames) {
    RiffBuilder riff;
    riff.chunk("fmt ", format_chunk(1, 2, 44100, 16));
    riff.chunk("data", {});
    WavReader reader(write(riff.bytes()));
    EXPECT_EQ(reader.format().frames, 0u);
    EXPECT_TRUE(read_all(reader, 0).empty());
}

TEST_F(WavReaderTest, RefusesWhatItCannotRead) {
    auto with_format = [](const std::vector<std::uint8_t>& fmt) {
        RiffBuilder riff;
        riff.chunk("fmt ", fmt);
        riff.chunk("data", std::vector<std::uint8_t>(64, 0));
        return riff.bytes();
    };
    expect_refused({'R', 'I', 'F'}, "too short");
    expect_refused(RiffBuilder().chunk("fmt ", format_chunk(1, 1, 44100, 16)).bytes("AVI "),
                   "not a WAV file");
    expect_refused(std::vector<std::uint8_t>(100, 'x'), "not a WAV file");
    std::vector<std::uint8_t> rf64 = with_format(format_chunk(1, 1, 44100, 16));
    rf64[0] = 'R';
    rf64[1] = 'F';
    rf64[2] = '6';
    rf64[3] = '4';
    expect_refused(rf64, "RF64");
    expect_refused(with_format(format_chunk(3, 2, 44100, 32)), "floating-point");
    expect_refused(with_format(format_chunk(3, 2, 44100, 32, true)), "floating-point");
    expect_refused(with_format(format_chunk(2, 2, 44100, 4)), "compressed");
    expect_refused(with_format(format_chunk(1, 2, 22050, 16)), "22050 Hz");
    expect_refused(with_format(format_chunk(1, 2, 44100, 12)), "12-bit");
    expect_refused(with_format(format_chunk(1, 0, 44100, 16)), "no channels");
    expect_refused(with_format(format_chunk(1, 9, 44100, 16)), "9 channels");
    std::vector<std::uint8_t> bad_align = format_chunk(1, 2, 44100, 16);
    bad_align[12] = 3;
    expect_refused(with_format(bad_align), "block alignment");
    std::vector<std::uint8_t> short_format = format_chunk(1, 2, 44100, 16);
    short_format.resize(12);
    expect_refused(with_format(short_format), "format chunk is too short");
    expect_refused(RiffBuilder().chunk("data", std::vector<std::uint8_t>(8, 0)).bytes(),
                   "no format chunk");
    expect_refused(RiffBuilder().chunk("fmt ", format_chunk(1, 1, 44100, 16)).bytes(),
                   "no data chunk");
    // A format chunk that claims more than the file holds.
    expect_refused(RiffBuilder().chunk("fmt ", {1, 0, 1, 0}, 40).bytes(),
                   "format chunk is too short");
}

TEST_F(WavReaderTest, MissingFileNamesThePath) {
    try {
        WavReader reader(dir_.file("nothing-here.wav"));
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("nothing-here.wav"), std::string::npos);
    }
}

}  // namespace
}  // namespace brevix::aac
