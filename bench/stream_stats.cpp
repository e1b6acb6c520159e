#include "bench/stream_stats.h"

#include <algorithm>
#include <cmath>

#include "core/aac_tables.h"

namespace brevix::bench {
namespace {

constexpr int kLong = 1024;     // lines of a long window, samples a frame adds
constexpr int kShort = 128;     // lines of a short window
constexpr int kOwnStart = 512;  // a frame's window outweighs its neighbours' from here

const std::uint16_t* offsets_of(const ChannelStream& c) {
    return c.short_windows() ? aac::tables::kSwbOffsetsShort44100
                             : aac::tables::kSwbOffsetsLong44100;
}

// Lines of band b in group g (all the group's windows).
int band_lines(const ChannelStream& c, int g, int b) {
    const std::uint16_t* offsets = offsets_of(c);
    return (offsets[b + 1] - offsets[b]) * c.group_length[static_cast<std::size_t>(g)];
}

// Per long-window line resolution (FFT bin of the meter = line of a long window): whether
// window `w` of `c` codes line `k` (of 1024) as noise. Short windows have 1/8 the lines.
// Lines of window `w` in noise bands: noise-coded ones, and the intensity bands of a
// pair's right channel whose left band (`partner`) is noise, which copy that noise.
std::vector<std::uint8_t> noise_lines(const ChannelStream& c, int w, const ChannelStream* partner) {
    std::vector<std::uint8_t> noise(kLong, 0);
    const std::uint16_t* offsets = offsets_of(c);
    int g = 0;
    for (int first = 0;
         c.short_windows() && first + c.group_length[static_cast<std::size_t>(g)] <= w; ++g) {
        first += c.group_length[static_cast<std::size_t>(g)];
    }
    const int scale = c.short_windows() ? kLong / kShort : 1;
    for (int b = 0; b < c.max_sfb; ++b) {
        const std::size_t i = static_cast<std::size_t>(g * c.max_sfb + b);
        const bool copied = partner != nullptr && i < partner->book.size() &&
                            partner->book[i] == kNoiseBook &&
                            (c.book[i] == kIntensityBook || c.book[i] == kIntensityOutOfPhaseBook);
        if (c.book[i] == kNoiseBook || copied) {
            std::fill(noise.begin() + offsets[b] * scale, noise.begin() + offsets[b + 1] * scale,
                      1);
        }
    }
    return noise;
}

// The left channel of the pair whose right channel is output channel `channel` of the
// frame (with a common window), or nullptr.
const ChannelStream* pair_partner(const RawFrame& frame, int channel) {
    int first = 0;
    for (const Element& e : frame.elements) {
        const int count = static_cast<int>(e.channels.size());
        if (channel < first + count) {
            return count == 2 && e.common_window && channel == first + 1 ? &e.channels[0] : nullptr;
        }
        first += count;
    }
    return nullptr;
}

}  // namespace

std::vector<const ChannelStream*> channels_of(const RawFrame& frame) {
    std::vector<const ChannelStream*> out;
    for (const Element& e : frame.elements) {
        for (const ChannelStream& c : e.channels) {
            out.push_back(&c);
        }
    }
    return out;
}

ToolUse tool_use(const AacStream& stream) {
    ToolUse use;
    double bytes = 0.0;
    double channel_frames = 0.0;
    double lines = 0.0;
    for (const RawFrame& f : stream.frames) {
        use.fill += f.fill_bytes;
        bytes += f.frame_bytes;
        for (const ChannelStream* c : channels_of(f)) {
            channel_frames += 1.0;
            use.tns += std::any_of(c->tns_order.begin(), c->tns_order.end(),
                                   [](int order) { return order > 0; })
                           ? 1.0
                           : 0.0;
            for (int g = 0; g < c->groups(); ++g) {
                for (int b = 0; b < c->max_sfb; ++b) {
                    const int book = c->book[static_cast<std::size_t>(g * c->max_sfb + b)];
                    const double n = band_lines(*c, g, b);
                    lines += n;
                    use.noise += book == kNoiseBook ? n : 0.0;
                    use.intensity +=
                        book == kIntensityBook || book == kIntensityOutOfPhaseBook ? n : 0.0;
                    const bool predicted =
                        c->predictor_data_present &&
                        static_cast<std::size_t>(b) < c->prediction_used.size() &&
                        c->prediction_used[static_cast<std::size_t>(b)] != 0;
                    use.predicted += predicted ? n : 0.0;
                }
            }
        }
    }
    use.fill /= std::max(1.0, bytes);
    use.tns /= std::max(1.0, channel_frames);
    use.noise /= std::max(1.0, lines);
    use.intensity /= std::max(1.0, lines);
    use.predicted /= std::max(1.0, lines);
    return use;
}

std::vector<std::uint8_t> substituted_cells(const AacStream& stream, int channel,
                                            const NmrMeter& meter, std::size_t meter_frames,
                                            int lag) {
    const int bands = meter.band_count();
    std::vector<std::uint8_t> cells(meter_frames * static_cast<std::size_t>(bands), 0);
    // Energy of the meter's (Hann) window, summed: weight[i] = sum of w^2 over 0..i-1.
    constexpr int n = NmrMeter::kFrameSize;
    std::vector<double> weight(n + 1, 0.0);
    for (int i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * 3.14159265358979323846 * i / n);
        weight[static_cast<std::size_t>(i) + 1] = weight[static_cast<std::size_t>(i)] + w * w;
    }
    std::vector<double> covered(static_cast<std::size_t>(bands));
    for (std::size_t f = 0; f < meter_frames; ++f) {
        // The meter's frame in the decoder's time: t0 .. t0 + n - 1.
        const long t0 = static_cast<long>(f) * NmrMeter::kHop + lag;
        std::fill(covered.begin(), covered.end(), 0.0);
        bool any = false;
        // Walk the pieces of the frame owned by one coding window each.
        for (long t = t0; t < t0 + n;) {
            const long j = (t - kOwnStart) >= 0 ? (t - kOwnStart) / kLong : -1;
            long end = kOwnStart + (j + 1) * kLong;
            if (j < 0 || static_cast<std::size_t>(j) >= stream.frames.size()) {
                t = std::min<long>(end, t0 + n);
                continue;
            }
            const std::vector<const ChannelStream*> cs =
                channels_of(stream.frames[static_cast<std::size_t>(j)]);
            if (channel >= static_cast<int>(cs.size())) {
                break;
            }
            const ChannelStream& c = *cs[static_cast<std::size_t>(channel)];
            const ChannelStream* partner =
                pair_partner(stream.frames[static_cast<std::size_t>(j)], channel);
            int w = 0;
            if (c.short_windows()) {
                w = static_cast<int>((t - kOwnStart - j * kLong) / kShort);
                end = kOwnStart + j * kLong + (w + 1) * kShort;
            }
            end = std::min<long>(end, t0 + n);
            const double share = weight[static_cast<std::size_t>(end - t0)] -
                                 weight[static_cast<std::size_t>(t - t0)];
            const auto noise_in = [](const ChannelStream* s) {
                return s != nullptr &&
                       std::find(s->book.begin(), s->book.end(), kNoiseBook) != s->book.end();
            };
            if (noise_in(&c) || noise_in(partner)) {
                const std::vector<std::uint8_t> noise = noise_lines(c, w, partner);
                for (int b = 0; b < bands; ++b) {
                    int count = 0;
                    for (int k = meter.band_first(b); k < meter.band_end(b); ++k) {
                        count += noise[static_cast<std::size_t>(k)];
                    }
                    covered[static_cast<std::size_t>(b)] +=
                        share * count / (meter.band_end(b) - meter.band_first(b));
                    any = any || count > 0;
                }
            }
            t = end;
        }
        for (int b = 0; any && b < bands; ++b) {
            cells[f * static_cast<std::size_t>(bands) + static_cast<std::size_t>(b)] =
                covered[static_cast<std::size_t>(b)] >= 0.5 * weight[n] ? 1 : 0;
        }
    }
    return cells;
}

}  // namespace brevix::bench
