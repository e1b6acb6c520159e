// The fixed table of per-channel bit rates, the bit-rate list of the main window that shows
// it, and the tracking of the user's choice in the job state's bit-rate index.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "job/job_state.h"
#include "job/main_view.h"

namespace brevix::job {

struct BitrateRow {
    std::int32_t bits_per_second;  // per channel
    const char* label;
};

// Row 1 is 81000, as its label says.
inline constexpr std::array<BitrateRow, 7> kBitrateTable{{
    {128000, "128 kbits/s per channel"},
    {81000, "81 kbits/s per channel"},
    {64000, "64 kbits/s per channel (recommended)"},
    {56000, "56 kbits/s per channel"},
    {48000, "48 kbits/s per channel"},
    {40000, "40 kbits/s per channel"},
    {32000, "32 kbits/s per channel"},
}};

constexpr int kRecommendedBitrateRow = 2;

// Puts all seven rows into the list and selects the recommended row, discarding the user's
// choice. Does nothing while no source is loaded.
void refill_bitrate_list(JobState& state, MainView& view);

// The list's selection changed: the index follows it (-1 when nothing is selected).
void on_bitrate_selection_changed(JobState& state, MainView& view);

// The per-channel rate of a table row; nothing for an index outside the table.
std::optional<std::int32_t> per_channel_bitrate(std::int32_t index);

}  // namespace brevix::job
