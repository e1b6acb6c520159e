// The encoder's bit-exact parts, read back by the tests' own decoder: the bit writer, every
// Huffman codebook and the scalefactor book, the bit counts the rate loop relies on, and
// the sectioning, against an exhaustive reference.
#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "core/bands.h"
#include "core/bit_writer.h"
#include "core/block_switch.h"
#include "core/encoder.h"
#include "core/huffman.h"
#include "core/ics.h"
#include "core/prediction.h"
#include "core/section.h"
#include "support.h"

namespace brevix::aac {
namespace {

using test::BitReader;

// The band kept grows with the rate per channel, between the table's points too, from
// what other encoders keep at 32 kbit/s a channel to the whole band at 128.
TEST(Bandwidth, GrowsWithTheRateToTheWholeBand) {
    const int rates[] = {32000, 40000, 48000, 56000, 64000, 81000, 128000};
    EXPECT_GE(aac::default_bandwidth(rates[0], 44100), 12500);
    for (int i = 0; i + 1 < 7; ++i) {
        const int low = aac::default_bandwidth(rates[i], 44100);
        const int middle = aac::default_bandwidth((rates[i] + rates[i + 1]) / 2, 44100);
        EXPECT_LT(low, middle) << rates[i];
        EXPECT_LT(middle, aac::default_bandwidth(rates[i + 1], 44100)) << rates[i];
    }
    EXPECT_EQ(aac::default_bandwidth(128000, 44100), 22050);
    EXPECT_EQ(aac::default_bandwidth(160000, 48000), 22050);
}

TEST(BitWriter, WritesMsbFirstAndStopsAtItsCapacity) {
    std::uint8_t buffer[3] = {0, 0, 0xEE};
    BitWriter out(buffer, 2);
    out.put(0x5, 3);
    out.put(0x1FFF, 13);
    EXPECT_EQ(buffer[0], 0xBF);
    EXPECT_EQ(buffer[1], 0xFF);
    EXPECT_FALSE(out.overflowed());
    out.put(1, 1);
    out.align();
    EXPECT_TRUE(out.overflowed());
    EXPECT_EQ(out.byte_count(), 2u);
    EXPECT_EQ(out.bit_count(), 24u);
    EXPECT_EQ(buffer[2], 0xEE) << "nothing written past the capacity";
}

// Writes `values` with `book`, checks the exact count and reads them back independently.
void expect_round_trip(int book, const std::vector<int>& values) {
    std::vector<std::uint8_t> buffer(values.size() * 8 + 16);
    BitWriter out(buffer.data(), buffer.size());
    write_values(out, book, values.data(), static_cast<int>(values.size()));
    EXPECT_EQ(static_cast<int>(out.bit_count()),
              count_bits(book, values.data(), static_cast<int>(values.size())))
        << "book " << book;
    out.align();
    BitReader in(buffer.data(), out.byte_count());
    EXPECT_EQ(test::decode_spectral(book, in, static_cast<int>(values.size())), values)
        << "book " << book;
}

TEST(Huffman, EveryBookCodesEveryTupleAndBook11EveryEscape) {
    for (int book = 1; book <= 11; ++book) {
        const CodebookInfo& info = codebook_info(book);
        const int top = info.largest_value;
        std::vector<int> values;
        std::vector<int> tuple(static_cast<std::size_t>(info.dimension), -top);
        for (int j = 0; j >= 0;) {
            values.insert(values.end(), tuple.begin(), tuple.end());
            for (j = info.dimension - 1; j >= 0 && tuple[static_cast<std::size_t>(j)] == top; --j) {
                tuple[static_cast<std::size_t>(j)] = -top;
            }
            if (j >= 0) {
                ++tuple[static_cast<std::size_t>(j)];
            }
        }
        expect_round_trip(book, values);
    }
    std::vector<int> large = {16, -16, 17, 31, 32, -33, 255, 256, 4095, 4096, -8191, 8191};
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        large.push_back(static_cast<int>(random() % 16383) - 8191);
    }
    expect_round_trip(11, large);
    EXPECT_EQ(escape_bits(31), 5);
    EXPECT_EQ(escape_bits(32), 7);
    EXPECT_EQ(escape_bits(8191), 21);
}

// The rate loop judges bands by cheapest_book_bits() and sections them with
// count_bits_all_books(): both must agree with count_bits() for every book that can code the
// values, and a book that cannot must say so.
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
            for (int book = peak == 0 ? 1 : 0; book < kNumSpectralBooks; ++book) {
                if (all[book] < kInfeasibleBits || peak == 0) {
                    EXPECT_EQ(all[book], count_bits(book, values.data(), 32))
                        << book << " " << peak;
                    cheapest = std::min(cheapest, all[book]);
                }
            }
            EXPECT_EQ(all[0], peak == 0 ? 0 : kInfeasibleBits);
            EXPECT_EQ(cheapest_book_bits(values.data(), 32, peak), peak == 0 ? 0 : cheapest);
        }
    }
    const int too_big_for_1[4] = {2, 0, 0, 0};
    const int too_big_for_9[2] = {13, 0};
    const int too_big_for_11[2] = {8192, 0};
    EXPECT_EQ(count_bits(1, too_big_for_1, 4), kInfeasibleBits);
    EXPECT_EQ(count_bits(9, too_big_for_9, 2), kInfeasibleBits);
    EXPECT_EQ(count_bits(11, too_big_for_11, 2), kInfeasibleBits);
    EXPECT_EQ(count_bits(kZeroCodebook, too_big_for_1, 4), kInfeasibleBits);
    int bits[kNumSpectralBooks];
    count_bits_all_books(too_big_for_9, 2, 13, bits);
    EXPECT_EQ(std::count(bits, bits + 11, kInfeasibleBits), 11);
    EXPECT_LT(bits[11], kInfeasibleBits);
}

