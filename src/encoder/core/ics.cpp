#include "core/ics.h"

namespace brevix::aac {

void Ics::set_layout(const BandLayout& layout, int max_bands) {
    bands_per_group = layout.count;
    max_sfb = max_bands;
    if (!is_short()) {
        group_count = 1;
        group_length[0] = 1;
    }
    int start = 0;
    for (int g = 0; g < group_count; ++g) {
        for (int b = 0; b < layout.count; ++b) {
            const int i = g * layout.count + b;
            band_start[i] = static_cast<std::uint16_t>(start);
            band_width[i] = static_cast<std::uint16_t>(group_length[g] * layout.width(b));
            start += band_width[i];
        }
    }
    band_start[group_count * layout.count] = static_cast<std::uint16_t>(start);
}

}  // namespace brevix::aac
