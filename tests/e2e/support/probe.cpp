#include "support/probe.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "support/paths.h"
#include "support/wait.h"

namespace brevix::e2e {

namespace {

std::vector<std::string> split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::string field;
    for (char c : line) {
        if (c == separator) {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    fields.push_back(field);
    return fields;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result = split(text, '\n');
    if (!result.empty() && result.back().empty())
        result.pop_back();
    return result;
}

std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

unsigned long number(const std::string& text) {
    return std::strtoul(text.c_str(), nullptr, 0);
}

}  // namespace

RECT BaseUnits::to_pixels(int left, int top, int width, int height) const {
    RECT rect{to_x(left), to_y(top), 0, 0};
    rect.right = rect.left + to_x(width);
    rect.bottom = rect.top + to_y(height);
    return rect;
}

std::string describe(const std::vector<MenuItem>& menu, int depth) {
    std::ostringstream out;
    for (const MenuItem& item : menu) {
        char flags[64];
        std::snprintf(flags, sizeof flags, "type 0x%x state 0x%x id %u", item.type, item.state,
                      item.id);
        out << std::string(static_cast<std::size_t>(depth) * 2 + 2, ' ') << "\"" << item.text
            << "\" " << flags << "\n";
        out << describe(item.items, depth + 1);
    }
    return out.str();
}

Probe::Probe(DWORD process_id, DWORD thread_id) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%lu", probe::kMappingPrefix, process_id);
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                  sizeof(probe::Block), name);
    if (mapping_ == nullptr)
        throw std::runtime_error("cannot create the probe's shared block");
    block_ = static_cast<probe::Block*>(
        MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(probe::Block)));
    if (block_ == nullptr) {
        CloseHandle(mapping_);
        throw std::runtime_error("cannot map the probe's shared block");
    }
    message_ = RegisterWindowMessageA(probe::kRequestMessage);

    const std::string dll_path = probe_dll();
    dll_ = LoadLibraryA(dll_path.c_str());
    const auto proc = dll_ != nullptr ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(
                                            GetProcAddress(dll_, probe::kHookProcName)))
                                      : nullptr;
    if (proc != nullptr)
        hook_ = SetWindowsHookExA(WH_GETMESSAGE, proc, dll_, thread_id);
    if (hook_ == nullptr) {
        const std::string what = "cannot install the probe hook from " + dll_path;
        if (dll_ != nullptr)
            FreeLibrary(dll_);
        UnmapViewOfFile(block_);
        CloseHandle(mapping_);
        throw std::runtime_error(what);
    }
}

Probe::~Probe() {
    UnhookWindowsHookEx(hook_);
    FreeLibrary(dll_);
    UnmapViewOfFile(block_);
    CloseHandle(mapping_);
}

std::string Probe::request(HWND target, probe::Request request, DWORD timeout_ms) {
    const std::int32_t sequence = ++sequence_;
    block_->request = static_cast<std::int32_t>(request);
    block_->request_sequence = sequence;
    MemoryBarrier();
    if (!PostMessageA(target, message_, static_cast<WPARAM>(sequence), 0)) {
        last_error_ = "cannot post the probe request (window gone?)";
        return {};
    }
    const bool answered = wait_until(
        [&] {
            MemoryBarrier();
            return block_->answer_sequence == sequence;
        },
        timeout_ms);
    if (!answered) {
        last_error_ = "the program did not answer the probe request";
        return {};
    }
    last_error_.clear();
    const std::uint32_t length = block_->answer_length < probe::kAnswerCapacity
                                     ? block_->answer_length
                                     : probe::kAnswerCapacity - 1;
    std::string answer(block_->answer, length);
    if (block_->truncated)
        last_error_ = "the probe's answer was cut";
    return answer;
}

bool Probe::ping(HWND target) {
    return request(target, probe::Request::kPing, kTimeoutMs) == "pong\n";
}

