#include "support.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace brevix::e2e {
namespace {

// Runs its release step when the scope ends, on every path.
template <class F>
struct Finally {
    F release;
    ~Finally() { release(); }
};
template <class F>
Finally(F) -> Finally<F>;

// A text read with a pair of wide messages (its length, then the text), with room to spare.
std::string wide_text(HWND window, UINT length_message, UINT text_message, WPARAM index) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, length_message, index, 0, SMTO_ABORTIFHUNG, kTimeoutMs,
                             &length) ||
        length > 65536)
        return "<unreadable>";
    std::vector<wchar_t> wide(2 * length + 16, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, text_message, text_message == WM_GETTEXT ? length + 1 : index,
                        reinterpret_cast<LPARAM>(wide.data()), SMTO_ABORTIFHUNG, kTimeoutMs,
                        &copied);
    wide.back() = L'\0';
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(std::max(n, 1)), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, &narrow[0], n, nullptr, nullptr);
    narrow.pop_back();  // the terminator
    return narrow;
}

std::string class_of(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

struct Search {
    DWORD process_id;
    std::vector<HWND> found;
};

BOOL CALLBACK collect(HWND window, LPARAM search) {
    auto& s = *reinterpret_cast<Search*>(search);
    DWORD process_id = 0;
    DWORD owner_process_id = 0;  // the encoder's message boxes belong to the program's windows
    GetWindowThreadProcessId(window, &process_id);
    GetWindowThreadProcessId(GetWindow(window, GW_OWNER), &owner_process_id);
    if ((process_id == s.process_id || owner_process_id == s.process_id) &&
        IsWindowVisible(window) && class_of(window) == "#32770")
        s.found.push_back(window);
    return TRUE;
}

BOOL CALLBACK find_edit(HWND window, LPARAM found) {
    if (lstrcmpiA(class_of(window).c_str(), "Edit") != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// The process's visible top-level dialogs (every window the program opens is one), and
// those of other processes that its windows own.
std::vector<HWND> dialogs_of(DWORD process_id) {
    Search search{process_id, {}};
    EnumWindows(&collect, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The screen's pixels inside `r` as a bottom-up 24-bit DIB (empty on failure).
std::vector<char> capture(const RECT& r, BITMAPINFOHEADER& header) {
    header = {sizeof header, r.right - r.left, r.bottom - r.top, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    if (header.biWidth <= 0 || header.biHeight <= 0)
        return {};
    std::vector<char> bits(static_cast<std::size_t>((header.biWidth * 3 + 3) & ~3) *
                           static_cast<std::size_t>(header.biHeight));
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, header.biWidth, header.biHeight);
    Finally release{[&] {
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
    }};
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, header.biWidth, header.biHeight, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    if (!GetDIBits(memory, bitmap, 0, static_cast<UINT>(header.biHeight), bits.data(),
                   reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS))
        bits.clear();
    return bits;
}

}  // namespace

bool wait_until(const std::function<bool()>& condition, DWORD timeout_ms) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (DWORD pause = 1;; pause = std::min<DWORD>(pause * 2, 20)) {
        if (condition())
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(pause);  // the polling interval
    }
}

std::string text(HWND window) {
    return wide_text(window, WM_GETTEXTLENGTH, WM_GETTEXT, 0);
}

std::vector<std::string> combo_items(HWND combo) {
    std::vector<std::string> items;
    const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i)
        items.push_back(wide_text(combo, CB_GETLBTEXTLEN, CB_GETLBTEXT, static_cast<WPARAM>(i)));
    return items;
}

void click(HWND button) {
    PostMessageA(button, BM_CLICK, 0, 0);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string driver_folder() {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string file(path, n < MAX_PATH ? n : 0);
    return file.substr(0, file.find_last_of('\\'));
}

std::string build_folder() {
    return driver_folder() + "\\" BREVIX_E2E_BUILD;
}

bool screenshot(HWND window, const std::string& name, HWND moving) {
    RECT frame{};
    GetWindowRect(window, &frame);
    // The part that has to settle: all of the window, or what lies right of a moving child.
    RECT still = frame;
    RECT skip{};
    if (moving != nullptr && GetWindowRect(moving, &skip))
        still.left = skip.right;
    BITMAPINFOHEADER header{};
    std::vector<char> last;
    if (!wait_until([&] {
            std::vector<char> now = capture(still, header);
            const bool same = !now.empty() && now == last;
            last = std::move(now);
            return same;
        }))
        return false;
    const std::vector<char> bits = capture(frame, header);
    const std::string folder = build_folder() + "\\screenshots";
    CreateDirectoryA(folder.c_str(), nullptr);
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof header;
    const BITMAPFILEHEADER head{0x4D42, static_cast<DWORD>(offset + bits.size()), 0, 0, offset};
    std::ofstream out(folder + "\\" + name + ".bmp", std::ios::binary);
    out.write(reinterpret_cast<const char*>(&head), sizeof head);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(bits.data(), static_cast<std::streamsize>(bits.size()));
    return !bits.empty() && out.good();
}

bool moves(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    BITMAPINFOHEADER header{};
    const std::vector<char> first = capture(r, header);
    return wait_until([&] { return capture(r, header) != first; }, 3000);
}

App::App(Encoder encoder, const std::string& arguments) {
    const std::string program = folder.file("brevix.exe");
    const std::string mp4 = encoder == Encoder::kReal ? build_folder() + "\\mp4.exe"
                                                      : driver_folder() + "\\fake_mp4.exe";
    if (!CopyFileA((build_folder() + "\\brevix.exe").c_str(), program.c_str(), FALSE) ||
        (encoder != Encoder::kNone &&
         !CopyFileA(mp4.c_str(), folder.file("mp4.exe").c_str(), FALSE)))
        throw std::runtime_error("cannot copy the program into " + folder.path());
    std::string command = "\"" + program + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.path().c_str(), &startup, &process))
        throw std::runtime_error("cannot start " + program);
    main = wait_dialog([](HWND window) { return GetWindow(window, GW_OWNER) == nullptr; });
    if (main == nullptr)
        throw std::runtime_error("the main window did not appear; " + seen());
}

App::~App() {
    DeleteFileA(folder.file("mp4_hold").c_str());  // a held test encoder ends
    // An encoder that still runs keeps its file, and so the folder, until it ends.
    const std::string mp4 = folder.file("mp4.exe");
    wait_until([&] { return DeleteFileA(mp4.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND; });
}

App::Process::~Process() {
    if (hProcess == nullptr)
        return;
    TerminateProcess(hProcess, 1);
    WaitForSingleObject(hProcess, kTimeoutMs);
    CloseHandle(hThread);
    CloseHandle(hProcess);
}

bool App::ended(DWORD timeout_ms) const {
    return WaitForSingleObject(process.hProcess, timeout_ms) == WAIT_OBJECT_0;
}

void App::keys(HWND window, std::initializer_list<WORD> chord) const {
    SetForegroundWindow(window);
    wait_until([&] { return GetForegroundWindow() == window; });
    std::vector<INPUT> inputs;
    const auto add = [&](WORD key, DWORD flags) {
        inputs.push_back({});
        inputs.back().type = INPUT_KEYBOARD;
        inputs.back().ki.wVk = key;
        inputs.back().ki.dwFlags = flags;
    };
    for (WORD key : chord)
        add(key, 0);
    for (auto key = std::rbegin(chord); key != std::rend(chord); ++key)
        add(*key, KEYEVENTF_KEYUP);
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

bool App::settle() const {
    // A check box the program never reads: its check moves once every earlier posted
    // message has been handled.
    HWND box = item(IDC_EXTENSIONS);
    PostMessageA(box, BM_SETCHECK, BST_CHECKED, 0);
    const bool taken =
        wait_until([&] { return SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED; });
    SendMessageA(box, BM_SETCHECK, BST_UNCHECKED, 0);
    return taken;
}

std::vector<HWND> App::owned(HWND owner) const {
    std::vector<HWND> found;
    for (HWND window : dialogs_of(process.dwProcessId)) {
        if (GetWindow(window, GW_OWNER) == owner)
            found.push_back(window);
    }
    return found;
}

HWND App::wait_dialog(const std::function<bool(HWND)>& wanted) const {
    HWND found = nullptr;
    wait_until([&] {
        for (HWND window : dialogs_of(process.dwProcessId))
            found = wanted(window) ? window : found;
        return found != nullptr || ended(0);
    });
    return found;
}

bool App::choose_file(const std::function<void()>& action, const std::string& path) const {
    action();
    // The system's file dialog: its name field is the Edit somewhere inside control 1148.
    HWND dialog = wait_owned(main, 1148);
    if (dialog == nullptr)
        return false;
    if (path.empty()) {
        click(GetDlgItem(dialog, IDCANCEL));
    } else {
        HWND name = nullptr;
        EnumChildWindows(GetDlgItem(dialog, 1148), &find_edit, reinterpret_cast<LPARAM>(&name));
        SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        click(GetDlgItem(dialog, IDOK));
    }
    return wait_until([&] { return !IsWindowVisible(dialog); }) && settle();
}

std::string App::write_wav(const std::string& name, const wav::Format& format) const {
    const std::string path = folder.file(name);
    wav::write_file(path, wav::file(format, wav::Bytes(64)));
    return path;
}

bool App::back_to_main() const {
    return wait_until([&] { return owned(main).empty() && IsWindowEnabled(main); });
}

Box App::message_box(const char* screenshot_name) const {
    HWND box = wait_dialog([](HWND w) {
        return GetWindow(w, GW_OWNER) != nullptr && GetDlgItem(w, IDOK) != nullptr &&
               GetDlgItem(w, 1148) == nullptr;  // not a file dialog
    });
    Box seen;
    if (box == nullptr)
        return seen;
    if (screenshot_name != nullptr)
        screenshot(box, screenshot_name);
    seen.owner = GetWindow(box, GW_OWNER);
    seen.over_progress_window = GetDlgItem(seen.owner, IDC_PROGRESS_BAR) != nullptr;
    seen.caption = text(box);
    for (HWND c = GetWindow(box, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        if (lstrcmpiA(class_of(c).c_str(), "Static") != 0 || !IsWindowVisible(c))
            continue;
        if ((GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            seen.icon = seen.icon || SendMessageA(c, STM_GETICON, 0, 0) != 0;
        else if (text(c).size() > seen.text.size())
            seen.text = text(c);
    }
    click(GetDlgItem(box, IDOK));
    wait_until([&] { return !IsWindowVisible(box); });
    return seen;
}

std::vector<std::string> App::encoder_runs(std::size_t count) const {
    std::vector<std::string> lines;
    wait_until([&] {
        lines.clear();
        std::istringstream in(read_file(folder.file("mp4_runs.log")));
        for (std::string line; std::getline(in, line) && !in.eof();)
            lines.push_back(line);
        return lines.size() >= count;
    });
    return lines;
}

std::string App::seen() const {
    std::string out = ended(0) ? "the program has ended; windows:\n" : "windows:\n";
    for (HWND w : dialogs_of(process.dwProcessId)) {
        out += "  \"" + text(w) + "\"" + (GetWindow(w, GW_OWNER) ? " owned" : "") +
               (IsWindowEnabled(w) ? "" : " disabled") + ":";
        for (HWND c = GetWindow(w, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT))
            out += text(c).empty() ? "" : " [" + text(c) + "]";
        out += "\n";
    }
    return out;
}

}  // namespace brevix::e2e
