#include "bench/stream_reader.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>
#include <utility>

namespace brevix::bench {
namespace {

constexpr int kLongBands = 49;        // scalefactor bands of a long window at 44.1 and 48 kHz
constexpr int kShortBands = 14;       // and of a short window
constexpr int kPredictionBands = 40;  // bands with a predictor at 44.1 and 48 kHz
// Largest TNS filter order: long windows in the Main profile, other long windows, short.
constexpr int kTnsMaxOrderMain = 20;
constexpr int kTnsMaxOrderLong = 12;
constexpr int kTnsMaxOrderShort = 7;
constexpr int kNoiseOffset = 90;      // noise energies start at global_gain minus this
constexpr int kNoisePcmOffset = 256;  // the first noise energy: 9-bit value minus this
constexpr int kChannelsOfConfig[] = {0, 1, 2, 3, 4, 5, 6, 8};

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what);
}

int read_int(BitReader& in, int count) {
    return static_cast<int>(in.read(count));
}

// Reads the raw data block of one frame; `in` is bounded by the frame's end.
class BlockReader {
public:
    BlockReader(BitReader& in, int mpeg_id, int profile)
        : in_(in), mpeg_id_(mpeg_id), profile_(profile) {}

    void read(RawFrame& frame) {
        const std::size_t start = in_.position();
        for (;;) {
            const int id = read_int(in_, 3);
            if (id == 7) {
                break;
            }
            Element e;
            e.id = id;
            switch (id) {
                case 0:
                case 3:
                    e.tag = read_int(in_, 4);
                    e.channels.resize(1);
                    channel_stream(e.channels[0], false, false);
                    if (id == 3 && e.channels[0].window_sequence != 0) {
                        fail("low-frequency channel with window sequence " +
                             std::to_string(e.channels[0].window_sequence));
                    }
                    break;
                case 1:
                    channel_pair(e);
                    break;
                case 4:
                    data_stream(e);
                    break;
                case 6:
                    frame.fill_bytes += fill(e);
                    break;
                case 2:
                    fail("coupling channel element (not read)");
                default:
                    fail("program configuration element (not read)");
            }
            frame.elements.push_back(std::move(e));
        }
        frame.bits = static_cast<int>(in_.position() - start);
    }

private:
    void channel_pair(Element& e) {
        e.tag = read_int(in_, 4);
        e.common_window = in_.read(1) == 1;
        e.channels.resize(2);
        if (e.common_window) {
            ics_info(e.channels[0]);
            e.ms_mask_present = read_int(in_, 2);
            const int coding_bands = e.channels[0].groups() * e.channels[0].max_sfb;
            if (e.ms_mask_present == 3) {
                fail("reserved ms_mask_present 3");
            } else if (e.ms_mask_present == 2) {
                e.ms_used.assign(static_cast<std::size_t>(coding_bands), 1);
            } else if (e.ms_mask_present == 1) {
                for (int i = 0; i < coding_bands; ++i) {
                    e.ms_used.push_back(read_int(in_, 1));
                }
            }
            e.channels[1] = e.channels[0];
        }
        channel_stream(e.channels[0], e.common_window, false);
        channel_stream(e.channels[1], e.common_window, true);
    }

    void data_stream(Element& e) {
        e.tag = read_int(in_, 4);
        const bool align = in_.read(1) == 1;
        int count = read_int(in_, 8);
        if (count == 255) {
            count += read_int(in_, 8);
        }
        if (align) {
            in_.read(static_cast<int>((8 - in_.position() % 8) % 8));
        }
        skip_bytes(count);
    }

    int fill(Element& e) {
        int count = read_int(in_, 4);
        if (count == 15) {
            count += read_int(in_, 8) - 1;
        }
        e.tag = 0;
        skip_bytes(count);
        return count;
    }

    void skip_bytes(int count) {
        for (int i = 0; i < count; ++i) {
            in_.read(8);
        }
    }

