#include "job/bitrate_list.h"

namespace brevix::job {

void refill_bitrate_list(JobState& state, MainView& view) {
    if (state.source_loaded != 1) {
        return;
    }
    view.list_clear();
    for (const BitrateRow& row : kBitrateTable) {
        view.list_add(row.label);
    }
    view.list_select(kRecommendedBitrateRow);
    state.bitrate_index = kRecommendedBitrateRow;
}

void on_bitrate_selection_changed(JobState& state, MainView& view) {
    state.bitrate_index = view.list_selection();
}

std::optional<std::int32_t> per_channel_bitrate(std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= kBitrateTable.size()) {
        return std::nullopt;
    }
    return kBitrateTable[static_cast<std::size_t>(index)].bits_per_second;
}

}  // namespace brevix::job
