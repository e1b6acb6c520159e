#include "support/mp4_parser.h"

#include <set>
#include <stdexcept>

namespace brevix::test {
namespace {

[[noreturn]] void fail(const std::string& message) {
    throw std::runtime_error("MP4: " + message);
}

bool is_container(const std::string& type) {
    static const std::set<std::string> containers = {"moov", "trak", "mdia", "minf",
                                                     "stbl", "edts", "dinf", "udta"};
    return containers.count(type) != 0;
}

// Reads big-endian fields from [position, end) of a byte vector whose first byte sits at
// file offset `base`; reading past `end` throws.
class Reader {
public:
    Reader(const std::vector<std::uint8_t>& bytes, std::uint64_t base, std::uint64_t position,
           std::uint64_t end, std::string what)
        : bytes_(bytes), base_(base), position_(position), end_(end), what_(std::move(what)) {
        if (position < base || end - base > bytes.size() || position > end) {
            fail(what_ + " lies outside the data");
        }
    }
    std::uint64_t take(int count) {
        if (position_ + static_cast<std::uint64_t>(count) > end_) {
            fail(what_ + " is too short");
        }
        std::uint64_t v = 0;
        for (int i = 0; i < count; ++i) {
            v = (v << 8) | bytes_[static_cast<std::size_t>(position_ - base_)];
            ++position_;
        }
        return v;
    }
    std::uint32_t u8() { return static_cast<std::uint32_t>(take(1)); }
    std::uint32_t u16() { return static_cast<std::uint32_t>(take(2)); }
    std::uint32_t u24() { return static_cast<std::uint32_t>(take(3)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(take(4)); }
    std::uint64_t u64() { return take(8); }
    std::string fourcc() {
        std::string s;
        for (int i = 0; i < 4; ++i) {
            s += static_cast<char>(u8());
        }
        return s;
    }
    void skip(std::uint64_t count) {
        if (position_ + count > end_) {
            fail(what_ + " is too short");
        }
        position_ += count;
    }
    std::uint64_t position() const { return position_; }
    std::uint64_t left() const { return end_ - position_; }
    // A descriptor header inside 'esds': tag, then a length in 7-bit groups.
    std::pair<int, std::uint64_t> descriptor() {
        const int tag = static_cast<int>(u8());
        std::uint64_t length = 0;
        for (int i = 0; i < 4; ++i) {
            const std::uint32_t b = u8();
            length = (length << 7) | (b & 0x7F);
            if ((b & 0x80) == 0) {
                break;
            }
        }
        if (length > left()) {
            fail("descriptor " + std::to_string(tag) + " is longer than its parent");
        }
        return {tag, length};
    }

private:
    const std::vector<std::uint8_t>& bytes_;
    std::uint64_t base_;
    std::uint64_t position_;
    std::uint64_t end_;
    std::string what_;
};

void parse_level(const std::vector<std::uint8_t>& bytes, std::uint64_t base, std::uint64_t begin,
                 std::uint64_t end, std::vector<Mp4Box>& out) {
    std::uint64_t position = begin;
    while (position < end) {
        Reader r(bytes, base, position, end, "box header at " + std::to_string(position));
        Mp4Box box;
        box.offset = position;
        box.size = r.u32();
        box.type = r.fourcc();
        if (box.size == 1) {
            box.size = r.u64();
        } else if (box.size == 0) {
            fail("box '" + box.type + "' runs to the end of the file (size 0)");
        }
        box.body_offset = r.position();
        if (box.size < box.body_offset - position || box.size > end - position) {
            fail("box '" + box.type + "' size " + std::to_string(box.size) +
                 " does not fit its parent");
        }
        if (is_container(box.type)) {
            parse_level(bytes, base, box.body_offset, position + box.size, box.children);
        }
        position += box.size;
        out.push_back(std::move(box));
    }
}

const Mp4Box& need(const std::vector<Mp4Box>& boxes, const std::string& path) {
    const Mp4Box* box = find_box(boxes, path);
    if (box == nullptr) {
        fail("no '" + path + "' box");
    }
    return *box;
}

// A full box's reader, past version and flags; `version` receives the version.
Reader open_full(const std::vector<std::uint8_t>& bytes, std::uint64_t base, const Mp4Box& box,
                 int* version) {
    Reader r(bytes, base, box.body_offset, box.offset + box.size, "'" + box.type + "'");
    *version = static_cast<int>(r.u8());
    r.u24();
    return r;
}

void read_esds(Reader& r, Mp4Track& t) {
    auto [es_tag, es_length] = r.descriptor();
    if (es_tag != 3) {
        fail("esds does not start with an elementary stream descriptor");
    }
    const std::uint64_t es_end = r.position() + es_length;
    r.u16();  // stream ID
    const std::uint32_t flags = r.u8();
    if (flags != 0) {
        fail("unexpected elementary stream flags");
    }
    while (r.position() < es_end) {
        auto [tag, length] = r.descriptor();
        const std::uint64_t end = r.position() + length;
        if (tag == 4) {
            t.object_type = static_cast<int>(r.u8());
            t.stream_type_byte = static_cast<int>(r.u8());
            t.buffer_size = r.u24();
            t.max_bit_rate = r.u32();
            t.avg_bit_rate = r.u32();
            if (r.position() < end) {
                auto [info_tag, info_length] = r.descriptor();
                if (info_tag != 5) {
                    fail("decoder configuration without decoder specific information");
                }
                for (std::uint64_t i = 0; i < info_length; ++i) {
                    t.audio_specific_config.push_back(static_cast<std::uint8_t>(r.u8()));
                }
            }
        } else if (tag == 6) {
            t.sl_predefined = static_cast<int>(r.u8());
        }
        if (r.position() > end) {
            fail("descriptor " + std::to_string(tag) + " overruns its length");
        }
        r.skip(end - r.position());
    }
}

Mp4Track read_track(const std::vector<std::uint8_t>& bytes, std::uint64_t base,
                    const std::vector<Mp4Box>& top) {
    Mp4Track t;
    int version = 0;
    {
        Reader r = open_full(bytes, base, need(top, "moov/mvhd"), &version);
        r.skip(version == 1 ? 16 : 8);
        t.movie_timescale = r.u32();
        t.movie_duration = version == 1 ? r.u64() : r.u32();
    }
    {
        Reader r = open_full(bytes, base, need(top, "moov/trak/tkhd"), &version);
        r.skip(version == 1 ? 16 : 8);
        r.u32();  // track ID
        r.u32();
        t.track_duration = version == 1 ? r.u64() : r.u32();
    }
    if (const Mp4Box* elst = find_box(top, "moov/trak/edts/elst")) {
        Reader r = open_full(bytes, base, *elst, &version);
        const std::uint32_t count = r.u32();
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t duration = version == 1 ? r.u64() : r.u32();
            const std::int64_t media_time =
                version == 1 ? static_cast<std::int64_t>(r.u64())
                             : static_cast<std::int64_t>(static_cast<std::int32_t>(r.u32()));
            r.u32();  // rate
            t.edits.emplace_back(duration, media_time);
        }
    }
    {
        Reader r = open_full(bytes, base, need(top, "moov/trak/mdia/mdhd"), &version);
        r.skip(version == 1 ? 16 : 8);
        t.media_timescale = r.u32();
        t.media_duration = version == 1 ? r.u64() : r.u32();
    }
    {
        Reader r = open_full(bytes, base, need(top, "moov/trak/mdia/hdlr"), &version);
        r.u32();
        t.handler = r.fourcc();
    }
    need(top, "moov/trak/mdia/minf/smhd");
    need(top, "moov/trak/mdia/minf/dinf/dref");
    const std::string stbl = "moov/trak/mdia/minf/stbl/";
    {
        const Mp4Box& stsd = need(top, stbl + "stsd");
        Reader r = open_full(bytes, base, stsd, &version);
        if (r.u32() != 1) {
            fail("stsd must hold one sample entry");
        }
        const std::uint64_t entry_start = r.position();
        const std::uint32_t entry_size = r.u32();
        if (r.fourcc() != "mp4a") {
            fail("the sample entry is not 'mp4a'");
        }
        Reader e(bytes, base, r.position(), entry_start + entry_size, "'mp4a'");
        e.skip(6);
        e.u16();  // data reference index
        e.skip(8);
        t.channel_count = static_cast<int>(e.u16());
        e.u16();  // sample size
        e.u32();
        t.sample_rate = e.u32() >> 16;
        std::vector<Mp4Box> inner;
        parse_level(bytes, base, e.position(), entry_start + entry_size, inner);
        const Mp4Box& esds = need(inner, "esds");
        Reader d = open_full(bytes, base, esds, &version);
        read_esds(d, t);
    }
    {
        Reader r = open_full(bytes, base, need(top, stbl + "stts"), &version);
        const std::uint32_t count = r.u32();
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t n = r.u32();
            t.time_to_sample.emplace_back(n, r.u32());
        }
    }
    {
        Reader r = open_full(bytes, base, need(top, stbl + "stsc"), &version);
        const std::uint32_t count = r.u32();
        for (std::uint32_t i = 0; i < 3 * count; ++i) {
            t.sample_to_chunk.push_back(r.u32());
        }
    }
    {
        Reader r = open_full(bytes, base, need(top, stbl + "stsz"), &version);
        const std::uint32_t fixed = r.u32();
        const std::uint32_t count = r.u32();
        for (std::uint32_t i = 0; i < count; ++i) {
            t.sample_sizes.push_back(fixed != 0 ? fixed : r.u32());
        }
    }
    const Mp4Box* stco = find_box(top, stbl + "stco");
    const Mp4Box* co64 = find_box(top, stbl + "co64");
    if ((stco == nullptr) == (co64 == nullptr)) {
        fail("exactly one of stco and co64 is needed");
    }
    t.co64 = co64 != nullptr;
    Reader r = open_full(bytes, base, t.co64 ? *co64 : *stco, &version);
    const std::uint32_t count = r.u32();
    for (std::uint32_t i = 0; i < count; ++i) {
        t.chunk_offsets.push_back(t.co64 ? r.u64() : r.u32());
    }
    return t;
}

}  // namespace