    void ics_info(ChannelStream& c) {
        if (in_.read(1) != 0) {
            fail("ics_reserved_bit set");
        }
        c.window_sequence = read_int(in_, 2);
        c.window_shape = read_int(in_, 1);
        c.group_length.clear();
        if (c.short_windows()) {
            c.max_sfb = read_int(in_, 4);
            if (c.max_sfb > kShortBands) {
                fail("max_sfb " + std::to_string(c.max_sfb) + " of short windows above " +
                     std::to_string(kShortBands));
            }
            const int grouping = read_int(in_, 7);
            c.group_length.push_back(1);
            for (int w = 1; w < 8; ++w) {
                if ((grouping >> (7 - w)) & 1) {
                    ++c.group_length.back();
                } else {
                    c.group_length.push_back(1);
                }
            }
            return;
        }
        c.group_length.push_back(1);
        c.max_sfb = read_int(in_, 6);
        if (c.max_sfb > kLongBands) {
            fail("max_sfb " + std::to_string(c.max_sfb) + " above " + std::to_string(kLongBands));
        }
        c.predictor_data_present = in_.read(1) == 1;
        if (!c.predictor_data_present) {
            return;
        }
        if (profile_ != 0) {
            fail("predictor data outside the Main profile");
        }
        c.predictor_reset = in_.read(1) == 1;
        if (c.predictor_reset) {
            c.predictor_reset_group = read_int(in_, 5);
            if (c.predictor_reset_group < 1 || c.predictor_reset_group > 30) {
                fail("predictor reset group " + std::to_string(c.predictor_reset_group));
            }
        }
        for (int b = 0; b < std::min(c.max_sfb, kPredictionBands); ++b) {
            c.prediction_used.push_back(read_int(in_, 1));
        }
    }

    // `intensity_allowed`: the second channel of a pair, whose intensity bands take the
    // first channel's spectrum.
    void channel_stream(ChannelStream& c, bool common_window, bool intensity_allowed) {
        c.global_gain = read_int(in_, 8);
        if (!common_window) {
            ics_info(c);
        }
        section_data(c, intensity_allowed);
        scale_factor_data(c);
        c.pulse_data_present = in_.read(1) == 1;
        if (c.pulse_data_present) {
            pulse_data(c);
        }
        c.tns_data_present = in_.read(1) == 1;
        if (c.tns_data_present) {
            tns_data(c);
        }
        c.gain_control_data_present = in_.read(1) == 1;
        if (c.gain_control_data_present) {
            fail("gain control data (only the SSR profile has it; not read)");
        }
        spectral_data(c);
    }

    void section_data(ChannelStream& c, bool intensity_allowed) {
        const int length_bits = c.short_windows() ? 3 : 5;
        const int escape = (1 << length_bits) - 1;
        c.book.clear();
        for (int g = 0; g < c.groups(); ++g) {
            int k = 0;
            while (k < c.max_sfb) {
                const int book = read_int(in_, 4);
                if (book == 12) {
                    fail("reserved codebook 12");
                } else if (book == kNoiseBook && mpeg_id_ != 0) {
                    fail("noise substitution in an MPEG-2 stream");
                } else if (book >= kIntensityOutOfPhaseBook && !intensity_allowed) {
                    fail("intensity codebook outside a pair's second channel");
                }
                int length = 0;
                int increment = 0;
                do {
                    increment = read_int(in_, length_bits);
                    length += increment;
                } while (increment == escape);
                if (length == 0 || k + length > c.max_sfb) {
                    fail("section of " + std::to_string(length) + " bands from band " +
                         std::to_string(k) + " of " + std::to_string(c.max_sfb));
                }
                c.book.insert(c.book.end(), static_cast<std::size_t>(length), book);
                k += length;
            }
        }
    }

    void scale_factor_data(ChannelStream& c) {
        int scalefactor = c.global_gain;
        int position = 0;
        int noise = c.global_gain - kNoiseOffset;
        bool first_noise = true;
        c.value.assign(c.book.size(), 0);
        for (std::size_t i = 0; i < c.book.size(); ++i) {
            const int book = c.book[i];
            if (book == kZeroBook) {
                continue;
            }
            if (book == kNoiseBook && first_noise) {
                noise += read_int(in_, 9) - kNoisePcmOffset;
                first_noise = false;
                c.value[i] = noise;
                continue;
            }
            const int difference = decode_codeword(aac::tables::kScalefactorBook, 121, in_) - 60;
            if (book == kNoiseBook) {
                c.value[i] = noise += difference;
            } else if (book >= kIntensityOutOfPhaseBook) {
                c.value[i] = position += difference;
            } else {
                c.value[i] = scalefactor += difference;
                if (scalefactor < 0 || scalefactor > 255) {
                    fail("scalefactor " + std::to_string(scalefactor) + " out of 0..255");
                }
            }
        }
    }

    void pulse_data(const ChannelStream& c) {
        if (c.short_windows()) {
            fail("pulse data in short windows");
        }
        const int pulses = read_int(in_, 2) + 1;
        const int start = read_int(in_, 6);
        if (start >= kLongBands) {
            fail("pulse start band " + std::to_string(start));
        }
        for (int p = 0; p < pulses; ++p) {
            in_.read(5 + 4);  // offset, amplitude
        }
    }

