// Bit writer, generated tables, Huffman coding of every codebook and of scalefactors,
// and sectioning, checked against a reference decoder built straight from the CSV data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "core/aac_tables.h"
#include "core/bands.h"
#include "core/bit_writer.h"
#include "core/huffman.h"
#include "core/section.h"
#include "support/reference_tables.h"
#include "support/test_files.h"

namespace brevix::aac {
namespace {

using test::BitReader;
using test::CsvCode;
using test::ReferenceHuffman;

std::string book_csv(int book) {
    char name[32];
    std::snprintf(name, sizeof name, "/codebook_%02d.csv", book);
    return test::table_dir() + name;
}

TEST(BitWriter, WritesMsbFirstAcrossByteBoundaries) {
    std::uint8_t buffer[8] = {};
    BitWriter out(buffer, sizeof buffer);
    out.put(0x5, 3);    // 101
    out.put(0x0, 2);    // 00
    out.put(0x1FF, 9);  // 111111111
    out.put(0xABCDEF12, 32);
    EXPECT_EQ(out.bit_count(), 46u);
    out.align();
    EXPECT_EQ(out.bit_count(), 48u);
    ASSERT_EQ(out.byte_count(), 6u);
    BitReader in(buffer, 6);
    EXPECT_EQ(in.read(3), 0x5u);
    EXPECT_EQ(in.read(2), 0x0u);
    EXPECT_EQ(in.read(9), 0x1FFu);
    EXPECT_EQ(in.read(32), 0xABCDEF12u);
    EXPECT_EQ(in.read(2), 0u);  // alignment padding is zero
}

TEST(BitWriter, StopsAtCapacityAndReportsOverflow) {
    std::uint8_t buffer[4] = {};
    BitWriter out(buffer, 2);
    for (int i = 0; i < 10; ++i) {
        out.put(0xFF, 8);
    }
    EXPECT_TRUE(out.overflowed());
    EXPECT_EQ(out.byte_count(), 2u);
    EXPECT_EQ(buffer[2], 0u);  // nothing written past the capacity
}

TEST(Tables, GeneratedTablesMatchTheCsvData) {
    for (int book = 1; book <= 11; ++book) {
        const std::vector<CsvCode> rows = test::load_codebook_csv(book_csv(book));
        const CodebookInfo& info = codebook_info(book);
        ASSERT_EQ(static_cast<int>(rows.size()), info.size) << "book " << book;
        for (const CsvCode& row : rows) {
            EXPECT_EQ(info.codes[row.index].code, row.code)
                << "book " << book << " index " << row.index;
            EXPECT_EQ(info.codes[row.index].length, row.length)
                << "book " << book << " index " << row.index;
        }
    }
    const std::vector<CsvCode> sf = test::load_codebook_csv(test::table_dir() + "/scalefactor.csv");
    ASSERT_EQ(sf.size(), 121u);
    for (const CsvCode& row : sf) {
        EXPECT_EQ(tables::kScalefactorBook[row.index].code, row.code);
        EXPECT_EQ(tables::kScalefactorBook[row.index].length, row.length);
    }
    const std::string offsets = test::table_dir() + "/swb_offsets_44100.csv";
    const std::vector<int> long_offsets = test::load_offsets_csv(offsets, "long");
    const std::vector<int> short_offsets = test::load_offsets_csv(offsets, "short");
    ASSERT_EQ(long_offsets.size(), 50u);
    ASSERT_EQ(short_offsets.size(), 15u);
    for (std::size_t i = 0; i < long_offsets.size(); ++i) {
        EXPECT_EQ(tables::kSwbOffsetsLong44100[i], long_offsets[i]);
    }
    for (std::size_t i = 0; i < short_offsets.size(); ++i) {
        EXPECT_EQ(tables::kSwbOffsetsShort44100[i], short_offsets[i]);
    }
}

TEST(Tables, CsvCopiesMatchTheCheckedOriginals) {
    const std::string shared = test::shared_table_dir();
    if (!test::file_exists(shared + "/scalefactor.csv")) {
        GTEST_SKIP() << "checked originals not present at " << shared;
    }
    std::vector<std::string> names = {"scalefactor.csv", "swb_offsets_44100.csv"};
    for (int book = 1; book <= 11; ++book) {
        char name[32];
        std::snprintf(name, sizeof name, "codebook_%02d.csv", book);
        names.push_back(name);
    }
    for (const std::string& name : names) {
        EXPECT_EQ(test::read_file(test::table_dir() + "/" + name),
                  test::read_file(shared + "/" + name))
            << name;
    }
}

// Every tuple a book can code, written then read back by the reference decoder.
TEST(Huffman, EveryCodebookRoundTripsAllTuples) {
    for (int book = 1; book <= 11; ++book) {
        const CodebookInfo& info = codebook_info(book);
        const ReferenceHuffman reference(test::load_codebook_csv(book_csv(book)));
        const int top = info.largest_value;
        const int low = -top;  // unsigned books code signs separately
        std::vector<int> values;
        std::vector<int> tuple(static_cast<std::size_t>(info.dimension), low);
        for (;;) {
            values.insert(values.end(), tuple.begin(), tuple.end());
            int j = info.dimension - 1;
            while (j >= 0 && tuple[static_cast<std::size_t>(j)] == top) {
                tuple[static_cast<std::size_t>(j)] = low;
                --j;
            }
            if (j < 0) {
                break;
            }
            ++tuple[static_cast<std::size_t>(j)];
        }
        std::vector<std::uint8_t> buffer(values.size() * 8 + 16);
        BitWriter out(buffer.data(), buffer.size());
        write_values(out, book, values.data(), static_cast<int>(values.size()));
        ASSERT_FALSE(out.overflowed());
        EXPECT_EQ(static_cast<int>(out.bit_count()),
                  count_bits(book, values.data(), static_cast<int>(values.size())))
            << "book " << book;
        out.align();
        BitReader in(buffer.data(), out.byte_count());
        const std::vector<int> decoded =
            test::decode_spectral(reference, book, in, static_cast<int>(values.size()));
        EXPECT_EQ(decoded, values) << "book " << book;
    }
}

TEST(Huffman, EscapeCodebookCodesLargeValues) {
    const ReferenceHuffman reference(test::load_codebook_csv(book_csv(11)));
    std::vector<int> values = {16,  -16, 17,   31,   32,   -33,  63,   64,   127,   128,  255, 256,
                               511, 512, 1023, 1024, 2047, 2048, 4095, 4096, -8191, 8191, 0,   15};
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        values.push_back(static_cast<int>(random() % 16383) - 8191);
    }
    std::vector<std::uint8_t> buffer(4096);
    BitWriter out(buffer.data(), buffer.size());
    write_values(out, 11, values.data(), static_cast<int>(values.size()));
    EXPECT_EQ(static_cast<int>(out.bit_count()),
              count_bits(11, values.data(), static_cast<int>(values.size())));
    out.align();
    BitReader in(buffer.data(), out.byte_count());
    EXPECT_EQ(test::decode_spectral(reference, 11, in, static_cast<int>(values.size())), values);
    EXPECT_EQ(escape_bits(16), 5);
    EXPECT_EQ(escape_bits(31), 5);
    EXPECT_EQ(escape_bits(32), 7);
    EXPECT_EQ(escape_bits(8191), 21);
}

TEST(Huffman, BooksRefuseValuesTheyCannotCode) {
    const int too_big_for_1[4] = {2, 0, 0, 0};
    const int too_big_for_9[2] = {13, 0};
    const int too_big_for_11[2] = {8192, 0};
    const int nonzero[4] = {0, 0, 1, 0};
    EXPECT_EQ(count_bits(1, too_big_for_1, 4), kInfeasibleBits);
    EXPECT_EQ(count_bits(9, too_big_for_9, 2), kInfeasibleBits);
    EXPECT_EQ(count_bits(11, too_big_for_11, 2), kInfeasibleBits);
    EXPECT_EQ(count_bits(kZeroCodebook, nonzero, 4), kInfeasibleBits);
    int bits[kNumSpectralBooks];
    count_bits_all_books(too_big_for_9, 2, 13, bits);
    for (int book = 0; book < 11; ++book) {
        EXPECT_EQ(bits[book], kInfeasibleBits) << book;
    }
    EXPECT_LT(bits[11], kInfeasibleBits);
}

// The rate loop judges bands by cheapest_book_bits() and sections them with
// count_bits_all_books(): both must agree with count_bits() for every book.
TEST(Huffman, FastCostsAgreeWithTheExactCount) {
    std::mt19937 random(12);
    for (int largest : {0, 1, 2, 3, 4, 5, 7, 8, 12, 13, 15, 16, 40, 8191}) {
        for (int trial = 0; trial < 20; ++trial) {
            std::vector<int> values(32);
            int peak = 0;
            for (int& v : values) {
                v = largest == 0 ? 0 : static_cast<int>(random() % (largest + 1));
                v = random() % 2 ? -v : v;
                peak = std::max(peak, std::abs(v));
            }
            int all[kNumSpectralBooks];
            count_bits_all_books(values.data(), 32, peak, all);
            int cheapest = kInfeasibleBits;
            for (int book = 0; book < kNumSpectralBooks; ++book) {
                if (all[book] < kInfeasibleBits && peak > 0) {
                    EXPECT_EQ(all[book], count_bits(book, values.data(), 32))
                        << "book " << book << ", largest " << peak;
                    cheapest = std::min(cheapest, all[book]);
                }
            }
            if (peak == 0) {
                // Zeros cost nothing alone, and can ride along in any book's section.
                EXPECT_EQ(all[kZeroCodebook], 0);
                for (int book = 1; book < kNumSpectralBooks; ++book) {
                    EXPECT_EQ(all[book], count_bits(book, values.data(), 32)) << "book " << book;
                }
                cheapest = 0;
            }
            EXPECT_EQ(cheapest_book_bits(values.data(), 32, peak), cheapest) << "largest " << peak;
        }
    }
}

TEST(Huffman, ScalefactorDifferencesRoundTripOverTheWholeRange) {
    const ReferenceHuffman reference(
        test::load_codebook_csv(test::table_dir() + "/scalefactor.csv"));
    std::vector<std::uint8_t> buffer(1024);
    BitWriter out(buffer.data(), buffer.size());
    int bits = 0;
    for (int d = -kScalefactorDiffLimit; d <= kScalefactorDiffLimit; ++d) {
        write_scalefactor(out, d);
        bits += scalefactor_bits(d);
    }
    EXPECT_EQ(static_cast<int>(out.bit_count()), bits);
    EXPECT_EQ(scalefactor_bits(0), 1);
    out.align();
    BitReader in(buffer.data(), out.byte_count());
    for (int d = -kScalefactorDiffLimit; d <= kScalefactorDiffLimit; ++d) {
        EXPECT_EQ(reference.decode(in) - 60, d);
    }
}

// Brute force: every split of the bands into sections, each section with its best book.
int best_sectioning_cost(const std::vector<int>& cost, int bands, bool short_window) {
    int best = 1 << 30;
    for (unsigned cuts = 0; cuts < (1u << (bands - 1)); ++cuts) {
        int total = 0;
        int start = 0;
        for (int b = 1; b <= bands; ++b) {
            if (b == bands || (cuts >> (b - 1)) & 1u) {
                int section_best = 1 << 30;
                for (int book = 0; book < kNumSpectralBooks; ++book) {
                    int sum = 0;
                    for (int k = start; k < b; ++k) {
                        sum += cost[static_cast<std::size_t>(k * kNumSpectralBooks + book)];
                    }
                    section_best = std::min(section_best, sum);
                }
                total += section_best + section_header_bits(b - start, short_window);
                start = b;
            }
        }
        best = std::min(best, total);
    }
    return best;
}

TEST(Sectioning, FindsTheCheapestSplitAndBooks) {
    std::mt19937 random(11);
    for (int trial = 0; trial < 60; ++trial) {
        const int bands = 1 + trial % 12;
        const bool short_window = trial % 2 == 1;
        std::vector<int> cost(static_cast<std::size_t>(bands * kNumSpectralBooks));
        for (int b = 0; b < bands; ++b) {
            const int smallest_book = static_cast<int>(random() % 12);
            for (int book = 0; book < kNumSpectralBooks; ++book) {
                cost[static_cast<std::size_t>(b * kNumSpectralBooks + book)] =
                    book < smallest_book ? kInfeasibleBits : static_cast<int>(random() % 40);
            }
        }
        Section sections[kMaxLongBands];
        int count = 0;
        const int total = choose_sections(cost.data(), bands, short_window, sections, &count);
        EXPECT_EQ(total, best_sectioning_cost(cost, bands, short_window)) << "trial " << trial;
        // The sections tile the bands in order and their cost adds up.
        int expected_start = 0;
        int sum = 0;
        for (int k = 0; k < count; ++k) {
            EXPECT_EQ(sections[k].start, expected_start);
            EXPECT_GT(sections[k].end, sections[k].start);
            for (int b = sections[k].start; b < sections[k].end; ++b) {
                sum += cost[static_cast<std::size_t>(b * kNumSpectralBooks + sections[k].book)];
            }
            sum += section_header_bits(sections[k].end - sections[k].start, short_window);
            expected_start = sections[k].end;
        }
        EXPECT_EQ(expected_start, bands);
        EXPECT_EQ(sum, total);
    }
}

// Straightforward dynamic programme over every (start, end, book): the reference for long
// band counts, where brute force is out of reach.
int reference_sectioning_cost(const std::vector<int>& cost, int bands, bool short_window) {
    std::vector<int> best(static_cast<std::size_t>(bands + 1), 1 << 30);
    best[0] = 0;
    for (int end = 1; end <= bands; ++end) {
        for (int book = 0; book < kNumSpectralBooks; ++book) {
            int run = 0;
            for (int start = end - 1; start >= 0; --start) {
                run += cost[static_cast<std::size_t>(start * kNumSpectralBooks + book)];
                const int total = best[static_cast<std::size_t>(start)] + run +
                                  section_header_bits(end - start, short_window);
                best[static_cast<std::size_t>(end)] =
                    std::min(best[static_cast<std::size_t>(end)], total);
            }
        }
    }
    return best[static_cast<std::size_t>(bands)];
}

TEST(Sectioning, LongSectionsWithLengthEscapesStayOptimal) {
    std::mt19937 random(13);
    int escaped = 0;
    for (int trial = 0; trial < 40; ++trial) {
        const bool short_window = trial % 2 == 1;
        const int bands = short_window ? 14 : 49;
        // One book a little cheaper than the rest favours long sections that need length
        // escapes, but not always.
        const int favourite = 1 + trial % 11;
        std::vector<int> cost(static_cast<std::size_t>(bands * kNumSpectralBooks));
        for (int b = 0; b < bands; ++b) {
            for (int book = 0; book < kNumSpectralBooks; ++book) {
                cost[static_cast<std::size_t>(b * kNumSpectralBooks + book)] =
                    book == 0 && trial % 4 < 2
                        ? kInfeasibleBits
                        : static_cast<int>(random() % 6) + (book == favourite ? 0 : 2);
            }
        }
        Section sections[kMaxLongBands];
        int count = 0;
        EXPECT_EQ(choose_sections(cost.data(), bands, short_window, sections, &count),
                  reference_sectioning_cost(cost, bands, short_window))
            << "trial " << trial;
        for (int k = 0; k < count; ++k) {
            escaped += sections[k].end - sections[k].start >= (short_window ? 7 : 31);
        }
    }
    EXPECT_GT(escaped, 10);
}

TEST(Sectioning, LongRunsUseLengthEscapes) {
    EXPECT_EQ(section_header_bits(30, false), 4 + 5);
    EXPECT_EQ(section_header_bits(31, false), 4 + 10);
    EXPECT_EQ(section_header_bits(49, false), 4 + 10);
    EXPECT_EQ(section_header_bits(6, true), 4 + 3);
    EXPECT_EQ(section_header_bits(7, true), 4 + 6);
    EXPECT_EQ(section_header_bits(14, true), 4 + 9);
}

}  // namespace
}  // namespace brevix::aac
