// RIFF/WAVE files built byte by byte: whole PCM files from samples, and any chunk layout,
// so that damaged and unusual files can be made as easily as good ones. Used by the
// benchmark to write its clips and by the tests for their input files, so no binary
// files are kept in the repository. Portable: standard library only.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace brevix::wav {

using Bytes = std::vector<std::uint8_t>;

// Appends `v` little-endian in `bytes` bytes.
inline void put_le(Bytes& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF));
    }
}

// A four-character code.
inline void put_id(Bytes& out, const char* id) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(id[i]));
    }
}

// (Resize and copy rather than insert: GCC 12 at -O3 warns falsely about inserting a range.)
inline void append(Bytes& out, const Bytes& more) {
    const std::size_t at = out.size();
    out.resize(at + more.size());
    std::copy(more.begin(), more.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
}

// A chunk holding `data`, padded to an even length. `declared_size` (when not negative)
// replaces the size field, for chunks that claim more or less than they hold.
inline Bytes chunk(const char* id, const Bytes& data, std::int64_t declared_size = -1) {
    Bytes out;
    put_id(out, id);
    put_le(out, declared_size < 0 ? data.size() : static_cast<std::uint64_t>(declared_size), 4);
    append(out, data);
    if (data.size() % 2 != 0) {
        out.push_back(0);
    }
    return out;
}

// A RIFF chunk of form type `form` holding `chunks`.
inline Bytes riff(const char* form, const Bytes& chunks, std::int64_t declared_size = -1) {
    Bytes data;
    put_id(data, form);
    append(data, chunks);
    return chunk("RIFF", data, declared_size);
}

struct Format {
    int tag = 1;  // 1 integer PCM, 3 IEEE float, ...
    int channels = 2;
    int rate = 44100;
    int bits = 16;
    // Not 0: WAVE_FORMAT_EXTENSIBLE naming these speakers, with `tag` as the subformat.
    std::uint32_t channel_mask = 0;
};

// The data of a "fmt " chunk: 16 bytes, or 40 for the extensible form.
inline Bytes format_data(const Format& f) {
    const int block_align = f.channels * ((f.bits + 7) / 8);
    Bytes out;
    put_le(out, f.channel_mask != 0 ? 0xFFFE : static_cast<std::uint32_t>(f.tag), 2);
    put_le(out, static_cast<std::uint32_t>(f.channels), 2);
    put_le(out, static_cast<std::uint32_t>(f.rate), 4);
    put_le(out, static_cast<std::uint32_t>(f.rate) * static_cast<std::uint32_t>(block_align), 4);
    put_le(out, static_cast<std::uint32_t>(block_align), 2);
    put_le(out, static_cast<std::uint32_t>(f.bits), 2);
    if (f.channel_mask != 0) {
        put_le(out, 22, 2);                                  // extension size
        put_le(out, static_cast<std::uint32_t>(f.bits), 2);  // valid bits
        put_le(out, f.channel_mask, 4);
        put_le(out, static_cast<std::uint32_t>(f.tag), 2);  // subformat GUID: tag, then the
        const std::uint8_t tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,   // fixed
                                       0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};  // rest
        out.insert(out.end(), std::begin(tail), std::end(tail));
    }
    return out;
}

// A sample in -1..1 as a `bits`-wide integer (clipped; 8-bit samples are unsigned).
inline std::int64_t quantize(double v, int bits) {
    const double full = std::ldexp(1.0, bits - 1);
    const auto q = static_cast<std::int64_t>(std::llround(v * full));
    return std::clamp<std::int64_t>(q, -static_cast<std::int64_t>(full),
                                    static_cast<std::int64_t>(full) - 1);
}

// Interleaved integer PCM of `bits` (8, 16, 24 or 32) from one vector per channel.
template <class Sample>
Bytes pcm(const std::vector<std::vector<Sample>>& channels, int bits) {
    Bytes out;
    const std::size_t n = channels.empty() ? 0 : channels[0].size();
    for (std::size_t i = 0; i < n; ++i) {
        for (const auto& channel : channels) {
            const std::int64_t q = quantize(static_cast<double>(channel[i]), bits);
            put_le(out, static_cast<std::uint64_t>(bits == 8 ? q + 128 : q), bits / 8);
        }
    }
    return out;
}

// A whole WAV file: the format chunk, then the data chunk.
inline Bytes file(const Format& format, const Bytes& data) {
    Bytes chunks = chunk("fmt ", format_data(format));
    append(chunks, chunk("data", data));
    return riff("WAVE", chunks);
}

template <class Sample>
Bytes file(const std::vector<std::vector<Sample>>& channels, int rate, int bits = 16,
           std::uint32_t channel_mask = 0) {
    return file({1, static_cast<int>(channels.size()), rate, bits, channel_mask},
                pcm(channels, bits));
}

inline bool write_file(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

inline Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

}  // namespace brevix::wav
