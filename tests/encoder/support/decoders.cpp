#include "support/decoders.h"

#include <cmath>
#include <exception>

#include "core/wav_reader.h"
#include "support/process.h"

namespace brevix::test {

Decoded decode_with_ffmpeg(const std::string& aac, int channels) {
    Decoded d;
    const ProcessResult r =
        run_process({"ffmpeg", "-nostdin", "-v", "error", "-i", aac, "-f", "s16le", "-"});
    if (r.exit_code != 0 || !r.err.empty()) {
        d.error = "ffmpeg exit " + std::to_string(r.exit_code) + ": " + r.err;
        return d;
    }
    d.channels = channels;
    d.samples.assign(static_cast<std::size_t>(channels), {});
    const std::size_t count = r.out.size() / 2;
    for (std::size_t i = 0; i < count; ++i) {
        const auto lo = static_cast<std::uint8_t>(r.out[2 * i]);
        const auto hi = static_cast<std::uint8_t>(r.out[2 * i + 1]);
        const auto v = static_cast<std::int16_t>(lo | (hi << 8));
        d.samples[i % static_cast<std::size_t>(channels)].push_back(v);
    }
    d.ok = true;
    return d;
}

Decoded decode_with_faad(const std::string& aac, const std::string& scratch_wav) {
    Decoded d;
    // Not quiet: faad reports decoding errors only in its normal output, and exits 0.
    const ProcessResult r = run_process({"faad", "-o", scratch_wav, aac});
    if (r.exit_code != 0 || r.err.find("Error") != std::string::npos ||
        r.out.find("Error") != std::string::npos) {
        d.error = "faad exit " + std::to_string(r.exit_code) + ": " + r.err + r.out;
        return d;
    }
    try {
        aac::WavReader reader(scratch_wav);
        d.channels = reader.format().channels;
        d.samples.assign(static_cast<std::size_t>(d.channels), {});
        std::vector<float> buffer(static_cast<std::size_t>(4096 * d.channels));
        std::vector<float*> planar;
        for (int c = 0; c < d.channels; ++c) {
            planar.push_back(buffer.data() + static_cast<std::size_t>(c) * 4096);
        }
        while (const int n = reader.read(planar.data(), 4096)) {
            for (int c = 0; c < d.channels; ++c) {
                d.samples[static_cast<std::size_t>(c)].insert(
                    d.samples[static_cast<std::size_t>(c)].end(),
                    planar[static_cast<std::size_t>(c)], planar[static_cast<std::size_t>(c)] + n);
            }
        }
    } catch (const std::exception& e) {
        d.error = std::string("faad output unreadable: ") + e.what();
        return d;
    }
    d.ok = true;
    return d;
}

std::map<std::string, std::string> ffprobe(const std::string& file, const std::string& entries) {
    std::map<std::string, std::string> fields;
    const ProcessResult r =
        run_process({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries", entries,
                     "-of", "default=noprint_wrappers=1", file});
    if (r.exit_code != 0) {
        return fields;
    }
    std::size_t start = 0;
    while (start < r.out.size()) {
        std::size_t end = r.out.find('\n', start);
        if (end == std::string::npos) {
            end = r.out.size();
        }
        const std::string line = r.out.substr(start, end - start);
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) {
            fields[line.substr(0, equals)] = line.substr(equals + 1);
        }
        start = end + 1;
    }
    return fields;
}

double snr_db(const std::vector<double>& source, const std::vector<double>& decoded, int delay) {
    double signal = 0.0;
    double noise = 0.0;
    for (std::size_t i = 0; i < source.size(); ++i) {
        const std::size_t j = i + static_cast<std::size_t>(delay);
        const double y = j < decoded.size() ? decoded[j] : 0.0;
        signal += source[i] * source[i];
        noise += (source[i] - y) * (source[i] - y);
    }
    return 10.0 * std::log10((signal + 1e-9) / (noise + 1e-9));
}

double max_difference(const std::vector<double>& a, int delay_a, const std::vector<double>& b,
                      int delay_b, std::size_t count) {
    double worst = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t ia = i + static_cast<std::size_t>(delay_a);
        const std::size_t ib = i + static_cast<std::size_t>(delay_b);
        const double x = ia < a.size() ? a[ia] : 0.0;
        const double y = ib < b.size() ? b[ib] : 0.0;
        worst = std::max(worst, std::fabs(x - y));
    }
    return worst;
}

double energy_ratio_db(const std::vector<double>& source, const std::vector<double>& decoded,
                       int delay) {
    double s = 0.0;
    double d = 0.0;
    for (std::size_t i = 0; i < source.size(); ++i) {
        const std::size_t j = i + static_cast<std::size_t>(delay);
        s += source[i] * source[i];
        d += j < decoded.size() ? decoded[j] * decoded[j] : 0.0;
    }
    return 10.0 * std::log10((d + 1e-9) / (s + 1e-9));
}

void ReferenceDecoderTest::SetUp() {
    for (const char* program : {"ffmpeg", "ffprobe", "faad"}) {
        ASSERT_TRUE(program_available(program))
            << program << " is needed to check the encoder's output (apt-get install ffmpeg faad)";
    }
}

}  // namespace brevix::test
