// Temporal noise shaping: a linear predictor run over frequency, across the spectral lines
// of one window. A sound that is loud in only part of the window (an attack, a glottal
// pulse) has a spectrum whose neighbouring lines are correlated; the prediction error
// filter A(z) taken over frequency flattens the sound's envelope in time, and the
// decoder's synthesis filter 1/A(z) gives the envelope back to the sound and to the
// quantisation noise alike, so the noise follows the sound in time instead of spreading
// evenly over the window (pre-echo).
//
// Per window (the long window or each of the eight short ones), over the lines from a
// start frequency (about 1.4, 2.8 or 5.5 kHz: each is tried) up to the last band the
// stream's tool limits and the coded bandwidth allow:
//  * autocorrelation of the lines of the bands clearly above their threshold (not
//    normalised per band: the filter then whitens the lines the quantiser sees);
//  * Levinson-Durbin recursion for the reflection coefficients and the prediction gain;
//  * where the gain exceeds a threshold, the reflection coefficients are quantised as the
//    stream carries them (4 bits, arcsine scale), trailing zeros dropped, turned into the
//    direct-form filter, and the window's lines filtered (downwards over frequency).
// The synthesis filter raises the quantisation noise by its power gain, and a band coded
// as zeros leaves its filtered lines as the error, which it may raise by more: each
// filtered band's threshold is divided by the larger of the two, so the noise the decoder
// puts out stays what the psychoacoustic model allows and only its shape in time changes.
// That costs bits wherever the filter flattens a band less than it raises its noise, so a
// filter is kept only where the window's group (short windows of a group share their
// scalefactors) costs, by perceptual entropy, at most what shaping is worth (tns.cpp).
#pragma once

#include <cstdint>
#include <memory>

#include "core/aac_types.h"
#include "core/bands.h"
#include "core/bit_writer.h"

namespace brevix::aac {

constexpr int kMaxTnsOrder = 20;  // the largest order of any window and profile

// One window's filter as the stream carries it: at most one per window, spanning the
// `length` bands below the window's top band.
struct TnsFilter {
    int order = 0;  // 0: no filter in this window
    int length = 0;
    bool compress = false;  // coefficients sent with 3 instead of 4 bits
    std::int8_t index[kMaxTnsOrder] = {};
};

// The filters of one channel's frame (one window, or eight short ones).
struct TnsData {
    bool present = false;
    TnsFilter filter[kNumShortWindows];
};

// One channel's frame for the filters: the spectrum in window order, the band energies
// and thresholds of its windows (long: [band]; short: [window * kMaxShortBands + band]).
struct TnsChannel {
    float* spectrum;
    float* energy;
    float* threshold;
    TnsData* data;
};
constexpr int kMaxTnsChannels = 2;

class Tns {
public:
    Tns(int sample_rate, Profile profile);
    ~Tns();
    Tns(const Tns&) = delete;
    Tns& operator=(const Tns&) = delete;

    // Analyses and, where it pays, filters the windows of `count` (1 or 2) channels that
    // share their windows, in place: one long window of 1024 lines, or eight short windows
    // of 128 lines one after the other, grouped by `group_lengths` (`groups` of them). The
    // channels of a pair get one filter per window, computed from both: the same filter on
    // left and right keeps their mid and side what they were, so M/S coding works as well
    // as without filters. Energies and thresholds of the filtered bands are updated.
    // `max_sfb`: bands coded.
    void apply(const TnsChannel* channels, int count, bool short_windows, int max_sfb,
               const int* group_lengths, int groups);

private:
    // Filters are tried from these many start frequencies, an octave apart.
    static constexpr int kStarts = 3;
    struct Limits {
        BandLayout layout;
        int first_band[kStarts];  // lowest band filtered, per candidate start
        int max_bands;            // highest band (exclusive) the tool may reach
        int max_order;
    };
    // The windows [first, first + length) of one group, in all channels.
    struct Group {
        const TnsChannel* channels;
        int count;
        int first;
        int length;
    };
    // A window's filter and what it makes of the window's lines and bands.
    struct Candidate {
        TnsFilter filter;
        int bits;  // the filter's side information
        int first_band;
        float noise_gain;                            // power gain of the synthesis filter
        float lines[kMaxTnsChannels][kFrameLength];  // filtered, from first_band's start
        float energy[kMaxTnsChannels][kMaxLongBands];
        float gain[kMaxTnsChannels][kMaxLongBands];  // noise growth per band, at least noise_gain
        double a[kMaxTnsOrder + 1];                  // the filter, direct form
    };
    // Autocorrelations (lags 0..kMaxTnsOrder) of the lines of `window` from each start up
    // to `end_band`, of the bands clearly above their threshold, summed over the channels.
    // (Not normalised per band: the filter then whitens the lines the quantiser sees, so
    // that its noise is white and the noise gain holds.)
    void correlate(const Group& group, int window, int lines, const Limits& limits, int end_band,
                   double (*r)[kMaxTnsOrder + 1]) const;
    // Designs the filter of `window` from the start at `first_band`, with autocorrelation
    // `r`; false if it would not shape much.
    bool design(const Group& group, int window, int lines, const Limits& limits, int first_band,
                int end_band, const double* r, Candidate& out) const;
    // Replaces the candidate's noise gain by each band's own where that is larger.
    void band_gains(int count, const BandLayout& layout, int end_band, Candidate& out) const;
    // Perceptual entropy of the group's bands below `end_band`, plus the candidate's bits
    // when window `changed` takes the candidate (-1: as it stands, without it).
    float group_entropy(const Group& group, const BandLayout& layout, int end_band, int changed,
                        const Candidate& candidate) const;

    Limits long_;
    Limits short_;
    std::unique_ptr<Candidate[]> scratch_;  // two: the best so far and the next try
};

// Bits of tns_data() (0 when no window has a filter: only tns_data_present is sent).
int tns_data_bits(const TnsData& data, bool short_windows);
void write_tns_data(BitWriter& out, const TnsData& data, bool short_windows);

}  // namespace brevix::aac
