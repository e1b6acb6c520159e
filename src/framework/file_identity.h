#pragma once

#include <string>

namespace brevix::framework {

// Whether two paths name the same file. Existing files are compared by volume and file
// index, which sees through different spellings (case, doubled separators, short 8.3
// names, "..", links); otherwise the full path names are compared without regard to case.
bool same_file(const std::string& a, const std::string& b);

}  // namespace brevix::framework
