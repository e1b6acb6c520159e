#include "core/mp4_writer.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "core/bands.h"
#include "core/bit_writer.h"
#include "core/mp4_boxes.h"

namespace brevix::aac {
namespace {

constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint32_t kUnityRate = 0x00010000;         // 1.0 in 16.16 fixed point
constexpr std::uint32_t kFullVolume = 0x0100;            // 1.0 in 8.8 fixed point
constexpr std::uint32_t kLanguageUndetermined = 0x55C4;  // "und", 5 bits a letter
constexpr std::uint32_t kObjectTypeAudio = 0x40;         // MPEG-4 audio
constexpr std::uint32_t kStreamTypeAudio = 0x15;         // stream type 5, reserved bit 1
constexpr std::uint32_t kSlPredefinedMp4 = 0x02;
constexpr std::uint64_t kMdatHeaderRoom = 16;  // a 'free' box and an mdat header

// The track's durations, in samples: both time scales are the sample rate, so the edit is
// exact.
struct Timing {
    std::uint64_t last_delta = 0;  // the last frame's duration: it ends where the source does
    std::uint64_t media = 0;       // all frames: priming + source
    std::uint64_t playing = 0;     // what the edit plays: the source
    bool wide = false;             // times need version 1 boxes (64 bits)
};

Timing timing_of(std::uint64_t frames, std::uint64_t priming, std::uint64_t source_samples) {
    Timing t;
    if (frames > 0) {
        const std::uint64_t before_last = (frames - 1) * kFrameLength;
        const std::uint64_t end = priming + source_samples;
        t.last_delta =
            std::clamp<std::uint64_t>(end > before_last ? end - before_last : 1, 1, kFrameLength);
        t.media = before_last + t.last_delta;
    }
    t.playing = t.media > priming ? t.media - priming : 0;
    t.wide = t.media > kMax32;
    return t;
}

void unity_matrix(BoxBuffer& b) {
    const std::uint32_t matrix[9] = {0x00010000, 0, 0, 0, 0x00010000, 0, 0, 0, 0x40000000};
    for (const std::uint32_t v : matrix) {
        b.u32(v);
    }
}

void write_movie_header(BoxBuffer& b, std::uint32_t rate, const Timing& t) {
    b.open_full("mvhd", t.wide ? 1 : 0, 0);
    b.time(0, t.wide);  // creation time: unknown
    b.time(0, t.wide);  // modification time
    b.u32(rate);
    b.time(t.playing, t.wide);
    b.u32(kUnityRate);
    b.u16(kFullVolume);
    b.zeros(10);
    unity_matrix(b);
    b.zeros(24);
    b.u32(2);  // next track ID
    b.close();
}

void write_track_header(BoxBuffer& b, const Timing& t) {
    b.open_full("tkhd", t.wide ? 1 : 0, 0x3);  // enabled, in movie
    b.time(0, t.wide);
    b.time(0, t.wide);
    b.u32(1);  // track ID
    b.u32(0);
    b.time(t.playing, t.wide);
    b.zeros(8);
    b.u16(0);  // layer
    b.u16(0);  // alternate group
    b.u16(kFullVolume);
    b.u16(0);
    unity_matrix(b);
    b.u32(0);  // width
    b.u32(0);  // height
    b.close();
}

// Playback starts after the priming and lasts as long as the source.
void write_edit_list(BoxBuffer& b, std::uint64_t priming, const Timing& t) {
    b.open("edts");
    b.open_full("elst", t.wide ? 1 : 0, 0);
    b.u32(1);
    b.time(t.playing, t.wide);  // segment duration
    b.time(priming, t.wide);    // media time
    b.u32(kUnityRate);
    b.close();
    b.close();
}

void write_media_header_and_handler(BoxBuffer& b, std::uint32_t rate, const Timing& t) {
    b.open_full("mdhd", t.wide ? 1 : 0, 0);
    b.time(0, t.wide);
    b.time(0, t.wide);
    b.u32(rate);
    b.time(t.media, t.wide);
    b.u16(kLanguageUndetermined);
    b.u16(0);
    b.close();
    b.open_full("hdlr", 0, 0);
    b.u32(0);
    b.fourcc("soun");
    b.zeros(12);
    for (const char c : "SoundHandler") {  // with its terminating zero
        b.u8(static_cast<std::uint8_t>(c));
    }
    b.close();
}

void write_media_information_headers(BoxBuffer& b) {
    b.open_full("smhd", 0, 0);
    b.u32(0);  // balance, reserved
    b.close();
    b.open("dinf");
    b.open_full("dref", 0, 0);
    b.u32(1);
    b.open_full("url ", 0, 1);  // the media is in this file
    b.close();
    b.close();
    b.close();
}

struct BitRates {
    std::uint64_t average = 0;
    std::uint64_t peak = 0;
};

// The average over the coded frames, and the highest average over about one second.
BitRates bit_rates_of(const std::vector<std::uint32_t>& sizes, std::uint64_t payload_bytes,
                      std::uint64_t rate) {
    BitRates r;
    const std::uint64_t frames = sizes.size();
    if (frames == 0) {
        return r;
    }
    r.average = payload_bytes * 8 * rate / (frames * kFrameLength);
    const std::size_t window = static_cast<std::size_t>(
        std::min<std::uint64_t>((rate + kFrameLength - 1) / kFrameLength, frames));
    std::uint64_t sum = 0;
    std::uint64_t most = 0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        sum += sizes[i];
        if (i >= window) {
            sum -= sizes[i - window];
        }
        most = std::max(most, sum);
    }
    r.peak = std::max(r.average, most * 8 * rate / (window * kFrameLength));
    return r;
}

void write_sample_description(BoxBuffer& b, const StreamInfo& info, const BitRates& rates) {
    b.open_full("stsd", 0, 0);
    b.u32(1);
    b.open("mp4a");
    b.zeros(6);
    b.u16(1);  // data reference index
    b.zeros(8);
    b.u16(static_cast<std::uint32_t>(info.channels));
    b.u16(16);  // sample size
    b.u32(0);
    b.u32(static_cast<std::uint32_t>(info.sample_rate) << 16);  // 16.16 fixed point
    b.open_full("esds", 0, 0);
    b.open_descriptor(0x03);  // elementary stream
    b.u16(1);                 // stream ID
    b.u8(0);                  // no dependence, URL or priority
    b.open_descriptor(0x04);  // decoder configuration
    b.u8(kObjectTypeAudio);
    b.u8(kStreamTypeAudio);
    b.u24(static_cast<std::uint32_t>(kMaxBitsPerChannel / 8 * info.channels));  // input buffer
    b.u32(static_cast<std::uint32_t>(std::min(rates.peak, kMax32)));
    b.u32(static_cast<std::uint32_t>(std::min(rates.average, kMax32)));
    b.open_descriptor(0x05);  // decoder specific information
    for (const std::uint8_t byte : Mp4Writer::audio_specific_config(info)) {
        b.u8(byte);
    }
    b.close_descriptor();
    b.close_descriptor();
    b.open_descriptor(0x06);  // sync layer configuration
    b.u8(kSlPredefinedMp4);
    b.close_descriptor();
    b.close_descriptor();
    b.close();  // esds
    b.close();  // mp4a
    b.close();  // stsd
}

// A run of whole frames, and the last frame on its own when it is cut short.
void write_time_to_sample(BoxBuffer& b, std::uint64_t frames, const Timing& t) {
    b.open_full("stts", 0, 0);
    const std::uint64_t whole = frames > 0 && t.last_delta != kFrameLength ? frames - 1 : frames;
    b.u32((whole > 0 ? 1 : 0) + (whole < frames ? 1 : 0));
    if (whole > 0) {
        b.u32(static_cast<std::uint32_t>(whole));
        b.u32(kFrameLength);
    }
    if (whole < frames) {
        b.u32(1);
        b.u32(static_cast<std::uint32_t>(t.last_delta));
    }
    b.close();
}

// Full chunks, then a shorter last one if the frames do not divide evenly.
void write_sample_to_chunk(BoxBuffer& b, std::uint64_t frames) {
    constexpr std::uint64_t kPerChunk = Mp4Writer::kFramesPerChunk;
    const std::uint64_t chunks = (frames + kPerChunk - 1) / kPerChunk;
    const std::uint64_t tail = frames % kPerChunk;
    const bool full_chunks = frames >= kPerChunk;
    b.open_full("stsc", 0, 0);
    b.u32((full_chunks ? 1 : 0) + (tail > 0 ? 1 : 0));
    if (full_chunks) {
        b.u32(1);  // first chunk
        b.u32(static_cast<std::uint32_t>(kPerChunk));
        b.u32(1);  // sample description
    }
    if (tail > 0) {
        b.u32(static_cast<std::uint32_t>(chunks));
        b.u32(static_cast<std::uint32_t>(tail));
        b.u32(1);
    }
    b.close();
}

}  // namespace

