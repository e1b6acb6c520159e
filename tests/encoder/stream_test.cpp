// End to end: WAV files made here are encoded by the mp4 program (ADTS and MP4, 1 to 6
// channels) and decoded by two independent decoders, ffmpeg and faad. Both must accept
// every frame, agree with each other, give back the source's length and sound like it by
// an objective measure; ffprobe must report the exact duration, layout and bit rate.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bench/clips.h"
#include "bench/core_encode.h"
#include "core/encoder.h"
#include "support.h"

namespace brevix::test {
namespace {

// faad's channel for ffmpeg's channel `d`: faad puts the centre first for 3 to 5 channels.
std::size_t faad_channel(std::size_t d, std::size_t count) {
    return count < 3 || count > 5 || d > 2 ? d : (d + 1) % 3;
}

class Stream : public ReferenceDecoderTest {
protected:
    // Encodes `channels` into `name` (whose extension picks the container) and decodes it
    // with both decoders. Each of ffmpeg's channels must sound like its source channel
    // (`place`: the source channel of each decoded one, -1 for a place that must stay
    // silent; `expected`: what each source channel should sound like) at `min_snr_db` or
    // better: about 5 dB below what the encoder achieves today, as a wrong window,
    // scalefactor or sign costs far more. Returns ffmpeg's decoding (empty if it failed).
    Decoded round_trip(const std::string& name, const std::vector<Signal>& channels,
                       std::vector<std::string> switches, double min_snr_db, int rate = 44100,
                       int bits = 16, std::uint32_t mask = 0, std::vector<int> place = {},
                       std::vector<Signal> expected = {}) {
        SCOPED_TRACE(name);
        const std::string wav = dir_.file("in.wav");
        const std::string out = dir_.file(name);
        EXPECT_TRUE(wav::write_file(wav, wav::file(channels, rate, bits, mask)));
        const bool constant_rate = std::count(switches.begin(), switches.end(), "-c") == 1;
        // Substituted noise differs from decoder to decoder (tools_test.cpp checks it).
        switches.insert(switches.begin(), {"-nh", "-no-pns"});
        switches.insert(switches.end(), {wav, "-o", out});
        const bench::ChildRun run = mp4(switches);
        EXPECT_EQ(run.exit_code, 0) << run.err;
        for (std::size_t i = place.size(); i < channels.size(); ++i) {
            place.push_back(static_cast<int>(i));
        }
        expected = expected.empty() ? channels : expected;

        const Decoded ff = decode_with_ffmpeg(out, static_cast<int>(place.size()));
        const Decoded fa = decode_with_faad(out, dir_.file("faad.wav"));
        EXPECT_EQ(ff.error + fa.error, "");
        if (!ff.error.empty() || !fa.error.empty()) {
            return {};
        }
        const std::size_t n = channels[0].size();
        const std::size_t whole_frames = (n + 1023) / 1024 * 1024;
        const bool adts = name.find(".aac") != std::string::npos;
        const int delay = adts ? kFfmpegAdtsDelay : 0;
        EXPECT_EQ(ff.frames(), whole_frames + static_cast<std::size_t>(delay));
        EXPECT_EQ(fa.frames(), whole_frames);
        EXPECT_EQ(fa.samples.size(), std::max<std::size_t>(place.size(), 2)) << "mono: 2";
        if (adts) {
            expect_adts_frames(out, whole_frames / 1024 + 1, place.size(), constant_rate);
        } else {
            // ffprobe follows the edit list; faad reads the media's length with the priming.
            auto probe = ffprobe(out, "stream=duration:stream_tags=language");
            EXPECT_NEAR(std::atof(probe["duration"].c_str()), static_cast<double>(n) / rate, 2e-6);
            EXPECT_EQ(probe["TAG:language"], "und");
            EXPECT_EQ(faad_info(out)["Total samples"], std::to_string(n + 1024));
        }
        for (std::size_t d = 0; d < place.size(); ++d) {
            EXPECT_LE(max_difference(ff.samples[d], delay,
                                     fa.samples[faad_channel(d, place.size())], 0, n),
                      3.0)
                << "the decoders disagree on channel " << d;
            if (place[d] < 0) {
                EXPECT_LE(max_difference(ff.samples[d], 0, {}, 0, ff.frames()), 1.0)
                    << "channel " << d << " has no source and must be silent";
                continue;
            }
            const Signal& source = expected[static_cast<std::size_t>(place[d])];
            std::vector<float> reference = as_16_bit(source);
            for (std::size_t i = 0; bits > 16 && i < n; ++i) {
                reference[i] = static_cast<float>(source[i] * 32768.0);
            }
            const double snr = bench::snr_db(reference, ff.samples[d], delay);
            std::printf("[ measure  ] %s channel %zu: SNR %.1f dB\n", name.c_str(), d, snr);
            EXPECT_GE(snr, min_snr_db) << "channel " << d;
        }
        return ff;
    }

