// aac_bench: codes generated clips with our encoder and with ffmpeg's native AAC encoder
// at the same bit rates, decodes both with the same decoder (ffmpeg) and prints quality
// (noise-to-mask ratio, bandwidth, spectral holes, pre-echo), the coding tools each
// stream uses, actual bit rate, speed and peak memory side by side; then what TNS and
// Main-profile prediction bring, by coding with our core in-process with the tool on and
// off. See README.md for the measures and how to read the tables.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/child_process.h"
#include "bench/clips.h"
#include "bench/core_encode.h"
#include "bench/listening.h"
#include "bench/nmr.h"
#include "bench/report.h"
#include "bench/spectral_measures.h"
#include "bench/stream_reader.h"
#include "bench/stream_stats.h"
#include "bench/temp_folder.h"
#include "bench/wav_file.h"

namespace brevix::bench {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxLag = 8192;  // encoder plus decoder delay is far below this

struct Options {
    double seconds = 20.0;
    int runs = 1;
    // Every rate the front end passes: 32, 40, 48, 56, 64, 81 and 128 kbit/s a channel.
    std::vector<int> rates = {64000, 80000, 96000, 112000, 128000, 162000, 256000};
    std::vector<int> mono_rates = {32000, 40000, 48000, 56000, 64000, 81000, 128000};
    std::vector<int> tool_rates = {64000, 128000};  // stereo totals of the on/off trials
    std::vector<std::string> clips = clip_names();
    std::string keep;  // folder to keep the files in; empty: a temporary folder
    std::string pictures = "aac_bench_pictures";  // spectrograms of the worst cases
    std::string mp4 = MP4_BINARY;
    std::string ffmpeg = "ffmpeg";
    std::vector<std::string> ffmpeg_options;  // extra encoder options for ffmpeg
    bool bands = false;                       // print the NMR of every band too
    bool help = false;
};

void usage() {
    std::printf(
        "Usage: aac_bench [options]\n"
        "  --seconds S        clip length (default 20)\n"
        "  --runs N           timed runs per encoding, best counts (default 1)\n"
        "  --rates R1,R2      total bit rates of the stereo clips\n"
        "                     (default 64000,80000,96000,112000,128000,162000,256000)\n"
        "  --mono-rates R1,R2 bit rates of the mono clips\n"
        "                     (default 32000,40000,48000,56000,64000,81000,128000)\n"
        "  --tool-rates R1,R2 stereo totals of the TNS and prediction on/off trials (default\n"
        "                     64000,128000; mono clips at half); empty: no trials\n"
        "  --clips A,B        subset of: chords,transients,pink_noise,speech,panned_mix,\n"
        "                     speech_mono,mix_mono\n"
        "  --keep DIR         keep WAV and AAC files in DIR\n"
        "  --pictures DIR     spectrograms of the worst cases (default aac_bench_pictures);\n"
        "                     empty: none\n"
        "  --mp4 PATH         our encoder (default: the one built with this benchmark)\n"
        "  --ffmpeg PATH      ffmpeg program (default: ffmpeg from PATH)\n"
        "  --ffmpeg-option X  extra option for ffmpeg's encoder, repeatable\n"
        "                     (e.g. --ffmpeg-option -aac_pns --ffmpeg-option 0)\n"
        "  --bands            also print each band's NMR (dB of its mean ratio)\n");
}

std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, ',')) {
        if (!part.empty()) {
            parts.push_back(part);
        }
    }
    return parts;
}

