// Containers around the raw data blocks. ADTS now; a file container (MP4) is another
// ContainerWriter that collects frames and writes its index in finish().
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/aac_types.h"
#include "core/encoder.h"

namespace brevix::aac {

// Where a container writes its bytes (a file, or memory in tests). Throws on failure.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(const void* data, std::size_t bytes) = 0;
};

struct StreamInfo {
    Profile profile = Profile::kLowComplexity;
    int sample_rate = 44100;
    int channels = 2;
};

class ContainerWriter : public FrameSink {
public:
    // Bits the container adds per frame; they count against the bit rate.
    virtual int overhead_bits_per_frame() const = 0;
    // Completes the file after the last frame.
    virtual void finish() {}
};

}  // namespace brevix::aac
