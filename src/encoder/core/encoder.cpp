#include "core/frame_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

#include "core/huffman.h"
#include "core/window.h"

namespace brevix::aac {
namespace {

constexpr int kVariableFullness = 0x7FF;

// Bandwidth kept at a given bit rate per channel: wide enough to sound open, narrow enough
// that the bands below it get the bits they need.
struct BandwidthPoint {
    int rate;
    int hz;
};
constexpr BandwidthPoint kBandwidthTable[] = {
    {8000, 3500},   {16000, 7000},  {24000, 10000}, {32000, 13500}, {40000, 15800},  {48000, 16500},
    {56000, 17000}, {64000, 17800}, {81000, 19500}, {96000, 20500}, {128000, 22050},
};

// Noise substitution and intensity stereo serve the lower rates, where coding the upper
// bands' waveforms would take bits the lower bands need more. Highest rates per channel
// (bits/s) and lowest band starts (Hz) where they may be used: noise substitution above
// the range where a listener follows single partials, intensity stereo where hearing
// follows the level differences between the ears rather than their waveforms.
constexpr int kNoiseSubstitutionMaxRate = 48000;
constexpr int kNoiseSubstitutionStartHz = 3500;
// Below this (Hz) noise only stands in for a band that would otherwise be left empty, at
// every rate: there lie a voice's upper formants and the start of its fricatives, whose
// waveform a listener follows (noise in their place is heard as a hoarse voice).
constexpr int kFreeSubstitutionStartHz = 4000;
constexpr int kIntensityMaxRate = 48000;
constexpr int kIntensityStartHz = 6000;
// From this rate per channel (bits/s) the model asks more of long windows where a listener
// is most sensitive (see ModelStrictness): noise at least kBassOffsetDb under each band
// below 200 Hz, and a narrow band's tonality judged over kTonalityLines lines, so that a
// single steady tone (its main lobe fills a low band's 4 lines and the 2 either side, and
// reads as half noise) gets a tone's offset. Below that rate the bits these take leave
// holes elsewhere (a voice's fricatives beside a harpsichord's bass, a loud noise's
// intensity bands losing their level) and starve a voice beside a harpsichord.
constexpr int kStrictModelMinRate = 40000;
constexpr float kBassOffsetDb = 16.0f;
constexpr int kTonalityLines = 32;
// How far a frame's bit target moves as the reservoir empties or fills (see
// FrameEncoder::frame_budget()): at most this share of the reservoir's capacity and of the
// average frame.
constexpr float kReservoirSwing = 0.1f;
constexpr float kReservoirSwingOfAverage = 0.25f;
// Below this correlation of its samples a pair whose channels want different windows
// gives each the windows it wants (see FrameEncoder::analyze_element()).
constexpr float kSplitWindowCorrelation = 0.5f;
// The low-frequency effects channel feeds a subwoofer that plays little above 120 Hz;
// its lowest bands up to about twice that are coded, so the crossover stays intact.
constexpr int kLfeBandwidthHz = 240;
// A long window takes the KBD shape when its spectra need at least this share fewer bits
// than with the sine shape (see FrameEncoder::long_window_shape()): where the two are
// close, the sine window's finer resolution of close partials is worth more.
constexpr float kKbdSaving = 0.05f;
// Playback raises the LFE channel by 10 dB, and its coding noise with it.
constexpr float kLfeThresholdScale = 0.1f;

}  // namespace

struct FrameEncoder::Channel {
    Channel(int sample_rate, const ModelStrictness& strictness)
        : psycho(sample_rate, strictness),
          predictors(long_bands(sample_rate).offsets[kPredictionBands]) {}

