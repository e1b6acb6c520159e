#include "core/syntax_writer.h"

#include <algorithm>

#include "core/block_switch.h"
#include "core/huffman.h"
#include "core/prediction.h"

namespace brevix::aac {
namespace {

constexpr int kExtensionFillData = 1;  // extension_type of fill payloads
constexpr std::uint32_t kFillByte = 0xA5;

void write_ics_info(BitWriter& out, const Ics& ics) {
    out.put(0, 1);  // reserved
    out.put(static_cast<std::uint32_t>(ics.sequence), 2);
    out.put(static_cast<std::uint32_t>(ics.shape), 1);
    if (ics.is_short()) {
        out.put(static_cast<std::uint32_t>(ics.max_sfb), 4);
        out.put(grouping_bits(ics.group_length, ics.group_count), 7);
    } else {
        out.put(static_cast<std::uint32_t>(ics.max_sfb), 6);
        out.put(ics.prediction_present ? 1 : 0, 1);
        if (ics.prediction_present) {
            out.put(1, 1);  // predictor_reset, every frame with predictor data
            out.put(static_cast<std::uint32_t>(ics.prediction_reset), 5);
            for (int b = 0; b < std::min(ics.max_sfb, kPredictionBands); ++b) {
                out.put(ics.predicted[b], 1);
            }
        }
    }
}

void write_section_data(BitWriter& out, const Ics& ics) {
    const int field = ics.is_short() ? 3 : 5;
    const int escape = ics.is_short() ? 7 : 31;
    for (int g = 0; g < ics.group_count; ++g) {
        for (int k = 0; k < ics.section_count[g]; ++k) {
            const Section& sec = ics.sections[g][k];
            out.put(sec.book, 4);
            int length = sec.end - sec.start;
            while (length >= escape) {
                out.put(static_cast<std::uint32_t>(escape), field);
                length -= escape;
            }
            out.put(static_cast<std::uint32_t>(length), field);
        }
    }
}

// scale_factor_data, written to `out` unless it is null; returns its bits. Three running
// values, each band continuing the one of its kind: scalefactors from global_gain,
// intensity positions from 0, noise energies from global_gain - kNoiseEnergyOffset (the
// first of them as a 9-bit field, later ones as differences).
int scalefactor_data(BitWriter* out, const Ics& ics) {
    int bits = 0;
    int last_sf = ics.global_gain;
    int last_position = 0;
    int last_noise = ics.global_gain - kNoiseEnergyOffset;
    bool first_noise = true;
    auto difference = [&](int value, int& last) {
        bits += scalefactor_bits(value - last);
        if (out != nullptr) {
            write_scalefactor(*out, value - last);
        }
        last = value;
    };
    for (int g = 0; g < ics.group_count; ++g) {
        for (int b = 0; b < ics.max_sfb; ++b) {
            const int i = g * ics.bands_per_group + b;
            const int book = ics.book[i];
            if (book == kZeroCodebook) {
                continue;
            }
            if (is_intensity_book(book)) {
                difference(ics.scalefactor[i], last_position);
            } else if (book == kNoiseCodebook && first_noise) {
                first_noise = false;
                bits += kFirstNoiseBits;
                if (out != nullptr) {
                    out->put(static_cast<std::uint32_t>(ics.scalefactor[i] - last_noise +
                                                        kFirstNoiseBias),
                             kFirstNoiseBits);
                }
                last_noise = ics.scalefactor[i];
            } else if (book == kNoiseCodebook) {
                difference(ics.scalefactor[i], last_noise);
            } else {
                difference(ics.scalefactor[i], last_sf);
            }
        }
    }
    return bits;
}

void write_spectral_data(BitWriter& out, const Ics& ics) {
    for (int g = 0; g < ics.group_count; ++g) {
        for (int k = 0; k < ics.section_count[g]; ++k) {
            const Section& sec = ics.sections[g][k];
            if (!has_spectral_values(sec.book)) {
                continue;  // nothing, noise or intensity: no spectral values
            }
            const int first = ics.band_start[g * ics.bands_per_group + sec.start];
            const int last = ics.band_start[g * ics.bands_per_group + sec.end - 1] +
                             ics.band_width[g * ics.bands_per_group + sec.end - 1];
            write_values(out, sec.book, ics.quantized + first, last - first);
        }
    }
}

void write_channel_stream(BitWriter& out, const Ics& ics, bool common_window) {
    out.put(static_cast<std::uint32_t>(ics.global_gain), 8);
    if (!common_window) {
        write_ics_info(out, ics);
    }
    write_section_data(out, ics);
    scalefactor_data(&out, ics);
    out.put(0, 1);  // no pulse data
    out.put(ics.tns.present ? 1 : 0, 1);
    if (ics.tns.present) {
        write_tns_data(out, ics.tns, ics.is_short());
    }
    out.put(0, 1);  // no gain control
    write_spectral_data(out, ics);
}

}  // namespace

int scalefactor_data_bits(const Ics& ics) {
    return scalefactor_data(nullptr, ics);
}

int ics_info_bits(const Ics& ics) {
    if (ics.is_short()) {
        return 1 + 2 + 1 + 4 + 7;
    }
    const int prediction =
        ics.prediction_present ? 1 + 5 + std::min(ics.max_sfb, kPredictionBands) : 0;
    return 1 + 2 + 1 + 6 + 1 + prediction;
}

int sce_fixed_bits(const Ics& ics) {
    return 3 + 4 + 8 + ics_info_bits(ics) + 3 + tns_data_bits(ics.tns, ics.is_short());
}

int cpe_fixed_bits(const Ics& ics, const Ics& right, const StereoMask& mask) {
    int bits = 3 + 4 + 1 + 2 * (8 + 3) + tns_data_bits(ics.tns, ics.is_short()) +
               tns_data_bits(right.tns, right.is_short());
    if (!mask.common_window) {
        return bits + ics_info_bits(ics) + ics_info_bits(right);
    }
    bits += ics_info_bits(ics) + 2;
    if (mask.present == 1) {
        bits += ics.group_count * ics.max_sfb;
    }
    return bits;
}

void write_sce(BitWriter& out, int tag, const Ics& ics) {
    out.put(static_cast<std::uint32_t>(ElementId::kSce), 3);
    out.put(static_cast<std::uint32_t>(tag), 4);
    write_channel_stream(out, ics, false);
}

void write_lfe(BitWriter& out, int tag, const Ics& ics) {
    out.put(static_cast<std::uint32_t>(ElementId::kLfe), 3);
    out.put(static_cast<std::uint32_t>(tag), 4);
    write_channel_stream(out, ics, false);
}

void write_cpe(BitWriter& out, int tag, const Ics& left, const Ics& right, const StereoMask& mask) {
    out.put(static_cast<std::uint32_t>(ElementId::kCpe), 3);
    out.put(static_cast<std::uint32_t>(tag), 4);
    out.put(mask.common_window ? 1 : 0, 1);  // common window: both channels share ics_info
    if (mask.common_window) {
        write_ics_info(out, left);
        out.put(static_cast<std::uint32_t>(mask.present), 2);
        if (mask.present == 1) {
            for (int g = 0; g < left.group_count; ++g) {
                for (int b = 0; b < left.max_sfb; ++b) {
                    out.put(mask.used[g * left.bands_per_group + b], 1);
                }
            }
        }
    }
    write_channel_stream(out, left, mask.common_window);
    write_channel_stream(out, right, mask.common_window);
}

int fill_element_bits(int bytes) {
    return 3 + 4 + (bytes >= 15 ? 8 : 0) + 8 * bytes;
}

int write_fill(BitWriter& out, int bits) {
    int written = 0;
    while (bits - written >= fill_element_bits(0)) {
        const int room = bits - written;
        int bytes;
        if (room >= fill_element_bits(15)) {
            bytes = (room - 15) / 8;
            bytes = bytes > kMaxFillBytes ? kMaxFillBytes : bytes;
        } else {
            bytes = (room - 7) / 8;
            bytes = bytes > 14 ? 14 : bytes;
        }
        out.put(static_cast<std::uint32_t>(ElementId::kFil), 3);
        if (bytes >= 15) {
            out.put(15, 4);
            out.put(static_cast<std::uint32_t>(bytes - 14), 8);
        } else {
            out.put(static_cast<std::uint32_t>(bytes), 4);
        }
        if (bytes > 0) {
            out.put(kExtensionFillData, 4);
            out.put(0, 4);  // fill nibble
            for (int i = 1; i < bytes; ++i) {
                out.put(kFillByte, 8);
            }
        }
        written += fill_element_bits(bytes);
    }
    return written;
}

void write_end(BitWriter& out) {
    out.put(static_cast<std::uint32_t>(ElementId::kEnd), 3);
}

}  // namespace brevix::aac
