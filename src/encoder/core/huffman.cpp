#include "core/huffman.h"

#include <algorithm>
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
//
// Books 1-2, 3-4, 5-6, 7-8 and 9-10 share their tuple index, so their lengths are also
// kept packed in one word per index (low half the odd book): one table look-up per tuple
// then costs two books at once, which is what the rate loop spends most of its time on.
struct CostTables {
    std::uint8_t length[kNumSpectralBooks][289] = {};
    std::uint32_t pair[5][169] = {};         // [(odd book - 1) / 2][index]
    int zero_tuple[kNumSpectralBooks] = {};  // length of an all-zero tuple

    CostTables() {
        for (int book = 1; book < kNumSpectralBooks; ++book) {
            const CodebookInfo& info = kBooks[book];
            const int base = (book <= 4) ? 3 : (book <= 8) ? 8 : (book <= 10) ? 13 : 17;
            for (int index = 0; index < info.size; ++index) {
                int signs = 0;
                if (!info.is_signed) {
                    // Decompose the index back into magnitudes to count non-zero values.
                    int rest = index;
                    for (int i = 0; i < info.dimension; ++i) {
                        signs += (rest % base) != 0;
                        rest /= base;
                    }
                }
                length[book][index] = static_cast<std::uint8_t>(info.codes[index].length + signs);
            }
            const int zeros[4] = {0, 0, 0, 0};
            zero_tuple[book] = length[book][tuple_index(book, zeros)];
        }
        for (int p = 0; p < 5; ++p) {
            const int odd = 2 * p + 1;
            for (int index = 0; index < kBooks[odd].size; ++index) {
                pair[p][index] = length[odd][index] | (std::uint32_t{length[odd + 1][index]} << 16);
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

// Summed packed lengths of both books of a pair over `count` values. The callers pick the
// pair from the band's largest magnitude, so every value fits both books.
std::uint32_t pair_bits(int first_book, const int* v, int count) {
    const std::uint32_t* t = cost_tables().pair[(first_book - 1) / 2];
    std::uint32_t sum = 0;
    switch (first_book) {
        case 1:
            for (int i = 0; i < count; i += 4) {
                sum += t[27 * v[i] + 9 * v[i + 1] + 3 * v[i + 2] + v[i + 3] + 40];
            }
            break;
        case 3:
            for (int i = 0; i < count; i += 4) {
                sum += t[27 * magnitude(v[i]) + 9 * magnitude(v[i + 1]) + 3 * magnitude(v[i + 2]) +
                         magnitude(v[i + 3])];
            }
            break;
        case 5:
            for (int i = 0; i < count; i += 2) {
                sum += t[9 * v[i] + v[i + 1] + 40];
            }
            break;
        case 7:
            for (int i = 0; i < count; i += 2) {
                sum += t[8 * magnitude(v[i]) + magnitude(v[i + 1])];
            }
            break;
        default:
            for (int i = 0; i < count; i += 2) {
                sum += t[13 * magnitude(v[i]) + magnitude(v[i + 1])];
            }
            break;
    }
    return sum;
}

int escape_book_bits(const int* v, int count) {
    const std::uint8_t* length = cost_tables().length[kEscapeCodebook];
    int bits = 0;
    for (int i = 0; i < count; i += 2) {
        const int a = magnitude(v[i]);
        const int b = magnitude(v[i + 1]);
        if (a > kMaxQuantizedValue || b > kMaxQuantizedValue) {
            return kInfeasibleBits;
        }
        bits +=
            length[17 * (a > kEscapeFlag ? kEscapeFlag : a) + (b > kEscapeFlag ? kEscapeFlag : b)];
        bits += (a >= kEscapeFlag ? escape_bits(a) : 0) + (b >= kEscapeFlag ? escape_bits(b) : 0);
    }
    return bits;
}

// First book of the smallest pair that codes `largest` (0 for 13 and above: book 11 only).
inline int first_pair_for(int largest) {
    return (largest <= 1)    ? 1
           : (largest <= 2)  ? 3
           : (largest <= 4)  ? 5
           : (largest <= 7)  ? 7
           : (largest <= 12) ? 9
                             : 0;
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
        // A zero band may join a neighbouring section of any book when that saves a
        // section header.
        bits[0] = 0;
        for (int book = 1; book < kNumSpectralBooks; ++book) {
            bits[book] = count / codebook_info(book).dimension * cost_tables().zero_tuple[book];
        }
        return;
    }
    // The smallest pair of books that holds `largest`, and the pair above it: a larger book
    // is practically never cheaper for the same values.
    const int first = first_pair_for(largest);
    for (int book = first; book > 0 && book <= first + 2 && book < kEscapeCodebook; book += 2) {
        const std::uint32_t both = pair_bits(book, values, count);
        bits[book] = static_cast<int>(both & 0xFFFFu);
        bits[book + 1] = static_cast<int>(both >> 16);
    }
    if (first == 0 || first >= 7 || largest > 4) {
        bits[kEscapeCodebook] = escape_book_bits(values, count);
    }
}

int cheapest_book_bits(const int* values, int count, int largest) {
    if (largest == 0) {
        return 0;
    }
    const int first = first_pair_for(largest);
    int best = kInfeasibleBits;
    for (int book = first; book > 0 && book <= first + 2 && book < kEscapeCodebook; book += 2) {
        const std::uint32_t both = pair_bits(book, values, count);
        best = std::min({best, static_cast<int>(both & 0xFFFFu), static_cast<int>(both >> 16)});
    }
    if (first == 0 || first >= 7) {
        best = std::min(best, escape_book_bits(values, count));
    }
    return best;
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
