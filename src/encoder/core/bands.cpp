#include "core/bands.h"

#include "core/aac_tables.h"

namespace brevix::aac {

int sampling_frequency_index(int sample_rate) {
    static const int kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                 22050, 16000, 12000, 11025, 8000,  7350};
    for (int i = 0; i < static_cast<int>(sizeof(kRates) / sizeof(kRates[0])); ++i) {
        if (kRates[i] == sample_rate) {
            return i;
        }
    }
    return -1;
}

// 44.1 kHz and 48 kHz share one table.
BandLayout long_bands(int /*sample_rate*/) {
    return {49, tables::kSwbOffsetsLong44100};
}

BandLayout short_bands(int /*sample_rate*/) {
    return {14, tables::kSwbOffsetsShort44100};
}

int bands_below(const BandLayout& layout, int lines) {
    int count = 0;
    while (count < layout.count && layout.offsets[count] < lines) {
        ++count;
    }
    return count;
}

int bands_below_hz(const BandLayout& layout, int window_lines, int hz, int sample_rate) {
    // Line k is at k * sample_rate / (2 * window_lines) Hz; compared in integers, exactly.
    int count = 0;
    while (count < layout.count && static_cast<std::int64_t>(layout.offsets[count]) * sample_rate <
                                       std::int64_t{2} * hz * window_lines) {
        ++count;
    }
    return count;
}

}  // namespace brevix::aac
