// An AAC stream reader of the benchmark's own, independent of the encoder: it parses ADTS
// frames and their raw data blocks completely (every element, side information and
// spectral codeword) and keeps the side information, so that tests and the benchmark can
// see which coding tools a stream uses. Any inconsistency (a field out of range, a
// codeword that matches nothing, a block that overruns its frame or leaves more than
// byte-alignment padding) throws std::runtime_error naming the frame.
//
// Read: ADTS with either MPEG ID, with or without CRC (not checked), one raw data block
// per frame, 44.1 or 48 kHz, channel configurations 1..7; elements SCE, CPE, LFE, DSE,
// FIL, END; long and short windows, Main-profile prediction data, pulse data, TNS, noise
// and intensity bands. Refused: several blocks per frame, coupling channels, program
// configuration elements, gain control (SSR) and other sampling rates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/aac_tables.h"

namespace brevix::bench {

// Section codebooks with a meaning of their own.
constexpr int kZeroBook = 0;
constexpr int kNoiseBook = 13;
constexpr int kIntensityOutOfPhaseBook = 14;
constexpr int kIntensityBook = 15;

struct ChannelStream {
    int global_gain = 0;
    int window_sequence = 0;  // 0 only long, 1 long start, 2 eight short, 3 long stop
    int window_shape = 0;     // 0 sine, 1 KBD
    int max_sfb = 0;
    std::vector<int> group_length;  // windows per group; {1} for long windows
    bool predictor_data_present = false;
    bool predictor_reset = false;
    int predictor_reset_group = 0;
    std::vector<int> prediction_used;  // per band below min(max_sfb, 40), long windows
    std::vector<int> book;             // per coding band, g * max_sfb + b (0,1..11,13,14,15)
    // Per coding band: scalefactor (books 1..11), noise energy (13), intensity position
    // (14, 15); 0 for book 0.
    std::vector<int> value;
    bool pulse_data_present = false;
    bool tns_data_present = false;
    std::vector<int> tns_filters;  // per window: number of filters (empty without TNS)
    std::vector<int> tns_order;    // every filter's order, window after window
    bool gain_control_data_present = false;
    int spectral_bits = 0;  // bits of the spectral data
    int groups() const { return static_cast<int>(group_length.size()); }
    bool short_windows() const { return window_sequence == 2; }
};

struct Element {
    int id = 0;  // 0 SCE, 1 CPE, 3 LFE, 4 DSE, 6 FIL
    int tag = 0;
    bool common_window = false;
    int ms_mask_present = 0;
    std::vector<int> ms_used;  // per coding band; all 1 when ms_mask_present is 2
    std::vector<ChannelStream> channels;
};

struct RawFrame {
    std::vector<Element> elements;  // in stream order, END excluded
    int fill_bytes = 0;             // payload bytes of the fill elements
    int bits = 0;                   // bits of the raw data block up to and with END
    int frame_bytes = 0;            // whole ADTS frame, header included
    int buffer_fullness = 0;        // as the header gives it (0x7FF: variable rate)
};

struct AacStream {
    int mpeg_id = 0;         // 0 MPEG-4, 1 MPEG-2
    int profile = 0;         // the header's field: 0 Main, 1 LC, 2 SSR, 3 LTP
    int sampling_index = 0;  // 3 for 48 kHz, 4 for 44.1 kHz
    int channel_config = 0;
    bool crc = false;  // the frames carry a CRC (not checked)
    std::vector<RawFrame> frames;
};

AacStream read_adts(const std::vector<std::uint8_t>& bytes);  // throws std::runtime_error
AacStream read_adts_file(const std::string& path);

// MSB-first bit reader over bytes; reading past the end throws std::out_of_range.
class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t bytes) : data_(data), bits_(bytes * 8) {}
    // `count` is 0..32.
    std::uint32_t read(int count);
    std::size_t position() const { return position_; }
    std::size_t bits_left() const { return bits_ - position_; }

private:
    const std::uint8_t* data_;
    std::size_t bits_;
    std::size_t position_ = 0;
};

// Reads one codeword of `codes` bit by bit, as a decoder does; returns its index and
// throws std::runtime_error if none matches.
int decode_codeword(const aac::HuffCode* codes, int size, BitReader& in);
// Reads `count` spectral values of `book` (1..11) with their signs and escapes, from the
// book's table as the standard numbers it (not through the encoder's codebook lookup).
std::vector<int> decode_spectral(int book, BitReader& in, int count);

}  // namespace brevix::bench
