// Where the driver finds the things it tests: everything relative to the driver's own
// folder, so the build tree can be moved or run on Windows as it is.
#pragma once

#include <string>

namespace brevix::e2e {

// Folder of the running driver, without a trailing backslash.
std::string driver_folder();
// The brevix.exe the build produced.
std::string built_program();
// The probe DLL (next to the driver).
std::string probe_dll();
// The test encoder (next to the driver; tests copy it as mp4.exe into a test folder).
std::string test_encoder_program();
// Folder for screenshots (created on demand).
std::string screenshot_folder();

// "C:\a\b.exe" -> "C:\a"; "b.exe" -> ".".
std::string folder_of(const std::string& path);
std::string join(const std::string& folder, const std::string& name);

}  // namespace brevix::e2e
