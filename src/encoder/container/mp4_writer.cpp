#include "container/mp4_writer.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>

#include "container/mp4_boxes.h"
#include "core/bands.h"
#include "core/bit_writer.h"

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
constexpr std::uint64_t kBoxHeader = 8;
constexpr std::uint32_t kDataText = 1;    // 'data' box type: UTF-8 text
constexpr std::uint32_t kDataBinary = 0;  // 'data' box type: as the item defines
constexpr int kMaxTrackNumber = 0xFFFF;

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
    b.text("SoundHandler");
    b.u8(0);
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

std::uint64_t chunks_for(std::uint64_t frames) {
    return (frames + Mp4Writer::kFramesPerChunk - 1) / Mp4Writer::kFramesPerChunk;
}

// The sizes of the two per-frame tables: the frame sizes, and the chunk offsets of 32 or
// (`co64`) 64 bits.
std::uint64_t stsz_bytes(std::uint64_t frames) {
    return 20 + 4 * frames;
}

std::uint64_t chunk_offset_bytes(std::uint64_t frames, bool co64) {
    return 16 + (co64 ? 8 : 4) * chunks_for(frames);
}

// Full chunks, then a shorter last one if the frames do not divide evenly.
void write_sample_to_chunk(BoxBuffer& b, std::uint64_t frames) {
    constexpr std::uint64_t kPerChunk = Mp4Writer::kFramesPerChunk;
    const std::uint64_t chunks = chunks_for(frames);
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

// An item's value: a 'data' box of UTF-8 text.
void write_text_data(BoxBuffer& b, const std::string& text) {
    b.open("data");
    b.u32(kDataText);
    b.u32(0);  // locale: any
    b.text(text);
    b.close();
}

void write_text_item(BoxBuffer& b, const char* type, const std::string& text) {
    if (text.empty()) {
        return;
    }
    b.open(type);
    write_text_data(b, text);
    b.close();
}

// A free-form item ('----'): its owner ("com.apple.iTunes") and name, then its text.
void write_named_item(BoxBuffer& b, const char* owner, const char* name, const std::string& text) {
    b.open("----");
    b.open_full("mean", 0, 0);
    b.text(owner);
    b.close();
    b.open_full("name", 0, 0);
    b.text(name);
    b.close();
    write_text_data(b, text);
    b.close();
}

// Priming, padding (what the last frame decodes past the source) and the source's length,
// in the fixed-width hexadecimal layout players parse.
std::string gapless_text(std::uint64_t priming, std::uint64_t padding, std::uint64_t length) {
    char text[160];
    std::snprintf(text, sizeof text,
                  " 00000000 %08X %08X %016llX 00000000 00000000 00000000 00000000 00000000"
                  " 00000000 00000000 00000000",
                  static_cast<unsigned>(priming), static_cast<unsigned>(padding),
                  static_cast<unsigned long long>(length));
    return text;
}

// The tags and the gapless information, as the item list of an iTunes-style metadata box.
void write_user_data(BoxBuffer& b, const Tags& tags, const std::string& gapless) {
    b.open("udta");
    b.open_full("meta", 0, 0);
    b.open_full("hdlr", 0, 0);
    b.u32(0);
    b.fourcc("mdir");
    b.fourcc("appl");
    b.zeros(8);
    b.u8(0);  // no name
    b.close();
    b.open("ilst");
    write_text_item(b, "\xA9nam", tags.title);
    write_text_item(b,
                    "\xA9"
                    "ART",
                    tags.artist);
    write_text_item(b,
                    "\xA9"
                    "alb",
                    tags.album);
    write_text_item(b,
                    "\xA9"
                    "day",
                    tags.date);
    write_text_item(b, "\xA9gen", tags.genre);
    write_text_item(b,
                    "\xA9"
                    "cmt",
                    tags.comment);
    if (tags.track > 0) {
        b.open("trkn");
        b.open("data");
        b.u32(kDataBinary);
        b.u32(0);
        b.u16(0);
        b.u16(static_cast<std::uint32_t>(std::min(tags.track, kMaxTrackNumber)));
        b.u16(static_cast<std::uint32_t>(std::clamp(tags.tracks, 0, kMaxTrackNumber)));
        b.u16(0);
        b.close();
        b.close();
    }
    write_text_item(b, "\xA9too", tags.tool);
    write_named_item(b, "com.apple.iTunes", "iTunSMPB", gapless);
    b.close();  // ilst
    b.close();  // meta
    b.close();  // udta
}

void write_free_box(ByteSink& out, std::uint64_t at, std::uint64_t size) {
    BoxBuffer b;
    b.u32(static_cast<std::uint32_t>(size));
    b.fourcc("free");
    out.write_at(at, b.bytes().data(), b.bytes().size());
}

}  // namespace

