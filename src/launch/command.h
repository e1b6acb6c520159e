// The command line that starts the encoder, composed from the job state.
#pragma once

#include <cstdint>
#include <string>

#include "job/job_state.h"

namespace brevix::launch {

enum class ComposeStatus {
    kOk,
    kNoProfile,  // the profile selector is not one of the three profile buttons
    kNoBitrate,  // the bit-rate index is not a row of the bit-rate table
    kTooLong,    // the command does not fit the command buffer
};

// Stores the total bit rate (the chosen row's per-channel rate, doubled for stereo) and
// writes the command for the chosen profile into the command buffer:
//   mp4.exe -nh -wn <window> -eb .aac -r <total bit rate> -c -<profile> -eo .wav <in> -o <out>
// The window handle is passed as its 32-bit value in signed decimal. A path containing a
// space or tab is put in double quotes so that it reaches the encoder as one argument;
// other paths are inserted unchanged. On any failure the command buffer is left empty.
ComposeStatus compose_command(job::JobState& state, std::intptr_t window_handle);

// A message for the user explaining a failed composition (empty for kOk).
const char* compose_failure_message(ComposeStatus status);

// What the user is told when the encoder ended with a status other than 0 before it had
// closed the progress window. A status of 0x80000000 or more (a crash: an exception code
// such as 0xC0000005) is given in hexadecimal, any other in decimal.
std::string encoder_stopped_message(std::uint32_t exit_status);

}  // namespace brevix::launch
