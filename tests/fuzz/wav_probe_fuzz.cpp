// libFuzzer target for the WAV header probe: any bytes as a file, read from memory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "job/wav_probe.h"

namespace {

// Passes reads through and notes the largest single request and the number of reads: the
// probe must read chunk headers and the first format bytes, never a chunk's data, and
// seek over chunks rather than walk through them.
class WatchedSource : public brevix::job::ByteSource {
public:
    WatchedSource(const std::uint8_t* data, std::size_t size) : memory_(data, size) {}
    std::size_t read_at(std::uint64_t offset, unsigned char* out, std::size_t count) override {
        largest_request = count > largest_request ? count : largest_request;
        ++reads;
        const std::size_t got = memory_.read_at(offset, out, count);
        if (got > count) {
            std::abort();
        }
        return got;
    }
    std::size_t largest_request = 0;
    std::size_t reads = 0;

private:
    brevix::job::MemoryByteSource memory_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using brevix::job::ProbeStatus;
    WatchedSource source(data, size);
    const brevix::job::ProbeResult r = brevix::job::probe_wav(source);

    // Every chunk header moves the walk on by at least eight bytes.
    if (source.largest_request > 12 || source.reads > size / 8 + 4) {
        std::abort();
    }
    switch (r.status) {
        case ProbeStatus::kPcm:
            if (r.format_tag != brevix::job::kPcmFormatTag) {
                std::abort();
            }
            break;
        case ProbeStatus::kNotPcm:
            if (r.format_tag == brevix::job::kPcmFormatTag) {
                std::abort();
            }
            break;
        case ProbeStatus::kCannotOpen:
            std::abort();  // a memory source always opens
        default:
            // A refusal carries no format fields.
            if (r.format_tag != 0 || r.channels != 0 || r.samples_per_second != 0) {
                std::abort();
            }
            break;
    }
    return 0;
}
