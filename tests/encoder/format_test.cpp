// The encoder's file formats in-process: MP4 files past 4 GiB (sizes, offsets and times
// grow to 64 bits), the WAV reader on unusual and damaged files, and where each WAV
// speaker goes.
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "container/mp4_writer.h"
#include "wav/speaker_map.h"
#include "wav/wav_reader.h"
#include "support.h"

namespace brevix::aac {
namespace {

// Big-endian fields and boxes of an MP4 file, read independently of the writer.
std::uint64_t be(const std::vector<std::uint8_t>& b, std::uint64_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) {
        v = (v << 8) | b.at(at + i);
    }
    return v;
}

// The body offset of the box at `path` ("moov/trak/mdia") in bytes[from, to), checking that
// every box on the way fits its parent; 0 when there is none.
std::uint64_t find_box(const std::vector<std::uint8_t>& b, const std::string& path,
                       std::uint64_t from = 0, std::uint64_t to = 0) {
    to = to == 0 ? b.size() : to;
    const std::string name = path.substr(0, path.find('/'));
    for (std::uint64_t at = from; at + 8 <= to;) {
        std::uint64_t size = be(b, at, 4);
        std::uint64_t header = 8;
        if (size == 1) {
            size = be(b, at + 8, 8);
            header = 16;
        }
        EXPECT_TRUE(size >= header && at + size <= to) << "box at " << at;
        if (size < header || at + size > to) {
            return 0;
        }
        if (std::string(b.begin() + at + 4, b.begin() + at + 8) == name) {
            return name == path ? at + header
                                : find_box(b, path.substr(name.size() + 1), at + header, at + size);
        }
        at += size;
    }
    return 0;
}

// Keeps the first `kept` bytes of the file; counts the rest.
class SparseFile : public ByteSink {
public:
    explicit SparseFile(std::size_t kept) : head(kept) {}
    void write(const void* data, std::size_t bytes) override {
        const auto* p = static_cast<const std::uint8_t*>(data);
        for (std::size_t i = 0; i < bytes && size + i < head.size(); ++i) {
            head[size + i] = p[i];
        }
        size += bytes;
    }
    void write_at(std::uint64_t offset, const void* data, std::size_t bytes) override {
        ASSERT_LE(offset + bytes, head.size());
        std::memcpy(head.data() + offset, data, bytes);
    }
    std::vector<std::uint8_t> head;
    std::uint64_t size = 0;
};

// The top-level boxes: type and offset, in file order.
std::vector<std::pair<std::string, std::uint64_t>> top_level(const std::vector<std::uint8_t>& b,
                                                             std::uint64_t file_size) {
    std::vector<std::pair<std::string, std::uint64_t>> boxes;
    for (std::uint64_t at = 0; at + 16 <= b.size() && at < file_size;) {
        const std::uint64_t size = be(b, at, 4) == 1 ? be(b, at + 8, 8) : be(b, at, 4);
        boxes.emplace_back(std::string(b.begin() + at + 4, b.begin() + at + 8), at);
        if (size < 8) {
            break;
        }
        at += size;
    }
    return boxes;
}

const std::vector<std::string> kIndexFirst = {"ftyp", "moov", "free", "free", "mdat"};

TEST(Mp4File, PastFourGigabytesSizesOffsetsAndTimesGrowTo64Bits) {
    const std::uint64_t frames = (std::uint64_t{1} << 22) + 100;  // > 2^32 bytes and samples
    const std::vector<std::uint8_t> frame(1100, 0x21);
    SparseFile file(std::size_t{20} << 20);  // the index: 4 bytes a frame, and a little
    const std::uint64_t source = frames * 1024 - 1024 - 500;
    Mp4Writer mp4({Profile::kLowComplexity, 44100, 2}, file, source);
    for (std::uint64_t i = 0; i < frames; ++i) {
        mp4.write_frame(frame.data(), frame.size(), 0x7FF);
    }
    mp4.finish(source);
    // The index first; the 16 bytes reserved for mdat hold a 64-bit header (size 1).
    const auto boxes = top_level(file.head, file.size);
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[1], std::make_pair(std::string("moov"), std::uint64_t{28}));
    const std::uint64_t mdat = boxes[3].second;
    EXPECT_EQ(boxes[3].first, "mdat");
    EXPECT_EQ(be(file.head, mdat, 4), 1u);
    EXPECT_EQ(mdat + be(file.head, mdat + 8, 8), file.size);
    const std::vector<std::uint8_t>& b = file.head;
    const std::uint64_t co64 = find_box(b, "moov/trak/mdia/minf/stbl/co64", 0, mdat);
    ASSERT_NE(co64, 0u);
    const std::uint64_t chunks = (frames + 63) / 64;
    ASSERT_EQ(be(b, co64 + 4, 4), chunks);
    EXPECT_EQ(be(b, co64 + 8, 8), mdat + 16);
    EXPECT_EQ(be(b, co64 + 8 + 8 * (chunks - 1), 8), mdat + 16 + (chunks - 1) * 64 * 1100);
    // Version 1 boxes with 64-bit times: the movie, the track and its edit last as long as
    // the source, the media as long as priming and source.
    const struct {
        const char* path;
        std::uint64_t at, value;
    } times[] = {{"moov/mvhd", 24, source},
                 {"moov/trak/tkhd", 28, source},
                 {"moov/trak/edts/elst", 8, source},
                 {"moov/trak/mdia/mdhd", 24, source + 1024}};
    for (const auto& t : times) {
        const std::uint64_t box = find_box(b, t.path, 0, mdat);
        EXPECT_EQ(b[box], 1) << t.path;
        EXPECT_EQ(be(b, box + t.at, 8), t.value) << t.path;
    }
    const std::uint64_t stts = find_box(b, "moov/trak/mdia/minf/stbl/stts", 0, mdat);
    EXPECT_EQ(be(b, stts + 4, 4), 2u);
    EXPECT_EQ(be(b, stts + 16, 8), (std::uint64_t{1} << 32) | 524u);  // one frame of 524
}

