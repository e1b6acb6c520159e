#include "support.h"

#include <cmath>
#include <exception>
#include <sstream>
#include <stdexcept>

#include "wav/wav_reader.h"

namespace brevix::test {

namespace {
constexpr double kPi = 3.14159265358979323846;
}  // namespace

Signal sine(double hz, double amplitude, int n, int rate, double phase) {
    Signal x(static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = amplitude * std::sin(2.0 * kPi * hz * static_cast<double>(i) / rate + phase);
    }
    return x;
}

Signal noise(double amplitude, int n, std::uint32_t seed) {
    Signal x(static_cast<std::size_t>(n));
    for (double& v : x) {
        seed = seed * 1664525u + 1013904223u;
        v = amplitude * (static_cast<double>(seed >> 8) / 8388608.0 - 1.0);
    }
    return x;
}

Signal clicks(int n, int rate, int period) {
    Signal x = sine(440.0, 0.02, n, rate);
    for (int start = period / 2; start < n; start += period) {
        for (int i = 0; i < 96 && start + i < n; ++i) {
            x[static_cast<std::size_t>(start + i)] +=
                0.8 * std::sin(2.0 * kPi * 2500.0 * i / rate) * std::exp(-i / 30.0);
        }
    }
    return x;
}

Signal add(Signal a, const Signal& b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        a[i] += b[i];
    }
    return a;
}

Signal fade_in(Signal x, int samples) {
    for (int i = 0; i < samples && i < static_cast<int>(x.size()); ++i) {
        x[static_cast<std::size_t>(i)] *= 0.5 - 0.5 * std::cos(kPi * i / samples);
    }
    return x;
}

std::vector<float> as_16_bit(const Signal& x) {
    std::vector<float> out;
    for (double v : x) {
        out.push_back(static_cast<float>(wav::quantize(v, 16)));
    }
    return out;
}

std::vector<float> white_noise(int n, double rms, std::uint32_t seed) {
    const Signal x = noise(rms * std::sqrt(3.0), n, seed);
    return {x.begin(), x.end()};
}

std::vector<float> pure_tone(int n, double hz, double amplitude) {
    const Signal x = sine(hz, amplitude, n);
    return {x.begin(), x.end()};
}

bench::ChildRun mp4(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {MP4_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return bench::run_child(argv, true);
}

void ReferenceDecoderTest::SetUp() {
    for (const char* program : {"ffmpeg", "ffprobe", "faad"}) {
        ASSERT_TRUE(bench::program_available(program))
            << program << " is needed to check the encoder's output (apt-get install ffmpeg faad)";
    }
}

Decoded decode_with_ffmpeg(const std::string& file, int channels) {
    Decoded d;
    // An ADTS stream of a frame or two is too short for ffmpeg to tell its format by
    // probing: it is named.
    const bool adts = file.size() > 4 && file.compare(file.size() - 4, 4, ".aac") == 0;
    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-v", "error"};
    if (adts) {
        argv.insert(argv.end(), {"-f", "aac"});
    }
    argv.insert(argv.end(), {"-i", file, "-f", "s16le", "-"});
    const bench::ChildRun r = bench::run_child(argv, true);
    if (r.exit_code != 0 || !r.err.empty()) {
        d.error = "ffmpeg exit " + std::to_string(r.exit_code) + ": " + r.err;
        return d;
    }
    d.samples.resize(static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i + 1 < r.out.size(); i += 2) {
        const auto v = static_cast<std::int16_t>(static_cast<std::uint8_t>(r.out[i]) |
                                                 (static_cast<std::uint8_t>(r.out[i + 1]) << 8));
        d.samples[i / 2 % d.samples.size()].push_back(v);
    }
    return d;
}

Decoded decode_with_faad(const std::string& file, const std::string& scratch_wav) {
    Decoded d;
    // Not quiet: faad reports decoding errors only in its normal output, and exits 0.
    const bench::ChildRun r = bench::run_child({"faad", "-o", scratch_wav, file}, true);
    if (r.exit_code != 0 || (r.err + r.out).find("Error") != std::string::npos) {
        d.error = "faad exit " + std::to_string(r.exit_code) + ": " + r.err + r.out;
        return d;
    }
    try {
        aac::WavReader reader(scratch_wav);
        const auto channels = static_cast<std::size_t>(reader.format().channels);
        d.samples.resize(channels);
        std::vector<std::vector<float>> buffers(channels, std::vector<float>(4096));
        std::vector<float*> planar;
        for (auto& buffer : buffers) {
            planar.push_back(buffer.data());
        }
        while (const int n = reader.read(planar.data(), 4096)) {
            for (std::size_t c = 0; c < channels; ++c) {
                d.samples[c].insert(d.samples[c].end(), planar[c], planar[c] + n);
            }
        }
    } catch (const std::exception& e) {
        d.error = std::string("faad output unreadable: ") + e.what();
    }
    return d;
}

namespace {

// "name<separator>value" lines of a program's output.
std::map<std::string, std::string> fields(const std::string& text, char separator) {
    std::map<std::string, std::string> found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find(separator);
        if (at != std::string::npos) {
            const std::size_t value = line.find_first_not_of("\t ", at + 1);
            const std::size_t key_end = line.find_last_not_of("\t ", at == 0 ? 0 : at - 1);
            const std::string key = key_end == std::string::npos ? "" : line.substr(0, key_end + 1);
            found[key] = value == std::string::npos ? "" : line.substr(value);
        }
    }
    return found;
}

}  // namespace

std::map<std::string, std::string> ffprobe(const std::string& file, const std::string& entries) {
    return fields(
        bench::run_child({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                          entries, "-of", "default=noprint_wrappers=1", file},
                         true)
            .out,
        '=');
}

std::map<std::string, std::string> mediainfo(const std::string& file) {
    return fields(bench::run_child({"mediainfo", "--Full", file}, true).out, ':');
}

std::map<std::string, std::string> faad_info(const std::string& file) {
    const bench::ChildRun r = bench::run_child({"faad", "-i", file}, true);
    return fields(r.out + r.err, ':');
}

double max_difference(const std::vector<float>& a, int delay_a, const std::vector<float>& b,
                      int delay_b, std::size_t count) {
    double worst = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t ia = i + static_cast<std::size_t>(delay_a);
        const std::size_t ib = i + static_cast<std::size_t>(delay_b);
        worst = std::max(worst,
                         std::fabs((ia < a.size() ? a[ia] : 0.0) - (ib < b.size() ? b[ib] : 0.0)));
    }
    return worst;
}

}  // namespace brevix::test
