#include "job/wav_probe.h"

#include <cstring>

#include "common/little_endian.h"

namespace brevix::job {
namespace {

constexpr std::uint64_t kChunkHeaderSize = 8;   // identifier and data size
constexpr std::uint32_t kFormatFieldsSize = 8;  // tag, channels, samples per second

bool has_id(const unsigned char* p, const char* id) {
    return std::memcmp(p, id, 4) == 0;
}

// Offset of the chunk that follows the one starting at `start`. The data is padded to an
// even length. 64-bit arithmetic: sizes near 4 GiB cannot wrap around.
std::uint64_t next_chunk(std::uint64_t start, std::uint32_t size) {
    return start + kChunkHeaderSize + size + (size & 1u);
}

}  // namespace

ProbeResult probe_wav(ByteSource& source) {
    ProbeResult result;

    // Top-level chunks from the start of the file, until a RIFF chunk of form WAVE. Every
    // step needs a header that is there and moves forward by at least eight bytes, so the
    // walk ends at the end of the data.
    std::uint64_t riff_data = 0;
    std::uint64_t riff_end = 0;
    for (std::uint64_t pos = 0;;) {
        unsigned char header[12];
        const std::size_t got = source.read_at(pos, header, sizeof header);
        if (got < kChunkHeaderSize) {
            result.status = ProbeStatus::kNotWave;
            return result;
        }
        const std::uint32_t size = read_le32(header + 4);
        if (got == sizeof header && has_id(header, "RIFF") && has_id(header + 8, "WAVE")) {
            riff_data = pos + kChunkHeaderSize;
            riff_end = riff_data + size;
            break;
        }
        pos = next_chunk(pos, size);
    }

    // Sub-chunks of the WAVE chunk from just after the form type, until "fmt ". A header
    // must lie inside the parent chunk.
    std::uint64_t format_data = 0;
    std::uint32_t format_size = 0;
    for (std::uint64_t pos = riff_data + 4;;) {
        unsigned char header[kChunkHeaderSize];
        if (pos + kChunkHeaderSize > riff_end ||
            source.read_at(pos, header, sizeof header) < sizeof header) {
            result.status = ProbeStatus::kNoFormatChunk;
            return result;
        }
        const std::uint32_t size = read_le32(header + 4);
        if (has_id(header, "fmt ")) {
            format_data = pos + kChunkHeaderSize;
            format_size = size;
            break;
        }
        pos = next_chunk(pos, size);
    }

    if (format_size < kFormatFieldsSize) {
        result.status = ProbeStatus::kFormatChunkTooShort;
        return result;
    }
    // Only the first eight bytes are interpreted, but the whole declared chunk must be in
    // the file: check its first eight bytes and its last byte.
    unsigned char fields[kFormatFieldsSize];
    unsigned char last = 0;
    if (source.read_at(format_data, fields, sizeof fields) < sizeof fields ||
        source.read_at(format_data + format_size - 1, &last, 1) < 1) {
        result.status = ProbeStatus::kShortRead;
        return result;
    }

    result.format_tag = read_le16(fields);
    result.channels = read_le16(fields + 2);
    result.samples_per_second = read_le32(fields + 4);
    result.status = result.format_tag == kPcmFormatTag ? ProbeStatus::kPcm : ProbeStatus::kNotPcm;
    return result;
}

ProbeResult probe_wav_file(const std::string& path) {
    FileByteSource file(path);
    if (!file.is_open()) {
        ProbeResult result;
        result.status = ProbeStatus::kCannotOpen;
        return result;
    }
    return probe_wav(file);
}

}  // namespace brevix::job