// The index comes before the audio, its chunk offsets find the frames where they are, and
// the edit list and the iTunSMPB text tell the same length: priming = the edit's media
// time, length = its duration, padding = what the frames decode beyond them. A source that
// gives less than it announced leaves the rest of the index's room free.
TEST(Mp4File, TheIndexComesFirstAndTellsTheExactLengthTwice) {
    SparseFile file(1 << 16);
    const std::uint64_t source = 70 * 1024 + 300;  // two chunks, the last frame cut short
    Tags tags;
    tags.title = "Title";
    Mp4Writer mp4({Profile::kLowComplexity, 44100, 1}, file, source + 5000, tags);
    std::vector<std::uint8_t> frame(100);
    for (int i = 0; i < 72; ++i) {
        std::fill(frame.begin(), frame.end(), static_cast<std::uint8_t>(i));
        mp4.write_frame(frame.data(), frame.size(), 0x7FF);
    }
    mp4.finish(source);
    const std::vector<std::uint8_t>& b = file.head;
    std::vector<std::string> order;
    for (const auto& box : top_level(b, file.size)) {
        order.push_back(box.first);
    }
    ASSERT_EQ(order, kIndexFirst);
    const std::uint64_t mdat = top_level(b, file.size)[4].second;
    EXPECT_EQ(mdat + 8 + 72 * 100, file.size);
    const std::uint64_t stco = find_box(b, "moov/trak/mdia/minf/stbl/stco");
    ASSERT_EQ(be(b, stco + 4, 4), 2u);
    EXPECT_EQ(b[be(b, stco + 8, 4)], 0);    // the first frame
    EXPECT_EQ(b[be(b, stco + 12, 4)], 64);  // the 65th, first of the second chunk
    const std::uint64_t elst = find_box(b, "moov/trak/edts/elst");
    const std::uint64_t duration = be(b, elst + 8, 4);
    const std::uint64_t media_time = be(b, elst + 12, 4);
    EXPECT_EQ(duration, source);
    EXPECT_EQ(media_time, 1024u);
    const std::uint64_t stts = find_box(b, "moov/trak/mdia/minf/stbl/stts");
    EXPECT_EQ(be(b, stts + 8, 4) * be(b, stts + 12, 4) + be(b, stts + 20, 4), 1024 + source);
    const std::uint64_t meta = find_box(b, "moov/udta/meta");  // a full box: 4 more bytes
    EXPECT_EQ(be(b, meta + 4, 4), 33u);                        // its handler box: 'mdir'
    EXPECT_EQ(be(b, meta + 20, 4), 0x6D646972u);
    const std::uint64_t ilst = find_box(b, "ilst", meta + 4, meta - 8 + be(b, meta - 8, 4));
    ASSERT_NE(ilst, 0u);
    const std::string text(b.begin() + static_cast<std::ptrdiff_t>(ilst),
                           b.begin() + static_cast<std::ptrdiff_t>(mdat));
    EXPECT_NE(text.find("Title"), std::string::npos);
    unsigned priming = 0, padding = 0;
    unsigned long long length = 0;
    const std::size_t at = text.find("iTunSMPB");
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(std::sscanf(text.c_str() + at + 8 + 16, " 00000000 %8X %8X %16llX", &priming,
                          &padding, &length),
              3);
    EXPECT_EQ(priming, media_time);
    EXPECT_EQ(length, duration);
    EXPECT_EQ(priming + length + padding, 72u * 1024);
}

