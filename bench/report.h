// The benchmark's results and the tables it prints of them (see README.md for how to read
// them).
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bench/child_process.h"
#include "bench/listening.h"
#include "bench/nmr.h"
#include "bench/spectral_measures.h"
#include "bench/stream_stats.h"

namespace brevix::bench {

// What one coding of a clip gave, by one encoder.
struct Coding {
    double kbps = 0.0;
    NmrSummary nmr;               // substituted bands judged by their energy (see nmr.h)
    NmrSummary wave_nmr;          // every band judged by its waveform
    std::vector<double> band_db;  // per band: dB of the mean noise/mask ratio (as `nmr`)
    double snr = 0.0;
    int lag = 0;
    double bandwidth_hz = 0.0;
    double holes = 0.0;
    PreEcho pre_echo;
    ToolUse tools;
    // What a listener hears at once (see listening.h): by ffmpeg's decoding, and the
    // drop-outs and warnings of faad's too.
    Dropouts dropouts;
    Dropouts faad_dropouts;
    Image image;
    std::vector<double> low_snr;  // per channel
    std::vector<double> floor;    // per channel
    int warnings = 0;             // ffmpeg's decoder
    int faad_warnings = 0;
};

struct EncoderRun {
    EncoderRun(std::string n, std::vector<std::string> a, std::string out)
        : name(std::move(n)), argv(std::move(a)), output(std::move(out)) {}
    std::string name;
    std::vector<std::string> argv;
    std::string output;  // the stream it writes
    ChildRun best;       // fastest CPU and wall time, largest memory of all runs
    bool failed = false;
    Coding coding;
};

struct Row {
    std::string clip;
    int channels;
    int rate;
    std::vector<EncoderRun> encoders;  // ours, ffmpeg
    double seconds;
};

// Our encoder run in-process with one coding tool on and off, at the same rate.
struct ToolTrial {
    std::string clip;
    int rate;
    Coding on;
    Coding off;
    const Coding* ffmpeg = nullptr;  // ffmpeg's coding of the clip at that rate, if run
};

// Start-up cost per channel count and rate: both encoders on one frame of silence.
using Startup = std::map<std::pair<int, int>, std::vector<EncoderRun>>;

void print_bands(const std::vector<Row>& rows, const NmrMeter& meter);
void print_quality(const std::vector<Row>& rows);
void print_streams(const std::vector<Row>& rows);
void print_listening(const std::vector<Row>& rows);
void print_listening_summary(const std::vector<Row>& rows);
void print_summary(const std::vector<Row>& rows, const Startup& startup);
void print_tns_trials(const std::vector<ToolTrial>& trials);
void print_prediction_trials(const std::vector<ToolTrial>& trials);

}  // namespace brevix::bench
