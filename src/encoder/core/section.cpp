#include "core/section.h"

#include "core/aac_types.h"
#include "core/bands.h"

namespace brevix::aac {

int section_header_bits(int length, bool short_window) {
    const int field = short_window ? 3 : 5;
    const int escape = short_window ? 7 : 31;
    return 4 + field * (1 + length / escape);
}

int choose_sections(const int* band_bits, int num_bands, bool short_window, Section* sections,
                    int* section_count) {
    // best[i]: cheapest coding of bands [0, i); choice[i] = (start, book) of its last section.
    int best[kMaxLongBands + 1];
    int best_start[kMaxLongBands + 1];
    int best_book[kMaxLongBands + 1];
    best[0] = 0;
    for (int end = 1; end <= num_bands; ++end) {
        int cost = kInfeasibleBits * 4;
        int start_choice = end - 1;
        int book_choice = kEscapeCodebook;
        for (int book = 0; book < kNumSpectralBooks; ++book) {
            int run = 0;
            for (int start = end - 1; start >= 0; --start) {
                run += band_bits[start * kNumSpectralBooks + book];
                if (run >= kInfeasibleBits) {
                    break;
                }
                const int total =
                    best[start] + run + section_header_bits(end - start, short_window);
                if (total < cost) {
                    cost = total;
                    start_choice = start;
                    book_choice = book;
                }
            }
        }
        best[end] = cost;
        best_start[end] = start_choice;
        best_book[end] = book_choice;
    }
    // Walk back from the end, then reverse into coding order.
    int count = 0;
    for (int end = num_bands; end > 0; end = best_start[end]) {
        sections[count++] = {static_cast<std::uint8_t>(best_book[end]),
                             static_cast<std::uint8_t>(best_start[end]),
                             static_cast<std::uint8_t>(end)};
    }
    for (int i = 0; i < count / 2; ++i) {
        const Section t = sections[i];
        sections[i] = sections[count - 1 - i];
        sections[count - 1 - i] = t;
    }
    *section_count = count;
    return best[num_bands];
}

}  // namespace brevix::aac
