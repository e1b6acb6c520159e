// What a coded stream tells about its encoder's choices, read with the stream reader:
// how much of it is fill, how often each coding tool is used, and where in time and
// frequency bands were replaced by noise (for the noise-to-mask ratio, see nmr.h).
#pragma once

#include <cstdint>
#include <vector>

#include "bench/nmr.h"
#include "bench/stream_reader.h"

namespace brevix::bench {

struct ToolUse {
    double fill = 0.0;  // payload bytes of fill elements over all bytes of the stream
    double tns = 0.0;   // channel frames with a TNS filter (order > 0) in any window
    // Shares of the coded spectral lines (those below max_sfb, every window) in bands
    // coded as noise, as intensity (either direction), or predicted.
    double noise = 0.0;
    double intensity = 0.0;
    double predicted = 0.0;
};

ToolUse tool_use(const AacStream& stream);

// The channel streams of a frame in output order (SCE, CPE left and right, LFE).
std::vector<const ChannelStream*> channels_of(const RawFrame& frame);

// One flag per frame and band of `meter` (its frame f covers source samples f * kHop ..
// f * kHop + kFrameSize - 1) for channel `channel` of the decoding, which plays source
// sample i at decoded[i + lag]: set where at least half of the cell is covered by
// noise-substituted scalefactor bands. Coverage is weighed in time by the meter's window
// energy and in frequency by FFT bins. A decoder's output sample t belongs to coding
// frame j = (t - 512) / 1024 (the half of frame j's window where it outweighs its
// neighbours), and within an eight-short frame to short window (t - 512 - 1024 j) / 128.
std::vector<std::uint8_t> substituted_cells(const AacStream& stream, int channel,
                                            const NmrMeter& meter, std::size_t meter_frames,
                                            int lag);

}  // namespace brevix::bench