    // Every frame read back completely: MPEG-4, no CRC, one raw data block, at most 6144
    // bits a channel, and the reservoir's fullness in constant-rate mode (0x7FF: variable).
    static void expect_adts_frames(const std::string& path, std::size_t frames,
                                   std::size_t channels, bool constant_rate) {
        const bench::AacStream s = bench::read_adts_file(path);
        EXPECT_EQ(s.mpeg_id, 0);
        EXPECT_FALSE(s.crc);
        EXPECT_EQ(s.frames.size(), frames);
        for (const bench::RawFrame& f : s.frames) {
            EXPECT_LE(f.frame_bytes, 7 + 768 * static_cast<int>(channels));
            EXPECT_EQ(f.buffer_fullness == 0x7FF, !constant_rate);
        }
    }
};

// Tonal material fades in over 20 ms, so the measure judges the steady sound.
Signal tone(double hz, double amplitude, int n, int rate = 44100, double phase = 0.0) {
    return fade_in(sine(hz, amplitude, n, rate, phase), 882);
}

Signal chord(const std::vector<double>& hz, double amplitude, int n, int rate = 44100) {
    Signal x(static_cast<std::size_t>(n), 0.0);
    for (std::size_t k = 0; k < hz.size(); ++k) {
        x = add(x, tone(hz[k], amplitude / static_cast<double>(hz.size()), n, rate, 0.7 * k));
    }
    return x;
}

// Music-like material that no delay lines up with itself: a chord, noise and attacks.
Signal material(int n, int rate, std::uint32_t seed) {
    return add(add(chord({196, 247, 294, 392, 988}, 0.5, n, rate), noise(0.03, n, seed)),
               clicks(n, rate, rate / 3));
}

TEST_F(Stream, TonesChordsAndOddFormatsComeBackClean) {
    const int n = 88200;
    round_trip("tone_stereo_lc.aac", {tone(1000, 0.5, n), tone(1000, 0.5, n, 44100, 0.3)},
               {"-c", "-r", "128000", "-lc"}, 42.0);
    round_trip("chord_mono_main_48k.aac", {chord({262, 330, 392, 523}, 0.7, 96000, 48000)},
               {"-c", "-r", "64000", "-main"}, 35.0, 48000);
    round_trip("chord_stereo_24bit_48k.aac",
               {chord({220, 277, 330, 440, 880}, 0.8, 96000, 48000),
                chord({147, 220, 294, 587}, 0.6, 96000, 48000)},
               {"-c", "-r", "192000"}, 44.0, 48000, 24);
    round_trip("tone_mono_8bit.aac", {tone(440, 0.6, n)}, {"-r", "96000"}, 28.0, 44100, 8);
    round_trip("odd_length_32bit_main.aac", {tone(500, 0.4, 44433), tone(600, 0.4, 44433)},
               {"-c", "-r", "128000", "-main"}, 40.0, 44100, 32);
    Signal square(44100);
    for (std::size_t i = 0; i < square.size(); ++i) {
        square[i] = (i * 200 / 44100) % 2 == 0 ? 1.0 : -1.0;
    }
    round_trip("square_full_scale.aac", {square}, {"-c", "-r", "128000"}, 23.0);
}

TEST_F(Stream, ChannelsStaySeparateAndTransientsAndNoiseComeThrough) {
    // Unrelated left and right: a fault in mid/side coding would leak one into the other.
    const int n = 88200;
    round_trip("separate.aac", {tone(440, 0.5, n), add(tone(3000, 0.3, n), noise(0.01, n, 3))},
               {"-c", "-r", "128000"}, 28.0);
    round_trip("one_side_silent.aac", {tone(700, 0.5, n), Signal(n, 0.0)},
               {"-c", "-r", "96000", "-main"}, 25.0, 44100, 16, 0, {0, -1});
    const Signal c = clicks(n, 44100, 8000);
    round_trip("clicks_main.aac", {c, c}, {"-c", "-r", "128000", "-main"}, 30.0);
    const bench::AacStream clicked = bench::read_adts_file(dir_.file("clicks_main.aac"));
    EXPECT_EQ(clicked.profile, 0);
    EXPECT_TRUE(std::any_of(clicked.frames.begin(), clicked.frames.end(), [](const auto& f) {
        return f.elements[0].channels[1].short_windows();
    }));
    // Noise is coded to its masking threshold, not to its waveform; its loudness must come
    // through (less the band above the encoder's bandwidth).
    const Signal left = noise(0.3, n, 1);
    const Decoded d =
        round_trip("noise.aac", {left, noise(0.3, n, 2)}, {"-c", "-r", "128000"}, 1.5);
    double source = 0.0;
    double decoded = 0.0;
    for (std::size_t i = 0; !d.samples.empty() && i < left.size(); ++i) {
        source += left[i] * left[i] * 32768.0 * 32768.0;
        decoded += d.samples[0][i + kFfmpegAdtsDelay] * d.samples[0][i + kFfmpegAdtsDelay];
    }
    EXPECT_NEAR(10.0 * std::log10(decoded / source), -1.0, 2.0);
}

// Windows with temporal noise shaping filters in long and in short windows, leaving out
// `skip` frames at either end.
std::pair<int, int> tns_windows(const bench::AacStream& s, std::size_t skip = 0) {
    std::pair<int, int> count;
    for (std::size_t i = skip; i + skip < s.frames.size(); ++i) {
        for (const bench::ChannelStream& c : s.frames[i].elements[0].channels) {
            (c.short_windows() ? count.second : count.first) += c.tns_data_present ? 1 : 0;
        }
    }
    return count;
}

// Voiced syllables: pulses at 120 Hz, each ringing at two formants, 0.25 s on, 0.15 s off.
Signal pulses(int n, int rate) {
    Signal x(static_cast<std::size_t>(n), 0.0);
    for (int p = rate / 10; p < n; p += rate / 120) {
        for (int k = 0; k < rate / 125 && p + k < n && p % (rate * 2 / 5) < rate / 4; ++k) {
            const double t = 6.2831853 * k / rate;
            x[static_cast<std::size_t>(p + k)] +=
                std::exp(-80.0 * t) * (0.25 * std::sin(1800 * t) + 0.15 * std::sin(2800 * t));
        }
    }
    return x;
}

// The stream of an in-process encoding with `tools`, which the program cannot switch.
bench::AacStream encode(const std::vector<Signal>& x, int rate, aac::EncoderConfig::Tools tools,
                        aac::Profile profile = aac::Profile::kLowComplexity) {
    aac::EncoderConfig config;
    config.sample_rate = rate;
    config.channels = static_cast<int>(x.size());
    config.tools = tools;
    config.profile = profile;
    std::vector<std::vector<float>> pcm;
    for (const Signal& channel : x) {
        pcm.push_back(as_16_bit(channel));
    }
    return bench::read_adts(bench::encode_adts(config, pcm));
}

// Attacks get filters in short windows (castanets, drums), voiced speech in long ones;
// the decoders undo them alike, mono and stereo (one filter for both channels, under
// M/S), in both profiles and at both rates. A steady tone gets none, nor does anything
// with the tool off.
TEST_F(Stream, TemporalNoiseShapingFollowsAttacksAndPulses) {
    const bench::Clip drums = bench::make_clip("transients", 3.0);
    const Signal left(drums.channels[0].begin(), drums.channels[0].end());
    const Signal right(drums.channels[1].begin(), drums.channels[1].end());
    const Signal voice = pulses(3 * 44100, 44100);
    round_trip("drums_lc.aac", {left, right}, {"-c", "-r", "96000"}, 5.0);
    round_trip("voice_main.aac", {voice}, {"-c", "-r", "64000", "-main"}, 5.0);
    const Signal c48 = clicks(3 * 48000, 48000, 12000);
    round_trip("clicks_main_48k.aac", {c48, c48}, {"-c", "-r", "128000", "-main"}, 5.0, 48000);
    round_trip("clicks_lc_48k.aac", {c48}, {"-c", "-r", "64000"}, 5.0, 48000);
    EXPECT_GT(tns_windows(bench::read_adts_file(dir_.file("drums_lc.aac"))).second, 0);
    EXPECT_GT(tns_windows(bench::read_adts_file(dir_.file("voice_main.aac"))).first, 0);
    EXPECT_GT(tns_windows(bench::read_adts_file(dir_.file("clicks_main_48k.aac"))).second, 0);
    EXPECT_GT(tns_windows(bench::read_adts_file(dir_.file("clicks_lc_48k.aac"))).second, 0);

    const Signal steady = tone(1000, 0.5, 3 * 44100);
    EXPECT_EQ(tns_windows(encode({steady, steady}, 44100, {}), 3), std::make_pair(0, 0));
    aac::EncoderConfig::Tools off;
    off.tns = false;
    EXPECT_EQ(tns_windows(encode({left, right}, 44100, off)), std::make_pair(0, 0));
    EXPECT_EQ(tns_windows(encode({voice}, 44100, off)), std::make_pair(0, 0));
}

// How a stream uses prediction: long frames, those with predictor data, predicted bands
// among the flags sent, and whether the reset groups cycle 1..30 frame after frame.
struct PredictionUse {
    int long_frames = 0, with_data = 0, used = 0, flags = 0;
    bool cycling = true;
};

PredictionUse prediction_use(const bench::AacStream& s) {
    PredictionUse u;
    int last_group = 0;
    for (const bench::RawFrame& f : s.frames) {
        const bench::ChannelStream& c = f.elements[0].channels[0];
        u.long_frames += c.short_windows() ? 0 : 1;
        if (c.predictor_data_present) {
            ++u.with_data;
            u.used +=
                static_cast<int>(std::count(c.prediction_used.begin(), c.prediction_used.end(), 1));
            u.flags += static_cast<int>(c.prediction_used.size());
            u.cycling = u.cycling && c.predictor_reset &&
                        (last_group == 0 || c.predictor_reset_group == last_group % 30 + 1);
            last_group = c.predictor_reset_group;
        }
    }
    return u;
}

// Main-profile prediction on sustained chords with attacks (short windows reset the
// predictors): both decoders stay in step with the encoder to the end (a predictor state
// out of step would drift), most long frames predict, and the resets cycle. LC streams
// and the Main profile with prediction switched off carry no predictor data.
TEST_F(Stream, MainProfilePredictionStaysInStepWithBothDecoders) {
    const int n = 12 * 44100;
    const std::vector<double> notes = {82, 131, 165, 196, 262, 330, 392, 523, 659, 784, 1047, 1319};
    const Signal left = add(chord(notes, 0.6, n), clicks(n, 44100, 3 * 44100));
    const Signal right =
        add(chord({73, 147, 185, 220, 294, 370, 440, 587, 740, 880, 1175, 1480}, 0.5, n),
            clicks(n, 44100, 4 * 44100));
    round_trip("predicted.aac", {left, right}, {"-c", "-r", "128000", "-main"}, 40.0);
    const PredictionUse stereo = prediction_use(bench::read_adts_file(dir_.file("predicted.aac")));
    EXPECT_GT(stereo.with_data, stereo.long_frames * 4 / 5);
    EXPECT_GT(stereo.used, stereo.flags / 6);
    EXPECT_TRUE(stereo.cycling);
    const Signal mono = chord(notes, 0.7, n, 48000);
    round_trip("predicted_mono.aac", {mono}, {"-c", "-r", "64000", "-main"}, 39.0, 48000);
    const PredictionUse one =
        prediction_use(bench::read_adts_file(dir_.file("predicted_mono.aac")));
    EXPECT_GT(one.with_data, one.long_frames * 4 / 5);
    round_trip("not_predicted.aac", {mono}, {"-c", "-r", "64000", "-lc"}, 30.0, 48000);
    EXPECT_EQ(prediction_use(bench::read_adts_file(dir_.file("not_predicted.aac"))).with_data, 0);

    aac::EncoderConfig::Tools no_prediction;
    no_prediction.prediction = false;
    const Signal second_l(left.begin(), left.begin() + 44100);
    const Signal second_r(right.begin(), right.begin() + 44100);
    EXPECT_EQ(
        prediction_use(encode({second_l, second_r}, 44100, no_prediction, aac::Profile::kMain))
            .with_data,
        0);
}

// The stream reader on ffmpeg's encoder, which uses noise substitution, intensity stereo
// and TNS at this rate: every byte is read, and a frame one byte too long is named.
TEST_F(Stream, TheStreamReaderReadsEveryToolOfAnotherEncoder) {
    const int n = 3 * 44100;
    const Signal x = material(n, 44100, 5);
    const std::string wav = dir_.file("in.wav"), aac = dir_.file("ffmpeg.aac");
    ASSERT_TRUE(
        wav::write_file(wav, wav::file(std::vector<Signal>{x, add(noise(0.2, n, 6), x)}, 44100)));
    ASSERT_TRUE(bench::run_child({"ffmpeg", "-v", "error", "-i", wav, "-c:a", "aac", "-b:a", "64k",
                                  "-f", "adts", aac},
                                 true)
                    .ok());
    wav::Bytes bytes = wav::read_file(aac);
    std::map<int, int> books;
    int total = 0, tns = 0;
    for (const bench::RawFrame& f : bench::read_adts(bytes).frames) {
        total += f.frame_bytes;
        for (const bench::ChannelStream& c : f.elements[0].channels) {
            tns += c.tns_data_present ? 1 : 0;
            for (int b : c.book) {
                ++books[b];
            }
        }
    }
    EXPECT_EQ(total, static_cast<int>(bytes.size()));
    EXPECT_GT(tns, 0);
    EXPECT_GT(books[bench::kNoiseBook], 100);
    EXPECT_GT(books[bench::kIntensityBook], 10);
    bytes[4] += 1;  // the first frame's length grows by 8 bytes
    expect_throw_saying<std::runtime_error>([&] { bench::read_adts(bytes); }, "frame 0");
}

TEST_F(Stream, SilenceAndTheShortestInputs) {
    round_trip("silence.aac", {Signal(44100, 0.0), Signal(44100, 0.0)}, {"-r", "64000"}, 0.0, 44100,
               16, 0, {-1, -1});
    round_trip("one_sample.aac", {{0.5}}, {}, -1000.0);
    round_trip("one_sample.m4a", {{0.5}}, {}, -1000.0);
}

TEST_F(Stream, Mp4FilesPlayTheSourcesExactLengthAtTheRequestedRate) {
    // The extension picks MP4 in any case; the lengths end inside a frame, the second one
    // past the first 64-frame chunk.
    const int n = 44100 * 13 / 10 + 77;
    round_trip("stereo.m4a", {material(n, 44100, 1), material(n, 44100, 2)},
               {"-c", "-r", "128000", "-lc"}, 11.0);
    round_trip("mono main.MP4", {material(96077, 48000, 3)}, {"-r", "64000", "-main"}, 8.0, 48000);
    // Ten seconds of stereo and of 5.1 at the front end's default total rate.
    for (const auto& [channels, layout] : {std::pair{2, "stereo"}, std::pair{6, "5.1"}}) {
        std::vector<Signal> source;
        for (int ch = 0; ch < channels; ++ch) {
            source.push_back(material(441000, 44100, static_cast<std::uint32_t>(ch + 7)));
        }
        const std::string wav = dir_.file("long.wav");
        const std::string out = dir_.file("long.m4a");
        ASSERT_TRUE(wav::write_file(wav, wav::file(source, 44100)));
        ASSERT_EQ(mp4({"-nh", "-c", "-r", "128000", wav, "-o", out}).exit_code, 0);
        auto probe = ffprobe(out, "stream=channel_layout,duration,bit_rate");
        probe["file_bit_rate"] = ffprobe(out, "format=bit_rate")["bit_rate"];
        const auto number = [&](const char* key) { return std::atof(probe[key].c_str()); };
        EXPECT_EQ(probe["channel_layout"], layout);
        EXPECT_NEAR(number("duration"), 10.0, 1e-6);
        EXPECT_NEAR(number("bit_rate"), 128000, 6400);
        EXPECT_NEAR(number("file_bit_rate"), 128000, 6400);
        // The decoder configuration says so too, with the buffer a frame may fill.
        auto header = faad_info(out);
        EXPECT_NEAR(std::atof(header["Average bitrate"].c_str()), 128000, 6400);
        EXPECT_GE(std::atof(header["Max bitrate"].c_str()), number("bit_rate"));
        EXPECT_EQ(header["Buffer size"], std::to_string(768 * channels));
    }
}

// A WAV file's tags (a LIST/INFO chunk after the audio, texts in code page 1252 and in
// UTF-8) reach the MP4 file as the players' tags, read back by three independent readers,
// which also find the index before the audio; the ADTS stream of the same file is the
// untagged file's. Damaged or oversized tags are told and left out, never a failure.
TEST_F(Stream, Mp4FilesCarryTheWavsTagsToEveryReader) {
    const wav::Bytes pcm = wav::pcm(std::vector<Signal>{material(30000, 44100, 1)}, 16);
    const auto item = [](const char* id, const std::string& text) {
        return wav::chunk(id, wav::Bytes(text.begin(), text.end() + 1));  // with its zero
    };
    wav::Bytes items = {'I', 'N', 'F', 'O'};
    for (const auto& [id, text] : {std::pair{"INAM", std::string("Caf\xE9 du Monde")},
                                   {"IART", "S\xC3\xB8ren"},
                                   {"IPRD", "Night Album"},
                                   {"ICRD", "2019-05-04"},
                                   {"IGNR", "Jazz"},
                                   {"ICMT", "Recorded \x80 live"},
                                   {"ITRK", "3/12"}}) {
        wav::append(items, item(id, text));
    }
    const auto wav_file = [&](const std::string& name, const wav::Bytes& before,
                              const wav::Bytes& after) {
        wav::Bytes chunks = wav::chunk("fmt ", wav::format_data({1, 1, 44100, 16}));
        wav::append(chunks, before);
        wav::append(chunks, wav::chunk("data", pcm));
        wav::append(chunks, after);
        EXPECT_TRUE(wav::write_file(dir_.file(name), wav::riff("WAVE", chunks)));
        return dir_.file(name);
    };
    const std::string tagged = wav_file("tagged.wav", {}, wav::chunk("LIST", items));
    const std::string out = dir_.file("tagged.m4a");
    bench::ChildRun run = mp4({"-nh", tagged, "-o", out});
    ASSERT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, "");
    const std::string title = "Caf\xC3\xA9 du Monde";
    auto probe = ffprobe(out, "format_tags");
    EXPECT_EQ(probe["TAG:title"], title);
    EXPECT_EQ(probe["TAG:artist"], "S\xC3\xB8ren");
    EXPECT_EQ(probe["TAG:album"] + "|" + probe["TAG:date"] + "|" + probe["TAG:genre"] + "|" +
                  probe["TAG:comment"] + "|" + probe["TAG:track"],
              "Night Album|2019-05-04|Jazz|Recorded \xE2\x82\xAC live|3/12");
    EXPECT_NE(probe["TAG:encoder"].find(" mp4 "), std::string::npos);
    const std::string atoms = bench::run_child({"AtomicParsley", out, "-t"}, true).out;
    for (const std::string& line :
         {"Atom \"\xC2\xA9nam\" contains: " + title, std::string("Atom \"trkn\" contains: 3 of 12"),
          std::string("Atom \"\xC2\xA9gen\" contains: Jazz"),
          std::string("[com.apple.iTunes;iTunSMPB] contains:  00000000 00000400")}) {
        EXPECT_NE(atoms.find(line), std::string::npos) << line << "\n" << atoms;
    }
    const auto info = mediainfo(out);
    EXPECT_EQ(info.at("Track name"), title);
    EXPECT_EQ(info.at("Performer"), "S\xC3\xB8ren");
    EXPECT_EQ(info.at("Track name/Position"), "3");
    EXPECT_EQ(info.at("IsStreamable"), "Yes");  // the index before the audio
    ASSERT_EQ(mp4({"-nh", tagged, "-o", dir_.file("tagged.aac")}).exit_code, 0);
    ASSERT_EQ(mp4({"-nh", wav_file("plain.wav", {}, {}), "-o", dir_.file("plain.aac")}).exit_code,
              0);
    EXPECT_EQ(wav::read_file(dir_.file("tagged.aac")), wav::read_file(dir_.file("plain.aac")));