// `text` as a number, or an error naming the option.
double number(const std::string& option, const std::string& text) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0') {
        throw std::invalid_argument(option + " needs a number, not '" + text + "'");
    }
    return v;
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                throw std::invalid_argument(arg + " needs a value");
            }
            return argv[++i];
        };
        if (arg == "--seconds") {
            o.seconds = number(arg, value());
        } else if (arg == "--runs") {
            o.runs = std::clamp(static_cast<int>(number(arg, value())), 1, 100);
        } else if (arg == "--rates" || arg == "--mono-rates" || arg == "--tool-rates") {
            std::vector<int>& rates =
                arg == "--rates" ? o.rates : (arg == "--mono-rates" ? o.mono_rates : o.tool_rates);
            rates.clear();
            for (const std::string& r : split(value())) {
                rates.push_back(static_cast<int>(number(arg, r)));
            }
        } else if (arg == "--clips") {
            o.clips = split(value());
        } else if (arg == "--keep") {
            o.keep = value();
        } else if (arg == "--pictures") {
            o.pictures = value();
        } else if (arg == "--mp4") {
            o.mp4 = value();
        } else if (arg == "--ffmpeg") {
            o.ffmpeg = value();
        } else if (arg == "--ffmpeg-option") {
            o.ffmpeg_options.push_back(value());
        } else if (arg == "--bands") {
            o.bands = true;
        } else if (arg == "-h" || arg == "--help") {
            o.help = true;
        } else {
            throw std::invalid_argument("unknown option " + arg);
        }
    }
    if (o.seconds < 1.0 || o.seconds > 600.0) {
        throw std::invalid_argument("--seconds must be 1..600");
    }
    const std::vector<std::string> known = clip_names();
    for (const std::string& clip : o.clips) {
        if (std::find(known.begin(), known.end(), clip) == known.end()) {
            throw std::invalid_argument("unknown clip '" + clip + "'");
        }
    }
    for (const std::vector<int>* rates : {&o.rates, &o.mono_rates, &o.tool_rates}) {
        for (int rate : *rates) {
            if (rate < 16000 || rate > 512000) {
                throw std::invalid_argument("rates must be 16000..512000 bits/s");
            }
        }
    }
    return o;
}

// Writes 16-bit PCM and returns the samples as written (16-bit scale), which is what both
// encoders see and what the decoded output is compared with.
Channels write_wav(const std::string& path, const Clip& clip) {
    if (!wav::write_file(path, wav::file(clip.channels, clip.sample_rate))) {
        throw std::runtime_error("cannot write " + path);
    }
    Channels written = clip.channels;
    for (auto& channel : written) {
        for (float& v : channel) {
            v = static_cast<float>(wav::quantize(v, 16));
        }
    }
    return written;
}

void time_runs(Launcher& launcher, std::vector<EncoderRun>& encoders, int runs) {
    for (EncoderRun& e : encoders) {
        e.best.cpu_seconds = e.best.wall_seconds = 1e30;
    }
    // Alternate the encoders so both see the same machine load.
    for (int r = 0; r < runs; ++r) {
        for (EncoderRun& e : encoders) {
            const ChildRun run = launcher.run(e.argv);
            if (!run.ok()) {
                std::fprintf(stderr, "%s failed (exit %d): %s\n", e.name.c_str(), run.exit_code,
                             run.err.c_str());
                e.failed = true;
                continue;
            }
            e.best.cpu_seconds = std::min(e.best.cpu_seconds, run.cpu_seconds);
            e.best.wall_seconds = std::min(e.best.wall_seconds, run.wall_seconds);
            e.best.peak_rss_kb = std::max(e.best.peak_rss_kb, run.peak_rss_kb);
        }
    }
}

// Interleaved 32-bit float samples (-1..1) per channel in 16-bit scale.
Channels deinterleave(const std::string& bytes, std::size_t channels) {
    Channels decoded(channels);
    const std::size_t count = bytes.size() / sizeof(float);
    for (std::size_t i = 0; i < count; ++i) {
        float v;
        std::memcpy(&v, bytes.data() + i * sizeof(float), sizeof v);
        decoded[i % channels].push_back(v * 32768.0f);
    }
    return decoded;
}

// The lines a decoder wrote to stderr, but for the note every ADTS stream gets from
// ffmpeg's reader (it estimates the duration from the rate: ADTS has no index).
int warning_count(const std::string& text) {
    std::istringstream lines(text);
    int count = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.find_first_not_of(" \r") != std::string::npos &&
            line.find("Estimating duration from bitrate") == std::string::npos) {
            ++count;
        }
    }
    return count;
}

