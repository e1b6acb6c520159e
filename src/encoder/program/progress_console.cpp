#include <cstdio>

#include "program/platform.h"
#include "program/progress.h"

#ifdef _WIN32
#include <io.h>
#define BREVIX_ISATTY _isatty
#define BREVIX_FILENO _fileno
#else
#include <unistd.h>
#define BREVIX_ISATTY isatty
#define BREVIX_FILENO fileno
#endif

namespace brevix::mp4 {
namespace {

class ConsoleProgress : public ProgressReporter {
public:
    ConsoleProgress() : terminal_(BREVIX_ISATTY(BREVIX_FILENO(stderr)) != 0) {}

    void begin(const std::string& input_name) override {
        name_ = input_name;
        update(0);
    }

    void update(int percent) override {
        if (terminal_) {
            write_console_text("\rEncoding " + name_ + ": " + std::to_string(percent) + "%");
            line_open_ = true;
        }
    }

    void warn(const std::string& message) override {
        end_line();
        write_console_text("mp4: warning: " + message + "; what is there was encoded\n");
    }

    void note(const std::string& message) override {
        end_line();
        write_console_text("mp4: warning: " + message + "\n");
    }

    void done() override { end_line(); }

    void fail(const std::string& message) override {
        end_line();
        write_console_text("mp4: error: " + message + "\n");
    }

private:
    void end_line() {
        if (line_open_) {
            write_console_text("\n");
            line_open_ = false;
        }
    }

    bool terminal_;
    bool line_open_ = false;
    std::string name_;
};

}  // namespace

std::unique_ptr<ProgressReporter> make_console_progress() {
    return std::make_unique<ConsoleProgress>();
}

}  // namespace brevix::mp4
