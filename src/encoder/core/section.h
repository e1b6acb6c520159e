// Sectioning: splits the bands of one window group into runs that share a codebook,
// choosing the split and the books that minimise section headers plus spectral bits.
// Exact dynamic programme over all (start, end, book) choices, in time linear in the
// number of bands (see section.cpp).
#pragma once

#include <cstdint>

#include "core/huffman.h"

namespace brevix::aac {

struct Section {
    std::uint8_t book;
    std::uint8_t start;  // first band
    std::uint8_t end;    // one past the last band
};

// Bits of one section header of `length` bands (book, then length in 5-bit fields with
// escape value 31 for long windows, 3-bit fields with escape 7 for short windows).
int section_header_bits(int length, bool short_window);

// `band_bits[b * kNumSpectralBooks + book]` is the cost of band b with each book
// (kInfeasibleBits where impossible). Fills `sections` (room for `num_bands` entries) and
// returns the total bits of headers and spectral data.
// Bands with a nonzero `fixed_books[b]` (noise or intensity: no spectral bits) take that
// book in sections of their own; the bands between them are sectioned as above.
int choose_sections(const int* band_bits, int num_bands, bool short_window, Section* sections,
                    int* section_count, const std::uint8_t* fixed_books = nullptr);

}  // namespace brevix::aac