TEST(WavReader, ReadsUnusualLayoutsAndRefusesWhatItCannotRead) {
    TempFolder dir;
    const auto read = [&](const wav::Bytes& bytes) {
        EXPECT_TRUE(wav::write_file(dir.file("in.wav"), bytes));
        WavReader reader(dir.file("in.wav"));
        std::vector<float> a(4096), b(4096), out;
        float* planar[2] = {a.data(), b.data()};
        while (const int n = reader.read(planar, 1000)) {
            out.insert(out.end(), planar[0], planar[0] + n);
        }
        EXPECT_DOUBLE_EQ(reader.progress(), 1.0);
        return std::make_pair(reader.format(), out);
    };
    const auto [extensible, samples] =
        read(wav::file(std::vector<std::vector<double>>{{0.5, -0.25}}, 48000, 24, 0x60F));
    EXPECT_EQ(extensible.sample_rate, 48000);
    EXPECT_EQ(extensible.channel_mask, 0x60Fu);
    EXPECT_EQ(samples, (std::vector<float>{16384.0f, -8192.0f}));
    // Odd-sized and unknown chunks around the data, or the data before the format.
    const wav::Bytes mono = wav::pcm(std::vector<std::vector<double>>{{0.1, 0.2, 0.3}}, 16);
    wav::Bytes chunks = wav::chunk("LIST", {'I', 'N', 'F', 'O', 'x'});
    wav::append(chunks, wav::chunk("data", mono));
    wav::append(chunks, wav::chunk("fmt ", wav::format_data({1, 1, 44100, 16})));
    wav::append(chunks, wav::chunk("id3 ", wav::Bytes(3, 0x11)));
    EXPECT_EQ(read(wav::riff("WAVE", chunks)).second, read(wav::file({1, 1}, mono)).second);
    // A data chunk that claims more than the file holds is read to the end (a partial
    // sample frame dropped), as is one of streaming size; an empty one gives nothing.
    wav::Bytes cut = wav::file({1, 1}, mono);
    cut[40] = 0x40;  // the data chunk's size: 64 bytes
    cut.push_back(0x12);
    EXPECT_TRUE(read(cut).first.truncated);
    EXPECT_EQ(read(cut).first.declared_frames, 32u);
    EXPECT_EQ(read(cut).second.size(), 3u);
    cut[40] = cut[41] = cut[42] = cut[43] = 0xFF;
    EXPECT_FALSE(read(cut).first.truncated);
    EXPECT_TRUE(read(wav::file({1, 2}, {})).second.empty());

    const auto refused = [&](const wav::Bytes& bytes, const std::string& words) {
        EXPECT_TRUE(wav::write_file(dir.file("bad.wav"), bytes));
        test::expect_throw_saying<std::runtime_error>(
            [&] { WavReader reader(dir.file("bad.wav")); }, words);
    };
    const wav::Bytes data(64, 0);
    wav::Bytes bad_align = wav::format_data({1, 2, 44100, 16});
    bad_align[12] = 3;
    wav::Bytes too_many_bits = wav::format_data({1, 2, 44100, 16, 0x3});
    too_many_bits[18] = 20;  // valid bits
    wav::Bytes short_format = wav::format_data({});
    short_format.resize(12);
    wav::Bytes rf64 = wav::file({}, data);
    std::memcpy(rf64.data(), "RF64", 4);
    refused({'R', 'I', 'F'}, "too short");
    refused(wav::riff("AVI ", wav::chunk("fmt ", wav::format_data({}))), "not a WAV file");
    refused(wav::Bytes(100, 'x'), "not a WAV file");
    refused(rf64, "RF64");
    refused(wav::file({3, 2, 44100, 32}, data), "floating-point");
    refused(wav::file({3, 2, 44100, 32, 0x3}, data), "floating-point");
    refused(wav::file({2, 2, 44100, 4}, data), "compressed");
    refused(wav::file({1, 2, 22050, 16}, data), "22050 Hz");
    refused(wav::file({1, 2, 44100, 12}, data), "12-bit");
    refused(wav::file({1, 0, 44100, 16}, data), "no channels");
    refused(wav::file({1, 9, 44100, 16}, data), "9 channels");
    refused(wav::riff("WAVE", wav::chunk("fmt ", bad_align)), "block alignment");
    refused(wav::riff("WAVE", wav::chunk("fmt ", too_many_bits)), "more valid bits");
    refused(wav::riff("WAVE", wav::chunk("fmt ", short_format)), "format chunk is too short");
    const char* const claims_more = "the format chunk claims more bytes than the file holds";
    refused(wav::riff("WAVE", wav::chunk("fmt ", {1, 0, 1, 0}, 40)), claims_more);
    wav::Bytes huge = wav::chunk("fmt ", wav::format_data({}), 0x7FFFFFFF);  // the audio inside
    wav::append(huge, wav::chunk("data", data));
    refused(wav::riff("WAVE", huge), claims_more);
    wav::Bytes overrun = wav::chunk("fmt ", short_format, 16);  // its end inside the next header
    wav::append(overrun, wav::chunk("data", data));
    refused(wav::riff("WAVE", overrun), "the format chunk is shorter than its declared size");
    refused(wav::riff("WAVE", wav::chunk("data", data)), "no format chunk");
    refused(wav::riff("WAVE", wav::chunk("fmt ", wav::format_data({}))), "no data chunk");
    test::expect_throw_saying<std::runtime_error>(
        [&] { WavReader reader(dir.file("nothing-here.wav")); }, "nothing-here.wav");
}

