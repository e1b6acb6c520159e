// Noise substitution and intensity stereo, end to end: streams that use them, read back and
// decoded by ffmpeg and faad. Substituted noise differs from decoder to decoder, so there
// the decoders must agree on each band's energy (and give the source's), and everywhere
// else on the waveform.
#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "bench/clips.h"
#include "bench/listening.h"
#include "bench/stream_reader.h"
#include "support.h"

namespace brevix::test {
namespace {

class Tools : public ReferenceDecoderTest {
protected:
    // Encodes `source` with `switches` and returns how many bands of the stream use each
    // book; with `decode`, ffmpeg's (delay removed) and faad's decodings, of the expected
    // length.
    std::vector<int> encode(const std::vector<Signal>& source, std::vector<std::string> switches,
                            bool decode = false) {
        const std::string wav = dir_.file("in.wav");
        const std::string out = dir_.file("out.aac");
        EXPECT_TRUE(wav::write_file(wav, wav::file(source, 44100)));
        switches.insert(switches.end(), {"-nh", "-c", wav, "-o", out});
        EXPECT_EQ(mp4(switches).exit_code, 0);
        std::vector<int> books(16);
        const bench::AacStream s = bench::read_adts_file(out);
        EXPECT_EQ(s.mpeg_id, 0);
        for (const bench::RawFrame& f : s.frames) {
            for (const bench::Element& e : f.elements) {
                for (const bench::ChannelStream& c : e.channels) {
                    for (int book : c.book) {
                        ++books[static_cast<std::size_t>(book)];
                    }
                }
            }
        }
        if (decode) {
            ff_ = decode_with_ffmpeg(out, static_cast<int>(source.size()));
            fa_ = decode_with_faad(out, dir_.file("faad.wav"));
            EXPECT_EQ(ff_.error + fa_.error, "");
            const std::size_t n = (source[0].size() + 1023) / 1024 * 1024;
            EXPECT_EQ(ff_.frames(), n + kFfmpegAdtsDelay);
            EXPECT_EQ(fa_.frames(), n);
            for (auto& channel : ff_.samples) {
                channel.erase(channel.begin(), channel.begin() + kFfmpegAdtsDelay);
            }
        }
        return books;
    }

    // Energy per half-Bark band summed over the frames of `x`, in dB.
    std::vector<double> band_db(const std::vector<float>& x) const {
        std::vector<double> sum(static_cast<std::size_t>(meter_.band_count()));
        std::vector<double> e(sum.size());
        for (std::size_t at = 0; at + 2048 <= x.size(); at += 1024) {
            meter_.band_energy(x.data() + at, e.data());
            for (std::size_t b = 0; b < e.size(); ++b) {
                sum[b] += e[b];
            }
        }
        for (double& v : sum) {
            v = 10.0 * std::log10(v + 1e-9);
        }
        return sum;
    }