// Decodes with ffmpeg to 32-bit float, returned per channel in 16-bit scale; counts the
// decoder's warnings.
Channels decode(const Options& o, const std::string& path, std::size_t channels, int* warnings) {
    const ChildRun run = run_child({o.ffmpeg, "-nostdin", "-v", "warning", "-i", path, "-f",
                                    "f32le", "-ac", std::to_string(channels), "-"},
                                   true);
    if (!run.ok()) {
        throw std::runtime_error("ffmpeg cannot decode " + path + ": " + run.err);
    }
    *warnings = warning_count(run.err);
    return deinterleave(run.out, channels);
}

// The same with faad, which writes a WAV file of 32-bit float samples (a mono stream as
// two equal channels: the first `channels` are kept).
Channels decode_faad(const std::string& path, std::size_t channels, int* warnings) {
    const ChildRun run = run_child({"faad", "-q", "-w", "-b", "4", path}, true);
    const std::size_t data = run.out.find("data");
    if (!run.ok() || run.out.size() < 44 || data == std::string::npos) {
        throw std::runtime_error("faad cannot decode " + path + ": " + run.err);
    }
    *warnings = warning_count(run.err);
    const std::size_t in_file = static_cast<unsigned char>(run.out[22]);
    Channels all = deinterleave(run.out.substr(data + 8), std::max<std::size_t>(in_file, 1));
    all.resize(channels);
    return all;
}

// One lag for every channel (an encoder delays them equally), from the channels'
// correlations added up: a sum of the channels themselves may cancel (a source out of
// phase between them), and one channel alone may be a steady tone that fits any period.
int channels_lag(const Channels& source, const Channels& decoded) {
    std::vector<float> total(kMaxLag + 1, 0.0f);
    for (std::size_t ch = 0; ch < source.size() && ch < decoded.size(); ++ch) {
        const std::vector<float> curve = lag_curve(source[ch], decoded[ch], kMaxLag);
        for (std::size_t i = 0; i < total.size(); ++i) {
            total[i] += curve[i];
        }
    }
    return static_cast<int>(std::max_element(total.begin(), total.end()) - total.begin());
}

// A clip with what every coding of it is compared with.
struct Source {
    Source(const Clip& c, Channels written)
        : clip(c), samples(std::move(written)), meter(c.sample_rate) {
        for (const std::vector<float>& channel : samples) {
            masks.push_back(meter.masking(channel));
        }
        onsets = find_onsets(samples, c.sample_rate);
    }
    const Clip& clip;
    Channels samples;
    NmrMeter meter;
    std::vector<MaskingCurve> masks;
    std::vector<std::size_t> onsets;
};

