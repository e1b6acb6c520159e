#include "bench/report.h"

#include <algorithm>
#include <cstdio>

namespace brevix::bench {
namespace {

bool complete(const Row& r) {
    return !r.encoders[0].failed && !r.encoders[1].failed;
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
