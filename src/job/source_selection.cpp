#include "job/source_selection.h"

#include "job/bitrate_list.h"
#include "job/wav_probe.h"

namespace brevix::job {
namespace {

constexpr char kErrorCaption[] = "Error!";
constexpr char kAppCaption[] = "";  // the application name

void refuse(MainView& view, const char* text, const char* caption) {
    view.message_box(text, caption, MessageIcon::kExclamation);
}

}  // namespace

std::string derive_output_path(const std::string& source_path) {
    const std::size_t keep = source_path.size() >= 3 ? source_path.size() - 3 : 0;
    return source_path.substr(0, keep) + "aac";
}

void select_source(JobState& state, MainView& view) {
    const std::optional<std::string> chosen = view.ask_open_path(kSourceFilter);
    if (!chosen) {
        return;
    }
    const std::string& path = *chosen;

    // The encoder's command line carries the source path without quotes.
    if (path.find(' ') != std::string::npos) {
        refuse(view, "Source path and file name must not contain space characters!", kErrorCaption);
        return;
    }

    // The file is closed again inside the probe, before any message is shown.
    const ProbeResult probe = probe_wav_file(path);
    switch (probe.status) {
        case ProbeStatus::kCannotOpen:
            refuse(view, "Cannot open wave file, aborting!", kErrorCaption);
            return;
        case ProbeStatus::kNotWave:
            refuse(view, "Error loading wave file", kAppCaption);
            return;
        case ProbeStatus::kNoFormatChunk:
        case ProbeStatus::kFormatChunkTooShort:
            refuse(view, "This wave file is corrupt.", kAppCaption);
            return;
        case ProbeStatus::kShortRead:
            return;  // a file that ends inside its format chunk is dropped silently
        case ProbeStatus::kNotPcm:
            refuse(view,
                   "This file is not in PCM format. Wave files must be in PCM (uncompressed) "
                   "format in order to compress.",
                   "I/O format error");
            return;
        case ProbeStatus::kPcm:
            break;
    }

    // From here on the window shows the new file, even if its rate is refused below.
    view.set_text(kInputDisplay, path);
    view.set_text(kOutputDisplay, derive_output_path(path));
    const bool mono = probe.channels == 1;
    state.channel_mode = mono ? 0 : 1;
    view.set_text(kFormatDisplay, std::to_string(probe.samples_per_second) +
                                      (mono ? " Hz Mono PCM file" : " Hz Stereo PCM file"));
    view.set_check(kMainButton, true);
    view.set_check(kSsrButton, false);
    view.set_check(kLcButton, false);
    state.profile_selector = kProfileMain;
    view.list_clear();

    if (probe.samples_per_second != kRequiredSamplesPerSecond) {
        // The displays name the refused file now, so an earlier file's settings must not
        // be encoded: Encode asks for an input file until one is accepted.
        state.source_loaded = 0;
        refuse(view,
               "Error: this version of MPEG-4 Encoder requires 44100 Hz / 16 bit / Stereo wave "
               "files",
               "Sampling Rate Error!");
        return;
    }

    view.enable(kMainButton, true);
    state.source_loaded = 1;
    refill_bitrate_list(state, view);
}

}  // namespace brevix::job
