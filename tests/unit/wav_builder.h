// Builds RIFF/WAV bytes chunk by chunk, for test fixtures and fuzzing seeds, so that no
// binary files need to be kept in the repository.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace brevix::testing {

using Bytes = std::vector<unsigned char>;

inline void append_le16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<unsigned char>(v & 0xFF));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

inline void append_le32(Bytes& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<unsigned char>((v >> shift) & 0xFF));
    }
}

inline void append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

inline void append_id(Bytes& out, const char* id) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<unsigned char>(id[i]));
    }
}

// A chunk with the given data, padded to even length. `declared_size` overrides the size
// field (for chunks that claim more or less than they hold).
inline Bytes chunk(const char* id, const Bytes& data, std::int64_t declared_size = -1) {
    Bytes out;
    append_id(out, id);
    append_le32(out, declared_size < 0 ? static_cast<std::uint32_t>(data.size())
                                       : static_cast<std::uint32_t>(declared_size));
    append(out, data);
    if (data.size() % 2 != 0) {
        out.push_back(0);
    }
    return out;
}

// A RIFF chunk of the given form type holding the given sub-chunks.
inline Bytes riff(const char* form, const Bytes& chunks) {
    Bytes data;
    append_id(data, form);
    append(data, chunks);
    return chunk("RIFF", data);
}

// The data of a "fmt " chunk (16 bytes, as in WAVEFORMAT plus the sample width).
inline Bytes format_data(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                         std::uint16_t bits = 16) {
    const std::uint16_t block_align = static_cast<std::uint16_t>(channels * ((bits + 7) / 8));
    Bytes out;
    append_le16(out, tag);
    append_le16(out, channels);
    append_le32(out, rate);
    append_le32(out, rate * block_align);
    append_le16(out, block_align);
    append_le16(out, bits);
    return out;
}

// A complete, small WAV file.
inline Bytes wav(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                 std::uint16_t bits = 16) {
    Bytes chunks = chunk("fmt ", format_data(tag, channels, rate, bits));
    append(chunks, chunk("data", Bytes(64, 0x11)));
    return riff("WAVE", chunks);
}

inline bool write_file(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace brevix::testing
