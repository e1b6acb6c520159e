#include "support/test_files.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace brevix::test {
namespace {

void put16(std::vector<std::uint8_t>& v, int x) {
    v.push_back(static_cast<std::uint8_t>(x & 0xFF));
    v.push_back(static_cast<std::uint8_t>((x >> 8) & 0xFF));
}

void put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    for (int i = 0; i < 4; ++i) {
        v.push_back(static_cast<std::uint8_t>((x >> (8 * i)) & 0xFF));
    }
}

void remove_tree(const std::string& path) {
    DIR* dir = opendir(path.c_str());
    if (dir != nullptr) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            const std::string child = path + "/" + name;
            struct stat st {};
            if (lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                remove_tree(child);
            } else {
                unlink(child.c_str());
            }
        }
        closedir(dir);
    }
    rmdir(path.c_str());
}

}  // namespace

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/mp4test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = buffer.data();
}

TempDir::~TempDir() {
    remove_tree(path_);
}

std::vector<std::string> TempDir::list() const {
    std::vector<std::string> names;
    DIR* dir = opendir(path_.c_str());
    if (dir != nullptr) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(dir);
    }
    return names;
}

std::vector<std::uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

bool file_exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

RiffBuilder& RiffBuilder::chunk(const char id[4], const std::vector<std::uint8_t>& body,
                                std::int64_t declared_size) {
    chunks_.insert(chunks_.end(), id, id + 4);
    put32(chunks_,
          static_cast<std::uint32_t>(declared_size >= 0 ? declared_size
                                                        : static_cast<std::int64_t>(body.size())));
    chunks_.insert(chunks_.end(), body.begin(), body.end());
    if (body.size() % 2 != 0) {
        chunks_.push_back(0);  // pad byte
    }
    return *this;
}

std::vector<std::uint8_t> RiffBuilder::bytes(const char form[4]) const {
    std::vector<std::uint8_t> out = {'R', 'I', 'F', 'F'};
    put32(out, static_cast<std::uint32_t>(4 + chunks_.size()));
    out.insert(out.end(), form, form + 4);
    out.insert(out.end(), chunks_.begin(), chunks_.end());
    return out;
}

std::vector<std::uint8_t> format_chunk(int tag, int channels, int rate, int bits, bool extensible,
                                       std::uint32_t channel_mask) {
    std::vector<std::uint8_t> v;
    put16(v, extensible ? 0xFFFE : tag);
    put16(v, channels);
    put32(v, static_cast<std::uint32_t>(rate));
    put32(v, static_cast<std::uint32_t>(rate * channels * bits / 8));
    put16(v, channels * bits / 8);
    put16(v, bits);
    if (extensible) {
        put16(v, 22);
        put16(v, bits);  // valid bits
        put32(v, channel_mask != 0 ? channel_mask : channels == 1 ? 0x4 : 0x3);
        put16(v, tag);
        const std::uint8_t tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                       0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        v.insert(v.end(), tail, tail + 14);
    }
    return v;
}

std::vector<std::uint8_t> pcm_bytes(const std::vector<std::vector<double>>& channels, int bits) {
    std::vector<std::uint8_t> out;
    const std::size_t n = channels.empty() ? 0 : channels[0].size();
    const double full = std::ldexp(1.0, bits - 1);
    for (std::size_t i = 0; i < n; ++i) {
        for (const auto& ch : channels) {
            const double clipped = std::fmax(-1.0, std::fmin(ch[i], 1.0 - 1.0 / full));
            const std::int64_t v = std::llround(clipped * full);
            if (bits == 8) {
                out.push_back(static_cast<std::uint8_t>(v + 128));
            } else {
                for (int b = 0; b < bits / 8; ++b) {
                    out.push_back(static_cast<std::uint8_t>(
                        (static_cast<std::uint64_t>(v) >> (8 * b)) & 0xFF));
                }
            }
        }
    }
    return out;
}

void write_wav(const std::string& path, const std::vector<std::vector<double>>& channels, int rate,
               int bits, std::uint32_t channel_mask) {
    RiffBuilder riff;
    riff.chunk("fmt ", format_chunk(1, static_cast<int>(channels.size()), rate, bits,
                                    channel_mask != 0, channel_mask));
    riff.chunk("data", pcm_bytes(channels, bits));
    write_file(path, riff.bytes());
}

std::vector<double> sine(double hz, double amplitude, int n, int rate, double phase) {
    std::vector<double> x(static_cast<std::size_t>(n));
    const double pi = std::acos(-1.0);
    for (int i = 0; i < n; ++i) {
        x[static_cast<std::size_t>(i)] = amplitude * std::sin(2.0 * pi * hz * i / rate + phase);
    }
    return x;
}

std::vector<double> chord(const std::vector<double>& hz, double amplitude, int n, int rate) {
    std::vector<double> x(static_cast<std::size_t>(n), 0.0);
    for (std::size_t k = 0; k < hz.size(); ++k) {
        x = add(x, sine(hz[k], amplitude / static_cast<double>(hz.size()), n, rate,
                        0.7 * static_cast<double>(k)));
    }
    return x;
}

std::vector<double> white_noise(double amplitude, int n, std::uint32_t seed) {
    std::vector<double> x(static_cast<std::size_t>(n));
    std::uint32_t state = seed;
    for (auto& v : x) {
        state = state * 1664525u + 1013904223u;
        v = amplitude * (static_cast<double>(state >> 8) / 8388608.0 - 1.0);
    }
    return x;
}

std::vector<double> clicks(int n, int rate, int period) {
    std::vector<double> x = sine(440.0, 0.02, n, rate);
    const double pi = std::acos(-1.0);
    for (int start = period / 2; start < n; start += period) {
        for (int i = 0; i < 96 && start + i < n; ++i) {
            x[static_cast<std::size_t>(start + i)] +=
                0.8 * std::sin(2.0 * pi * 2500.0 * i / rate) * std::exp(-i / 30.0);
        }
    }
    return x;
}

std::vector<double> square(double hz, double amplitude, int n, int rate) {
    std::vector<double> x(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double phase = std::fmod(hz * i / rate, 1.0);
        x[static_cast<std::size_t>(i)] = phase < 0.5 ? amplitude : -amplitude;
    }
    return x;
}

std::vector<double> add(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> x(a);
    for (std::size_t i = 0; i < x.size() && i < b.size(); ++i) {
        x[i] += b[i];
    }
    return x;
}

std::vector<double> fade_in(std::vector<double> x, int samples) {
    const double pi = std::acos(-1.0);
    for (int i = 0; i < samples && i < static_cast<int>(x.size()); ++i) {
        x[static_cast<std::size_t>(i)] *= 0.5 - 0.5 * std::cos(pi * i / samples);
    }
    return x;
}

std::vector<double> scaled(std::vector<double> x, double factor) {
    for (double& v : x) {
        v *= factor;
    }
    return x;
}

std::vector<std::int16_t> to_int16(const std::vector<double>& x) {
    std::vector<std::int16_t> out;
    for (double v : x) {
        const double clipped = std::fmax(-1.0, std::fmin(v, 1.0 - 1.0 / 32768.0));
        out.push_back(static_cast<std::int16_t>(std::llround(clipped * 32768.0)));
    }
    return out;
}

}  // namespace brevix::test
