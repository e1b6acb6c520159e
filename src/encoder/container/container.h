// Containers around the raw data blocks: ADTS (adts_writer.h), a header in front of every
// frame, or MP4 (mp4_writer.h), a file that indexes its frames when it is finished.
#pragma once

#include <cstddef>
#include <cstdint>

#include "container/tags.h"
#include "core/aac_types.h"
#include "core/encoder.h"

namespace brevix::aac {

// Where a container writes its bytes (a file, or memory in tests). Throws on failure.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Appends at the end.
    virtual void write(const void* data, std::size_t bytes) = 0;
    // Overwrites bytes written earlier (a size known only at the end); the next write()
    // appends at the end again. Sinks that cannot go back (pipes) refuse.
    virtual void write_at(std::uint64_t offset, const void* data, std::size_t bytes);
};

struct StreamInfo {
    Profile profile = Profile::kLowComplexity;
    int sample_rate = 44100;
    int channels = 2;  // 1 to 6, in the order of core/channel_config.h
    // Decoded output before the first source sample.
    int priming_samples = Encoder::kPrimingSamples;
};

class ContainerWriter : public FrameSink {
public:
    // Bits the container adds per frame; they count against the bit rate.
    virtual int overhead_bits_per_frame() const = 0;
    // Completes the file after the last frame. `source_samples`: the input's length per
    // channel, for containers that record the exact playing time.
    virtual void finish(std::uint64_t source_samples) { static_cast<void>(source_samples); }
};

// The channel_configuration value for `channels` (1 to 6); throws std::invalid_argument
// for other counts.
int channel_configuration(int channels);

}  // namespace brevix::aac
