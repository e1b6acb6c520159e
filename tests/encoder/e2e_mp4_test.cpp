// MP4 output end to end: the mp4 program writes .mp4/.m4a files that ffmpeg and faad
// decode from the source's first sample on (the edit list removes the priming), and that
// ffprobe reports with the source's exact duration, its channels and rate, and the
// requested bit rate.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/decoders.h"
#include "support/mp4_parser.h"
#include "support/process.h"
#include "support/test_files.h"

namespace brevix::test {
namespace {

class Mp4Test : public ReferenceDecoderTest {
protected:
    void encode(const std::string& wav, const std::string& out, std::vector<std::string> switches) {
        std::vector<std::string> args = {mp4_binary(), "-nh"};
        args.insert(args.end(), switches.begin(), switches.end());
        args.insert(args.end(), {wav, "-o", out});
        const ProcessResult r = run_process(args);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        const std::vector<std::uint8_t> bytes = read_file(out);
        ASSERT_GT(bytes.size(), 8u);
        EXPECT_EQ(std::string(bytes.begin() + 4, bytes.begin() + 8), "ftyp");
    }

    TempDir dir_;
};

// Music-like material that no delay can line up with itself: a chord, noise and attacks.
std::vector<double> material(int n, int rate, std::uint32_t seed) {
    return add(add(chord({196, 247, 294, 392, 988}, 0.5, n, rate), white_noise(0.03, n, seed)),
               clicks(n, rate, rate / 3));
}

std::vector<double> pcm16(const std::vector<double>& x) {
    const std::vector<std::int16_t> v = to_int16(x);
    return std::vector<double>(v.begin(), v.end());
}

TEST_F(Mp4Test, DecodersPlayFromTheFirstSourceSample) {
    struct Case {
        std::string name;  // the extension picks the container, in any case
        int rate;
        int channels;
        std::vector<std::string> switches;
        double min_snr_db;  // about 5 dB below what the encoder achieves today
    };
    const std::vector<Case> cases = {
        {"stereo.m4a", 44100, 2, {"-c", "-r", "128000", "-lc"}, 11.0},
        {"mono main.MP4", 48000, 1, {"-r", "64000", "-main"}, 8.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int n = c.rate * 13 / 10 + 77;  // ends inside a frame
        std::vector<std::vector<double>> source;
        for (int ch = 0; ch < c.channels; ++ch) {
            source.push_back(material(n, c.rate, static_cast<std::uint32_t>(ch + 1)));
        }
        const std::string wav = dir_.file(c.name + ".wav");
        const std::string out = dir_.file(c.name);
        write_wav(wav, source, c.rate);
        encode(wav, out, c.switches);
        // The program's file (written through its temporary file, the mdat size filled in
        // at the end) holds the index the writer's own tests check in memory.
        const Mp4Track track = read_mp4_track(read_file(out));
        EXPECT_EQ(track.sample_sizes.size(), static_cast<std::size_t>((n + 1023) / 1024 + 1));
        ASSERT_EQ(track.edits.size(), 1u);
        EXPECT_EQ(track.edits[0].first, static_cast<std::uint64_t>(n));

        const Decoded ff = decode_with_ffmpeg(out, c.channels);
        const Decoded fa = decode_with_faad(out, dir_.file("faad.wav"));
        ASSERT_TRUE(ff.ok) << ff.error;
        ASSERT_TRUE(fa.ok) << fa.error;
        const std::size_t whole_frames = (static_cast<std::size_t>(n) + 1023) / 1024 * 1024;
        EXPECT_EQ(ff.frames(), whole_frames);
        EXPECT_EQ(fa.frames(), whole_frames);
        for (int ch = 0; ch < c.channels; ++ch) {
            const auto i = static_cast<std::size_t>(ch);
            const double snr = snr_db(pcm16(source[i]), ff.samples[i], kMp4Delay);
            std::printf("[ measure  ] %s channel %d: SNR %.1f dB\n", c.name.c_str(), ch, snr);
            EXPECT_GE(snr, c.min_snr_db) << "channel " << ch;
            EXPECT_LE(max_difference(ff.samples[i], kMp4Delay, fa.samples[i], kMp4Delay,
                                     static_cast<std::size_t>(n)),
                      3.0)
                << "decoders disagree on channel " << ch;
        }

        // The file says exactly how long the source is.
        const auto probe = ffprobe(out, "stream=duration,channels,sample_rate");
        ASSERT_FALSE(probe.empty());
        EXPECT_NEAR(std::stod(probe.at("duration")), static_cast<double>(n) / c.rate, 2e-6);
        EXPECT_EQ(probe.at("channels"), std::to_string(c.channels));
        EXPECT_EQ(probe.at("sample_rate"), std::to_string(c.rate));
    }
}

TEST_F(Mp4Test, FfprobeReportsTheRequestedBitRate) {
    struct Case {
        int channels;
        int bit_rate;
        std::string layout;
    };
    // Stereo at the front end's default, and 5.1 at the total the front end passes for its
    // default row (a low rate per channel).
    for (const Case& c : {Case{2, 128000, "stereo"}, Case{6, 128000, "5.1"}}) {
        SCOPED_TRACE(c.layout);
        const int seconds = 10;
        const int n = 44100 * seconds;
        std::vector<std::vector<double>> source;
        for (int ch = 0; ch < c.channels; ++ch) {
            source.push_back(material(n, 44100, static_cast<std::uint32_t>(ch + 7)));
        }
        const std::string wav = dir_.file("long.wav");
        const std::string out = dir_.file("long.m4a");
        write_wav(wav, source, 44100);
        encode(wav, out, {"-c", "-r", std::to_string(c.bit_rate)});
        const auto stream = ffprobe(out, "stream=channels,channel_layout,duration,bit_rate");
        const auto format = ffprobe(out, "format=duration,bit_rate");
        ASSERT_FALSE(stream.empty());
        ASSERT_FALSE(format.empty());
        EXPECT_EQ(stream.at("channels"), std::to_string(c.channels));
        EXPECT_EQ(stream.at("channel_layout"), c.layout);
        EXPECT_NEAR(std::stod(stream.at("duration")), seconds, 1e-6);
        EXPECT_NEAR(std::stod(format.at("duration")), seconds, 1e-6);
        const double stream_rate = std::stod(stream.at("bit_rate"));
        const double file_rate = std::stod(format.at("bit_rate"));
        std::printf("[ measure  ] %d channels -r %d: stream %.0f, file %.0f bits/s\n", c.channels,
                    c.bit_rate, stream_rate, file_rate);
        EXPECT_NEAR(stream_rate, c.bit_rate, c.bit_rate * 0.05);
        EXPECT_NEAR(file_rate, c.bit_rate, c.bit_rate * 0.05);
    }
}

TEST_F(Mp4Test, EmptyInputPlaysNothing) {
    const std::string wav = dir_.file("empty.wav");
    const std::string out = dir_.file("empty.m4a");
    write_wav(wav, {{}, {}}, 44100);
    encode(wav, out, {});
    const Decoded ff = decode_with_ffmpeg(out, 2);
    ASSERT_TRUE(ff.ok) << ff.error;
    EXPECT_EQ(ff.frames(), 0u) << "the edit list hides the priming frame";
}

}  // namespace
}  // namespace brevix::test