    void tns_data(ChannelStream& c) {
        const bool is_short = c.short_windows();
        const int windows = is_short ? 8 : 1;
        const int max_order =
            is_short ? kTnsMaxOrderShort : (profile_ == 0 ? kTnsMaxOrderMain : kTnsMaxOrderLong);
        for (int w = 0; w < windows; ++w) {
            const int filters = read_int(in_, is_short ? 1 : 2);
            c.tns_filters.push_back(filters);
            if (filters == 0) {
                continue;
            }
            const int coef_res = read_int(in_, 1);
            for (int f = 0; f < filters; ++f) {
                in_.read(is_short ? 4 : 6);  // length in bands
                const int order = read_int(in_, is_short ? 3 : 5);
                if (order > max_order) {
                    fail("TNS order " + std::to_string(order) + " above " +
                         std::to_string(max_order));
                }
                c.tns_order.push_back(order);
                if (order == 0) {
                    continue;
                }
                in_.read(1);  // direction
                const int compress = read_int(in_, 1);
                for (int i = 0; i < order; ++i) {
                    in_.read(3 + coef_res - compress);
                }
            }
        }
    }

    void spectral_data(ChannelStream& c) {
        const std::uint16_t* offsets = c.short_windows() ? aac::tables::kSwbOffsetsShort44100
                                                         : aac::tables::kSwbOffsetsLong44100;
        const std::size_t start = in_.position();
        for (int g = 0; g < c.groups(); ++g) {
            for (int b = 0; b < c.max_sfb; ++b) {
                const int book = c.book[static_cast<std::size_t>(g * c.max_sfb + b)];
                if (book >= 1 && book <= 11) {
                    const int lines =
                        (offsets[b + 1] - offsets[b]) * c.group_length[static_cast<std::size_t>(g)];
                    decode_spectral(book, in_, lines);
                }
            }
        }
        c.spectral_bits = static_cast<int>(in_.position() - start);
    }

    BitReader& in_;
    int mpeg_id_;
    int profile_;
};

// Bands of one codebook's table, sorted by (length, code), to find codewords quickly.
struct CodeIndex {
    std::vector<std::pair<std::uint64_t, int>> sorted;  // (length << 32 | code, index)
};

const CodeIndex& code_index(const aac::HuffCode* codes, int size) {
    static std::map<const aac::HuffCode*, CodeIndex> indexes;
    CodeIndex& index = indexes[codes];
    if (index.sorted.empty()) {
        for (int i = 0; i < size; ++i) {
            index.sorted.emplace_back(
                (static_cast<std::uint64_t>(codes[i].length) << 32) | codes[i].code, i);
        }
        std::sort(index.sorted.begin(), index.sorted.end());
    }
    return index;
}

}  // namespace

std::uint32_t BitReader::read(int count) {
    if (count < 0 || count > 32 || position_ + static_cast<std::size_t>(count) > bits_) {
        throw std::out_of_range("read past the end of the bits");
    }
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i, ++position_) {
        value = (value << 1) | ((data_[position_ / 8] >> (7 - position_ % 8)) & 1u);
    }
    return value;
}

int decode_codeword(const aac::HuffCode* codes, int size, BitReader& in) {
    const CodeIndex& index = code_index(codes, size);
    std::uint32_t code = 0;
    for (std::uint64_t length = 1; length <= 32; ++length) {
        code = (code << 1) | in.read(1);
        const std::pair<std::uint64_t, int> key{length << 32 | code, -1};
        const auto it = std::lower_bound(index.sorted.begin(), index.sorted.end(), key);
        if (it != index.sorted.end() && it->first == key.first) {
            return it->second;
        }
    }
    throw std::runtime_error("no codeword matches");
}

std::vector<int> decode_spectral(int book, BitReader& in, int count) {
    using namespace aac::tables;
    static const aac::HuffCode* const kBooks[] = {nullptr,        kSpectralBook1,  kSpectralBook2,
                                                  kSpectralBook3, kSpectralBook4,  kSpectralBook5,
                                                  kSpectralBook6, kSpectralBook7,  kSpectralBook8,
                                                  kSpectralBook9, kSpectralBook10, kSpectralBook11};
    if (book < 1 || book > 11) {
        throw std::invalid_argument("no spectral codebook " + std::to_string(book));
    }
    const bool quad = book <= 4;
    const bool is_signed = book == 1 || book == 2 || book == 5 || book == 6;
    const int dim = quad ? 4 : 2;
    const int modulo = quad ? 3 : (book <= 6 ? 9 : (book <= 8 ? 8 : (book <= 10 ? 13 : 17)));
    const int offset = is_signed ? (quad ? 1 : 4) : 0;
    const int size = quad ? 81 : modulo * modulo;
    std::vector<int> out;
    for (int i = 0; i < count; i += dim) {
        int index = decode_codeword(kBooks[book], size, in);
        int v[4];
        for (int j = dim - 1; j >= 0; --j, index /= modulo) {
            v[j] = index % modulo - offset;
        }
        for (int j = 0; j < dim && !is_signed; ++j) {
            v[j] = v[j] != 0 && in.read(1) == 1 ? -v[j] : v[j];
        }
        for (int j = 0; j < dim && book == 11; ++j) {
            if (v[j] == 16 || v[j] == -16) {
                int n = 0;
                while (in.read(1) == 1) {
                    if (++n > 8) {
                        throw std::runtime_error("escape longer than 13 bits");
                    }
                }
                const int magnitude = (1 << (n + 4)) + static_cast<int>(in.read(n + 4));
                v[j] = v[j] < 0 ? -magnitude : magnitude;
            }
        }
        out.insert(out.end(), v, v + dim);
    }
    return out;
}