// Decodes `stream` into `decoded`, aligns it with the source, reads the stream and
// measures all of Coding but the hole share (which needs ffmpeg's bandwidth).
Coding measure(const Options& o, const Source& src, const std::string& stream, Channels& decoded) {
    Coding c;
    const std::size_t channels = src.samples.size();
    c.kbps = static_cast<double>(fs::file_size(stream)) * 8.0 / src.clip.seconds() / 1000.0;
    decoded = decode(o, stream, channels, &c.warnings);
    c.lag = channels_lag(src.samples, decoded);
    const int rate = src.clip.sample_rate;
    c.dropouts = find_dropouts(src.samples, decoded, c.lag, rate);
    c.image = stereo_image(src.samples, decoded, c.lag, rate);
    c.low_snr = low_band_snr(src.samples, decoded, c.lag, rate);
    c.floor = floor_between_partials(src.samples, decoded, c.lag, rate);
    {
        const Channels by_faad = decode_faad(stream, channels, &c.faad_warnings);
        c.faad_dropouts =
            find_dropouts(src.samples, by_faad, channels_lag(src.samples, by_faad), rate);
    }
    const AacStream parsed = read_adts_file(stream);
    c.tools = tool_use(parsed);
    std::vector<std::vector<double>> ratios, wave_ratios;
    std::vector<double> band_sums(static_cast<std::size_t>(src.meter.band_count()), 0.0);
    for (std::size_t ch = 0; ch < channels; ++ch) {
        const std::vector<std::uint8_t> cells = substituted_cells(
            parsed, static_cast<int>(ch), src.meter, src.masks[ch].frames(), c.lag);
        ratios.push_back(src.meter.noise_to_mask(src.samples[ch], src.masks[ch], decoded[ch], c.lag,
                                                 &band_sums, &cells));
        wave_ratios.push_back(
            src.meter.noise_to_mask(src.samples[ch], src.masks[ch], decoded[ch], c.lag));
        c.snr += snr_db(src.samples[ch], decoded[ch], c.lag) / static_cast<double>(channels);
    }
    c.nmr = summarize(ratios);
    c.wave_nmr = summarize(wave_ratios);
    const double count = static_cast<double>(channels) *
                         static_cast<double>(std::max<std::size_t>(1, ratios[0].size()));
    for (double sum : band_sums) {
        c.band_db.push_back(10.0 * std::log10(sum / count + 1e-30));
    }
    c.bandwidth_hz = decoded_bandwidth_hz(src.samples, decoded, c.lag, src.clip.sample_rate);
    c.pre_echo = pre_echo(src.samples, decoded, c.lag, src.onsets, src.clip.sample_rate);
    if (!o.keep.empty()) {
        // Per-frame figures next to the kept stream, for a closer look at bad moments.
        std::ofstream frames(stream + ".nmr.txt");
        frames << "# frame  start_s  nmr_db per channel (substituted bands by energy)\n";
        for (std::size_t f = 0; f < ratios[0].size(); ++f) {
            frames << f << ' ' << static_cast<double>(f * NmrMeter::kHop) / src.clip.sample_rate;
            for (const std::vector<double>& r : ratios) {
                frames << ' ' << 10.0 * std::log10(r[f] + 1e-30);
            }
            frames << '\n';
        }
    }
    return c;
}

// A spectrogram (sox) of channel `channel` (or the sum of all: -1) of `samples` (16-bit
// scale) from `start_s` for `seconds`, as `name`.png in the pictures folder.
void spectrogram(const Options& o, const Channels& samples, int channel, double start_s,
                 double seconds, const std::string& name, const std::string& title) {
    const std::size_t first = static_cast<std::size_t>(std::max(0.0, start_s) * 44100.0);
    const std::size_t count = static_cast<std::size_t>(seconds * 44100.0);
    std::vector<std::vector<float>> excerpt;
    for (const std::vector<float>& ch : samples) {
        std::vector<float> part;
        for (std::size_t i = first; i < first + count && i < ch.size(); ++i) {
            part.push_back(ch[i] / 32768.0f);
        }
        excerpt.push_back(std::move(part));
    }
    const std::string wav = o.pictures + "/" + name + ".wav";
    if (!wav::write_file(wav, wav::file(excerpt, 44100))) {
        throw std::runtime_error("cannot write " + wav);
    }
    std::string mix = "1";
    if (channel >= 0) {
        mix = std::to_string(channel + 1);
    } else {
        for (std::size_t ch = 1; ch < samples.size(); ++ch) {
            mix += "," + std::to_string(ch + 1);
        }
    }
    const ChildRun run =
        run_child({"sox", wav, "-n", "remix", mix, "spectrogram", "-x", "900", "-y", "257", "-z",
                   "100", "-t", title, "-o", o.pictures + "/" + name + ".png"},
                  false);
    fs::remove(wav);
    if (!run.ok()) {
        throw std::runtime_error("sox cannot draw " + name + ": " + run.err);
    }
}

