// AAC Huffman codebooks and scalefactor-band tables, generated at build time from the CSV
// data in src/encoder/tables/.
#pragma once

#include <cstdint>

namespace brevix::aac {

// One Huffman codeword: `code` is written MSB first in exactly `length` bits.
struct HuffCode {
    std::uint32_t code;
    std::uint8_t length;
};

namespace tables {

// Spectral codebooks 1..11, indexed by the codebook's own tuple index (see huffman.h).
extern const HuffCode kSpectralBook1[81];
extern const HuffCode kSpectralBook2[81];
extern const HuffCode kSpectralBook3[81];
extern const HuffCode kSpectralBook4[81];
extern const HuffCode kSpectralBook5[81];
extern const HuffCode kSpectralBook6[81];
extern const HuffCode kSpectralBook7[64];
extern const HuffCode kSpectralBook8[64];
extern const HuffCode kSpectralBook9[169];
extern const HuffCode kSpectralBook10[169];
extern const HuffCode kSpectralBook11[289];

// Scalefactor differences -60..60 at index difference + 60.
extern const HuffCode kScalefactorBook[121];

// First spectral line of each scalefactor band plus the end offset, for 44.1 and 48 kHz.
extern const std::uint16_t kSwbOffsetsLong44100[50];
extern const std::uint16_t kSwbOffsetsShort44100[15];

}  // namespace tables
}  // namespace brevix::aac
