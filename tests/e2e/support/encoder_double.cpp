#include "support/encoder_double.h"

#include <cstdlib>
#include <sstream>

namespace brevix::e2e {

namespace {

constexpr char kLog[] = "mp4_runs.log";
constexpr char kMode[] = "mp4_mode.txt";
constexpr char kRelease[] = "mp4_release";

std::string read_file(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(file);
    return text;
}

bool write_whole_file(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    CloseHandle(file);
    return ok;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

std::map<std::string, std::string> key_values(const std::vector<std::string>& fields) {
    std::map<std::string, std::string> result;
    for (std::size_t i = 1; i < fields.size(); ++i) {
        const auto equals = fields[i].find('=');
        if (equals != std::string::npos)
            result[fields[i].substr(0, equals)] = fields[i].substr(equals + 1);
    }
    return result;
}

}  // namespace

std::string EncoderRun::get(const std::string& key) const {
    const auto found = fields.find(key);
    return found == fields.end() ? std::string() : found->second;
}

DWORD EncoderRun::pid() const {
    return static_cast<DWORD>(std::strtoul(get("pid").c_str(), nullptr, 10));
}

std::vector<std::string> EncoderRun::arguments() const {
    std::vector<std::string> args;
    const int count = std::atoi(get("argc").c_str());
    for (int i = 0; i < count && i < 100; ++i)
        args.push_back(get("arg" + std::to_string(i)));
    return args;
}

std::string EncoderRun::window_number() const {
    const std::string command = this->command();
    const auto at = command.find(" -wn ");
    if (at == std::string::npos)
        return {};
    const auto end = command.find(' ', at + 5);
    return command.substr(at + 5, end == std::string::npos ? end : end - at - 5);
}

std::string describe(const std::vector<EncoderRun>& runs) {
    std::ostringstream out;
    out << runs.size() << " encoder run(s)\n";
    for (const EncoderRun& run : runs) {
        out << "  run";
        for (const auto& [key, value] : run.fields) {
            if (key.rfind("arg", 0) != 0 || key == "argc")
                out << " " << key << "=[" << value << "]";
        }
        out << (run.done ? " (done)" : " (running)") << "\n";
    }
    return out.str();
}

std::vector<EncoderRun> read_encoder_log(const std::string& path) {
    std::vector<EncoderRun> runs;
    for (std::string line : split(read_file(path), '\n')) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto fields = split(line, '\t');
        if (fields[0] == "run") {
            EncoderRun run;
            run.fields = key_values(fields);
            runs.push_back(run);
        } else if (fields[0] == "done") {
            auto values = key_values(fields);
            for (EncoderRun& run : runs) {
                if (!values["pid"].empty() && run.get("pid") == values["pid"]) {
                    run.done = true;
                    run.window_alive_at_end = values["window_alive"] == "1";
                }
            }
        }
    }
    return runs;
}

bool process_alive(DWORD pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == nullptr)
        return false;
    const bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return alive;
}

EncoderDouble::EncoderDouble(const std::string& folder) : folder_(folder) {
    installed_ = CopyFileA(test_encoder_program().c_str(), file("mp4.exe").c_str(), FALSE) != FALSE;
}

EncoderDouble::~EncoderDouble() {
    release();
    for (const EncoderRun& run : runs()) {
        const DWORD pid = run.pid();
        wait_until([&] { return !process_alive(pid); });
    }
}

bool EncoderDouble::set_mode(EncoderMode mode) {
    DeleteFileA(file(kRelease).c_str());
    const char* text = mode == EncoderMode::kHold   ? "hold"
                       : mode == EncoderMode::kWait ? "wait"
                                                    : "close";
    return write_whole_file(file(kMode), text);
}

bool EncoderDouble::release() {
    return write_whole_file(file(kRelease), "");
}

std::vector<EncoderRun> EncoderDouble::runs() const {
    return read_encoder_log(file(kLog));
}

bool EncoderDouble::wait_for_runs(std::size_t count, bool done, DWORD timeout_ms) {
    return wait_until(
        [&] {
            const auto recorded = runs();
            if (recorded.size() < count)
                return false;
            if (!done)
                return true;
            for (const EncoderRun& run : recorded) {
                if (!run.done)
                    return false;
            }
            return true;
        },
        timeout_ms);
}

}  // namespace brevix::e2e
