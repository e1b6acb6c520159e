// ADTS: every raw data block gets a 7-byte header (no CRC) with the sync word, object
// type, sampling-rate index, channel configuration, frame length and buffer fullness.
#pragma once

#include "container/container.h"

namespace brevix::aac {

class AdtsWriter : public ContainerWriter {
public:
    static constexpr int kHeaderBytes = 7;

    AdtsWriter(const StreamInfo& info, ByteSink& out);

    void write_frame(const std::uint8_t* data, std::size_t bytes, int buffer_fullness) override;
    int overhead_bits_per_frame() const override { return 8 * kHeaderBytes; }

    // The header for a frame of `payload_bytes`, for tests and tools.
    static void make_header(const StreamInfo& info, std::size_t payload_bytes, int buffer_fullness,
                            std::uint8_t* header);

private:
    StreamInfo info_;
    ByteSink& out_;
};

}  // namespace brevix::aac