    bench::NmrMeter meter_{44100};
    Decoded ff_;
    Decoded fa_;
};

TEST_F(Tools, NoiseSubstitutionGivesTheBandsTheSourcesEnergyInBothDecoders) {
    // A tone below the substituted range over noise; the right channel nearly the left one,
    // so the decoder may share one noise between them.
    const int n = 66150;
    const Signal left = add(sine(700, 0.3, n), noise(0.2, n, 1));
    const Signal right = add(left, noise(0.02, n, 2));
    const std::vector<int> books = encode({left, right}, {"-r", "64000", "-no-is"}, true);
    EXPECT_GT(books[13], 300) << "noise bands";
    for (std::size_t c = 0; c < 2; ++c) {
        const std::vector<double> source = band_db(as_16_bit(c == 0 ? left : right));
        const std::vector<double> ff = band_db(ff_.samples[c]);
        const std::vector<double> fa = band_db(fa_.samples[c]);
        std::vector<float> difference(ff_.samples[c].size());
        for (std::size_t i = 0; i < difference.size() && i < fa_.samples[c].size(); ++i) {
            difference[i] = ff_.samples[c][i] - fa_.samples[c][i];
        }
        const std::vector<double> apart = band_db(difference);
        for (int b = 0; b < meter_.band_count(); ++b) {
            const double hz = meter_.band_centre_hz(b);
            const std::size_t i = static_cast<std::size_t>(b);
            if (hz < 2500) {
                // Where nothing is substituted (clear of the noise's first band, from
                // 3.1 kHz) the waveforms agree.
                EXPECT_LT(apart[i], source[i] - 60.0) << hz << " Hz";
            } else if (hz > 4500 && hz < 11000) {
                EXPECT_NEAR(ff[i], source[i], 1.0) << hz << " Hz";
                EXPECT_NEAR(fa[i], source[i], 1.0) << hz << " Hz";
            }
        }
    }
    EXPECT_EQ(encode({left, right}, {"-r", "64000", "-no-pns"})[13], 0);
    EXPECT_EQ(encode({left, right}, {"-r", "256000"})[13], 0);
}

// At the higher rates noise stands in only for bands that would be left empty: a hiss
// below the threshold in quiet comes back at its level instead of dropping out.
TEST_F(Tools, HighRatesFillTheBandsTheyWouldLeaveEmpty) {
    const int n = 66150;
    const Signal x = add(sine(700, 0.3, n), noise(0.0004, n, 4));
    EXPECT_GT(encode({x}, {"-r", "128000"}, true)[13], 100);
    const std::vector<double> source = band_db(as_16_bit(x));
    const std::vector<double> ff = band_db(ff_.samples[0]);
    for (int b = 0; b < meter_.band_count(); ++b) {
        if (meter_.band_centre_hz(b) > 5000) {
            EXPECT_NEAR(ff[static_cast<std::size_t>(b)], source[static_cast<std::size_t>(b)], 1.0)
                << meter_.band_centre_hz(b) << " Hz";
        }
    }
}

TEST_F(Tools, IntensityStereoKeepsTheLevelAndPhaseOfTheRightChannel) {
    const int n = 66150;
    const Signal left = add(sine(500, 0.3, n), noise(0.3, n, 3));
    for (const double gain : {0.5, -0.3535534}) {  // 6 and 9 dB: whole intensity steps
        Signal right = left;
        for (double& v : right) {
            v *= gain;
        }
        const std::vector<int> books = encode({left, right}, {"-r", "64000", "-no-pns"}, true);
        EXPECT_GT(books[gain > 0 ? 15 : 14], 200) << gain;
        EXPECT_EQ(books[gain > 0 ? 14 : 15], 0) << gain;
        EXPECT_LE(max_difference(ff_.samples[1], 0, fa_.samples[1], 0, right.size()), 3.0);
        // The right channel follows the left one with the source's gain and sign: as close
        // to its source as the left one, and at the source's level difference.
        const double snr_left = bench::snr_db(as_16_bit(left), ff_.samples[0], 0);
        const double snr_right = bench::snr_db(as_16_bit(right), ff_.samples[1], 0);
        std::printf("[ measure  ] gain %.1f: SNR left %.2f right %.2f\n", gain, snr_left,
                    snr_right);
        EXPECT_NEAR(snr_right, snr_left, 1.0) << gain;
        const std::vector<double> l = band_db(ff_.samples[0]);
        const std::vector<double> r = band_db(ff_.samples[1]);
        for (int b = 0; b < meter_.band_count(); ++b) {
            const double hz = meter_.band_centre_hz(b);
            const std::size_t i = static_cast<std::size_t>(b);
            if (hz > 7000 && hz < 10000) {
                EXPECT_NEAR(r[i] - l[i], 20.0 * std::log10(std::fabs(gain)), 0.3) << hz << " Hz";
            }
        }
        EXPECT_EQ(encode({left, right}, {"-r", "64000", "-no-pns", "-no-is"})[15], 0);
    }
    EXPECT_EQ(encode({left, left}, {"-r", "256000"})[15], 0);
}

// What a listener hears at once in a pair, each fault caught on the benchmark's clip
// where it happened: a channel that drops out for 3 ms (a bass note's window grouped with
// an attack's), a voice starved beside a harpsichord's attacks (short windows forced on
// both, or noise in place of its upper formants) or its fricatives' bands left empty
// below where noise may stand in (also where a demanding passage had drained the bits
// before them), noise energies out of a decoder's range (a tone's silent high bands), a
// steady tone's coding noise spread over the bands around it (its window's side lobes),
// an anti-phase image turned into two unrelated noises, dense low chords coded as if they
// were noise (the partials below 1 kHz, and from 40 kbit/s per channel their bass), and
// partly alike noise blurred by each channel's own quantisation noise at a high rate.
TEST_F(Tools, StereoPairsKeepEveryChannelTheImageAndACleanStream) {
    const auto clip = [](const char* name, double seconds, double from) {
        const bench::Clip c = bench::make_clip(name, seconds);
        std::vector<Signal> x;
        for (const std::vector<float>& channel : c.channels) {
            x.emplace_back(channel.begin() + static_cast<std::ptrdiff_t>(from * 44100),
                           channel.end());
        }
        return x;
    };
    Signal minus = noise(0.3, 88200, 8);
    for (double& v : minus) {
        v = -v;
    }
    // Noise whose channels correlate by 0.6: at a high rate, left/right's independent
    // quantisation noise would blur it by 0.05.
    const Signal common = noise(0.3, 88200, 9);
    Signal alike = noise(0.24, 88200, 10);
    for (std::size_t i = 0; i < alike.size(); ++i) {
        alike[i] += 0.6 * common[i];
    }
    const std::vector<Signal> chords = clip("chords", 3.0, 0.0);
    const struct {
        std::vector<Signal> source;
        const char* rate;
        double image;  // the largest error of a band's correlation
    } cases[] = {{clip("clipped_mix", 8.0, 0.0), "64000", 0.1},
                 {clip("wide_pair", 6.0, 3.0), "64000", 0.1},
                 {clip("tone_clicks", 2.0, 0.0), "128000", 0.1},
                 {{noise(0.3, 88200, 8), minus}, "64000", 0.1},
                 {chords, "64000", 0.1},
                 {{common, alike}, "256000", 0.02},
                 {chords, "80000", 0.1},
                 {clip("speech_music", 11.5, 4.0), "64000", 0.1}};
    for (std::size_t c = 0; c < std::size(cases); ++c) {
        SCOPED_TRACE(c);
        encode(cases[c].source, {"-r", cases[c].rate}, true);
        bench::Channels source;
        for (const Signal& x : cases[c].source) {
            source.push_back(as_16_bit(x));
        }
        for (const bench::Channels* decoded : {&ff_.samples, &fa_.samples}) {
            EXPECT_EQ(bench::find_dropouts(source, *decoded, 0, 44100).events, 0);
            EXPECT_LT(bench::stereo_image(source, *decoded, 0, 44100).error, cases[c].image);
        }
        const bench::ChildRun r = bench::run_child(
            {"ffmpeg", "-v", "warning", "-f", "aac", "-i", dir_.file("out.aac"), "-f", "null", "-"},
            false);
        EXPECT_EQ(r.err.find("noise"), std::string::npos) << r.err;
        const std::vector<double> low = bench::low_band_snr(source, ff_.samples, 0, 44100);
        if (c == 1) {
            EXPECT_GT(low[1], 7.0) << "the voice";
            EXPECT_EQ(bench::hole_share({source[1]}, {ff_.samples[1]}, 0, 44100, 1000.0, 4000.0),
                      0.0)
                << "a fricative's band left empty";
        }
        if (c == 7) {
            EXPECT_LT(bench::hole_share(source, ff_.samples, 0, 44100, 1000.0, 4000.0), 0.001)
                << "a fricative's bands left empty after a demanding passage";
        }
        if (c == 2) {
            std::printf("[ measure  ] the tone below 4 kHz: %.2f dB\n", low[1]);
            EXPECT_GT(low[1], 60.0) << "a steady tone's noise spread around it";
        }
        if (c == 4 || c == 6) {
            std::printf("[ measure  ] chords below 4 kHz at %s bit/s: %.2f %.2f dB\n",
                        cases[c].rate, low[0], low[1]);
            EXPECT_GT(std::min(low[0], low[1]), c == 4 ? 14.0 : 22.0)
                << "dense chords heard as noise";
        }
    }
}

}  // namespace
}  // namespace brevix::test