// For each listening measure, the row where our coding does worst: spectrograms of the
// source and of both decodings (ffmpeg decoding) around the event or over a stretch
// from the middle of the clip, so that a person can look at what the figure says.
void draw_worst_cases(const Options& o, const std::vector<Row>& rows) {
    struct Worst {
        const char* measure;
        const Row* row = nullptr;
        double value = 0.0;
        int channel = -1;  // -1: the channels' sum (the mid signal)
        double at_s = -1.0;
    };
    Worst worst[4] = {{"dropout"}, {"image"}, {"low_band_snr"}, {"floor_between_partials"}};
    for (const Row& r : rows) {
        if (r.encoders[0].failed || r.encoders[1].failed) {
            continue;
        }
        const Coding& c = r.encoders[0].coding;
        if (c.dropouts.longest_ms > worst[0].value) {
            worst[0] = {"dropout", &r, c.dropouts.longest_ms,
                        static_cast<int>(c.dropouts.worst_channel), c.dropouts.worst_s - 0.5};
        }
        if (r.channels == 2 && c.image.error > worst[1].value) {
            worst[1] = {"image", &r, c.image.error, -1, -1.0};
        }
        for (std::size_t ch = 0; ch < c.low_snr.size(); ++ch) {
            if (!std::isnan(c.low_snr[ch]) &&
                (worst[2].row == nullptr || -c.low_snr[ch] > worst[2].value)) {
                worst[2] = {"low_band_snr", &r, -c.low_snr[ch], static_cast<int>(ch), -1.0};
            }
        }
        for (std::size_t ch = 0; ch < c.floor.size() && is_tonal_clip(r.clip); ++ch) {
            if (!std::isnan(c.floor[ch]) &&
                (worst[3].row == nullptr || c.floor[ch] > worst[3].value)) {
                worst[3] = {"floor_between_partials", &r, c.floor[ch], static_cast<int>(ch), -1.0};
            }
        }
    }
    fs::create_directories(o.pictures);
    std::printf("\nSpectrograms of the worst cases (ours) in %s:\n", o.pictures.c_str());
    for (const Worst& w : worst) {
        if (w.row == nullptr) {
            std::printf("  %s: none\n", w.measure);
            continue;
        }
        const Row& r = *w.row;
        const double length = w.at_s >= 0.0 ? 1.0 : 3.0;
        const double start = w.at_s >= 0.0 ? w.at_s : std::max(0.0, r.seconds / 2.0 - 1.5);
        const std::string base =
            std::string(w.measure) + "_" + r.clip + "_" + std::to_string(r.rate);
        const std::string where =
            w.channel < 0 ? "left+right" : "channel " + std::to_string(w.channel + 1);
        Channels source;
        {
            const Clip clip = make_clip(r.clip, o.seconds);
            source = clip.channels;
            for (auto& ch : source) {
                for (float& v : ch) {
                    v = static_cast<float>(wav::quantize(v, 16));
                }
            }
        }
        spectrogram(o, source, w.channel, start, length, base + "_source",
                    r.clip + " source, " + where);
        for (const EncoderRun& e : r.encoders) {
            int warnings = 0;
            Channels decoded = decode(o, e.output, source.size(), &warnings);
            for (auto& ch : decoded) {
                ch.erase(ch.begin(),
                         ch.begin() + std::min<std::ptrdiff_t>(
                                          e.coding.lag, static_cast<std::ptrdiff_t>(ch.size())));
            }
            spectrogram(o, decoded, w.channel, start, length, base + "_" + e.name,
                        r.clip + " at " + std::to_string(r.rate) + " by " + e.name + ", " + where);
        }
        std::printf("  %s: %s at %d (%s), %s_{source,ours,ffmpeg}.png\n", w.measure, r.clip.c_str(),
                    r.rate, where.c_str(), base.c_str());
    }
}

