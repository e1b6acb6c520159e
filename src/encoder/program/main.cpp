// mp4: command-line AAC encoder. See program/cli.h for the command line.
#include <cstdio>
#include <string>

#include "program/cli.h"
#include "program/encode_job.h"
#include "program/platform.h"
#include "program/progress.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

}  // namespace

int main(int argc, char** argv) {
    using namespace brevix::mp4;
    const ParseResult parsed = parse_command_line(command_line_arguments(argc, argv));
    const Options& options = parsed.options;

    std::unique_ptr<ProgressReporter> progress;
    if (options.has_window) {
        progress = make_window_progress(options.window);
    }
    if (!progress) {
        progress = make_console_progress();
    }
    if (!parsed.ok) {
        progress->fail(parsed.error + (options.has_window ? "" : "\nmp4 -h lists the switches"));
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(usage_text().c_str(), stdout);
        return kExitOk;
    }
    if (options.banner) {
        std::fputs("mp4: AAC encoder (LC and Main profiles, MP4 or ADTS output)\n", stderr);
    }
    install_interrupt_handler();
    return run_encode_job(options, *progress).empty() ? kExitOk : kExitFailed;
}
