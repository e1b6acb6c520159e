// One encoding run: WAV in, MP4 or ADTS out, progress reported as the input is read.
#pragma once

#include <string>

#include "program/cli.h"
#include "program/progress.h"

namespace brevix::mp4 {

// Encodes `options.input` to `options.output`. Returns an empty string on success,
// otherwise the message describing the failure (already passed to `progress.fail`).
std::string run_encode_job(const Options& options, ProgressReporter& progress);

}  // namespace brevix::mp4
