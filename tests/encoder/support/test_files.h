// Helpers shared by the encoder tests: temporary folders, whole-file I/O, WAV files built
// byte by byte (so damaged and unusual files can be made too) and test signals.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brevix::test {

// A fresh folder under the system temp folder, removed with its content on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Names of the entries in the folder.
    std::vector<std::string> list() const;

private:
    std::string path_;
};

std::vector<std::uint8_t> read_file(const std::string& path);
void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes);
bool file_exists(const std::string& path);

// Builds RIFF files chunk by chunk.
class RiffBuilder {
public:
    // Appends a chunk; `declared_size` overrides the size field (e.g. to lie about it).
    RiffBuilder& chunk(const char id[4], const std::vector<std::uint8_t>& body,
                       std::int64_t declared_size = -1);
    // The whole file: "RIFF", size, "WAVE", chunks.
    std::vector<std::uint8_t> bytes(const char form[4] = "WAVE") const;

private:
    std::vector<std::uint8_t> chunks_;
};

// Body of a format chunk. `extensible` writes WAVE_FORMAT_EXTENSIBLE with `tag` as the
// subformat and `channel_mask` as the speakers (0: front centre for mono, else front
// left and right).
std::vector<std::uint8_t> format_chunk(int tag, int channels, int rate, int bits,
                                       bool extensible = false, std::uint32_t channel_mask = 0);

// Interleaved integer PCM of `bits` (8, 16, 24, 32) from samples in -1..1 (clipped).
std::vector<std::uint8_t> pcm_bytes(const std::vector<std::vector<double>>& channels, int bits);

// A PCM WAV file of the given channels (each a vector of samples in -1..1): plain, or
// WAVE_FORMAT_EXTENSIBLE naming the speakers when `channel_mask` is not 0.
void write_wav(const std::string& path, const std::vector<std::vector<double>>& channels, int rate,
               int bits = 16, std::uint32_t channel_mask = 0);

// Test signals, `n` samples at `rate`.
std::vector<double> sine(double hz, double amplitude, int n, int rate, double phase = 0.0);
std::vector<double> chord(const std::vector<double>& hz, double amplitude, int n, int rate);
std::vector<double> white_noise(double amplitude, int n, std::uint32_t seed);
// Quiet tone with short loud bursts (clicks) every `period` samples.
std::vector<double> clicks(int n, int rate, int period);
std::vector<double> square(double hz, double amplitude, int n, int rate);
std::vector<double> add(const std::vector<double>& a, const std::vector<double>& b);
// `x` with a raised-cosine fade-in over the first `samples` samples (a tone that starts
// gently, so a test measures the steady sound rather than the switch-on click).
std::vector<double> fade_in(std::vector<double> x, int samples);
// `x` times `factor` (e.g. 32768 for 16-bit scale).
std::vector<double> scaled(std::vector<double> x, double factor);

// 16-bit integer samples as a WAV reader would deliver them (for comparisons).
std::vector<std::int16_t> to_int16(const std::vector<double>& x);

}  // namespace brevix::test