TEST(Huffman, ScalefactorDifferencesRoundTripOverTheWholeRange) {
    std::vector<std::uint8_t> buffer(1024);
    BitWriter out(buffer.data(), buffer.size());
    int bits = 0;
    for (int d = -kScalefactorDiffLimit; d <= kScalefactorDiffLimit; ++d) {
        write_scalefactor(out, d);
        bits += scalefactor_bits(d);
    }
    EXPECT_EQ(static_cast<int>(out.bit_count()), bits);
    out.align();
    BitReader in(buffer.data(), out.byte_count());
    for (int d = -kScalefactorDiffLimit; d <= kScalefactorDiffLimit; ++d) {
        EXPECT_EQ(test::decode_codeword(tables::kScalefactorBook, 121, in) - 60, d);
    }
}

// A plain dynamic programme over every (start, end, book), as the reference.
int reference_sectioning_cost(const std::vector<int>& cost, int bands, bool short_window) {
    std::vector<int> best(static_cast<std::size_t>(bands + 1), 1 << 30);
    best[0] = 0;
    for (int end = 1; end <= bands; ++end) {
        for (int book = 0; book < kNumSpectralBooks; ++book) {
            int run = 0;
            for (int start = end - 1; start >= 0; --start) {
                run += cost[static_cast<std::size_t>(start * kNumSpectralBooks + book)];
                best[static_cast<std::size_t>(end)] =
                    std::min(best[static_cast<std::size_t>(end)],
                             best[static_cast<std::size_t>(start)] + run +
                                 section_header_bits(end - start, short_window));
            }
        }
    }
    return best[static_cast<std::size_t>(bands)];
}

TEST(Sectioning, FindsTheCheapestSplitAndBooksWithLengthEscapes) {
    EXPECT_EQ(section_header_bits(30, false), 4 + 5);
    EXPECT_EQ(section_header_bits(31, false), 4 + 10);
    EXPECT_EQ(section_header_bits(6, true), 4 + 3);
    EXPECT_EQ(section_header_bits(14, true), 4 + 9);
    // A section just long enough to need the length escape, where no other split can do.
    for (const bool short_window : {false, true}) {
        const int bands = short_window ? 7 : 31;
        std::vector<int> only(static_cast<std::size_t>(bands * kNumSpectralBooks), kInfeasibleBits);
        for (int b = 0; b < bands; ++b) {
            only[static_cast<std::size_t>(b * kNumSpectralBooks + kEscapeCodebook)] = 5;
        }
        Section one[kMaxLongBands];
        int count = 0;
        EXPECT_EQ(choose_sections(only.data(), bands, short_window, one, &count),
                  5 * bands + section_header_bits(bands, short_window));
    }
    std::mt19937 random(11);
    int escaped = 0;
    for (int trial = 0; trial < 100; ++trial) {
        const bool short_window = trial % 2 == 1;
        const int bands = trial < 60 ? 1 + trial % 12 : (short_window ? 14 : 49);
        // One book a little cheaper than the rest favours long sections, with escapes.
        const int favourite = 1 + trial % 11;
        std::vector<int> cost(static_cast<std::size_t>(bands * kNumSpectralBooks));
        for (int b = 0; b < bands; ++b) {
            const int smallest_book = trial < 60 ? static_cast<int>(random() % 12) : trial % 4 / 2;
            for (int book = 0; book < kNumSpectralBooks; ++book) {
                cost[static_cast<std::size_t>(b * kNumSpectralBooks + book)] =
                    book < smallest_book ? kInfeasibleBits
                                         : static_cast<int>(random() % 40) / (trial < 60 ? 1 : 7) +
                                               (book == favourite || trial < 60 ? 0 : 2);
            }
        }
        Section sections[kMaxLongBands];
        int count = 0;
        const int total = choose_sections(cost.data(), bands, short_window, sections, &count);
        EXPECT_EQ(total, reference_sectioning_cost(cost, bands, short_window)) << trial;
        // The sections tile the bands in order, and their cost adds up.
        int next = 0;
        int sum = 0;
        for (const Section& s : std::vector<Section>(sections, sections + count)) {
            EXPECT_EQ(s.start, next);
            EXPECT_GT(s.end, s.start);
            for (int b = s.start; b < s.end; ++b) {
                sum += cost[static_cast<std::size_t>(b * kNumSpectralBooks + s.book)];
            }
            sum += section_header_bits(s.end - s.start, short_window);
            escaped += s.end - s.start >= (short_window ? 7 : 31);
            next = s.end;
        }
        EXPECT_EQ(next, bands);
        EXPECT_EQ(sum, total);
    }
    EXPECT_GT(escaped, 10);
}