    float history[3 * kFrameLength] = {};  // blocks k, k+1 (this frame) and k+2 (look-ahead)
    PsychoModel psycho;
    // The stream may open with any window: nothing overlaps the first frame's left half.
    // Starting "after a short window" lets an attack right at the start get short windows.
    WindowSequence sequence = WindowSequence::kEightShort;
    WindowShape shape = WindowShape::kSine;
    float raw[kFrameLength] = {};  // spectrum in window order
    // A long window's spectrum with each shape's right half (see long_window_shape()).
    float shaped[2][kFrameLength] = {};
    float short_energy[kNumShortWindows * kMaxShortBands] = {};
    float short_threshold[kNumShortWindows * kMaxShortBands] = {};
    float short_weight[kMaxShortBands] = {};
    float window_energy[kNumShortWindows] = {};
    Ics ics;
    Predictors predictors;  // Main profile only
};

int min_bit_rate(int channels) {
    return 8000 * channels;
}

int max_bit_rate(int sample_rate, int channels) {
    // 6144 bits per channel and frame of 1024 samples.
    return static_cast<int>(static_cast<std::int64_t>(kMaxBitsPerChannel) * sample_rate /
                            kFrameLength) *
           channels;
}

void check_bit_rate(int bit_rate, int sample_rate, int channels) {
    const int low = min_bit_rate(channels);
    const int high = max_bit_rate(sample_rate, channels);
    if (bit_rate < low || bit_rate > high) {
        throw std::invalid_argument("bit rate " + std::to_string(bit_rate) + " bits/s is outside " +
                                    std::to_string(low) + ".." + std::to_string(high) +
                                    " for this input");
    }
}

int default_bandwidth(int rate, int sample_rate) {
    int hz = kBandwidthTable[0].hz;
    const int points = static_cast<int>(sizeof(kBandwidthTable) / sizeof(kBandwidthTable[0]));
    if (rate >= kBandwidthTable[points - 1].rate) {
        hz = kBandwidthTable[points - 1].hz;
    } else {
        for (int i = 1; i < points; ++i) {
            if (rate < kBandwidthTable[i].rate) {
                const BandwidthPoint& a = kBandwidthTable[i - 1];
                const BandwidthPoint& b = kBandwidthTable[i];
                const double t =
                    std::max(0.0, static_cast<double>(rate - a.rate) / (b.rate - a.rate));
                hz = static_cast<int>(a.hz + t * (b.hz - a.hz));
                break;
            }
        }
    }
    return std::min(hz, sample_rate / 2);
}

std::size_t FrameEncoder::max_frame_bytes(int channels) {
    return static_cast<std::size_t>(kMaxBitsPerChannel / 8 * channels);
}

FrameEncoder::FrameEncoder(const EncoderConfig& config, int container_bits_per_frame)
    : config_(config),
      container_bits_(container_bits_per_frame),
      long_mdct_(2 * kFrameLength),
      short_mdct_(2 * kShortLength),
      tns_(config.sample_rate, config.profile) {
    if (!is_supported_sample_rate(config.sample_rate)) {
        throw std::invalid_argument("sampling rate " + std::to_string(config.sample_rate) +
                                    " Hz is not supported (44100 or 48000 Hz)");
    }
    layout_ = element_layout(config.channels);  // throws for unsupported counts
    check_bit_rate(config.bit_rate, config.sample_rate, config.channels);
    // The LFE channel's few lines cost next to nothing: the rate is shared by the others.
    const bool has_lfe = layout_.elements[layout_.count - 1].id == ElementId::kLfe;
    const int full_band_channels = config.channels - (has_lfe ? 1 : 0);
    const int bandwidth_hz =
        config.bandwidth_hz > 0
            ? std::min(config.bandwidth_hz, config.sample_rate / 2)
            : default_bandwidth(config.bit_rate / full_band_channels, config.sample_rate);
    const int long_lines = static_cast<int>(static_cast<std::int64_t>(bandwidth_hz) * 2 *
                                            kFrameLength / config.sample_rate);
    const int short_lines = static_cast<int>(static_cast<std::int64_t>(bandwidth_hz) * 2 *
                                             kShortLength / config.sample_rate);
    long_max_sfb_ = bands_below(long_bands(config.sample_rate), long_lines);
    short_max_sfb_ = bands_below(short_bands(config.sample_rate), short_lines);
    lfe_max_sfb_ = bands_below(long_bands(config.sample_rate),
                               kLfeBandwidthHz * 2 * kFrameLength / config.sample_rate);
    // Above the rates where substitution pays, it still stands in for a band the rate
    // loop would leave empty: a band that comes and goes from frame to frame is heard.
    if (config.tools.pns) {
        noise_substitution_mode_ = config.bit_rate / full_band_channels <= kNoiseSubstitutionMaxRate
                                       ? kSubstituteFreely
                                       : kSubstituteForHoles;
    }
    stereo_tools_.intensity =
        config.tools.intensity && config.bit_rate / full_band_channels <= kIntensityMaxRate;
    for (int s = 0; s < 2; ++s) {
        const BandLayout layout =
            s == 0 ? long_bands(config.sample_rate) : short_bands(config.sample_rate);
        const int lines = s == 0 ? kFrameLength : kShortLength;
        // From the band that holds the start frequency: a short window's bands are wide.
        noise_start_[s] = std::max(
            0, bands_below_hz(layout, lines, kNoiseSubstitutionStartHz, config.sample_rate) - 1);
        // From the first band wholly above its start frequency.
        free_noise_start_[s] =
            bands_below_hz(layout, lines, kFreeSubstitutionStartHz, config.sample_rate);
        stereo_tools_.intensity_start[s] =
            bands_below_hz(layout, lines, kIntensityStartHz, config.sample_rate);
    }

    ModelStrictness strictness;
    if (config.bit_rate / full_band_channels >= kStrictModelMinRate) {
        strictness = {kBassOffsetDb, kTonalityLines};
    }
    for (int c = 0; c < config.channels; ++c) {
        channels_.push_back(std::make_unique<Channel>(config.sample_rate, strictness));
    }
    frame_buffer_.resize(max_frame_bytes(config.channels) + 16);
    const int average = static_cast<int>(static_cast<std::int64_t>(config.bit_rate) * kFrameLength /
                                         config.sample_rate) -
                        container_bits_;
    reservoir_capacity_ = std::max(0, kMaxBitsPerChannel * config.channels - average);
    // Start full, as a decoder fills its input buffer before it starts: the opening
    // frames, often an attack out of silence, may borrow.
    reservoir_bits_ = reservoir_capacity_;
}

FrameEncoder::~FrameEncoder() = default;

void FrameEncoder::encode(const float* const* planar, int count, FrameSink& sink) {
    if (finished_) {
        throw std::logic_error("encode() after finish()");
    }
    if (count < 0 || count > kFrameLength) {
        throw std::invalid_argument("encode() takes at most 1024 samples per channel");
    }
    samples_in_ += count;
    push_block(planar, count, sink);
}

void FrameEncoder::finish(FrameSink& sink) {
    if (finished_) {
        return;
    }
    // Every input block must have been coded by two overlapping frames.
    const auto frames_needed =
        static_cast<std::int64_t>(Encoder::frames_for(static_cast<std::uint64_t>(samples_in_)));
    while (frames_written_ < frames_needed) {
        push_block(nullptr, 0, sink);
    }
    finished_ = true;
}

void FrameEncoder::push_block(const float* const* planar, int count, FrameSink& sink) {
    for (int c = 0; c < config_.channels; ++c) {
        Channel& ch = *channels_[static_cast<std::size_t>(c)];
        std::memmove(ch.history, ch.history + kFrameLength, 2 * kFrameLength * sizeof(float));
        float* block = ch.history + 2 * kFrameLength;
        for (int i = 0; i < count; ++i) {
            block[i] = planar[c][i];
        }
        std::fill(block + count, block + kFrameLength, 0.0f);
        ch.psycho.look_ahead(ch.history);
    }
    ++blocks_pushed_;
    if (blocks_pushed_ >= 2) {
        encode_frame(sink);
    }
}

void FrameEncoder::analyze_channel(Channel& ch, WindowSequence sequence, WindowShape shape) {
    const WindowShape previous_shape = ch.shape;
    ch.sequence = sequence;
    ch.shape = shape;
    ch.ics.sequence = sequence;
    ch.ics.shape = shape;
    if (sequence == WindowSequence::kEightShort) {
        for (int w = 0; w < kNumShortWindows; ++w) {
            window_short_block(ch.history, w, previous_shape, shape, windowed_);
            float* out = ch.raw + w * kShortLength;
            short_mdct_.forward(windowed_, out);
            float e = 0.0f;
            for (int k = 0; k < kShortLength; ++k) {
                e += out[k] * out[k];
            }
            ch.window_energy[w] = e;
        }
        ch.psycho.analyze_short(ch.raw, ch.short_energy, ch.short_threshold, ch.short_weight);
    } else {
        const float* spectrum = ch.shaped[static_cast<int>(shape)];
        std::copy(spectrum, spectrum + kFrameLength, ch.raw);
        ch.psycho.analyze_long(ch.raw, ch.ics.energy, ch.ics.threshold, ch.ics.weight);
        // Tonal for noise substitution: a line spectrum within the frame, or lines that
        // go on steadily from frame to frame (many partials can look as flat as noise).
        const float* tonality = ch.psycho.long_tonality();
        const float* steadiness = ch.psycho.long_steadiness();
        for (int b = 0; b < ch.psycho.long_layout().count; ++b) {
            ch.ics.tonality[b] = std::max(tonality[b], steadiness[b]);
        }
    }
}

// One grouping of the short windows for the channels [first, first + count) of an element,
// from their summed window energies. Returns the number of groups.
int FrameEncoder::short_grouping(int first, int count, int* lengths) const {
    ShortWindowBands bands[2];
    for (int c = 0; c < count; ++c) {
        const Channel& ch = *channels_[static_cast<std::size_t>(first + c)];
        bands[c] = {ch.short_energy, ch.short_threshold};
    }
    return group_short_windows(bands, count, short_bands(config_.sample_rate), short_max_sfb_,
                               lengths);
}

// Sets the band layout of the channels [first, first + count) of one element. Short
// windows are grouped by `lengths` (`groups` of them, one grouping for the element; see
// short_grouping()) and their spectra interleaved into coding order.
void FrameEncoder::group_and_layout(int first, int count, int long_max_sfb, const int* lengths,
                                    int groups) {
    Channel& lead = *channels_[static_cast<std::size_t>(first)];
    if (!lead.ics.is_short()) {
        for (int c = first; c < first + count; ++c) {
            Channel& ch = *channels_[static_cast<std::size_t>(c)];
            ch.ics.set_layout(long_bands(config_.sample_rate), long_max_sfb);
            std::copy(ch.raw, ch.raw + kFrameLength, ch.ics.spectrum);
        }
        return;
    }
    const BandLayout layout = short_bands(config_.sample_rate);
    for (int c = first; c < first + count; ++c) {
        Channel& ch = *channels_[static_cast<std::size_t>(c)];
        Ics& ics = ch.ics;
        ics.group_count = groups;
        std::copy(lengths, lengths + groups, ics.group_length);
        ics.set_layout(layout, short_max_sfb_);
        int window = 0;
        int pos = 0;
        for (int g = 0; g < groups; ++g) {
            for (int b = 0; b < layout.count; ++b) {
                float e = 0.0f;
                float t = 1e30f;
                for (int w = window; w < window + lengths[g]; ++w) {
                    const float* src = ch.raw + w * kShortLength + layout.offsets[b];
                    for (int k = 0; k < layout.width(b); ++k) {
                        ics.spectrum[pos++] = src[k];
                    }
                    e += ch.short_energy[w * kMaxShortBands + b];
                    t = std::min(t, ch.short_threshold[w * kMaxShortBands + b]);
                }
                // One scalefactor serves all windows of the group, so each window sees
                // about 1/length of the noise: the quietest window's threshold rules.
                const int i = g * layout.count + b;
                ics.energy[i] = e;
                ics.threshold[i] = t * static_cast<float>(lengths[g]);
                // The group stands for its share of the frame's eight windows.
                ics.weight[i] = ch.short_weight[b] * static_cast<float>(lengths[g]) /
                                static_cast<float>(kNumShortWindows);
                ics.tonality[i] = ch.psycho.short_tonality()[b];
            }
            window += lengths[g];
        }
    }
}

// Which bands of the channels [first, first + count) the rate loop may substitute, with the
// energies substitution must give back; no intensity bands yet.
void FrameEncoder::mark_bands(int first, int count, std::uint8_t substitute) {
    for (int c = first; c < first + count; ++c) {
        Ics& ics = channels_[static_cast<std::size_t>(c)]->ics;
        const int s = ics.is_short() ? 1 : 0;
        mark_substitutable(ics, noise_start_[s], free_noise_start_[s], substitute);
    }
}

// Bits this frame may use: never more than the reservoir holds, at least what it could
// not keep (in constant-rate mode those would be padding), and a target that steers the
// reservoir back towards half full. Within those limits the rate loop spends bits by the
// frame's difficulty. All figures exclude the frame's `side_bits`.
// The target moves with the reservoir's fill by up to a tenth of its capacity either way,
// but never by more than a quarter of the average frame: at low rates the reservoir holds
// many frames' worth, and a tenth of it would cut the frames after a demanding passage to
// a fraction of the average, so that the rate loop leaves the bands of whatever comes next
// (a fricative's) empty.
FrameBudget FrameEncoder::frame_budget(int average_bits, int side_bits) const {
    const int max_frame = kMaxBitsPerChannel * config_.channels;
    const int hard = std::min(average_bits + std::max(reservoir_bits_, 0), max_frame);
    const float capacity = static_cast<float>(std::max(reservoir_capacity_, 1));
    const float fill = static_cast<float>(reservoir_bits_) / capacity;
    FrameBudget budget;
    budget.max = std::max(0, hard - side_bits);
    const float swing = std::min(kReservoirSwing * capacity,
                                 kReservoirSwingOfAverage * static_cast<float>(average_bits));
    budget.target =
        static_cast<int>(static_cast<float>(average_bits) + (fill - 0.5f) * 2.0f * swing) -
        side_bits;
    budget.min = config_.constant_rate
                     ? average_bits + reservoir_bits_ - reservoir_capacity_ - side_bits
                     : 0;
    return budget;
}

// Analyses the element's channels and chooses their windows (per element, so that a pair
// shares one window unless its channels want different ones; the LFE channel always uses
// long windows), then filters their spectra (TNS) and sets their band layout.
void FrameEncoder::analyze_element(const ChannelElement& element) {
    const int first = element.first;
    const int count = element.channels();
    if (element.id == ElementId::kLfe) {
        Channel& lfe = *channels_[static_cast<std::size_t>(first)];
        analyze_channel(lfe, WindowSequence::kOnlyLong,
                        long_window_shape(first, 1, WindowSequence::kOnlyLong, lfe_max_sfb_));
        group_and_layout(first, count, lfe_max_sfb_, nullptr, 1);
        // Its few lines cost little: code them finer by the playback gain.
        for (int b = 0; b < lfe_max_sfb_; ++b) {
            lfe.ics.threshold[b] *= kLfeThresholdScale;
        }
        return;
    }
    bool short_now = false;
    bool short_next = false;
    for (int c = first; c < first + count; ++c) {
        const Channel& ch = *channels_[static_cast<std::size_t>(c)];
        short_now = short_now || ch.psycho.wants_short_now();
        short_next = short_next || ch.psycho.wants_short_next();
    }
    const WindowSequence sequence = next_window_sequence(
        channels_[static_cast<std::size_t>(first)]->sequence, short_now, short_next);
    if (element.id == ElementId::kCpe) {
        // A pair shares its windows, and so may use M/S and intensity, unless its channels
        // want different windows and are too unlike for joint coding to pay: then each
        // keeps the windows it wants. (A steady sound beside another channel's attacks
        // would lose most of its frequency resolution in short windows.)
        const Channel& left = *channels_[static_cast<std::size_t>(first)];
        const Channel& right = *channels_[static_cast<std::size_t>(first) + 1];
        const WindowSequence own[2] = {
            next_window_sequence(left.sequence, left.psycho.wants_short_now(),
                                 left.psycho.wants_short_next()),
            next_window_sequence(right.sequence, right.psycho.wants_short_now(),
                                 right.psycho.wants_short_next())};
        const bool joint_possible =
            next_window_sequence(right.sequence, short_now, short_next) == sequence;
        const bool split =
            !joint_possible ||
            (own[0] != own[1] && std::fabs(frame_correlation(first)) < kSplitWindowCorrelation);
        stereo_masks_[element.tag].common_window = !split;
        if (split) {
            window_channels(first, 1, own[0]);
            window_channels(first + 1, 1, own[1]);
            return;
        }
    }
    window_channels(first, count, sequence);
}

// Normalised correlation of a pair's samples over the frame's transform span.
float FrameEncoder::frame_correlation(int left) const {
    const float* l = channels_[static_cast<std::size_t>(left)]->history;
    const float* r = channels_[static_cast<std::size_t>(left) + 1]->history;
    double lr = 0.0;
    double ll = 0.0;
    double rr = 0.0;
    for (int i = 0; i < 2 * kFrameLength; ++i) {
        lr += static_cast<double>(l[i]) * r[i];
        ll += static_cast<double>(l[i]) * l[i];
        rr += static_cast<double>(r[i]) * r[i];
    }
    return static_cast<float>(lr / std::max(std::sqrt(ll * rr), 1e-30));
}

// Transforms the channels [first, first + count) with long window `sequence` and chooses
// its shape, one for them all (a pair sharing its windows shares it too); leaves each
// channel's spectrum in `shaped`. The KBD window's far side lobes lie far below the sine
// window's, so the lines of a steady tone leak much less into the quiet bands around
// them; the sine window's narrower main lobe keeps close partials apart. Each shape is
// judged by the bits its spectra need against the model's thresholds over the first
// `max_sfb` bands, with that shape on both halves of the window: the left half follows
// the previous frame's shape whatever this frame chooses, and judged by its right half
// alone the shape would flip every frame, each frame undoing what the last one gained.
WindowShape FrameEncoder::long_window_shape(int first, int count, WindowSequence sequence,
                                            int max_sfb) {
    const BandLayout layout = long_bands(config_.sample_rate);
    float bits[2] = {};
    float energy[kMaxLongBands];
    float threshold[kMaxLongBands];
    float weight[kMaxLongBands];
    for (int c = first; c < first + count; ++c) {
        Channel& ch = *channels_[static_cast<std::size_t>(c)];
        for (const WindowShape shape : {WindowShape::kSine, WindowShape::kKbd}) {
            float* spectrum = ch.shaped[static_cast<int>(shape)];
            if (sequence == WindowSequence::kOnlyLong && shape == WindowShape::kSine) {
                // The model has transformed this block under that window already.
                const float* model = ch.psycho.long_sine_spectrum();
                std::copy(model, model + kFrameLength, spectrum);
            } else {
                window_long_block(ch.history, sequence, shape, shape, windowed_);
                long_mdct_.forward(windowed_, spectrum);
            }
            ch.psycho.analyze_long(spectrum, energy, threshold, weight);
            for (int b = 0; b < max_sfb; ++b) {
                bits[static_cast<int>(shape)] +=
                    band_entropy(energy[b], threshold[b], layout.width(b));
            }
        }
    }
    const WindowShape chosen =
        bits[static_cast<int>(WindowShape::kKbd)] <
                (1.0f - kKbdSaving) * bits[static_cast<int>(WindowShape::kSine)]
            ? WindowShape::kKbd
            : WindowShape::kSine;
    // The window's left half continues the previous frame's shape.
    for (int c = first; c < first + count; ++c) {
        Channel& ch = *channels_[static_cast<std::size_t>(c)];
        if (ch.shape != chosen) {
            window_long_block(ch.history, sequence, ch.shape, chosen, windowed_);
            long_mdct_.forward(windowed_, ch.shaped[static_cast<int>(chosen)]);
        }
    }
    return chosen;
}

// Analyses the channels [first, first + count) with window `sequence`: the transform,
// the psychoacoustic model, the short windows' grouping, temporal noise shaping and the
// band layout.
void FrameEncoder::window_channels(int first, int count, WindowSequence sequence) {
    const bool short_windows = sequence == WindowSequence::kEightShort;
    const WindowShape shape = short_windows
                                  ? WindowShape::kKbd
                                  : long_window_shape(first, count, sequence, long_max_sfb_);
    TnsChannel tns[kMaxTnsChannels];
    for (int c = first; c < first + count; ++c) {
        Channel& ch = *channels_[static_cast<std::size_t>(c)];
        analyze_channel(ch, sequence, shape);
        tns[c - first] = {ch.raw, short_windows ? ch.short_energy : ch.ics.energy,
                          short_windows ? ch.short_threshold : ch.ics.threshold, &ch.ics.tns};
    }
    int lengths[kNumShortWindows] = {1};
    const int groups = short_windows ? short_grouping(first, count, lengths) : 1;
    // Filtered in window order and before any M/S decision: the decoder undoes M/S first
    // and then each channel's filters.
    if (config_.tools.tns) {
        tns_.apply(tns, count, short_windows, short_windows ? short_max_sfb_ : long_max_sfb_,
                   lengths, groups);
    }
    group_and_layout(first, count, long_max_sfb_, lengths, groups);
}

bool FrameEncoder::predicts(const ChannelElement& element) const {
    return config_.profile == Profile::kMain && config_.tools.prediction &&
           element.id != ElementId::kLfe;
}

// The element's channels' spectra and predictors; returns how many channels share their
// predictor data: a pair's two only when they share their windows.
int FrameEncoder::element_predictors(const ChannelElement& element, Ics** ics,
                                     Predictors** predictors) {
    for (int c = 0; c < element.channels(); ++c) {
        Channel& ch = *channels_[static_cast<std::size_t>(element.first + c)];
        ics[c] = &ch.ics;
        predictors[c] = &ch.predictors;
    }
    const bool split = element.id == ElementId::kCpe && !stereo_masks_[element.tag].common_window;
    return split ? 1 : element.channels();
}

// Main profile: predicts the element's long-window spectra and codes the bands that gain
// as residuals (before the M/S decision, which then sees the residuals).
void FrameEncoder::predict_element(const ChannelElement& element) {
    Ics* ics[2];
    Predictors* predictors[2];
    const int together = element_predictors(element, ics, predictors);
    for (int c = 0; c < element.channels(); ++c) {
        if (!ics[c]->is_short()) {
            predictors[c]->predict();
        }
    }
    for (int c = 0; c < element.channels(); c += together) {
        choose_prediction(ics + c, predictors + c, together);
    }
}

// Main profile: runs the predictors on the frame as a decoder rebuilds it.
void FrameEncoder::update_predictors(const ChannelElement& element) {
    Ics* ics[2];
    Predictors* predictors[2];
    const int together = element_predictors(element, ics, predictors);
    const StereoMask* mask = together == 2 ? &stereo_masks_[element.tag] : nullptr;
    for (int c = 0; c < element.channels(); c += together) {
        update_prediction(ics + c, predictors + c, together, mask);
    }
}

// A pair with a common window: which bands are coded as mid/side or by intensity. Returns
// the element's side information bits that do not depend on the rate loop.
int FrameEncoder::choose_stereo_coding(const ChannelElement& element) {
    Ics& ics = channels_[static_cast<std::size_t>(element.first)]->ics;
    if (element.id != ElementId::kCpe) {
        return sce_fixed_bits(ics);  // LFE: same syntax
    }
    StereoMask& mask = stereo_masks_[element.tag];
    Ics& right = channels_[static_cast<std::size_t>(element.first) + 1]->ics;
    if (mask.common_window) {
        choose_stereo(ics, right, mask, stereo_tools_, rate_loop_.lambda());
    } else {
        mask.present = 0;
        std::fill(mask.used, mask.used + kMaxCodingBands, std::uint8_t{0});
    }
    return cpe_fixed_bits(ics, right, mask);
}

void FrameEncoder::write_element(BitWriter& out, const ChannelElement& element) {
    const Ics& ics = channels_[static_cast<std::size_t>(element.first)]->ics;
    switch (element.id) {
        case ElementId::kCpe:
            write_cpe(out, element.tag, ics,
                      channels_[static_cast<std::size_t>(element.first) + 1]->ics,
                      stereo_masks_[element.tag]);
            break;
        case ElementId::kLfe:
            write_lfe(out, element.tag, ics);
            break;
        default:
            write_sce(out, element.tag, ics);
            break;
    }
}

void FrameEncoder::encode_frame(FrameSink& sink) {
    const int channel_count = config_.channels;
    const ChannelElement* const elements = layout_.elements;
    int fixed_bits = kEndBits;
    for (int e = 0; e < layout_.count; ++e) {
        analyze_element(elements[e]);
        if (predicts(elements[e])) {
            predict_element(elements[e]);
        }
        // After the prediction: bands it serves are never substituted.
        mark_bands(elements[e].first, elements[e].channels(),
                   elements[e].id == ElementId::kLfe ? std::uint8_t{0} : noise_substitution_mode_);
        fixed_bits += choose_stereo_coding(elements[e]);
    }

    // Average bits for this frame, carrying the fraction so the long-run rate is exact.
    rate_remainder_ += static_cast<std::int64_t>(config_.bit_rate) * kFrameLength;
    const int frame_bits = static_cast<int>(rate_remainder_ / config_.sample_rate);
    rate_remainder_ -= static_cast<std::int64_t>(frame_bits) * config_.sample_rate;
    const int average_bits = frame_bits - container_bits_;

    Ics* ics[kMaxChannels];
    for (int c = 0; c < channel_count; ++c) {
        ics[c] = &channels_[static_cast<std::size_t>(c)]->ics;
    }
    constexpr int kAlignSlack = 7;
    rate_loop_.prepare(ics, channel_count);
    for (int e = 0; e < layout_.count; ++e) {
        // Only a pair with a common window has M/S and intensity bands.
        if (elements[e].id == ElementId::kCpe && stereo_masks_[elements[e].tag].common_window) {
            rate_loop_.pair(elements[e].first, stereo_masks_[elements[e].tag].used,
                            config_.tools.intensity);
        }
    }
    rate_loop_.run(frame_budget(average_bits, fixed_bits + kAlignSlack));
    for (int e = 0; e < layout_.count; ++e) {
        if (elements[e].id == ElementId::kCpe) {
            // The rate loop may have cleared flags: per band only where they differ.
            StereoMask& mask = stereo_masks_[elements[e].tag];
            const Ics& left = *ics[elements[e].first];
            int used = 0;
            for (int g = 0; g < left.group_count; ++g) {
                for (int b = 0; b < left.max_sfb; ++b) {
                    used += mask.used[g * left.bands_per_group + b];
                }
            }
            if (mask.present != 0) {
                mask.present = used == 0 ? 0 : (used == left.group_count * left.max_sfb ? 2 : 1);
            }
        }
        if (predicts(elements[e])) {
            update_predictors(elements[e]);
        }
    }

    BitWriter out(frame_buffer_.data(), frame_buffer_.size());
    for (int e = 0; e < layout_.count; ++e) {
        write_element(out, elements[e]);
    }
    const int coded_bits = static_cast<int>(out.bit_count());
    const int unpadded_frame_bits = (coded_bits + kEndBits + 7) / 8 * 8;
    if (config_.constant_rate) {
        // Bits the reservoir cannot hold would lower the rate: spend them on fill.
        const int excess =
            reservoir_bits_ + average_bits - unpadded_frame_bits - reservoir_capacity_;
        if (excess > 0) {
            const int max_frame = kMaxBitsPerChannel * channel_count;
            const int wanted =
                std::min((excess + 7) / 8 * 8 + unpadded_frame_bits, max_frame / 8 * 8);
            write_fill(out, wanted - coded_bits - kEndBits);
        }
    }
    write_end(out);
    out.align();
    if (out.overflowed()) {
        throw std::logic_error("internal error: frame exceeds its buffer");
    }
    const int used_bits = static_cast<int>(out.byte_count()) * 8;
    reservoir_bits_ = std::min(reservoir_bits_ + average_bits - used_bits, reservoir_capacity_);
    int fullness = kVariableFullness;
    if (config_.constant_rate) {
        fullness = std::clamp(reservoir_bits_ / (32 * channel_count), 0, kVariableFullness - 1);
    }
    sink.write_frame(out.data(), out.byte_count(), fullness);
    ++frames_written_;
}

Encoder::Encoder(const EncoderConfig& config, int container_bits_per_frame)
    : frames_(std::make_unique<FrameEncoder>(config, container_bits_per_frame)) {}

Encoder::~Encoder() = default;

void Encoder::encode(const float* const* planar, int count, FrameSink& sink) {
    frames_->encode(planar, count, sink);
}

void Encoder::finish(FrameSink& sink) {
    frames_->finish(sink);
}

}  // namespace brevix::aac
