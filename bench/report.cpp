#include "bench/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "bench/clips.h"

namespace brevix::bench {
namespace {

bool complete(const Row& r) {
    return !r.encoders[0].failed && !r.encoders[1].failed;
}

// The smallest (or largest) of the values that are numbers; NaN when none is.
double least(const std::vector<double>& v, bool largest = false) {
    double out = std::nan("");
    for (const double x : v) {
        if (!std::isnan(x) && (std::isnan(out) || (largest ? x > out : x < out))) {
            out = x;
        }
    }
    return out;
}

void print_number(double v, const char* format, int width) {
    if (std::isnan(v)) {
        std::printf(" %*s", width, "-");
    } else {
        std::printf(format, v);
    }
}

// Whether our coding of the row does at least as well as ffmpeg's on each measure a
// listener hears (see print_listening()). A measure that does not apply counts as held.
struct Held {
    bool dropouts, image, low_snr, floor, warnings;
};

Held held(const Row& r) {
    const Coding& ours = r.encoders[0].coding;
    const Coding& ffmpeg = r.encoders[1].coding;
    Held h{};
    h.dropouts = ours.dropouts.events == 0 && ours.faad_dropouts.events == 0;
    h.image = r.channels != 2 || ours.image.error <= ffmpeg.image.error + 0.01;
    // Every channel at least as clear as ffmpeg's, from 64 kbit/s (below it the table
    // shows the figures but the summary does not judge them).
    h.low_snr = true;
    if (r.rate >= 64000) {
        for (std::size_t ch = 0; ch < ours.low_snr.size() && ch < ffmpeg.low_snr.size(); ++ch) {
            h.low_snr = h.low_snr && !(ours.low_snr[ch] < ffmpeg.low_snr[ch] - 0.05);
        }
    }
    h.floor =
        !is_tonal_clip(r.clip) || !(least(ours.floor, true) > least(ffmpeg.floor, true) + 0.05);
    h.warnings = ours.warnings == 0 && ours.faad_warnings == 0;
    return h;
}

void print_pre_echo(const PreEcho& p) {
    if (p.onsets == 0) {
        std::printf(" %8s", "-");
    } else {
        std::printf(" %8.1f", p.db);
    }
}

}  // namespace

void print_bands(const std::vector<Row>& rows, const NmrMeter& meter) {
    for (const Row& r : rows) {
        if (!complete(r)) {
            continue;
        }
        std::printf("\n%s at %d: NMR per band (dB), ours / ffmpeg\n", r.clip.c_str(), r.rate);
        for (int b = 0; b < meter.band_count(); ++b) {
            const std::size_t i = static_cast<std::size_t>(b);
            std::printf("%7.0f Hz %7.1f %7.1f%s", meter.band_centre_hz(b),
                        r.encoders[0].coding.band_db[i], r.encoders[1].coding.band_db[i],
                        b % 3 == 2 ? "\n" : "   |");
        }
        std::printf("\n");
    }
}

void print_quality(const std::vector<Row>& rows) {
    std::printf("\nQuality (NMR: substituted bands by energy; wave NMR: all by waveform)\n");
    std::printf("%-11s %7s %-7s %8s %8s %8s %7s %7s %7s %8s\n", "clip", "rate", "encoder", "NMR dB",
                "waveNMR", "worst5%", "SNR dB", "bw kHz", "holes%", "preecho");
    for (const Row& r : rows) {
        for (const EncoderRun& e : r.encoders) {
            if (e.failed) {
                std::printf("%-11s %7d %-7s  failed\n", r.clip.c_str(), r.rate, e.name.c_str());
                continue;
            }
            const Coding& c = e.coding;
            std::printf("%-11s %7d %-7s %8.2f %8.2f %8.2f %7.2f %7.2f %7.2f", r.clip.c_str(),
                        r.rate, e.name.c_str(), c.nmr.mean_db, c.wave_nmr.mean_db, c.nmr.worst_db,
                        c.snr, c.bandwidth_hz / 1000.0, 100.0 * c.holes);
            print_pre_echo(c.pre_echo);
            std::printf("\n");
        }
    }
}

void print_listening(const std::vector<Row>& rows) {
    std::printf(
        "\nListening (drops: channel blocks of 2.9 ms 20 dB below a source above -40 dBFS, "
        "events and the longest, by ffmpeg / faad; image: largest error of the band "
        "correlation above 3.5 kHz; SNR<4k: 10th percentile of the segmental SNR below 4 kHz, "
        "weaker channel; floor: noise raised between partials 4-11 kHz, stronger channel, "
        "judged on tonal clips*; warn: decoder warnings, ffmpeg / faad)\n");
    std::printf("%-12s %7s %-7s %7s %8s %6s %7s %8s %8s %9s\n", "clip", "rate", "encoder", "drops",
                "longest", "faad", "image", "SNR<4k", "floor", "warn");
    for (const Row& r : rows) {
        for (const EncoderRun& e : r.encoders) {
            if (e.failed) {
                continue;
            }
            const Coding& c = e.coding;
            std::printf("%-12s %7d %-7s %7d %6.1fms %6d",
                        (r.clip + (is_tonal_clip(r.clip) ? "*" : "")).c_str(), r.rate,
                        e.name.c_str(), c.dropouts.events, c.dropouts.longest_ms,
                        c.faad_dropouts.events);
            print_number(r.channels == 2 ? c.image.error : std::nan(""), " %7.2f", 7);
            print_number(least(c.low_snr), " %8.2f", 8);
            print_number(least(c.floor, true), " %8.2f", 8);
            std::printf(" %4d/%-4d\n", c.warnings, c.faad_warnings);
        }
    }
}

void print_streams(const std::vector<Row>& rows) {
    std::printf(
        "\nStreams (fill: share of bytes; TNS: of channel frames; PNS, IS, pred: of "
        "coded lines)\n");
    std::printf("%-11s %7s %-7s %7s %6s %6s %6s %6s %6s %8s %8s %7s %6s\n", "clip", "rate",
                "encoder", "kb/s", "fill%", "TNS%", "PNS%", "IS%", "pred%", "xRT cpu", "xRT wall",
                "peakMB", "lag");
    for (const Row& r : rows) {
        for (const EncoderRun& e : r.encoders) {
            if (e.failed) {
                continue;
            }
            const Coding& c = e.coding;
            std::printf(
                "%-11s %7d %-7s %7.1f %6.1f %6.1f %6.1f %6.1f %6.1f %8.1f %8.1f %7.1f %6d\n",
                r.clip.c_str(), r.rate, e.name.c_str(), c.kbps, 100.0 * c.tools.fill,
                100.0 * c.tools.tns, 100.0 * c.tools.noise, 100.0 * c.tools.intensity,
                100.0 * c.tools.predicted, r.seconds / e.best.cpu_seconds,
                r.seconds / e.best.wall_seconds, static_cast<double>(e.best.peak_rss_kb) / 1024.0,
                c.lag);
        }
    }
}

// Per channel count and rate: mean NMR of each encoder, on how many clips ours is at
// least as good, the mean bandwidth (and on how many clips ours reaches ffmpeg's) and
// hole share over the clips, and the speed ratio over all clips (ffmpeg's CPU time over
// ours), as measured and without the time each program needs to start and stop.
void print_summary(const std::vector<Row>& rows, const Startup& startup) {
    std::printf("\nSummary per rate (means over the clips)\n");
    std::printf("%2s %7s %9s %11s %13s %9s %11s %8s %8s %6s %7s %7s %8s %13s\n", "ch", "rate",
                "ours NMR", "ffmpeg NMR", "ours<=ffmpeg", "ours w5%", "ffmpeg w5%", "ours bw",
                "ffm bw", "bw>=", "ours h%", "ffm h%", "speedup", "w/o start-up");
    for (const auto& entry : startup) {
        const int channels = entry.first.first;
        const int rate = entry.first.second;
        double nmr[2] = {}, worst[2] = {}, cpu[2] = {}, steady[2] = {}, holes[2] = {};
        double bandwidth[2] = {};
        int clips = 0;
        int at_least_as_good = 0;
        int wide_enough = 0;
        for (const Row& r : rows) {
            if (r.rate != rate || r.channels != channels || !complete(r)) {
                continue;
            }
            ++clips;
            for (std::size_t i = 0; i < 2; ++i) {
                const EncoderRun& e = r.encoders[i];
                nmr[i] += e.coding.nmr.mean_db;
                worst[i] += e.coding.nmr.worst_db;
                holes[i] += e.coding.holes;
                bandwidth[i] += e.coding.bandwidth_hz;
                cpu[i] += e.best.cpu_seconds;
                const EncoderRun& blank = entry.second[i];
                steady[i] += std::max(
                    1e-3, e.best.cpu_seconds - (blank.failed ? 0.0 : blank.best.cpu_seconds));
            }
            at_least_as_good +=
                r.encoders[0].coding.nmr.mean_db <= r.encoders[1].coding.nmr.mean_db ? 1 : 0;
            wide_enough +=
                r.encoders[0].coding.bandwidth_hz >= r.encoders[1].coding.bandwidth_hz ? 1 : 0;
        }
        if (clips == 0) {
            continue;
        }
        std::printf(
            "%2d %7d %9.2f %11.2f %10d/%-2d %9.2f %11.2f %8.2f %8.2f %3d/%-2d %7.2f %7.2f "
            "%7.2fx %12.2fx\n",
            channels, rate, nmr[0] / clips, nmr[1] / clips, at_least_as_good, clips,
            worst[0] / clips, worst[1] / clips, bandwidth[0] / 1000.0 / clips,
            bandwidth[1] / 1000.0 / clips, wide_enough, clips, 100.0 * holes[0] / clips,
            100.0 * holes[1] / clips, cpu[1] / cpu[0], steady[1] / steady[0]);
    }
}

void print_listening_summary(const std::vector<Row>& rows) {
    std::printf(
        "\nListening summary per rate: clips where ours holds (no drop-out by either decoder; "
        "image error at most ffmpeg's + 0.01; SNR<4k at least ffmpeg's in every channel, "
        "from 64 kbit/s; floor at most ffmpeg's on tonal clips; no decoder "
        "warning)\n");
    std::printf("%2s %7s %6s %7s %8s %7s %9s\n", "ch", "rate", "drops", "image", "SNR<4k", "floor",
                "warnings");
    std::map<std::pair<int, int>, std::vector<const Row*>> by_rate;
    for (const Row& r : rows) {
        if (complete(r)) {
            by_rate[{r.channels, r.rate}].push_back(&r);
        }
    }
    for (const auto& [key, list] : by_rate) {
        int count[5] = {};
        for (const Row* r : list) {
            const Held h = held(*r);
            count[0] += h.dropouts;
            count[1] += h.image;
            count[2] += h.low_snr;
            count[3] += h.floor;
            count[4] += h.warnings;
        }
        const int n = static_cast<int>(list.size());
        std::printf("%2d %7d %3d/%-2d %4d/%-2d %5d/%-2d %4d/%-2d %6d/%-2d\n", key.first, key.second,
                    count[0], n, count[1], n, count[2], n, count[3], n, count[4], n);
    }
}

void print_tns_trials(const std::vector<ToolTrial>& trials) {
    if (trials.empty()) {
        return;
    }
    std::printf(
        "\nTNS on/off (our core in-process, same rate): pre-echo = noise in the 5 ms "
        "before onsets over the onsets' energy, dB\n");
    std::printf("%-11s %7s %7s %9s %9s %9s %9s %9s %11s\n", "clip", "rate", "onsets", "pre on",
                "pre off", "NMR on", "NMR off", "TNS% on", "ffmpeg pre");
    for (const ToolTrial& t : trials) {
        std::printf("%-11s %7d %7zu", t.clip.c_str(), t.rate, t.on.pre_echo.onsets);
        print_pre_echo(t.on.pre_echo);
        std::printf(" ");
        print_pre_echo(t.off.pre_echo);
        std::printf(" %9.2f %9.2f %9.1f", t.on.nmr.mean_db, t.off.nmr.mean_db,
                    100.0 * t.on.tools.tns);
        if (t.ffmpeg != nullptr) {
            std::printf("  ");
            print_pre_echo(t.ffmpeg->pre_echo);
        }
        std::printf("\n");
    }
}

void print_prediction_trials(const std::vector<ToolTrial>& trials) {
    if (trials.empty()) {
        return;
    }
    std::printf("\nMain-profile prediction on/off (our core in-process, same rate)\n");
    std::printf("%-11s %7s %9s %9s %9s %9s %9s %9s\n", "clip", "rate", "NMR on", "NMR off",
                "gain dB", "pred%", "kb/s on", "kb/s off");
    for (const ToolTrial& t : trials) {
        std::printf("%-11s %7d %9.2f %9.2f %9.2f %9.1f %9.1f %9.1f\n", t.clip.c_str(), t.rate,
                    t.on.nmr.mean_db, t.off.nmr.mean_db, t.off.nmr.mean_db - t.on.nmr.mean_db,
                    100.0 * t.on.tools.predicted, t.on.kbps, t.off.kbps);
    }
}

}  // namespace brevix::bench