Mp4Writer::Mp4Writer(const StreamInfo& info, ByteSink& out, std::uint64_t max_source_samples,
                     const Tags& tags)
    : info_(info), out_(out), tags_(tags), max_frames_(Encoder::frames_for(max_source_samples)) {
    audio_specific_config(info);  // throws for streams it cannot describe
    BoxBuffer head;
    head.open("ftyp");
    head.fourcc("M4A ");
    head.u32(0);
    head.fourcc("M4A ");
    head.fourcc("mp42");
    head.fourcc("isom");
    head.close();
    moov_at_ = head.bytes().size();
    // The index's room: the largest index this source can need and a 'free' box's header
    // to spare, with chunk offsets of 64 bits if the largest frames could carry the media
    // past 4 GiB.
    const std::uint64_t largest_frame = static_cast<std::uint64_t>(kMaxBitsPerChannel / 8) *
                                        static_cast<std::uint64_t>(info.channels);
    const std::uint64_t fixed =
        moov_head(max_frames_, max_source_samples, 0).size() + stsz_bytes(max_frames_) + kBoxHeader;
    const bool co64 = moov_at_ + fixed + chunk_offset_bytes(max_frames_, true) + kMdatHeaderRoom +
                          max_frames_ * largest_frame >
                      kMax32;
    moov_room_ = fixed + chunk_offset_bytes(max_frames_, co64);
    if (moov_room_ > kMax32) {
        throw std::length_error("the stream is too long for an MP4 file");
    }
    mdat_header_ = moov_at_ + moov_room_;
    // Until finish(), the room is one 'free' box.
    head.u32(static_cast<std::uint32_t>(moov_room_));
    head.fourcc("free");
    out_.write(head.bytes().data(), head.bytes().size());
    const std::vector<std::uint8_t> zeros(4096, 0);
    for (std::uint64_t left = moov_room_ - kBoxHeader; left > 0;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, zeros.size()));
        out_.write(zeros.data(), n);
        left -= n;
    }
    // Room for a 64-bit mdat header: a small 'free' box and a 32-bit mdat header, which
    // finish() turns into one large header if the media outgrows 32-bit sizes.
    BoxBuffer mdat;
    mdat.u32(8);
    mdat.fourcc("free");
    mdat.u32(0);
    mdat.fourcc("mdat");
    out_.write(mdat.bytes().data(), mdat.bytes().size());
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
    if (frame_sizes_.size() >= max_frames_ || bytes > kMax32) {
        throw std::length_error("more frames than the MP4 index has room for");
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
    const std::uint64_t frames = frame_sizes_.size();
    const std::uint64_t chunks = chunks_for(frames);
    const std::uint64_t data_start = mdat_header_ + kMdatHeaderRoom;
    std::uint64_t last_chunk_offset = data_start;
    for (std::uint64_t i = 0; chunks > 0 && i < (chunks - 1) * kFramesPerChunk; ++i) {
        last_chunk_offset += frame_sizes_[static_cast<std::size_t>(i)];
    }
    const bool co64 = last_chunk_offset > kMax32;
    const std::uint64_t stsz_size = stsz_bytes(frames);
    const std::uint64_t stco_size = chunk_offset_bytes(frames, co64);
    const std::vector<std::uint8_t> head = moov_head(frames, source_samples, stsz_size + stco_size);
    const std::uint64_t moov_size = head.size() + stsz_size + stco_size;
    if (moov_size + kBoxHeader > moov_room_) {
        throw std::logic_error("the MP4 index outgrew its room");
    }
    out_.write_at(moov_at_, head.data(), head.size());
    TableWriter table(out_, moov_at_ + head.size());
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
    write_free_box(out_, moov_at_ + moov_size, moov_room_ - moov_size);

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

std::vector<std::uint8_t> Mp4Writer::moov_head(std::uint64_t frames, std::uint64_t source_samples,
                                               std::uint64_t tables) const {
    const std::uint64_t priming = static_cast<std::uint64_t>(info_.priming_samples);
    const std::uint32_t rate = static_cast<std::uint32_t>(info_.sample_rate);
    const Timing timing = timing_of(frames, priming, source_samples);
    const std::uint64_t decoded = frames * kFrameLength;
    const std::uint64_t padding =
        decoded > priming + timing.playing ? decoded - priming - timing.playing : 0;

    BoxBuffer b;
    b.open("moov");
    write_movie_header(b, rate, timing);
    write_user_data(b, tags_, gapless_text(priming, padding, timing.playing));
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
    return b.bytes();
}

}  // namespace brevix::aac
