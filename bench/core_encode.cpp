#include "bench/core_encode.h"

#include <algorithm>

#include "container/adts_writer.h"

namespace brevix::bench {
namespace {

class MemorySink : public aac::ByteSink {
public:
    explicit MemorySink(std::vector<std::uint8_t>& out) : out_(out) {}
    void write(const void* data, std::size_t bytes) override {
        const auto* p = static_cast<const std::uint8_t*>(data);
        out_.insert(out_.end(), p, p + bytes);
    }

private:
    std::vector<std::uint8_t>& out_;
};

}  // namespace

std::vector<std::uint8_t> encode_adts(const aac::EncoderConfig& config,
                                      const std::vector<std::vector<float>>& channels) {
    std::vector<std::uint8_t> bytes;
    MemorySink sink(bytes);
    const aac::StreamInfo info{config.profile, config.sample_rate, config.channels};
    aac::AdtsWriter writer(info, sink);
    aac::Encoder encoder(config, writer.overhead_bits_per_frame());
    const std::size_t n = channels.empty() ? 0 : channels[0].size();
    std::vector<const float*> planar(channels.size());
    for (std::size_t at = 0; at < n; at += aac::kFrameLength) {
        for (std::size_t c = 0; c < channels.size(); ++c) {
            planar[c] = channels[c].data() + at;
        }
        encoder.encode(planar.data(),
                       static_cast<int>(std::min<std::size_t>(aac::kFrameLength, n - at)), writer);
    }
    encoder.finish(writer);
    writer.finish(n);
    return bytes;
}

}  // namespace brevix::bench