std::vector<MenuItem> Probe::parse_menu(const std::string& answer) {
    // Items arrive depth-first; a stack of open submenus rebuilds the tree.
    std::vector<MenuItem> root;
    std::vector<std::vector<MenuItem>*> open{&root};
    for (const std::string& line : lines(answer)) {
        const auto fields = split(line, '\t');
        if (fields.size() != 7 || fields[0] != "item")
            continue;
        const std::size_t depth = number(fields[1]);
        if (depth + 1 > open.size())
            continue;  // cannot happen with a well-formed answer
        open.resize(depth + 1);
        MenuItem item;
        item.type = static_cast<UINT>(number(fields[2]));
        item.state = static_cast<UINT>(number(fields[3]));
        item.id = static_cast<UINT>(number(fields[4]));
        item.has_submenu = fields[5] == "1";
        item.text = unescape(fields[6]);
        open.back()->push_back(item);
        if (item.has_submenu)
            open.push_back(&open.back()->back().items);
    }
    return root;
}

std::vector<MenuItem> Probe::menu(HWND window) {
    return parse_menu(request(window, probe::Request::kMenu, kTimeoutMs));
}

std::vector<MenuItem> Probe::system_menu(HWND window) {
    return parse_menu(request(window, probe::Request::kSystemMenu, kTimeoutMs));
}

BaseUnits Probe::base_units(HWND dialog) {
    BaseUnits units;
    const auto fields = split(request(dialog, probe::Request::kBaseUnits, kTimeoutMs), '\t');
    if (fields.size() == 3 && fields[0] == "base") {
        units.x = static_cast<int>(number(fields[1]));
        units.y = static_cast<int>(number(fields[2]));
    }
    return units;
}

WindowIcons Probe::icons(HWND window) {
    WindowIcons icons;
    for (const std::string& line : lines(request(window, probe::Request::kIcons, kTimeoutMs))) {
        const auto fields = split(line, '\t');
        if (fields.size() != 4)
            continue;
        IconFacts facts{fields[1] == "1", std::atoi(fields[2].c_str()),
                        std::atoi(fields[3].c_str())};
        if (fields[0] == "big")
            icons.big_icon = facts;
        if (fields[0] == "small")
            icons.small_icon = facts;
        if (fields[0] == "drag")
            icons.drag_icon = facts;
    }
    return icons;
}

HWND Probe::focus(HWND any_window_of_the_thread) {
    const auto fields =
        split(request(any_window_of_the_thread, probe::Request::kFocus, kTimeoutMs), '\t');
    if (fields.size() != 3 || fields[0] != "focus")
        return nullptr;
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(number(fields[1])));
}

bool Probe::redraw(HWND window) {
    return request(window, probe::Request::kRedraw, kTimeoutMs) == "redrawn\n";
}

std::vector<TextRoom> Probe::text_room(HWND window) {
    std::vector<TextRoom> result;
    for (const std::string& line : lines(request(window, probe::Request::kTextRoom, kTimeoutMs))) {
        const auto f = split(line, '\t');
        if (f.size() != 9 || f[0] != "room")
            continue;
        TextRoom room;
        room.index = std::atoi(f[1].c_str());
        room.id = std::atoi(f[2].c_str());
        room.kind = f[3];
        room.need = {std::atoi(f[4].c_str()), std::atoi(f[5].c_str())};
        room.have = {std::atoi(f[6].c_str()), std::atoi(f[7].c_str())};
        room.text = unescape(f[8]);
        result.push_back(room);
    }
    return result;
}

std::string Probe::shown_icon(HWND window) {
    const auto fields = split(request(window, probe::Request::kShownIcon, kTimeoutMs), '\t');
    if (fields.size() != 2 || fields[0] != "icon")
        return {};
    std::string name = fields[1];
    if (!name.empty() && name.back() == '\n')
        name.pop_back();
    return name;
}

}  // namespace brevix::e2e
