#include "program/cli.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace brevix::mp4 {
namespace {

// Parses a whole decimal integer; false for empty text, junk or overflow.
bool parse_integer(const std::string& text, long long* value) {
    if (text.empty()) {
        return false;
    }
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(begin, &end, 10);
    if (errno != 0 || end == begin || *end != '\0' || text[0] == ' ' || text[0] == '\t') {
        return false;
    }
    *value = v;
    return true;
}

}  // namespace

std::string file_name_of(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool is_mp4_name(const std::string& path) {
    if (path.size() < 4) {
        return false;
    }
    std::string ending = path.substr(path.size() - 4);
    for (char& c : ending) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return ending == ".mp4" || ending == ".m4a";
}

std::string with_default_extension(const std::string& path, const std::string& extension) {
    if (extension.empty() || path.empty()) {
        return path;
    }
    if (file_name_of(path).find('.') != std::string::npos) {
        return path;
    }
    return path + (extension[0] == '.' ? extension : "." + extension);
}

ParseResult parse_command_line(const std::vector<std::string>& args) {
    ParseResult result;
    Options& o = result.options;
    bool ssr = false;
    bool after_output = false;  // bare words now continue the output name (once the
                                // input is known)
    auto error = [&result](const std::string& message) {
        result.ok = false;
        result.error = message;
        return result;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool is_switch = arg.size() > 1 && arg[0] == '-';
        if (!is_switch) {
            if (o.input.empty()) {
                o.input = arg;
            } else if (after_output) {
                o.output += " " + arg;
            } else {
                return error("unexpected argument '" + arg + "' (input already given as '" +
                             o.input + "')");
            }
            continue;
        }
        after_output = false;
        if (arg == "-h" || arg == "-?" || arg == "--help") {
            o.help = true;
            continue;
        }
        if (arg == "-nh") {
            o.banner = false;
            continue;
        }
        if (arg == "-c") {
            o.constant_rate = true;
            continue;
        }
        if (arg == "-main") {
            o.profile = aac::Profile::kMain;
            continue;
        }
        if (arg == "-lc") {
            o.profile = aac::Profile::kLowComplexity;
            continue;
        }
        if (arg == "-ssr") {
            ssr = true;
            continue;
        }
        if (arg == "-no-pns" || arg == "-no-is") {
            (arg == "-no-pns" ? o.noise_substitution : o.intensity_stereo) = false;
            continue;
        }
        const bool takes_value =
            arg == "-wn" || arg == "-r" || arg == "-eo" || arg == "-eb" || arg == "-o";
        if (!takes_value) {
            return error("unknown switch '" + arg + "' (-h lists the switches)");
        }
        if (i + 1 >= args.size()) {
            return error("switch " + arg + " needs a value");
        }
        const std::string& value = args[++i];
        if (arg == "-wn") {
            long long handle = 0;
            // A window handle as a signed 32-bit decimal; its unsigned form is accepted too.
            if (!parse_integer(value, &handle) || handle < INT32_MIN || handle > UINT32_MAX) {
                return error("-wn: '" + value + "' is not a window handle (a decimal number)");
            }
            o.has_window = true;
            o.window = static_cast<std::int32_t>(static_cast<std::uint32_t>(handle));
        } else if (arg == "-r") {
            long long rate = 0;
            if (!parse_integer(value, &rate) || rate <= 0 || rate > INT_MAX) {
                return error("-r: '" + value +
                             "' is not a bit rate (bits per second, e.g. 128000)");
            }
            o.bit_rate = static_cast<int>(rate);
        } else if (arg == "-eo") {
            o.input_extension = value;
        } else if (arg == "-eb") {
            o.output_extension = value;
        } else {
            if (!o.output.empty()) {
                return error("more than one output file given");
            }
            if (value.empty()) {
                return error("-o: the output file name is empty");
            }
            o.output = value;
            after_output = true;
        }
    }
    if (o.help) {
        result.ok = true;
        return result;
    }
    if (ssr) {
        // In a window the person chose a profile, not a switch.
        return error(o.has_window ? "The SSR profile is not supported by this encoder. Choose "
                                    "the Main or LC profile."
                                  : "the SSR profile is not supported by this encoder (use -lc "
                                    "or -main)");
    }
    if (o.input.empty()) {
        return error("no input file given");
    }
    if (o.output.empty()) {
        return error("no output file given (-o OUTPUT)");
    }
    o.input = with_default_extension(o.input, o.input_extension);
    o.output = with_default_extension(o.output, o.output_extension);
    result.ok = true;
    return result;
}

std::string usage_text() {
    return "Usage: mp4 [switches] INPUT -o OUTPUT\n"
           "Encodes a PCM WAV file (8/16/24/32-bit integer, 1 to 6 channels, 44100 or\n"
           "48000 Hz) to AAC: an MP4 file for output names ending in .mp4 or .m4a, an\n"
           "ADTS stream otherwise.\n"
           "An MP4 file has its index before the audio (it plays while still loading),\n"
           "its exact length twice (an edit list and iTunSMPB, for gapless playback),\n"
           "the WAV file's tags (LIST/INFO: title, artist, album, date, genre, comment,\n"
           "track) and the encoder's name and version.\n"
           "\n"
           "  -o OUTPUT   output file (required); written under a temporary name and\n"
           "              renamed when complete\n"
           "  -r BITS     total bit rate in bits per second over all channels\n"
           "              (default 64000 per channel)\n"
           "  -c          constant bit rate: pad frames so the rate is held exactly\n"
           "  -lc         AAC Low Complexity profile (default)\n"
           "  -main       AAC Main profile\n"
           "  -ssr        AAC SSR profile: not supported, refused\n"
           "  -no-pns     no perceptual noise substitution (to measure what it brings)\n"
           "  -no-is      no intensity stereo (to measure what it brings)\n"
           "  -eo EXT     extension added to an input name that has none (e.g. .wav)\n"
           "  -eb EXT     extension added to an output name that has none (e.g. .aac)\n"
           "  -wn HANDLE  report progress to this window (decimal handle; Windows only)\n"
           "  -nh         no banner\n"
           "  -h          this help\n";
}

}  // namespace brevix::mp4
