#include "job/wav_probe.h"

#include <gtest/gtest.h>

#include "wav_builder.h"

namespace brevix::job {
namespace {

using brevix::testing::append;
using brevix::testing::Bytes;
using brevix::testing::chunk;
using brevix::testing::format_data;
using brevix::testing::riff;
using brevix::testing::wav;

// Counts what the probe reads, to show that it seeks over chunks instead of reading them.
class CountingSource : public ByteSource {
public:
    explicit CountingSource(const Bytes& bytes) : memory_(bytes.data(), bytes.size()) {}
    std::size_t read_at(std::uint64_t offset, unsigned char* out, std::size_t count) override {
        requested += count;
        return memory_.read_at(offset, out, count);
    }
    std::size_t requested = 0;

private:
    MemoryByteSource memory_;
};

ProbeResult probe(const Bytes& bytes) {
    MemoryByteSource source(bytes.data(), bytes.size());
    return probe_wav(source);
}

Bytes text_bytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

TEST(WavProbe, ReportsTagChannelsAndRateOfPcmFilesWhateverTheSampleWidth) {
    struct Case {
        std::uint16_t channels;
        std::uint32_t rate;
        std::uint16_t bits;
    };
    for (const Case c :
         {Case{1, 44100, 16}, Case{2, 44100, 16}, Case{6, 44100, 16}, Case{1, 44100, 8},
          Case{2, 44100, 24}, Case{2, 48000, 16}, Case{65535, 0xFFFFFFFFu, 16}}) {
        const ProbeResult r = probe(wav(1, c.channels, c.rate, c.bits));
        EXPECT_EQ(r.status, ProbeStatus::kPcm) << c.channels << " " << c.rate << " " << c.bits;
        EXPECT_EQ(r.format_tag, 1);
        EXPECT_EQ(r.channels, c.channels);
        EXPECT_EQ(r.samples_per_second, c.rate);
    }
}

TEST(WavProbe, WalksPastOtherChunksHonouringEvenPadding) {
    // Top level: a foreign chunk and a RIFF chunk of another form come before the WAVE one.
    Bytes file = chunk("JUNK", Bytes(7, 0xEE));  // odd size: one pad byte follows
    append(file, riff("AVI ", chunk("fmt ", format_data(3, 2, 22050))));
    // Inside: odd-sized chunks and a "data" chunk before "fmt ".
    Bytes inner = chunk("LIST", Bytes(3, 'x'));
    append(inner, chunk("bext", Bytes(1, 'y')));
    append(inner, chunk("data", Bytes(101, 0)));
    append(inner, chunk("fmt ", format_data(1, 1, 44100)));
    append(file, riff("WAVE", inner));

    const ProbeResult r = probe(file);
    EXPECT_EQ(r.status, ProbeStatus::kPcm);
    EXPECT_EQ(r.channels, 1);
    EXPECT_EQ(r.samples_per_second, 44100u);
}

TEST(WavProbe, RefusesFilesWithoutAWaveChunk) {
    Bytes mp3_like = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0x21};
    for (int frame = 0; frame < 4; ++frame) {
        append(mp3_like, {0xFF, 0xFB, 0x90, 0x64});
        append(mp3_like, Bytes(413, 0x55));
    }
    const Bytes riff_without_form = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A'};
    for (const Bytes& file :
         {Bytes{}, mp3_like, riff("AVI ", chunk("fmt ", format_data(1, 2, 44100))),
          riff_without_form, text_bytes("RIFF")}) {
        EXPECT_EQ(probe(file).status, ProbeStatus::kNotWave) << file.size() << " bytes";
    }
}

TEST(WavProbe, RefusesAWaveChunkWithoutFormatChunk) {
    // No fmt at all.
    EXPECT_EQ(probe(riff("WAVE", chunk("data", Bytes(16, 0)))).status, ProbeStatus::kNoFormatChunk);
    // An empty WAVE chunk.
    EXPECT_EQ(probe(riff("WAVE", {})).status, ProbeStatus::kNoFormatChunk);

    // A fmt chunk that follows the WAVE chunk instead of lying inside it.
    Bytes outside = riff("WAVE", chunk("data", Bytes(8, 0)));
    append(outside, chunk("fmt ", format_data(1, 2, 44100)));
    EXPECT_EQ(probe(outside).status, ProbeStatus::kNoFormatChunk);

    // A chunk whose declared size jumps far past the end of the file.
    Bytes jump = chunk("data", Bytes(8, 0), 0xFFFFFFF0);
    append(jump, chunk("fmt ", format_data(1, 2, 44100)));
    Bytes file = text_bytes("RIFF");
    brevix::testing::append_le32(file, 0xFFFFFFFF);
    append(file, text_bytes("WAVE"));
    append(file, jump);
    EXPECT_EQ(probe(file).status, ProbeStatus::kNoFormatChunk);
}

TEST(WavProbe, AcceptsAWaveChunkThatDeclaresMoreThanTheFileHolds) {
    // Writers that stream sometimes leave the RIFF size at its maximum.
    Bytes file = text_bytes("RIFF");
    brevix::testing::append_le32(file, 0xFFFFFFFF);
    append(file, text_bytes("WAVE"));
    append(file, chunk("fmt ", format_data(1, 2, 44100)));
    EXPECT_EQ(probe(file).status, ProbeStatus::kPcm);
}

TEST(WavProbe, FormatChunkMustHoldItsEightBytes) {
    const Bytes full = format_data(1, 1, 44100);
    for (std::size_t size : {0u, 1u, 7u}) {
        const Bytes fields(full.begin(), full.begin() + static_cast<long>(size));
        EXPECT_EQ(probe(riff("WAVE", chunk("fmt ", fields))).status,
                  ProbeStatus::kFormatChunkTooShort)
            << size;
    }
    // Exactly eight bytes are enough.
    const Bytes eight(full.begin(), full.begin() + 8);
    EXPECT_EQ(probe(riff("WAVE", chunk("fmt ", eight))).status, ProbeStatus::kPcm);
}

TEST(WavProbe, FileEndingInsideTheFormatChunkIsAShortRead) {
    const Bytes whole = wav(1, 2, 44100);
    const std::size_t fmt_data = 12 + 8;  // RIFF header and form type, fmt header
    // Cut inside the first eight bytes, and after them but before the declared end.
    for (std::size_t keep : {fmt_data, fmt_data + 5, fmt_data + 10, fmt_data + 15}) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<long>(keep));
        EXPECT_EQ(probe(cut).status, ProbeStatus::kShortRead) << keep;
    }
    const Bytes complete(whole.begin(), whole.begin() + static_cast<long>(fmt_data + 16));
    EXPECT_EQ(probe(complete).status, ProbeStatus::kPcm);
}