// (The usual layouts are checked end to end, decoded; here the rarer ones.)
TEST(SpeakerMap, EverySpeakerGoesToItsPlaceOrTheLayoutIsRefused) {
    constexpr int x = -1;  // silent
    const struct {
        int channels;
        std::uint32_t mask;
        std::vector<int> source;  // per coded channel (C, L, R, ...): the WAV channel
    } cases[] = {
        {3, 0x00B, {x, 0, 1, x, x, 2}},  // 2.1
        {3, 0x103, {x, 0, 1, 2}},        // FL FR BC
        {3, 0x03F, {2, 0, 1}},           // more speakers than channels: the first ones
        {5, 0x003, {2, 0, 1, 3, 4}},     // fewer: ignored
        {1, 0x8, {0}},                   // mono and stereo stay as they are
        {2, 0x30, {0, 1}},
    };
    for (const auto& c : cases) {
        const SpeakerMap map = map_speakers(c.channels, c.mask);
        EXPECT_EQ(std::vector<int>(map.source, map.source + map.coded_channels), c.source)
            << c.channels << " channels, mask " << c.mask;
    }
    const std::pair<std::uint32_t, const char*> refused[] = {
        {0x633, "two speakers share one place"},  // back and side surrounds
        {0x10F, "back centre"},                   // back centre with LFE
        {0x0C3, "has no place"},                  // front left/right of centre
    };
    for (const auto& [mask, words] : refused) {
        test::expect_throw_saying<std::invalid_argument>(
            [&] { map_speakers(__builtin_popcount(mask), mask); }, words);
    }
    EXPECT_THROW(map_speakers(7, 0), std::invalid_argument);
    EXPECT_THROW(map_speakers(0, 0), std::invalid_argument);
}

}  // namespace
}  // namespace brevix::aac