// Both encoders of one row, coding `wav` at `rate` into `tag`_ours.aac / _ffmpeg.aac.
std::vector<EncoderRun> encoders_for(const Options& o, const TempFolder& dir,
                                     const std::string& wav, const std::string& tag, int rate) {
    std::vector<std::string> ffmpeg_argv = {
        o.ffmpeg, "-nostdin", "-v",   "error", "-y",   "-threads",           "1",
        "-i",     wav,        "-c:a", "aac",   "-b:a", std::to_string(rate), "-threads",
        "1"};
    ffmpeg_argv.insert(ffmpeg_argv.end(), o.ffmpeg_options.begin(), o.ffmpeg_options.end());
    const std::string ffmpeg_out = dir.file(tag + "_ffmpeg.aac");
    ffmpeg_argv.insert(ffmpeg_argv.end(), {"-f", "adts", ffmpeg_out});
    const std::string ours_out = dir.file(tag + "_ours.aac");
    std::vector<EncoderRun> encoders;
    encoders.emplace_back("ours",
                          std::vector<std::string>{o.mp4, "-nh", "-c", "-r", std::to_string(rate),
                                                   wav, "-o", ours_out},
                          ours_out);
    encoders.emplace_back("ffmpeg", ffmpeg_argv, ffmpeg_out);
    return encoders;
}

// Codes the source with our core in this process (constant rate, as the mp4 program
// with -c) and measures the result.
Coding code_in_process(const Options& o, const TempFolder& dir, const Source& src,
                       const aac::EncoderConfig& config, const std::string& tag) {
    const std::string path = dir.file(tag + ".aac");
    if (!wav::write_file(path, encode_adts(config, src.samples))) {
        throw std::runtime_error("cannot write " + path);
    }
    Channels decoded;
    return measure(o, src, path, decoded);
}

// The TNS trials on clips with onsets (LC profile) and the prediction trials on tonal
// clips (Main profile): our core with the tool on and off at the same rate.
void run_trials(const Options& o, const TempFolder& dir, const Source& src,
                std::vector<ToolTrial>& tns, std::vector<ToolTrial>& prediction) {
    const std::string& name = src.clip.name;
    const bool onsets = name == "transients" || name == "speech" || name == "speech_mono";
    const bool tonal = name == "chords" || name == "panned_mix" || name == "mix_mono";
    if (!onsets && !tonal) {
        return;
    }
    for (int stereo_rate : o.tool_rates) {
        const int channels = static_cast<int>(src.samples.size());
        aac::EncoderConfig config;
        config.sample_rate = src.clip.sample_rate;
        config.channels = channels;
        config.bit_rate = stereo_rate * channels / 2;
        const std::string tag = name + "_" + std::to_string(config.bit_rate);
        std::fprintf(stderr, "%s at %d, %s on and off ...\n", name.c_str(), config.bit_rate,
                     onsets ? "TNS" : "prediction");
        ToolTrial t{name, config.bit_rate, {}, {}, nullptr};
        if (onsets) {
            t.on = code_in_process(o, dir, src, config, tag + "_tns_on");
            config.tools.tns = false;
            t.off = code_in_process(o, dir, src, config, tag + "_tns_off");
            tns.push_back(std::move(t));
        } else {
            config.profile = aac::Profile::kMain;
            t.on = code_in_process(o, dir, src, config, tag + "_main_prediction_on");
            config.tools.prediction = false;
            t.off = code_in_process(o, dir, src, config, tag + "_main_prediction_off");
            prediction.push_back(std::move(t));
        }
    }
}

// ffmpeg's coding of the trial's clip at its rate, from the rows.
void link_ffmpeg(const std::vector<Row>& rows, std::vector<ToolTrial>& trials) {
    for (ToolTrial& t : trials) {
        for (const Row& r : rows) {
            if (r.clip == t.clip && r.rate == t.rate && !r.encoders[1].failed) {
                t.ffmpeg = &r.encoders[1].coding;
            }
        }
    }
}

