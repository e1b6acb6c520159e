// aac_bench: codes generated clips with our encoder and with ffmpeg's native AAC encoder
// at the same bit rates, decodes both with the same decoder (ffmpeg) and prints quality
// (noise-to-mask ratio), actual bit rate, speed and peak memory side by side.
// See README.md for the measure and how to read the table.
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
#include "bench/nmr.h"
#include "bench/temp_folder.h"
#include "bench/wav_file.h"

namespace brevix::bench {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxLag = 8192;  // encoder plus decoder delay is far below this

struct Options {
    double seconds = 20.0;
    int runs = 3;
    std::vector<int> rates = {64000, 96000, 128000};
    std::vector<std::string> clips = clip_names();
    std::string keep;  // folder to keep the files in; empty: a temporary folder
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
        "  --runs N           timed runs per encoding, best counts (default 3)\n"
        "  --rates R1,R2      total stereo bit rates (default 64000,96000,128000)\n"
        "  --clips A,B        subset of: chords,transients,pink_noise,speech,panned_mix\n"
        "  --keep DIR         keep WAV and AAC files in DIR\n"
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
        } else if (arg == "--rates") {
            o.rates.clear();
            for (const std::string& r : split(value())) {
                o.rates.push_back(static_cast<int>(number(arg, r)));
            }
        } else if (arg == "--clips") {
            o.clips = split(value());
        } else if (arg == "--keep") {
            o.keep = value();
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
    for (int rate : o.rates) {
        if (rate < 16000 || rate > 512000) {
            throw std::invalid_argument("rates must be 16000..512000 bits/s");
        }
    }
    return o;
}

// Writes 16-bit stereo PCM and returns the samples as written (16-bit scale), which is
// what both encoders see and what the decoded output is compared with.
std::vector<std::vector<float>> write_wav(const std::string& path, const Clip& clip) {
    const std::vector<std::vector<float>> channels = {clip.left, clip.right};
    if (!wav::write_file(path, wav::file(channels, clip.sample_rate))) {
        throw std::runtime_error("cannot write " + path);
    }
    std::vector<std::vector<float>> written = channels;
    for (auto& channel : written) {
        for (float& v : channel) {
            v = static_cast<float>(wav::quantize(v, 16));
        }
    }
    return written;
}

struct EncoderRun {
    EncoderRun(std::string n, std::vector<std::string> a, std::string out)
        : name(std::move(n)), argv(std::move(a)), output(std::move(out)) {}
    std::string name;
    std::vector<std::string> argv;
    std::string output;  // the stream it writes
    ChildRun best;       // fastest CPU and wall time, largest memory of all runs
    bool failed = false;
    double kbps = 0.0;
    NmrSummary nmr;
    std::vector<double> band_db;  // per band: dB of the mean noise/mask ratio
    double snr = 0.0;
    int lag = 0;
};

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

// Decodes with ffmpeg to 32-bit float, returned per channel in 16-bit scale.
std::vector<std::vector<float>> decode(const Options& o, const std::string& path) {
    const ChildRun run = run_child(
        {o.ffmpeg, "-nostdin", "-v", "error", "-i", path, "-f", "f32le", "-ac", "2", "-"}, true);
    if (!run.ok()) {
        throw std::runtime_error("ffmpeg cannot decode " + path + ": " + run.err);
    }
    std::vector<std::vector<float>> channels(2);
    const std::size_t count = run.out.size() / sizeof(float);
    for (std::size_t i = 0; i < count; ++i) {
        float v;
        std::memcpy(&v, run.out.data() + i * sizeof(float), sizeof v);
        channels[i % 2].push_back(v * 32768.0f);
    }
    return channels;
}

void measure_quality(const Options& o, const NmrMeter& meter,
                     const std::vector<std::vector<float>>& source,
                     const std::vector<MaskingCurve>& masks, const std::string& output,
                     EncoderRun& e) {
    const std::vector<std::vector<float>> decoded = decode(o, output);
    std::vector<float> source_mix(source[0].size());
    std::vector<float> decoded_mix(decoded[0].size());
    for (std::size_t i = 0; i < source_mix.size(); ++i) {
        source_mix[i] = source[0][i] + source[1][i];
    }
    for (std::size_t i = 0; i < decoded_mix.size(); ++i) {
        decoded_mix[i] = decoded[0][i] + decoded[1][i];
    }
    // One lag for both channels: an encoder delays them equally.
    e.lag = find_lag(source_mix, decoded_mix, kMaxLag);
    std::vector<std::vector<double>> ratios;
    std::vector<double> band_sums(static_cast<std::size_t>(meter.band_count()), 0.0);
    e.snr = 0.0;
    for (std::size_t c = 0; c < 2; ++c) {
        ratios.push_back(meter.noise_to_mask(source[c], masks[c], decoded[c], e.lag, &band_sums));
        e.snr += 0.5 * snr_db(source[c], decoded[c], e.lag);
    }
    e.nmr = summarize(ratios);
    if (!o.keep.empty()) {
        // Per-frame figures next to the kept stream, for a closer look at bad moments.
        std::ofstream frames(output + ".nmr.txt");
        frames << "# frame  start_s  nmr_left_db  nmr_right_db\n";
        for (std::size_t f = 0; f < ratios[0].size(); ++f) {
            frames << f << ' ' << static_cast<double>(f * NmrMeter::kHop) / 44100.0 << ' '
                   << 10.0 * std::log10(ratios[0][f] + 1e-30) << ' '
                   << 10.0 * std::log10(ratios[1][f] + 1e-30) << '\n';
        }
    }
    const double count = 2.0 * static_cast<double>(std::max<std::size_t>(1, ratios[0].size()));
    for (double sum : band_sums) {
        e.band_db.push_back(10.0 * std::log10(sum / count + 1e-30));
    }
}

struct Row {
    std::string clip;
    int rate;
    std::vector<EncoderRun> encoders;
    double seconds;
};

void print_bands(const std::vector<Row>& rows, const NmrMeter& meter) {
    for (const Row& r : rows) {
        if (r.encoders[0].failed || r.encoders[1].failed) {
            continue;
        }
        std::printf("\n%s at %d: NMR per band (dB), ours / ffmpeg\n", r.clip.c_str(), r.rate);
        for (int b = 0; b < meter.band_count(); ++b) {
            const std::size_t i = static_cast<std::size_t>(b);
            std::printf("%7.0f Hz %7.1f %7.1f%s", meter.band_centre_hz(b), r.encoders[0].band_db[i],
                        r.encoders[1].band_db[i], b % 3 == 2 ? "\n" : "   |");
        }
        std::printf("\n");
    }
}

void print_rows(const std::vector<Row>& rows) {
    std::printf("\n%-11s %7s %-7s %7s %8s %8s %7s %8s %8s %7s %6s\n", "clip", "rate", "encoder",
                "kb/s", "NMR dB", "worst5%", "SNR dB", "xRT cpu", "xRT wall", "peakMB", "lag");
    for (const Row& r : rows) {
        for (const EncoderRun& e : r.encoders) {
            if (e.failed) {
                std::printf("%-11s %7d %-7s  failed\n", r.clip.c_str(), r.rate, e.name.c_str());
                continue;
            }
            std::printf("%-11s %7d %-7s %7.1f %8.2f %8.2f %7.2f %8.1f %8.1f %7.1f %6d\n",
                        r.clip.c_str(), r.rate, e.name.c_str(), e.kbps, e.nmr.mean_db,
                        e.nmr.worst_db, e.snr, r.seconds / e.best.cpu_seconds,
                        r.seconds / e.best.wall_seconds,
                        static_cast<double>(e.best.peak_rss_kb) / 1024.0, e.lag);
        }
    }
}

// Per rate: mean NMR of each encoder, on how many clips ours is at least as good, and
// the speed ratio over all clips (ffmpeg's CPU time over ours), as measured and without
// the time each program needs to start and stop (`startup`, measured on one frame).
void print_summary(const std::vector<Row>& rows, const std::vector<int>& rates,
                   const std::map<int, std::vector<EncoderRun>>& startup) {
    std::printf("\n%7s %9s %11s %13s %9s %11s %9s %15s\n", "rate", "ours NMR", "ffmpeg NMR",
                "ours<=ffmpeg", "ours w5%", "ffmpeg w5%", "speedup", "w/o start-up");
    for (int rate : rates) {
        double nmr[2] = {};
        double worst[2] = {};
        double cpu[2] = {};
        double steady[2] = {};
        int clips = 0;
        int at_least_as_good = 0;
        for (const Row& r : rows) {
            if (r.rate != rate || r.encoders[0].failed || r.encoders[1].failed) {
                continue;
            }
            ++clips;
            for (std::size_t i = 0; i < 2; ++i) {
                const EncoderRun& e = r.encoders[i];
                nmr[i] += e.nmr.mean_db;
                worst[i] += e.nmr.worst_db;
                cpu[i] += e.best.cpu_seconds;
                const EncoderRun& blank = startup.at(rate)[i];
                steady[i] += std::max(
                    1e-3, e.best.cpu_seconds - (blank.failed ? 0.0 : blank.best.cpu_seconds));
            }
            at_least_as_good += r.encoders[0].nmr.mean_db <= r.encoders[1].nmr.mean_db ? 1 : 0;
        }
        if (clips == 0) {
            continue;
        }
        std::printf("%7d %9.2f %11.2f %10d/%-2d %9.2f %11.2f %8.2fx %14.2fx\n", rate,
                    nmr[0] / clips, nmr[1] / clips, at_least_as_good, clips, worst[0] / clips,
                    worst[1] / clips, cpu[1] / cpu[0], steady[1] / steady[0]);
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

int run(Launcher& launcher, const Options& o) {
    if (!program_available(o.ffmpeg)) {
        throw std::runtime_error("ffmpeg is needed as reference encoder and decoder");
    }
    const TempFolder dir = o.keep.empty() ? TempFolder() : TempFolder(o.keep);
    // What each program costs to start and stop: a clip of one frame of silence.
    Clip blank;
    blank.left.assign(1024, 0.0f);
    blank.right.assign(1024, 0.0f);
    const std::string blank_wav = dir.file("startup.wav");
    write_wav(blank_wav, blank);
    std::map<int, std::vector<EncoderRun>> startup;
    for (int rate : o.rates) {
        startup[rate] = encoders_for(o, dir, blank_wav, "startup", rate);
        time_runs(launcher, startup[rate], o.runs);
    }

    std::vector<Row> rows;
    for (const std::string& name : o.clips) {
        const Clip clip = make_clip(name, o.seconds);
        const std::string wav = dir.file(name + ".wav");
        const std::vector<std::vector<float>> source = write_wav(wav, clip);
        const NmrMeter meter(clip.sample_rate);
        const std::vector<MaskingCurve> masks = {meter.masking(source[0]),
                                                 meter.masking(source[1])};
        for (int rate : o.rates) {
            std::fprintf(stderr, "%s at %d ...\n", name.c_str(), rate);
            const std::string tag = name + "_" + std::to_string(rate);
            Row row{name, rate, encoders_for(o, dir, wav, tag, rate), clip.seconds()};
            time_runs(launcher, row.encoders, o.runs);
            for (EncoderRun& e : row.encoders) {
                if (e.failed) {
                    continue;
                }
                e.kbps =
                    static_cast<double>(fs::file_size(e.output)) * 8.0 / clip.seconds() / 1000.0;
                measure_quality(o, meter, source, masks, e.output, e);
            }
            rows.push_back(std::move(row));
        }
    }
    std::printf("Clips: %.1f s stereo 44.1 kHz; best of %d runs; NMR lower is better.\n", o.seconds,
                o.runs);
    if (o.bands) {
        print_bands(rows, NmrMeter(44100));
    }
    print_rows(rows);
    print_summary(rows, o.rates, startup);
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
