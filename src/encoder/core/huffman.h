// Spectral and scalefactor Huffman coding: codebook properties, exact bit counts and
// writing. Counting and writing share the same tables, so the rate loop's estimate of a
// band's cost is exactly what ends up in the bitstream.
#pragma once

#include <cstdint>

#include "core/aac_tables.h"
#include "core/bit_writer.h"

namespace brevix::aac {

constexpr int kZeroCodebook = 0;       // band is all zero, nothing transmitted
constexpr int kEscapeCodebook = 11;    // values >= 16 continue in an escape sequence
constexpr int kNumSpectralBooks = 12;  // 0 (zero) and 1..11
// Books of bands without quantised values: noise substitution, and intensity stereo with
// the right channel out of phase or in phase with the left.
constexpr int kNoiseCodebook = 13;
constexpr int kIntensityOutOfPhaseCodebook = 14;
constexpr int kIntensityCodebook = 15;
// Largest intensity position the encoder uses: a level difference of 45 dB.
constexpr int kMaxIntensityPosition = 30;
// Whether a band of `book` carries quantised values (books 1..11).
constexpr bool has_spectral_values(int book) {
    return book > kZeroCodebook && book <= kEscapeCodebook;
}
constexpr bool is_intensity_book(int book) {
    return book == kIntensityCodebook || book == kIntensityOutOfPhaseCodebook;
}
constexpr int kEscapeFlag = 16;  // pair value that announces an escape sequence
constexpr int kMaxQuantizedValue = 8191;
constexpr int kScalefactorDiffLimit = 60;
// Cost given to a codebook that cannot represent a band.
constexpr int kInfeasibleBits = 1 << 20;

struct CodebookInfo {
    int dimension;      // 4 (quadruples) or 2 (pairs)
    bool is_signed;     // signed books carry the sign in the codeword
    int largest_value;  // largest magnitude the book codes directly
    int size;           // number of codewords
    const HuffCode* codes;
};

// Properties of spectral codebook `book` (1..11).
const CodebookInfo& codebook_info(int book);

// Codeword index of one tuple (`dimension` values) in `book`. Magnitudes must not exceed
// the book's largest value (book 11: values >= 16 use the escape flag 16).
int tuple_index(int book, const int* values);

// Bits of an escape sequence for magnitude `value` (>= 16).
int escape_bits(int value);

// Exact bits needed to code `count` values (a multiple of the book's dimension) with
// `book`, including sign bits and escapes; kInfeasibleBits if the book cannot code them.
int count_bits(int book, const int* values, int count);

// Cheapest book for values whose largest magnitude is `largest`, among those that can code
// it; `bits` receives the cost for every book 0..11 (kInfeasibleBits where impossible).
void count_bits_all_books(const int* values, int count, int largest, int* bits);

// The smallest cost count_bits_all_books() would report (0 for an all-zero band), without
// filling the table: the rate loop's inner measure of a band.
int cheapest_book_bits(const int* values, int count, int largest);

// Writes `count` values with `book`: codewords, sign bits, escapes.
void write_values(BitWriter& out, int book, const int* values, int count);

// Scalefactor difference coding (difference in -60..60).
int scalefactor_bits(int difference);
void write_scalefactor(BitWriter& out, int difference);

}  // namespace brevix::aac
