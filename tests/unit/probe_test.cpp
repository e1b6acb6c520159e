// The WAV header probe on files built in memory: what it finds and how it refuses. (That
// it reads only chunk headers and the first format bytes, whatever the file, is the
// fuzzer's check.)
#include "job/wav_probe.h"

#include <gtest/gtest.h>

#include "bench/wav_file.h"

namespace brevix::job {
namespace {

using namespace brevix::wav;

ProbeResult probe(const Bytes& bytes) {
    MemoryByteSource source(bytes.data(), bytes.size());
    return probe_wav(source);
}

Bytes pcm_file(int channels, int rate, int bits = 16, int tag = 1) {
    return file({tag, channels, rate, bits}, Bytes(64, 0x11));
}

// "RIFF", a size that claims the whole 4 GiB, "WAVE" and the given chunks.
Bytes endless_riff(const Bytes& chunks) {
    Bytes out = {'R', 'I', 'F', 'F', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A', 'V', 'E'};
    append(out, chunks);
    return out;
}

TEST(WavProbe, FindsTheFormatPastOtherChunksWhateverTheirSizes) {
    for (const auto& [channels, rate, bits] :
         {std::tuple{1, 44100, 8}, std::tuple{2, 48000, 24}, std::tuple{65535, -1, 16}}) {
        const ProbeResult r = probe(pcm_file(channels, rate, bits));
        EXPECT_EQ(r.status, ProbeStatus::kPcm);
        EXPECT_EQ(r.format_tag, 1);
        EXPECT_EQ(r.channels, channels);
        EXPECT_EQ(r.samples_per_second, static_cast<std::uint32_t>(rate));
    }
    // A foreign chunk of odd size and a RIFF chunk of another form come first; inside,
    // odd-sized chunks and the audio come before "fmt ".
    Bytes file = chunk("JUNK", Bytes(7, 0xEE));
    append(file, riff("AVI ", chunk("fmt ", format_data({3, 2, 22050}))));
    Bytes inner = chunk("LIST", Bytes(3, 'x'));
    append(inner, chunk("data", Bytes(101, 0)));
    append(inner, chunk("fmt ", format_data({1, 1, 44100})));
    append(file, riff("WAVE", inner));
    EXPECT_EQ(probe(file).samples_per_second, 44100u);

    // Streaming writers leave the RIFF size at its maximum; eight format bytes are enough.
    Bytes eight = format_data({1, 2, 44100});
    eight.resize(8);
    EXPECT_EQ(probe(endless_riff(chunk("fmt ", eight))).status, ProbeStatus::kPcm);
}

TEST(WavProbe, SortsBrokenFilesByWhatIsWrong) {
    Bytes mp3 = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0x21, 0xFF, 0xFB, 0x90, 0x64};
    mp3.resize(600, 0x55);
    Bytes fmt_after = riff("WAVE", chunk("data", Bytes(8, 0)));
    append(fmt_after, chunk("fmt ", format_data({})));
    Bytes far_jump = chunk("data", Bytes(8, 0), 0xFFFFFFF0);
    append(far_jump, chunk("fmt ", format_data({})));
    const auto fmt_of = [](std::size_t size) {
        Bytes fields = format_data({});
        fields.resize(size);
        return riff("WAVE", chunk("fmt ", fields));
    };
    const auto cut = [](Bytes bytes, std::size_t size) {
        bytes.resize(size);
        return bytes;
    };
    const std::size_t fmt_data = 20;  // RIFF header, form type, fmt header
    const struct {
        Bytes file;
        ProbeStatus status;
    } cases[] = {
        {{}, ProbeStatus::kNotWave},
        {mp3, ProbeStatus::kNotWave},
        {riff("AVI ", chunk("fmt ", format_data({}))), ProbeStatus::kNotWave},
        {{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A'}, ProbeStatus::kNotWave},
        {riff("WAVE", chunk("data", Bytes(16, 0))), ProbeStatus::kNoFormatChunk},
        {riff("WAVE", {}), ProbeStatus::kNoFormatChunk},
        {fmt_after, ProbeStatus::kNoFormatChunk},
        {endless_riff(far_jump), ProbeStatus::kNoFormatChunk},
        {fmt_of(0), ProbeStatus::kFormatChunkTooShort},
        {fmt_of(7), ProbeStatus::kFormatChunkTooShort},
        {cut(pcm_file(2, 44100), fmt_data), ProbeStatus::kShortRead},
        {cut(pcm_file(2, 44100), fmt_data + 5), ProbeStatus::kShortRead},
        {cut(pcm_file(2, 44100), fmt_data + 15), ProbeStatus::kShortRead},
        {cut(pcm_file(2, 44100, 32, 3), fmt_data + 12), ProbeStatus::kShortRead},
        {cut(pcm_file(2, 44100), fmt_data + 16), ProbeStatus::kPcm},
        {pcm_file(2, 44100, 32, 3), ProbeStatus::kNotPcm},
    };
    for (const auto& c : cases) {
        const ProbeResult r = probe(c.file);
        EXPECT_EQ(r.status, c.status) << &c - cases;
        EXPECT_EQ(r.format_tag, c.status == ProbeStatus::kNotPcm ? 3
                                : c.status == ProbeStatus::kPcm  ? 1
                                                                 : 0);
    }
}

}  // namespace
}  // namespace brevix::job