    // An item that runs past its list, after a good one; a list too large to be tags.
    wav::Bytes damaged = {'I', 'N', 'F', 'O'};
    wav::append(damaged, item("INAM", "Kept"));
    wav::append(damaged, wav::chunk("IART", wav::Bytes(8, 'x'), 4000));
    wav::Bytes huge = {'I', 'N', 'F', 'O'};
    wav::append(huge, item("ICMT", std::string(2 << 20, 'y')));
    run = mp4({"-nh", wav_file("bad.wav", wav::chunk("LIST", huge), wav::chunk("LIST", damaged)),
               "-o", dir_.file("bad.m4a")});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(
        run.err,
        "mp4: warning: bad.wav: its tags (a LIST/INFO chunk of 2097166 bytes) are too large "
        "to be tags; they were left out\n"
        "mp4: warning: bad.wav: its tags (LIST/INFO chunk) are damaged; only those before the "
        "damage were kept\n");
    probe = ffprobe(dir_.file("bad.m4a"), "format_tags:stream=duration_ts");
    EXPECT_EQ(probe["TAG:title"], "Kept");
    EXPECT_EQ(probe.count("TAG:comment") + probe.count("TAG:artist"), 0u);
    EXPECT_EQ(probe["duration_ts"], "30000");
}

TEST_F(Stream, TheBitRateIsHeldInConstantModeAndNeverExceededInVariableMode) {
    const std::string wav = dir_.file("ten_seconds.wav");
    ASSERT_TRUE(wav::write_file(
        wav,
        wav::file(std::vector{material(441000, 44100, 1), material(441000, 44100, 2)}, 44100)));
    for (const int rate : {64000, 128000, 256000, -128000}) {
        const std::string aac = dir_.file(std::to_string(rate) + ".aac");
        const std::string mode = rate > 0 ? "-c" : "-nh";
        ASSERT_EQ(
            mp4({"-nh", mode, "-r", std::to_string(std::abs(rate)), wav, "-o", aac}).exit_code, 0);
        const double measured = static_cast<double>(wav::read_file(aac).size()) * 8.0 / 10.0;
        std::printf("[ measure  ] -r %d %s: %.0f bits/s\n", std::abs(rate), mode.c_str(), measured);
        EXPECT_LT(measured, std::abs(rate) * 1.05);
        EXPECT_GT(measured, std::abs(rate) * (rate > 0 ? 0.95 : 0.5));
    }
}

// 3 to 6 channels: every source channel carries its own tone and must turn up, clean, at
// its speaker's place in ffmpeg's output (its layout in WAV speaker order: 3.0 = FL FR FC,
// 4.0 = FL FR FC BC, 5.0 = FL FR FC BL BR, 5.1 = FL FR FC LFE BL BR); places no source
// speaker fills stay silent. The LFE also gets a high tone it must not carry.
TEST_F(Stream, EveryChannelArrivesAtItsPlace) {
    const struct {
        const char* name;
        std::uint32_t mask;  // 0: a plain file with the usual order for its count
        std::vector<int> speakers;
        std::vector<int> place;
    } layouts[] = {
        {"3.0", 0, {0x1, 0x2, 0x4}, {0, 1, 2}},
        {"quad", 0, {0x1, 0x2, 0x10, 0x20}, {0, 1, -1, 2, 3}},
        {"4.0", 0x107, {0x1, 0x2, 0x4, 0x100}, {0, 1, 2, 3}},
        {"5.0", 0, {0x1, 0x2, 0x4, 0x10, 0x20}, {0, 1, 2, 3, 4}},
        {"5.1", 0, {0x1, 0x2, 0x4, 0x8, 0x10, 0x20}, {0, 1, 2, 3, 4, 5}},
        {"5.1 side", 0x60F, {0x1, 0x2, 0x4, 0x8, 0x200, 0x400}, {0, 1, 2, 3, 4, 5}},
    };
    const int n = 26460;
    for (const auto& layout : layouts) {
        std::vector<Signal> source;
        std::vector<Signal> expected;
        for (std::size_t c = 0; c < layout.speakers.size(); ++c) {
            const bool lfe = layout.speakers[c] == 0x8;
            expected.push_back(lfe ? tone(55, 0.4, n) : tone(330.0 + 220.0 * c, 0.4, n));
            source.push_back(lfe ? add(expected.back(), tone(2500, 0.4, n)) : expected.back());
        }
        const std::string rate = std::to_string(64000 * source.size());
        for (const char* extension : {".aac", ".m4a"}) {
            round_trip(layout.name + std::string(extension), source, {"-c", "-r", rate}, 20.0,
                       44100, 16, layout.mask, layout.place, expected);
        }
    }
    // The front end's lowest row gives 5.1 only 64 kbit/s in all.
    std::vector<Signal> surround;
    for (int c = 0; c < 6; ++c) {
        surround.push_back(c == 3 ? tone(55, 0.4, n) : tone(330.0 + 220.0 * c, 0.4, n));
    }
    round_trip("5.1 low.m4a", surround, {"-c", "-r", "64000"}, 8.0);
}

}  // namespace
}  // namespace brevix::test
