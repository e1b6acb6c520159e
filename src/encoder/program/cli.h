// Command line of the encoder program:
//   mp4 [-nh] [-wn HANDLE] [-r BITS] [-c] [-main|-lc|-ssr] [-no-pns] [-no-is] [-eo EXT]
//       [-eb EXT] INPUT -o OUTPUT
// Switches may come in any order. Once the input is known, bare words that follow the
// output name are further pieces of it, joined with single spaces: a caller that passes
// an output path with spaces unquoted splits it there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/aac_types.h"

namespace brevix::mp4 {

struct Options {
    std::string input;
    std::string output;
    std::string input_extension;   // -eo: appended to an input name without extension
    std::string output_extension;  // -eb: appended to an output name without extension
    int bit_rate = 0;              // -r, total bits per second; 0 = default for the input
    bool constant_rate = false;    // -c
    aac::Profile profile = aac::Profile::kLowComplexity;
    bool noise_substitution = true;  // cleared by -no-pns
    bool intensity_stereo = true;    // cleared by -no-is
    bool banner = true;              // cleared by -nh
    bool has_window = false;         // -wn given
    std::int32_t window = 0;         // -wn value
    bool help = false;               // -h
};

struct ParseResult {
    bool ok = false;
    Options options;  // filled as far as parsing got (the window handle even on errors)
    std::string error;
};

ParseResult parse_command_line(const std::vector<std::string>& args);

// `path` with `extension` (".ext" or "ext") appended when its file name has no extension.
std::string with_default_extension(const std::string& path, const std::string& extension);

// True for output names that get an MP4 file: ending in .mp4 or .m4a, in any case.
// Every other name gets an ADTS stream.
bool is_mp4_name(const std::string& path);

// The file-name part of a path (after the last '/' or '\').
std::string file_name_of(const std::string& path);

std::string usage_text();

// Default bit rate per channel: without -r, the total is this times the channel count.
constexpr int kDefaultBitRatePerChannel = 64000;

}  // namespace brevix::mp4
