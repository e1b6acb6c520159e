#include "launch/command.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "job/bitrate_list.h"

namespace brevix::launch {
namespace {

const char* command_template(std::int32_t profile_selector) {
    switch (profile_selector) {
        case job::kProfileMain:
            return "mp4.exe -nh -wn %d -eb .aac -r %d -c -main -eo .wav %s -o %s";
        case job::kProfileLc:
            return "mp4.exe -nh -wn %d -eb .aac -r %d -c -lc -eo .wav %s -o %s";
        case job::kProfileSsr:
            return "mp4.exe -nh -wn %d -eb .aac -r %d -c -ssr -eo .wav %s -o %s";
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
// signed, as printing the handle with %d does there.
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

    const char* format = command_template(state.profile_selector);
    if (format == nullptr) {
        return ComposeStatus::kNoProfile;
    }

    const std::string input = as_argument(buffer_text(state.input_path));
    const std::string output = as_argument(buffer_text(state.output_path));
    const int written =
        std::snprintf(state.command.data(), state.command.size(), format,
                      static_cast<int>(handle_value(window_handle)),
                      static_cast<int>(state.total_bitrate), input.c_str(), output.c_str());
    if (written < 0 || static_cast<std::size_t>(written) >= state.command.size()) {
        state.command[0] = '\0';  // never hand a cut command to the encoder
        return ComposeStatus::kTooLong;
    }
    return ComposeStatus::kOk;
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
