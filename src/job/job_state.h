// The one record that carries the user's choices from one event handler to the next.
// Exactly one instance exists for the whole process (job_state()); both the main window
// and the progress window read and write it. Nothing in it is saved between runs.
#pragma once

#include <array>
#include <cstdint>

#include "res/resource.h"

namespace brevix::job {

// Control identifiers of the profile buttons, stored as the profile selector.
constexpr std::int32_t kProfileMain = IDC_PROFILE_MAIN;
constexpr std::int32_t kProfileLc = IDC_PROFILE_LC;
constexpr std::int32_t kProfileSsr = IDC_PROFILE_SSR;

constexpr std::size_t kPathBufferSize = 512;      // characters including the terminator
constexpr std::size_t kCommandBufferSize = 1024;  // characters including the terminator

struct JobState {
    std::int32_t source_loaded = 0;     // 1 once a source file passed every check
    std::int32_t channel_mode = 0;      // 0 mono, 1 stereo (any count other than 1)
    std::int32_t profile_selector = 0;  // kProfileMain, kProfileLc or kProfileSsr
    std::int32_t bitrate_index = -1;    // row of the bit-rate table, -1 for none
    std::int32_t total_bitrate = 0;     // bits per second passed to the encoder
    std::array<char, kPathBufferSize> input_path{};
    std::array<char, kPathBufferSize> output_path{};
    std::array<char, kCommandBufferSize> command{};
};

// The process-wide instance, created with the start values above on first use.
JobState& job_state();

}  // namespace brevix::job