TEST(WavProbe, ReportsTheFieldsOfANonPcmFormat) {
    const ProbeResult r = probe(wav(3, 2, 44100, 32));  // IEEE float
    EXPECT_EQ(r.status, ProbeStatus::kNotPcm);
    EXPECT_EQ(r.format_tag, 3);
    // Short read comes before the tag test.
    Bytes cut = wav(3, 2, 44100, 32);
    cut.resize(12 + 8 + 12);
    EXPECT_EQ(probe(cut).status, ProbeStatus::kShortRead);
}

TEST(WavProbe, ReadsOnlyChunkHeadersAndTheFirstFormatBytes) {
    // A huge format chunk and a megabyte of data before it: neither is read.
    Bytes fields = format_data(1, 2, 44100);
    fields.resize(70001, 0x5A);
    Bytes inner = chunk("data", Bytes(1 << 20, 0x33));
    append(inner, chunk("fmt ", fields));
    const Bytes file = riff("WAVE", inner);

    CountingSource source(file);
    const ProbeResult r = probe_wav(source);
    EXPECT_EQ(r.status, ProbeStatus::kPcm);
    EXPECT_EQ(r.samples_per_second, 44100u);
    EXPECT_LE(source.requested, 64u);

    // The same chunk cut short of its declared size is still a short read.
    Bytes cut = file;
    cut.resize(cut.size() - 10);
    EXPECT_EQ(probe(cut).status, ProbeStatus::kShortRead);
}

}  // namespace
}  // namespace brevix::job
