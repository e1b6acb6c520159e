// Measures of what a decoding keeps of its source's spectrum and time structure, beside
// the noise-to-mask ratio: the bandwidth it reaches, the share of spectral holes, and the
// noise it spreads in front of sudden onsets (pre-echo). All take the source and the
// decoding per channel in 16-bit scale, with decoded[i + lag] playing source[i].
#pragma once

#include <cstddef>
#include <vector>

namespace brevix::bench {

using Channels = std::vector<std::vector<float>>;

// Highest frequency (Hz) at which the decoding's long-term power spectrum lies within
// 10 dB of the source's, in steps of 8 FFT bins (172 Hz at 44.1 kHz) and counting only
// steps where the source's long-term spectrum is within 80 dB of its strongest step.
double decoded_bandwidth_hz(const Channels& source, const Channels& decoded, int lag,
                            int sample_rate);

// Of the (frame, third-octave band) cells from the band centred at `from_hz` up to
// `limit_hz` in which the source rises 10 dB or more above the threshold in quiet, the
// share where the decoding's energy lies 10 dB or more below the source's (frames of 2048
// samples, hop 1024, Hann window; all channels).
double hole_share(const Channels& source, const Channels& decoded, int lag, int sample_rate,
                  double from_hz, double limit_hz);

// Sample positions of the source's onsets: the energy of a 64-sample block (all channels)
// at least 20 dB above each of the 4 blocks before it (6 ms at 44.1 kHz) and above
// -60 dBFS; at most one onset per 100 ms.
std::vector<std::size_t> find_onsets(const Channels& source, int sample_rate);

struct PreEcho {
    std::size_t onsets = 0;
    // dB of the mean over onsets of: coding-noise energy (decoded - source, all channels)
    // in the 5 ms before the onset's block over the source's energy in the 5 ms from it.
    double db = 0.0;
};

PreEcho pre_echo(const Channels& source, const Channels& decoded, int lag,
                 const std::vector<std::size_t>& onsets, int sample_rate);

}  // namespace brevix::bench
