// Start-up benchmark: starts two programs in turn with CreateProcess and measures, for each
// run, the time from just before CreateProcess until a visible top-level window of the new
// process exists. The window is then sent WM_CLOSE and the process is waited for, so runs
// do not overlap. Prints the median, minimum and maximum per program, the ratio of the
// medians (first program over second) and the median of the ratios of the runs taken side by
// side, which a machine busy with other work disturbs least.
//
//   startup_bench [-n RUNS] FIRST SECOND
//
// Each program is started once untimed first (files cached, DLLs mapped); the timed runs
// then alternate between the two, so that a slow spell of the machine hits both alike.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr DWORD kWindowTimeoutMs = 30000;
constexpr DWORD kExitTimeoutMs = 10000;

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (h_ != nullptr) {
            CloseHandle(h_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

double now_ms() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency);
}

struct WindowSearch {
    DWORD process_id;
    HWND found;
};

BOOL CALLBACK find_visible_window(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD process_id = 0;
    GetWindowThreadProcessId(hwnd, &process_id);
    if (process_id == search->process_id && IsWindowVisible(hwnd)) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Starts the program and returns the milliseconds until its first visible top-level window;
// negative if it could not be started, ended without a window or showed none in time.
double time_to_window(const std::string& program) {
    std::vector<char> command_line(program.begin(), program.end());
    command_line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const double start = now_ms();
    if (!CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        std::fprintf(stderr, "cannot start %s (error %lu)\n", program.c_str(), GetLastError());
        return -1;
    }
    const Handle process(info.hProcess);
    const Handle thread(info.hThread);

    WindowSearch search{info.dwProcessId, nullptr};
    double elapsed = 0;
    for (;;) {
        EnumWindows(find_visible_window, reinterpret_cast<LPARAM>(&search));
        elapsed = now_ms() - start;
        if (search.found != nullptr) {
            break;
        }
        // Waiting on the process is the pause between looks (about a millisecond), and
        // notices a program that ends without showing a window.
        if (WaitForSingleObject(process.get(), 1) == WAIT_OBJECT_0) {
            std::fprintf(stderr, "%s ended without showing a window\n", program.c_str());
            return -1;
        }
        if (elapsed > kWindowTimeoutMs) {
            std::fprintf(stderr, "%s showed no window in time\n", program.c_str());
            TerminateProcess(process.get(), 1);
            WaitForSingleObject(process.get(), INFINITE);
            return -1;
        }
    }

    PostMessageA(search.found, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.get(), kExitTimeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), INFINITE);
    }
    return elapsed;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int usage() {
    std::fputs("usage: startup_bench [-n RUNS] FIRST SECOND\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 20;
    std::vector<std::string> programs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-n" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else {
            programs.push_back(arg);
        }
    }
    if (programs.size() != 2 || runs < 1) {
        return usage();
    }

    for (const std::string& program : programs) {
        if (time_to_window(program) < 0) {
            return 1;
        }
    }
    // Pairs of runs, the first program first in every other pair.
    std::vector<double> times[2];
    for (int run = 0; run < runs; ++run) {
        for (int k = 0; k < 2; ++k) {
            const int p = run % 2 == 0 ? k : 1 - k;
            const double ms = time_to_window(programs[p]);
            if (ms < 0) {
                return 1;
            }
            times[p].push_back(ms);
        }
    }
    std::vector<double> pair_ratios;
    for (int run = 0; run < runs; ++run) {
        pair_ratios.push_back(times[0][run] / times[1][run]);
    }

    std::printf("time from CreateProcess to a visible window, %d runs each, alternating (ms)\n",
                runs);
    std::printf("%-36s %9s %9s %9s\n", "program", "median", "min", "max");
    double medians[2];
    for (int p = 0; p < 2; ++p) {
        medians[p] = median(times[p]);
        std::printf("%-36s %9.1f %9.1f %9.1f\n", programs[p].c_str(), medians[p],
                    *std::min_element(times[p].begin(), times[p].end()),
                    *std::max_element(times[p].begin(), times[p].end()));
    }
    std::printf("ratio of medians (first / second): %.3f\n", medians[0] / medians[1]);
    std::printf("median ratio of side-by-side runs: %.3f\n", median(pair_ratios));
    return 0;
}
