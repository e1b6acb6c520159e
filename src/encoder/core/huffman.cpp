#include "core/huffman.h"

#include <cstdlib>

namespace brevix::aac {
namespace {

const CodebookInfo kBooks[kNumSpectralBooks] = {
    {0, false, 0, 0, nullptr},  // zero book: no codewords
    {4, true, 1, 81, tables::kSpectralBook1},
    {4, true, 1, 81, tables::kSpectralBook2},
    {4, false, 2, 81, tables::kSpectralBook3},
    {4, false, 2, 81, tables::kSpectralBook4},
    {2, true, 4, 81, tables::kSpectralBook5},
    {2, true, 4, 81, tables::kSpectralBook6},
    {2, false, 7, 64, tables::kSpectralBook7},
    {2, false, 7, 64, tables::kSpectralBook8},
    {2, false, 12, 169, tables::kSpectralBook9},
    {2, false, 12, 169, tables::kSpectralBook10},
    {2, false, 16, 289, tables::kSpectralBook11},
};

// Codeword length plus sign bits (unsigned books) per tuple index, built once. Escape
// bits of book 11 depend on the value and are added separately.
struct CostTables {
    std::uint8_t length[kNumSpectralBooks][289];

    CostTables() {
        for (int book = 1; book < kNumSpectralBooks; ++book) {
            const CodebookInfo& info = kBooks[book];
            for (int index = 0; index < info.size; ++index) {
                int signs = 0;
                if (!info.is_signed) {
                    // Decompose the index back into magnitudes to count non-zero values.
                    const int base = (book <= 4) ? 3 : (book <= 8) ? 8 : (book <= 10) ? 13 : 17;
                    int rest = index;
                    for (int i = 0; i < info.dimension; ++i) {
                        signs += (rest % base) != 0;
                        rest /= base;
                    }
                }
                length[book][index] = static_cast<std::uint8_t>(info.codes[index].length + signs);
            }
        }
    }
};

const CostTables& cost_tables() {
    static const CostTables tables;
    return tables;
}

inline int magnitude(int v) {
    return v < 0 ? -v : v;
}

inline int clamp_escape(int v) {
    const int m = magnitude(v);
    return m > kEscapeFlag ? kEscapeFlag : m;
}

}  // namespace

const CodebookInfo& codebook_info(int book) {
    return kBooks[book];
}

int tuple_index(int book, const int* v) {
    switch (book) {
        case 1:
        case 2:
            return 27 * (v[0] + 1) + 9 * (v[1] + 1) + 3 * (v[2] + 1) + (v[3] + 1);
        case 3:
        case 4:
            return 27 * magnitude(v[0]) + 9 * magnitude(v[1]) + 3 * magnitude(v[2]) +
                   magnitude(v[3]);
        case 5:
        case 6:
            return 9 * (v[0] + 4) + (v[1] + 4);
        case 7:
        case 8:
            return 8 * magnitude(v[0]) + magnitude(v[1]);
        case 9:
        case 10:
            return 13 * magnitude(v[0]) + magnitude(v[1]);
        default:
            return 17 * clamp_escape(v[0]) + clamp_escape(v[1]);
    }
}

int escape_bits(int value) {
    // N leading ones, a zero, then N + 4 bits: covers 2^(N+4) .. 2^(N+5) - 1.
    int n = 0;
    while ((value >> (n + 5)) != 0) {
        ++n;
    }
    return 2 * n + 5;
}

int count_bits(int book, const int* values, int count) {
    if (book == kZeroCodebook) {
        for (int i = 0; i < count; ++i) {
            if (values[i] != 0) {
                return kInfeasibleBits;
            }
        }
        return 0;
    }
    const CodebookInfo& info = kBooks[book];
    const std::uint8_t* length = cost_tables().length[book];
    int bits = 0;
    for (int i = 0; i < count; i += info.dimension) {
        for (int j = 0; j < info.dimension; ++j) {
            const int m = magnitude(values[i + j]);
            if (m > info.largest_value && (book != kEscapeCodebook || m > kMaxQuantizedValue)) {
                return kInfeasibleBits;
            }
            if (book == kEscapeCodebook && m >= kEscapeFlag) {
                bits += escape_bits(m);
            }
        }
        bits += length[tuple_index(book, values + i)];
    }
    return bits;
}

void count_bits_all_books(const int* values, int count, int largest, int* bits) {
    for (int book = 0; book < kNumSpectralBooks; ++book) {
        bits[book] = kInfeasibleBits;
    }
    if (largest == 0) {
        bits[0] = 0;
        // A zero band may still join a neighbouring section when that saves a section
        // header; the two smallest books code zeros cheaply.
        bits[1] = count_bits(1, values, count);
        bits[2] = count_bits(2, values, count);
        return;
    }
    // The first pair of books that can hold `largest`, and the pair above it: a larger
    // book is practically never cheaper for the same values.
    int first = (largest <= 1)    ? 1
                : (largest <= 2)  ? 3
                : (largest <= 4)  ? 5
                : (largest <= 7)  ? 7
                : (largest <= 12) ? 9
                                  : 11;
    const int last = (first >= 9) ? 11 : first + 3;
    for (int book = first; book <= last; ++book) {
        bits[book] = count_bits(book, values, count);
    }
    if (first < 9 && largest > 4) {
        bits[11] = count_bits(11, values, count);
    }
}

void write_values(BitWriter& out, int book, const int* values, int count) {
    const CodebookInfo& info = kBooks[book];
    for (int i = 0; i < count; i += info.dimension) {
        const int* v = values + i;
        const HuffCode& code = info.codes[tuple_index(book, v)];
        out.put(code.code, code.length);
        if (!info.is_signed) {
            for (int j = 0; j < info.dimension; ++j) {
                if (v[j] != 0) {
                    out.put(v[j] < 0 ? 1u : 0u, 1);
                }
            }
        }
        if (book == kEscapeCodebook) {
            for (int j = 0; j < 2; ++j) {
                const int m = magnitude(v[j]);
                if (m >= kEscapeFlag) {
                    int n = 0;
                    while ((m >> (n + 5)) != 0) {
                        ++n;
                    }
                    out.put((1u << (n + 1)) - 2u, n + 1);  // n ones and a terminating zero
                    out.put(static_cast<std::uint32_t>(m - (1 << (n + 4))), n + 4);
                }
            }
        }
    }
}

int scalefactor_bits(int difference) {
    return tables::kScalefactorBook[difference + kScalefactorDiffLimit].length;
}

void write_scalefactor(BitWriter& out, int difference) {
    const HuffCode& code = tables::kScalefactorBook[difference + kScalefactorDiffLimit];
    out.put(code.code, code.length);
}

}  // namespace brevix::aac
