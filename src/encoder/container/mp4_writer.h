// MP4 output (an ISO base media file, .mp4 or .m4a) holding one AAC audio track.
//
// The index comes first, so that a file plays and seeks while it is still being read (a
// download, a network share): 'ftyp'; room for 'moov', sized for the longest stream the
// source can give and held by a 'free' box meanwhile; then the access units (raw data
// blocks without headers) go into 'mdat' as they come. finish() writes 'moov' into its
// room (what it leaves stays a 'free' box) and fills in the size of 'mdat'. Only each
// frame's size is kept meanwhile (4 bytes a frame), so memory stays small however long the
// input, and no byte of audio is written twice.
//
// Exact length, told twice: an edit list starts playback after the encoder's priming and
// lasts exactly as long as the source (the last frame's duration in the time-to-sample
// table is cut so the media itself ends where the source does), and an 'iTunSMPB' text
// gives the same priming and length and the padding the last frame decodes beyond them,
// for players that read that instead.
//
// Tags: title, artist, album, date, genre, comment, track and the encoding tool, in the
// 'moov/udta/meta/ilst' items most players read.
//
// The index is not counted against the bit rate (overhead 0): the audio alone holds the
// requested rate, which is what players report as the stream's rate. The index adds
// 4 bytes a frame to the file (about 1.4 kbit/s at 44.1 kHz).
#pragma once

#include <cstdint>
#include <vector>

#include "container/container.h"

namespace brevix::aac {

class Mp4Writer : public ContainerWriter {
public:
    // Frames per chunk (the unit the chunk-offset table points at): about 1.5 seconds.
    static constexpr int kFramesPerChunk = 64;

    // Writes the file type box and the room for the index and the media data box's header.
    // `max_source_samples`: the most samples per channel the source can give (the index's
    // room is sized for it; more frames are refused). `tags`: what the file says about
    // its recording.
    Mp4Writer(const StreamInfo& info, ByteSink& out, std::uint64_t max_source_samples,
              const Tags& tags = {});

    void write_frame(const std::uint8_t* data, std::size_t bytes, int buffer_fullness) override;
    int overhead_bits_per_frame() const override { return 0; }
    void finish(std::uint64_t source_samples) override;

    // The decoder configuration stored in the track (object type, sampling-rate index,
    // channel configuration): 2 bytes.
    static std::vector<std::uint8_t> audio_specific_config(const StreamInfo& info);

private:
    // The index without its two per-frame tables (sizes, chunk offsets), which close it:
    // every enclosing box counts `tables` more bytes.
    std::vector<std::uint8_t> moov_head(std::uint64_t frames, std::uint64_t source_samples,
                                        std::uint64_t tables) const;

    StreamInfo info_;
    ByteSink& out_;
    Tags tags_;
    std::uint64_t max_frames_ = 0;
    std::uint64_t moov_at_ = 0;      // offset of the index's room
    std::uint64_t moov_room_ = 0;    // its size
    std::uint64_t mdat_header_ = 0;  // offset of the 16 bytes reserved for the mdat header
    std::uint64_t payload_bytes_ = 0;
    std::vector<std::uint32_t> frame_sizes_;
    bool finished_ = false;
};

}  // namespace brevix::aac
