#include "launch/command.h"

#include <algorithm>
#include <string>

#include "job/bitrate_list.h"

namespace brevix::launch {
namespace {

// The switch that names the profile, or null for a selector that is not a profile button.
const char* profile_switch(std::int32_t profile_selector) {
    switch (profile_selector) {
        case job::kProfileMain:
            return "-main";
        case job::kProfileLc:
            return "-lc";
        case job::kProfileSsr:
            return "-ssr";
        default:
            return nullptr;
    }
}

// The text of a path buffer, up to its terminator (or its end, should it have none).
template <std::size_t N>
std::string buffer_text(const std::array<char, N>& buffer) {
    return std::string(buffer.begin(), std::find(buffer.begin(), buffer.end(), '\0'));
}

// The encoder splits its command line at spaces and tabs.
std::string as_argument(const std::string& path) {
    if (path.find_first_of(" \t") == std::string::npos) {
        return path;
    }
    return '"' + path + '"';
}

// A window handle is 32 bits wide on the target; keep its low 32 bits and read them as
// signed, as the encoder reads the number back.
std::int32_t handle_value(std::intptr_t window_handle) {
    const auto bits = static_cast<std::uint32_t>(static_cast<std::uintptr_t>(window_handle));
    return static_cast<std::int32_t>(bits);
}

}  // namespace

ComposeStatus compose_command(job::JobState& state, std::intptr_t window_handle) {
    state.command[0] = '\0';

    const std::optional<std::int32_t> per_channel = job::per_channel_bitrate(state.bitrate_index);
    if (!per_channel) {
        return ComposeStatus::kNoBitrate;
    }
    state.total_bitrate = state.channel_mode == 1 ? *per_channel * 2 : *per_channel;

    const char* const profile = profile_switch(state.profile_selector);
    if (profile == nullptr) {
        return ComposeStatus::kNoProfile;
    }

    // Built as a string rather than with the printf family, whose Windows implementation
    // brings its floating-point formatting into the program.
    const std::string command = "mp4.exe -nh -wn " + std::to_string(handle_value(window_handle)) +
                                " -eb .aac -r " + std::to_string(state.total_bitrate) + " -c " +
                                profile + " -eo .wav " +
                                as_argument(buffer_text(state.input_path)) + " -o " +
                                as_argument(buffer_text(state.output_path));
    if (command.size() >= state.command.size()) {
        state.command[0] = '\0';  // never hand a cut or an earlier command to the encoder
        return ComposeStatus::kTooLong;
    }
    std::copy(command.begin(), command.end(), state.command.begin());
    state.command[command.size()] = '\0';
    return ComposeStatus::kOk;
}

std::string encoder_stopped_message(std::uint32_t exit_status) {
    // Digits written by hand: the library's number formatting would add to the program.
    std::string status;
    if (exit_status >= 0x80000000u) {
        for (int shift = 0; shift < 32; shift += 4) {
            status.insert(status.begin(), "0123456789ABCDEF"[(exit_status >> shift) & 0xFu]);
        }
        status.insert(0, "0x");
    } else {
        do {
            status.insert(status.begin(), static_cast<char>('0' + exit_status % 10));
            exit_status /= 10;
        } while (exit_status != 0);
    }
    return "The encoder mp4.exe stopped before it finished (exit status " + status +
           "). The output file may be missing or incomplete.";
}

const char* compose_failure_message(ComposeStatus status) {
    switch (status) {
        case ComposeStatus::kOk:
            return "";
        case ComposeStatus::kNoProfile:
            return "No AAC profile is selected. Please choose a profile and try again.";
        case ComposeStatus::kNoBitrate:
            return "No bit rate is selected. Please choose a bit rate and try again.";
        case ComposeStatus::kTooLong:
            return "The encoder command line would be longer than 1023 characters. Please "
                   "choose shorter input and output paths.";
    }
    return "";
}

}  // namespace brevix::launch
