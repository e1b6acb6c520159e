#include "container/adts_writer.h"

#include <stdexcept>

#include "core/bands.h"
#include "core/bit_writer.h"

namespace brevix::aac {

AdtsWriter::AdtsWriter(const StreamInfo& info, ByteSink& out) : info_(info), out_(out) {
    if (sampling_frequency_index(info.sample_rate) < 0) {
        throw std::invalid_argument("ADTS cannot describe this stream");
    }
    channel_configuration(info.channels);  // throws for channel counts without one
}

void AdtsWriter::make_header(const StreamInfo& info, std::size_t payload_bytes, int buffer_fullness,
                             std::uint8_t* header) {
    const std::size_t frame_length = payload_bytes + kHeaderBytes;
    if (frame_length >= (1u << 13)) {
        throw std::length_error("frame too long for an ADTS header");
    }
    BitWriter bits(header, kHeaderBytes);
    // Every stream says MPEG-4: noise substitution needs it, any decoder that knows MPEG-4
    // takes all the rest, and some refuse a short stream that says MPEG-2.
    bits.put(0xFFF, 12);                                        // sync word
    bits.put(0, 1);                                             // MPEG-4
    bits.put(0, 2);                                             // layer
    bits.put(1, 1);                                             // no CRC
    bits.put(static_cast<std::uint32_t>(info.profile) - 1, 2);  // object type - 1
    bits.put(static_cast<std::uint32_t>(sampling_frequency_index(info.sample_rate)), 4);
    bits.put(0, 1);  // private
    bits.put(static_cast<std::uint32_t>(channel_configuration(info.channels)), 3);
    bits.put(0, 1);  // original/copy
    bits.put(0, 1);  // home
    bits.put(0, 1);  // copyright identification bit
    bits.put(0, 1);  // copyright identification start
    bits.put(static_cast<std::uint32_t>(frame_length), 13);
    bits.put(static_cast<std::uint32_t>(buffer_fullness) & 0x7FF, 11);
    bits.put(0, 2);  // one raw data block
}

void AdtsWriter::write_frame(const std::uint8_t* data, std::size_t bytes, int buffer_fullness) {
    std::uint8_t header[kHeaderBytes];
    make_header(info_, bytes, buffer_fullness, header);
    out_.write(header, kHeaderBytes);
    out_.write(data, bytes);
}

}  // namespace brevix::aac
