// The checks of "Encode" before the progress window opens, and the copy of the two paths
// from the main window into the job state.
#pragma once

#include <string>

#include "job/job_state.h"
#include "job/main_view.h"

namespace brevix::job {

// Whether two paths name the same file as Windows compares them: letters in either case,
// '/' and '\' both as separators.
bool same_file_path(const std::string& a, const std::string& b);

// Tells whether two paths name one file. The program passes one that asks the file system
// (which also sees through other spellings of a path); the text comparison is the default.
using SameFile = bool (*)(const std::string& a, const std::string& b);

// Refuses with a message when no source is loaded, no bit rate is chosen, a path does not
// fit its buffer, or the output path names the source file. Otherwise copies the input and
// output displays' texts into the path buffers and returns true: the caller then runs the
// progress window.
bool check_encode_and_copy_paths(JobState& state, MainView& view,
                                 SameFile same_file = same_file_path);

}  // namespace brevix::job