TEST(Grouping, JoinsWindowsOnlyWhereSharedScalefactorsCostFewerBitsAndEncodesTheField) {
    const BandLayout layout = short_bands(44100);
    constexpr int kBands = 12;
    std::vector<float> energy(kNumShortWindows * kMaxShortBands, 1e8f);
    std::vector<float> threshold(energy.size(), 1e6f);
    const auto set = [&](int w, int first, int end, float e, float t) {
        for (int b = first; b < end; ++b) {
            energy[static_cast<std::size_t>(w * kMaxShortBands + b)] = e;
            threshold[static_cast<std::size_t>(w * kMaxShortBands + b)] = t;
        }
    };
    const ShortWindowBands bands{energy.data(), threshold.data()};
    int lengths[kNumShortWindows];
    ASSERT_EQ(group_short_windows(&bands, 1, layout, kBands, lengths), 1) << "steady windows";
    EXPECT_EQ(grouping_bits(lengths, 1), 0x7Fu);
    // A bass note in window 3 as loud as the attack in windows 4-7, whose energy is in the
    // high bands where window 3 is silent: joined, those bands' noise would have to stay
    // below window 3's silence.
    set(3, 0, 6, 1e10f, 1e8f);
    set(3, 6, kBands, 1e2f, 1e3f);
    for (int w = 4; w < kNumShortWindows; ++w) {
        set(w, 6, kBands, 1e10f, 1e8f);
    }
    ASSERT_EQ(group_short_windows(&bands, 1, layout, kBands, lengths), 3);
    EXPECT_EQ(std::vector<int>(lengths, lengths + 3), (std::vector<int>{3, 1, 4}));
    // Windows 1-2 continue group 0 (bits 6-5), windows 3 and 4 start groups, 5-7 continue.
    EXPECT_EQ(grouping_bits(lengths, 3), 0b1100111u);
}

// Reset group n clears exactly the lines i % 30 == n - 1. Noise bands and the right
// channel's intensity bands leave their lines out of step with some decoders; they count
// as known again once all their lines' groups have come round.
TEST(Prediction, ResetGroupsClearTheirLinesAndBringBandsBackIntoStep) {
    Predictors p(672);
    std::vector<float> x(kFrameLength, 1000.0f);
    p.update(x.data());
    p.update(x.data());
    p.reset_group(16);
    p.predict();
    EXPECT_NE(p.prediction()[44], 0.0f);
    EXPECT_EQ(p.prediction()[45], 0.0f);
    EXPECT_EQ(p.prediction()[75], 0.0f);
    p.mark_unknown(40, 48);  // lines of groups 11..18
    for (int group = 1; group <= 18; ++group) {
        EXPECT_FALSE(p.known(40, 48)) << group;
        p.reset_group(group);
    }
    EXPECT_TRUE(p.known(40, 48));

    auto left = std::make_unique<Ics>(), right = std::make_unique<Ics>();
    Predictors q(672);
    for (Ics* ics : {left.get(), right.get()}) {
        ics->set_layout(long_bands(44100), 40);
    }
    left->book[10] = 13;   // lines 40..47
    right->book[12] = 15;  // lines 56..63
    const Ics* pair[] = {left.get(), right.get()};
    Predictors* predictors[] = {&p, &q};
    update_prediction(pair, predictors, 2, nullptr);
    EXPECT_FALSE(p.known(40, 48));
    EXPECT_TRUE(p.known(48, 56) && p.known(56, 64) && q.known(40, 56));
    EXPECT_FALSE(q.known(56, 64));
}

}  // namespace
}  // namespace brevix::aac
