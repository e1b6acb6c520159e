// Streaming reader for RIFF WAVE files with integer PCM samples (8, 16, 24 or 32 bits,
// plain or WAVE_FORMAT_EXTENSIBLE), 1 to 6 channels (kMaxChannels), 44100 or 48000 Hz.
//
// The chunk walk follows RIFF rules (32-bit little-endian sizes, data padded to even
// length) and tolerates damaged files: a data chunk that claims more bytes than the file
// holds is read up to the end of the file (and reported as truncated, with what it
// claimed), a partial last sample frame is dropped; damaged tags are left out. Everything
// else is refused with a message naming the problem.
// Samples come out as floats in 16-bit scale (+-32768) whatever the stored depth.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "container/tags.h"
#include "core/aac_types.h"
#include "wav/input_file.h"

namespace brevix::aac {

struct WavFormat {
    int channels = 0;
    int sample_rate = 0;
    int bits_per_sample = 0;            // container size: 8, 16, 24 or 32
    int block_align = 0;                // bytes per sample frame
    std::uint32_t channel_mask = 0;     // speaker positions (extensible files); 0: not given
    std::uint64_t frames = 0;           // sample frames available
    bool truncated = false;             // the data chunk claimed more than the file holds
    std::uint64_t declared_frames = 0;  // what the data chunk claimed (`frames` if unknown)
};

class WavReader {
public:
    // Opens and checks the file; throws std::runtime_error with a clear message.
    explicit WavReader(const std::string& path);

    const WavFormat& format() const { return format_; }
    // The file's tags (its LIST/INFO chunks, before or after the audio), and what kept
    // some from being read ("the tags (LIST/INFO chunk) are damaged; ..."): tags never
    // make a file unreadable.
    const Tags& tags() const { return tags_; }
    const std::vector<std::string>& tag_problems() const { return tag_problems_; }

    // Reads up to `max_frames` (<= 4096) sample frames into `planar[channel]`. Returns the
    // frames read; 0 at the end.
    int read(float* const* planar, int max_frames);

    std::uint64_t frames_read() const { return frames_read_; }
    // Share of the audio data read so far, 0..1.
    double progress() const;

private:
    void parse_format(const std::uint8_t* data, std::uint32_t size);
    void read_tags(std::uint64_t body, std::uint32_t size, std::uint64_t file_size);

    InputFile file_;
    WavFormat format_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t frames_read_ = 0;
    Tags tags_;
    std::vector<std::string> tag_problems_;
    std::uint64_t tag_bytes_ = 0;
};

}  // namespace brevix::aac