int run(Launcher& launcher, const Options& o) {
    if (!program_available(o.ffmpeg)) {
        throw std::runtime_error("ffmpeg is needed as reference encoder and decoder");
    }
    if (!program_available("faad")) {
        throw std::runtime_error("faad is needed as second reference decoder");
    }
    if (!o.pictures.empty() && !program_available("sox")) {
        throw std::runtime_error("sox is needed to draw spectrograms");
    }
    const TempFolder dir = o.keep.empty() ? TempFolder() : TempFolder(o.keep);
    // What each program costs to start and stop: a clip of one frame of silence, best of at
    // least five runs (a single run's jitter is a large share of a short clip's coding time,
    // and the start-up is taken off every clip's).
    constexpr int kStartupRuns = 5;
    Startup startup;
    for (const int channels : {1, 2}) {
        const bool used = std::any_of(o.clips.begin(), o.clips.end(), [&](const std::string& c) {
            return is_mono_clip(c) == (channels == 1);
        });
        if (!used) {
            continue;
        }
        Clip blank;
        blank.channels.assign(static_cast<std::size_t>(channels), std::vector<float>(1024, 0.0f));
        const std::string tag = "startup_" + std::to_string(channels);
        const std::string blank_wav = dir.file(tag + ".wav");
        write_wav(blank_wav, blank);
        for (int rate : channels == 1 ? o.mono_rates : o.rates) {
            std::vector<EncoderRun>& runs = startup[{channels, rate}];
            runs = encoders_for(o, dir, blank_wav, tag, rate);
            time_runs(launcher, runs, std::max(o.runs, kStartupRuns));
        }
    }

    std::vector<Row> rows;
    std::vector<ToolTrial> tns, prediction;
    for (const std::string& name : o.clips) {
        const Clip clip = make_clip(name, o.seconds);
        const std::string wav = dir.file(name + ".wav");
        const Source src(clip, write_wav(wav, clip));
        const int channels = static_cast<int>(clip.channels.size());
        for (int rate : channels == 1 ? o.mono_rates : o.rates) {
            std::fprintf(stderr, "%s at %d ...\n", name.c_str(), rate);
            const std::string tag = name + "_" + std::to_string(rate);
            Row row{name, channels, rate, encoders_for(o, dir, wav, tag, rate), clip.seconds()};
            time_runs(launcher, row.encoders, o.runs);
            Channels decoded[2];
            for (std::size_t i = 0; i < 2; ++i) {
                EncoderRun& e = row.encoders[i];
                try {
                    e.coding = e.failed ? Coding() : measure(o, src, e.output, decoded[i]);
                } catch (const std::exception& error) {
                    std::fprintf(stderr, "%s: %s\n", e.name.c_str(), error.what());
                    e.failed = true;
                }
            }
            // Holes are counted up to the bandwidth ffmpeg's decoding reaches.
            for (std::size_t i = 0; i < 2 && !row.encoders[1].failed; ++i) {
                Coding& c = row.encoders[i].coding;
                c.holes = row.encoders[i].failed
                              ? 0.0
                              : hole_share(src.samples, decoded[i], c.lag, clip.sample_rate, 4000.0,
                                           row.encoders[1].coding.bandwidth_hz);
            }
            rows.push_back(std::move(row));
        }
        run_trials(o, dir, src, tns, prediction);
    }
    link_ffmpeg(rows, tns);
    link_ffmpeg(rows, prediction);
    std::printf(
        "Clips: %.1f s at 44.1 kHz (mono clips: *_mono); best of %d runs; NMR lower is "
        "better.\n",
        o.seconds, o.runs);
    if (o.bands) {
        print_bands(rows, NmrMeter(44100));
    }
    print_quality(rows);
    print_listening(rows);
    print_streams(rows);
    print_summary(rows, startup);
    print_listening_summary(rows);
    print_tns_trials(tns);
    print_prediction_trials(prediction);
    if (!o.pictures.empty()) {
        draw_worst_cases(o, rows);
    }
    return 0;
}

}  // namespace
}  // namespace brevix::bench

int main(int argc, char** argv) {
    try {
        const brevix::bench::Options options = brevix::bench::parse(argc, argv);
        if (options.help) {
            brevix::bench::usage();
            return 0;
        }
        // Before anything big is allocated: see Launcher.
        brevix::bench::Launcher launcher;
        return brevix::bench::run(launcher, options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "aac_bench: %s\n", e.what());
        return 1;
    }
}
