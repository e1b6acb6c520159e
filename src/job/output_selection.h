// "Output": replace the derived output path by one chosen in a save dialog.
#pragma once

#include "job/main_view.h"

namespace brevix::job {

inline constexpr char kOutputDefaultExtension[] = "mp4";
inline constexpr char kOutputFilter[] =
    "AAC RAW FILES (*.aac)|*.aac|MPEG-4 ISO Reference files (*.mp4)|*.mp4|";

// The path lives only in the output display until Encode reads it back; the job state is
// not touched and the path is taken as the dialog gives it.
void select_output(MainView& view);

}  // namespace brevix::job
