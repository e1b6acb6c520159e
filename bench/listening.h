// Measures of what a listener hears at once and a mean noise-to-mask ratio hides: a
// channel that drops out for a few milliseconds, a stereo image that narrows or widens,
// one channel of a pair starved of bits, and noise filling the gaps between the partials
// of a tonal sound. All take the source and the decoding per channel in 16-bit scale, with
// decoded[i + lag] playing source[i]. See README.md for what each can and cannot see.
#pragma once

#include <cstddef>
#include <vector>

#include "bench/spectral_measures.h"

namespace brevix::bench {

// Blocks of 128 samples (2.9 ms at 44.1 kHz) in which a channel's decoding lies more
// than 20 dB below a source block louder than -40 dBFS (RMS). Consecutive such blocks of
// a channel are one event.
struct Dropouts {
    int events = 0;           // over all channels
    double longest_ms = 0.0;  // the longest event
    std::size_t worst_channel = 0;
    double worst_s = 0.0;  // where the longest starts, in source time
};
Dropouts find_dropouts(const Channels& source, const Channels& decoded, int lag, int sample_rate);

// The stereo image above 3.5 kHz: per band (3.5-5, 5-7, 7-10 and 10-14 kHz) the
// normalised correlation of the left and right channels over the whole clip (Hann frames
// of 2048 samples, hop 1024), of the source and of the decoding. A band counts where both
// source channels are louder than -70 dBFS there; elsewhere its entries are NaN.
constexpr int kImageBands = 4;
struct Image {
    double source[kImageBands] = {};
    double decoded[kImageBands] = {};
    double error = 0.0;  // the largest |decoded - source| over the bands that count
    int worst_band = -1;
};
Image stereo_image(const Channels& source, const Channels& decoded, int lag, int sample_rate);
// The bands' edges in Hz (kImageBands + 1 values).
const double* image_band_edges();

// Segmental signal-to-noise ratio below 4 kHz: per Hann frame of 2048 samples (hop
// 1024) the source's energy in the bins below 4 kHz over the energy of the difference of
// the two spectra there, in dB; the 10th percentile over the frames in which the source
// is within 40 dB of its loudest frame and above -60 dBFS there. Per channel.
std::vector<double> low_band_snr(const Channels& source, const Channels& decoded, int lag,
                                 int sample_rate);

// How far the decoding raises the floor between partials (4-11 kHz): over the bins where
// the source lies 30 dB or more below its strongest bin within 8 bins either side, in the
// frames where the source's 4-11 kHz energy is within 30 dB of its loudest frame's and
// such valleys make up a tenth or more of the bins (a line spectrum), the decoding's
// energy over the source's, in dB. Per channel; NaN where no frame holds partials.
std::vector<double> floor_between_partials(const Channels& source, const Channels& decoded, int lag,
                                           int sample_rate);

}  // namespace brevix::bench