std::vector<Mp4Box> parse_boxes(const std::vector<std::uint8_t>& bytes, std::uint64_t base) {
    std::vector<Mp4Box> boxes;
    parse_level(bytes, base, base, base + bytes.size(), boxes);
    return boxes;
}

const Mp4Box* find_box(const std::vector<Mp4Box>& boxes, const std::string& path) {
    const std::size_t slash = path.find('/');
    const std::string head = path.substr(0, slash);
    for (const Mp4Box& box : boxes) {
        if (box.type == head) {
            return slash == std::string::npos ? &box
                                              : find_box(box.children, path.substr(slash + 1));
        }
    }
    return nullptr;
}

Mp4Track read_mp4_track(const std::vector<std::uint8_t>& bytes) {
    const std::vector<Mp4Box> top = parse_boxes(bytes);
    const Mp4Box& ftyp = need(top, "ftyp");
    Mp4Track t = read_track(bytes, 0, top);
    Reader brand(bytes, 0, ftyp.body_offset, ftyp.offset + ftyp.size, "'ftyp'");
    t.major_brand = brand.fourcc();
    const Mp4Box& mdat = need(top, "mdat");
    t.mdat_data_offset = mdat.body_offset;
    t.mdat_data_size = mdat.size - (mdat.body_offset - mdat.offset);
    t.mdat_large = mdat.body_offset - mdat.offset == 16;
    return t;
}

Mp4Track read_moov(const std::vector<std::uint8_t>& moov, std::uint64_t base) {
    return read_track(moov, base, parse_boxes(moov, base));
}

}  // namespace brevix::test