AacStream read_adts(const std::vector<std::uint8_t>& bytes) {
    AacStream stream;
    std::size_t at = 0;
    for (std::size_t index = 0; at < bytes.size(); ++index) {
        const std::string where =
            "frame " + std::to_string(index) + " (byte " + std::to_string(at) + "): ";
        try {
            BitReader header(bytes.data() + at, std::min<std::size_t>(9, bytes.size() - at));
            if (header.read(12) != 0xFFF) {
                fail("no ADTS sync word");
            }
            const int id = read_int(header, 1);
            if (header.read(2) != 0) {
                fail("layer not 0");
            }
            const bool crc = header.read(1) == 0;
            const int profile = read_int(header, 2);
            const int sampling = read_int(header, 4);
            header.read(1);  // private bit
            const int config = read_int(header, 3);
            header.read(4);  // original/copy, home, copyright identification bit and start
            const int length = read_int(header, 13);
            const int fullness = read_int(header, 11);
            const int blocks = read_int(header, 2) + 1;
            if (crc) {
                header.read(16);
            }
            if (index == 0) {
                stream.mpeg_id = id;
                stream.profile = profile;
                stream.sampling_index = sampling;
                stream.channel_config = config;
                stream.crc = crc;
            } else if (id != stream.mpeg_id || profile != stream.profile ||
                       sampling != stream.sampling_index || config != stream.channel_config ||
                       crc != stream.crc) {
                fail("header differs from the first frame's");
            }
            if (sampling != 3 && sampling != 4) {
                fail("sampling index " + std::to_string(sampling) + " (only 44.1/48 kHz read)");
            }
            if (profile == 2) {
                fail("SSR profile (not read)");
            }
            if (config < 1 || config > 7) {
                fail("channel configuration " + std::to_string(config) + " (not read)");
            }
            if (blocks != 1) {
                fail(std::to_string(blocks) + " raw data blocks in one frame (not read)");
            }
            const std::size_t header_bytes = header.position() / 8;
            if (static_cast<std::size_t>(length) < header_bytes ||
                static_cast<std::size_t>(length) > bytes.size() - at) {
                fail("frame length " + std::to_string(length) + " with " +
                     std::to_string(bytes.size() - at) + " bytes left");
            }
            RawFrame frame;
            frame.frame_bytes = length;
            frame.buffer_fullness = fullness;
            BitReader in(bytes.data() + at + header_bytes,
                         static_cast<std::size_t>(length) - header_bytes);
            BlockReader(in, id, profile).read(frame);
            if (in.bits_left() >= 8) {
                fail("raw data block of " + std::to_string(frame.bits) + " bits leaves " +
                     std::to_string(in.bits_left()) + " bits of the frame");
            }
            int channels = 0;
            for (const Element& e : frame.elements) {
                channels += static_cast<int>(e.channels.size());
            }
            if (channels != kChannelsOfConfig[config]) {
                fail(std::to_string(channels) + " channels coded for configuration " +
                     std::to_string(config));
            }
            stream.frames.push_back(std::move(frame));
            at += static_cast<std::size_t>(length);
        } catch (const std::exception& e) {
            throw std::runtime_error(where + e.what());
        }
    }
    return stream;
}

AacStream read_adts_file(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    {
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                                   &std::fclose);
        if (!file) {
            throw std::runtime_error("cannot open " + path);
        }
        std::uint8_t chunk[65536];
        while (const std::size_t n = std::fread(chunk, 1, sizeof chunk, file.get())) {
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
    }
    try {
        return read_adts(bytes);
    } catch (const std::exception& e) {
        throw std::runtime_error(path + ": " + e.what());
    }
}

}  // namespace brevix::bench