Mp4Writer::Mp4Writer(const StreamInfo& info, ByteSink& out) : info_(info), out_(out) {
    audio_specific_config(info);  // throws for streams it cannot describe
    BoxBuffer head;
    head.open("ftyp");
    head.fourcc("M4A ");
    head.u32(0);
    head.fourcc("M4A ");
    head.fourcc("mp42");
    head.fourcc("isom");
    head.close();
    mdat_header_ = head.bytes().size();
    // Room for a 64-bit mdat header: a small 'free' box and a 32-bit mdat header, which
    // finish() turns into one large header if the media outgrows 32-bit sizes.
    head.u32(8);
    head.fourcc("free");
    head.u32(0);
    head.fourcc("mdat");
    out_.write(head.bytes().data(), head.bytes().size());
}

std::vector<std::uint8_t> Mp4Writer::audio_specific_config(const StreamInfo& info) {
    const int frequency_index = sampling_frequency_index(info.sample_rate);
    if (frequency_index < 0) {
        throw std::invalid_argument("MP4 cannot describe this sampling rate");
    }
    std::vector<std::uint8_t> config(2);
    BitWriter bits(config.data(), config.size());
    bits.put(static_cast<std::uint32_t>(info.profile), 5);  // audio object type
    bits.put(static_cast<std::uint32_t>(frequency_index), 4);
    bits.put(static_cast<std::uint32_t>(channel_configuration(info.channels)), 4);
    bits.put(0, 1);  // 1024-sample frames
    bits.put(0, 1);  // no core coder
    bits.put(0, 1);  // no extension
    return config;
}

