#include "core/section.h"

#include "core/aac_types.h"
#include "core/bands.h"

namespace brevix::aac {

int section_header_bits(int length, bool short_window) {
    const int field = short_window ? 3 : 5;
    const int escape = short_window ? 7 : 31;
    return 4 + field * (1 + length / escape);
}

// best[e], the cheapest coding of bands [0, e), is the minimum over books and starts s of
//   best[s] + prefix[e] - prefix[s] + 4 + field * (1 + (e - s) / escape).
// The header only changes when the length crosses a multiple of `escape`, so the starts
// fall into brackets of `escape` consecutive values with one header cost each, and only
// the smallest best[s] - prefix[s] of a bracket matters. A sliding-window minimum over the
// starts gives that for every bracket in constant time: O(bands x books x brackets)
// instead of O(bands^2 x books), with the same (exact) result.
static int choose_free_sections(const int* band_bits, int num_bands, bool short_window,
                                Section* sections, int* section_count) {
    const int field = short_window ? 3 : 5;
    const int escape = short_window ? 7 : 31;
    constexpr int kMax = kMaxLongBands + 1;
    int best[kMax];
    int best_start[kMax];
    int best_book[kMax];
    best[0] = 0;
    // Per book: prefix sums, and for every start t the smallest value of best[s] - prefix[s]
    // over s in (t - escape + 1 .. t] (window_min / window_arg), kept with a monotone deque.
    static_assert(kNumSpectralBooks <= 12, "fixed-size tables below");
    int prefix[kNumSpectralBooks][kMax];
    int window_min[kNumSpectralBooks][kMax];
    int window_arg[kNumSpectralBooks][kMax];
    int queue[kNumSpectralBooks][kMax];
    int head[kNumSpectralBooks] = {};
    int tail[kNumSpectralBooks] = {};
    for (int book = 0; book < kNumSpectralBooks; ++book) {
        prefix[book][0] = 0;
        for (int b = 0; b < num_bands; ++b) {
            const int bits = band_bits[b * kNumSpectralBooks + book];
            // Saturate: an infeasible band poisons every section through it.
            prefix[book][b + 1] = bits >= kInfeasibleBits ? prefix[book][b] + kInfeasibleBits
                                                          : prefix[book][b] + bits;
        }
    }
    auto value = [&](int book, int s) { return best[s] - prefix[book][s]; };
    for (int e = 1; e <= num_bands; ++e) {
        const int t = e - 1;  // start t is now known: add it to every book's window
        for (int book = 0; book < kNumSpectralBooks; ++book) {
            int* q = queue[book];
            const int v = value(book, t);
            while (tail[book] > head[book] && value(book, q[tail[book] - 1]) >= v) {
                --tail[book];
            }
            q[tail[book]++] = t;
            // Keep starts t - escape + 2 .. t: a window of escape - 1 starts.
            while (q[head[book]] <= t - (escape - 1)) {
                ++head[book];
            }
            window_min[book][t] = value(book, q[head[book]]);
            window_arg[book][t] = q[head[book]];
        }
        int cost = 1 << 30;
        int start_choice = t;
        int book_choice = kEscapeCodebook;
        for (int book = 0; book < kNumSpectralBooks; ++book) {
            if (band_bits[t * kNumSpectralBooks + book] >= kInfeasibleBits) {
                continue;  // every section of this book ending here holds band t
            }
            // Bracket j: lengths j * escape .. (j + 1) * escape - 1, i.e. starts
            // e - (j + 1) * escape + 1 .. e - j * escape (for j = 0 without s = e).
            for (int j = 0;; ++j) {
                const int last = j == 0 ? e - 1 : e - j * escape;
                if (last < 0) {
                    break;
                }
                int v = window_min[book][last];
                int s = window_arg[book][last];
                // The window holds escape - 1 starts; bracket j >= 1 has one more.
                const int extra = last - (escape - 1);
                if (j > 0 && extra >= 0 && value(book, extra) < v) {
                    v = value(book, extra);
                    s = extra;
                }
                const int total = prefix[book][e] + v + 4 + field * (1 + j);
                if (total < cost) {
                    cost = total;
                    start_choice = s;
                    book_choice = book;
                }
            }
        }
        best[e] = cost;
        best_start[e] = start_choice;
        best_book[e] = book_choice;
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

// No section can hold both a fixed band and a free one, so the cheapest sectioning is the
// cheapest of every run of free bands on its own, with each run of equal fixed books as one
// section (one header is never dearer than two).
int choose_sections(const int* band_bits, int num_bands, bool short_window, Section* sections,
                    int* section_count, const std::uint8_t* fixed_books) {
    if (fixed_books == nullptr) {
        return choose_free_sections(band_bits, num_bands, short_window, sections, section_count);
    }
    int bits = 0;
    int count = 0;
    for (int start = 0; start < num_bands;) {
        const int book = fixed_books[start];
        int end = start + 1;
        while (end < num_bands && fixed_books[end] == book) {
            ++end;
        }
        if (book != 0) {
            sections[count++] = {static_cast<std::uint8_t>(book), static_cast<std::uint8_t>(start),
                                 static_cast<std::uint8_t>(end)};
            bits += section_header_bits(end - start, short_window);
        } else {
            int n = 0;
            bits += choose_free_sections(band_bits + start * kNumSpectralBooks, end - start,
                                         short_window, sections + count, &n);
            for (int k = count; k < count + n; ++k) {
                sections[k].start = static_cast<std::uint8_t>(sections[k].start + start);
                sections[k].end = static_cast<std::uint8_t>(sections[k].end + start);
            }
            count += n;
        }
        start = end;
    }
    *section_count = count;
    return bits;
}

}  // namespace brevix::aac
