// "Select Input": choose a source WAV file, probe its header, show what was found, derive the
// output name and reset the profile; an accepted file marks the source as loaded and fills
// the bit-rate list.
#pragma once

#include <cstdint>
#include <string>

#include "job/job_state.h"
#include "job/main_view.h"

namespace brevix::job {

inline constexpr char kSourceFilter[] = "16-bit Windows waveform files (*.wav)|*.wav|";

// The only sampling rate the encoder takes.
constexpr std::uint32_t kRequiredSamplesPerSecond = 44100;

void select_source(JobState& state, MainView& view);

// The source path with its last three characters replaced by "aac" (song.wav -> song.aac).
std::string derive_output_path(const std::string& source_path);

}  // namespace brevix::job