void Mp4Writer::write_frame(const std::uint8_t* data, std::size_t bytes, int) {
    if (finished_) {
        throw std::logic_error("write_frame() after finish()");
    }
    if (frame_sizes_.size() >= kMax32 || bytes > kMax32) {
        throw std::length_error("the stream is too long for an MP4 file");
    }
    out_.write(data, bytes);
    frame_sizes_.push_back(static_cast<std::uint32_t>(bytes));
    payload_bytes_ += bytes;
}

void Mp4Writer::finish(std::uint64_t source_samples) {
    if (finished_) {
        return;
    }
    finished_ = true;
    write_moov(source_samples);
    const std::uint64_t mdat_size = 8 + payload_bytes_;
    BoxBuffer header;
    if (mdat_size <= kMax32) {
        header.u32(static_cast<std::uint32_t>(mdat_size));
        out_.write_at(mdat_header_ + 8, header.bytes().data(), header.bytes().size());
    } else {
        header.u32(1);  // the size follows as 64 bits
        header.fourcc("mdat");
        header.u64(mdat_size + 8);
        out_.write_at(mdat_header_, header.bytes().data(), header.bytes().size());
    }
}

void Mp4Writer::write_moov(std::uint64_t source_samples) {
    const std::uint64_t frames = frame_sizes_.size();
    const std::uint64_t priming = static_cast<std::uint64_t>(info_.priming_samples);
    const std::uint32_t rate = static_cast<std::uint32_t>(info_.sample_rate);
    const Timing timing = timing_of(frames, priming, source_samples);

    // The two per-frame tables (sizes, chunk offsets) close the box tree; they are
    // streamed after it, and every enclosing box counts them in its size.
    const std::uint64_t chunks = (frames + kFramesPerChunk - 1) / kFramesPerChunk;
    const std::uint64_t data_start = mdat_header_ + kMdatHeaderRoom;
    std::uint64_t last_chunk_offset = data_start;
    for (std::uint64_t i = 0; chunks > 0 && i < (chunks - 1) * kFramesPerChunk; ++i) {
        last_chunk_offset += frame_sizes_[static_cast<std::size_t>(i)];
    }
    const bool co64 = last_chunk_offset > kMax32;
    const std::uint64_t stsz_size = 20 + 4 * frames;
    const std::uint64_t stco_size = 16 + (co64 ? 8 : 4) * chunks;
    const std::uint64_t tables = stsz_size + stco_size;

    BoxBuffer b;
    b.open("moov");
    write_movie_header(b, rate, timing);
    b.open("trak");
    write_track_header(b, timing);
    write_edit_list(b, priming, timing);
    b.open("mdia");
    write_media_header_and_handler(b, rate, timing);
    b.open("minf");
    write_media_information_headers(b);
    b.open("stbl");
    write_sample_description(b, info_, bit_rates_of(frame_sizes_, payload_bytes_, rate));
    write_time_to_sample(b, frames, timing);
    write_sample_to_chunk(b, frames);
    for (int level = 0; level < 5; ++level) {  // stbl, minf, mdia, trak, moov
        b.close(tables);
    }
    out_.write(b.bytes().data(), b.bytes().size());

    TableWriter table(out_);
    table.put(stsz_size, 4);
    table.put(0x7374737A, 4);  // 'stsz'
    table.put(0, 4);           // version, flags
    table.put(0, 4);           // sizes differ: one per frame follows
    table.put(frames, 4);
    for (const std::uint32_t size : frame_sizes_) {
        table.put(size, 4);
    }
    table.put(stco_size, 4);
    table.put(co64 ? 0x636F3634 : 0x7374636F, 4);  // 'co64' or 'stco'
    table.put(0, 4);
    table.put(chunks, 4);
    std::uint64_t offset = data_start;
    for (std::size_t i = 0; i < frame_sizes_.size(); ++i) {
        if (i % kFramesPerChunk == 0) {
            table.put(offset, co64 ? 8 : 4);
        }
        offset += frame_sizes_[i];
    }
    table.flush();
}

}  // namespace brevix::aac
