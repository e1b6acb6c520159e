// MP4 output (an ISO base media file, .mp4 or .m4a) holding one AAC audio track.
//
// The file is written front to back in one pass: 'ftyp'; then the access units (raw data
// blocks without headers) go into 'mdat' as they come; finish() appends the 'moov' index
// and fills in the size of 'mdat'. Only each frame's size is kept meanwhile (4 bytes a
// frame), so memory stays small however long the input.
//
// Exact length: an edit list starts playback after the encoder's priming and lasts exactly
// as long as the source; the last frame's duration in the time-to-sample table is cut so
// the media itself ends where the source does.
//
// The index is not counted against the bit rate (overhead 0): the audio alone holds the
// requested rate, which is what players report as the stream's rate. The index adds
// 4 bytes a frame to the file (about 1.4 kbit/s at 44.1 kHz).
#pragma once

#include <cstdint>
#include <vector>

#include "core/container.h"

namespace brevix::aac {

class Mp4Writer : public ContainerWriter {
public:
    // Frames per chunk (the unit the chunk-offset table points at): about 1.5 seconds.
    static constexpr int kFramesPerChunk = 64;

    // Writes the file type box and reserves the media data box's header.
    Mp4Writer(const StreamInfo& info, ByteSink& out);

    void write_frame(const std::uint8_t* data, std::size_t bytes, int buffer_fullness) override;
    int overhead_bits_per_frame() const override { return 0; }
    void finish(std::uint64_t source_samples) override;

    // The decoder configuration stored in the track (object type, sampling-rate index,
    // channel configuration): 2 bytes.
    static std::vector<std::uint8_t> audio_specific_config(const StreamInfo& info);

private:
    void write_moov(std::uint64_t source_samples);

    StreamInfo info_;
    ByteSink& out_;
    std::uint64_t mdat_header_ = 0;  // offset of the 16 bytes reserved for the mdat header
    std::uint64_t payload_bytes_ = 0;
    std::vector<std::uint32_t> frame_sizes_;
    bool finished_ = false;
};

}  // namespace brevix::aac
