// An independent reader of the MP4 files the encoder writes: walks the box tree checking
// that every size fits its parent, and reads the fields of the boxes an AAC track needs.
// Anything malformed throws std::runtime_error naming the box.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace brevix::test {

struct Mp4Box {
    std::string type;
    std::uint64_t offset = 0;       // of the box header, in the parsed bytes
    std::uint64_t size = 0;         // whole box
    std::uint64_t body_offset = 0;  // after the size and type (version/flags are body)
    std::vector<Mp4Box> children;   // container boxes only
};

// Boxes found in `bytes`, top level first. `base` is the file offset of bytes[0].
std::vector<Mp4Box> parse_boxes(const std::vector<std::uint8_t>& bytes, std::uint64_t base = 0);

// The box at `path` ("moov/trak/mdia"), or nullptr.
const Mp4Box* find_box(const std::vector<Mp4Box>& boxes, const std::string& path);

struct Mp4Track {
    std::string major_brand;
    std::uint32_t movie_timescale = 0;
    std::uint64_t movie_duration = 0;
    std::uint64_t track_duration = 0;
    std::vector<std::pair<std::uint64_t, std::int64_t>> edits;  // (duration, media time)
    std::uint32_t media_timescale = 0;
    std::uint64_t media_duration = 0;
    std::string handler;
    int channel_count = 0;          // sample entry
    std::uint32_t sample_rate = 0;  // sample entry, integer part
    int object_type = 0;            // decoder configuration descriptor
    int stream_type_byte = 0;
    std::uint32_t buffer_size = 0;
    std::uint32_t max_bit_rate = 0;
    std::uint32_t avg_bit_rate = 0;
    std::vector<std::uint8_t> audio_specific_config;
    int sl_predefined = -1;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> time_to_sample;  // (count, delta)
    std::vector<std::uint32_t> sample_to_chunk;  // (first chunk, per chunk, description)...
    std::vector<std::uint32_t> sample_sizes;
    std::vector<std::uint64_t> chunk_offsets;
    bool co64 = false;
    std::uint64_t mdat_data_offset = 0;  // file offset of the first media byte
    std::uint64_t mdat_data_size = 0;
    bool mdat_large = false;  // 64-bit mdat size
};

// Reads the single audio track of a whole file (`bytes` from offset 0).
Mp4Track read_mp4_track(const std::vector<std::uint8_t>& bytes);

// Reads the track from a 'moov' box alone (bytes of the box, at file offset `base`).
Mp4Track read_moov(const std::vector<std::uint8_t>& moov, std::uint64_t base);

}  // namespace brevix::test
