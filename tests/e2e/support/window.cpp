#include "support/window.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <sstream>

namespace brevix::e2e {

namespace {

constexpr UINT kSendTimeoutMs = 5000;

struct EnumContext {
    DWORD process_id;
    std::vector<HWND>* windows;
};

BOOL CALLBACK collect_top_level(HWND hwnd, LPARAM lparam) {
    auto* context = reinterpret_cast<EnumContext*>(lparam);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner == context->process_id)
        context->windows->push_back(hwnd);
    return TRUE;
}

// Class names compare without regard to case, as the system compares them.
bool same_class(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

std::string hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", value);
    return text;
}

}  // namespace

std::string narrow(const std::wstring& wide) {
    if (wide.empty())
        return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return {};
    std::string text(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &text[0], n, nullptr,
                        nullptr);
    return text;
}

LRESULT send(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(hwnd, message, wparam, lparam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &result))
        return 0;
    return static_cast<LRESULT>(result);
}

bool answers(HWND hwnd, DWORD timeout_ms) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeout_ms, &result) != 0;
}

std::string class_name(HWND hwnd) {
    char name[256] = {};
    const int n = GetClassNameA(hwnd, name, sizeof name);
    return std::string(name, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::string window_text(HWND hwnd) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &length) ||
        length == 0 || length > 65536)
        return {};
    // Wide text, with room to spare (see combo_items).
    std::vector<wchar_t> text(2 * (length + 1) + 16, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied);
    text.back() = L'\0';
    return narrow(std::wstring(text.data(), std::min<std::size_t>(wcslen(text.data()), length)));
}

DWORD style(HWND hwnd) {
    return static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE));
}
DWORD ex_style(HWND hwnd) {
    return static_cast<DWORD>(GetWindowLongA(hwnd, GWL_EXSTYLE));
}

RECT window_rect(HWND hwnd) {
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    return rect;
}

RECT client_rect(HWND hwnd) {
    RECT rect{};
    GetClientRect(hwnd, &rect);
    return rect;
}

RECT rect_in_parent(HWND child) {
    RECT rect = window_rect(child);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

WindowFacts facts(HWND hwnd) {
    WindowFacts f;
    f.hwnd = hwnd;
    f.id = GetDlgCtrlID(hwnd);
    f.class_name = class_name(hwnd);
    f.text = window_text(hwnd);
    f.style = style(hwnd);
    f.ex_style = ex_style(hwnd);
    f.rect = (f.style & WS_CHILD) ? rect_in_parent(hwnd) : window_rect(hwnd);
    return f;
}

std::string describe(const RECT& rect) {
    std::ostringstream out;
    out << "(" << rect.left << ", " << rect.top << ", " << rect.right - rect.left << " x "
        << rect.bottom - rect.top << ")";
    return out.str();
}

std::string describe(const WindowFacts& f) {
    std::ostringstream out;
    out << "id " << f.id << " class \"" << f.class_name << "\" text \"" << f.text << "\" style "
        << hex(f.style) << " ex " << hex(f.ex_style) << " rect " << describe(f.rect);
    return out.str();
}

std::vector<HWND> children(HWND parent) {
    std::vector<HWND> result;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr && result.size() < 1000;
         child = GetWindow(child, GW_HWNDNEXT))
        result.push_back(child);
    return result;
}

HWND child_by_id(HWND parent, int id) {
    return GetDlgItem(parent, id);
}

HWND find_descendant(HWND parent, const std::string& wanted_class) {
    if (parent == nullptr)
        return nullptr;
    for (HWND child : children(parent)) {
        if (same_class(class_name(child), wanted_class))
            return child;
        if (HWND found = find_descendant(child, wanted_class))
            return found;
    }
    return nullptr;
}

std::vector<HWND> top_level_windows(DWORD process_id) {
    std::vector<HWND> windows;
    EnumContext context{process_id, &windows};
    EnumWindows(&collect_top_level, reinterpret_cast<LPARAM>(&context));
    return windows;
}

HWND find_window(DWORD process_id, const std::string& wanted_class, const std::string& caption) {
    for (HWND hwnd : top_level_windows(process_id)) {
        if (!IsWindowVisible(hwnd))
            continue;
        if (class_name(hwnd) != wanted_class)
            continue;
        if (window_text(hwnd) == caption)
            return hwnd;
    }
    return nullptr;
}

std::vector<HWND> owned_dialogs(DWORD process_id, HWND owner) {
    std::vector<HWND> result;
    for (HWND hwnd : top_level_windows(process_id)) {
        if (IsWindowVisible(hwnd) && class_name(hwnd) == "#32770" &&
            GetWindow(hwnd, GW_OWNER) == owner)
            result.push_back(hwnd);
    }
    return result;
}

std::string describe_windows(DWORD process_id) {
    std::ostringstream out;
    for (HWND hwnd : top_level_windows(process_id)) {
        if (!IsWindowVisible(hwnd))
            continue;
        out << "  window " << describe(facts(hwnd)) << "\n";
    }
    const std::string text = out.str();
    return text.empty() ? "  (no visible windows)\n" : text;
}

std::vector<std::string> combo_items(HWND combo) {
    // The entries are read with the wide messages: Wine's ANSI CB_GETLBTEXT across
    // processes writes wide characters into the caller's buffer, past its end.
    std::vector<std::string> items;
    const auto count = send(combo, CB_GETCOUNT);
    for (LRESULT i = 0; i < count && i < 1000; ++i) {
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0,
                                 SMTO_ABORTIFHUNG, kSendTimeoutMs, &length) ||
            static_cast<LRESULT>(length) < 0 || length > 4096) {
            items.push_back("<error>");
            continue;
        }
        // Room to spare in case a system copies more than it announced.
        std::vector<wchar_t> text(2 * (length + 1) + 16, L'\0');
        DWORD_PTR copied = 0;
        SendMessageTimeoutW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                            reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, kSendTimeoutMs,
                            &copied);
        text.back() = L'\0';
        const std::wstring wide(text.data(), std::min<std::size_t>(wcslen(text.data()), length));
        items.push_back(narrow(wide));
    }
    return items;
}

int combo_selection(HWND combo) {
    return static_cast<int>(send(combo, CB_GETCURSEL));
}

bool is_checked(HWND button) {
    return send(button, BM_GETCHECK) == BST_CHECKED;
}

void post_command(HWND dialog, int id, int code) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, code),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void post_menu_command(HWND window, int id) {
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void post_sys_command(HWND window, WPARAM command) {
    PostMessageA(window, WM_SYSCOMMAND, command, 0);
}

void click(HWND button) {
    PostMessageA(button, BM_CLICK, 0, 0);
}

void post_key(HWND target, UINT virtual_key) {
    const UINT scan = MapVirtualKeyA(virtual_key, MAPVK_VK_TO_VSC);
    const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
    const LPARAM up = down | (1L << 30) | (1L << 31);
    PostMessageA(target, WM_KEYDOWN, virtual_key, down);
    PostMessageA(target, WM_KEYUP, virtual_key, up);
}

void post_alt_key(HWND target, UINT virtual_key) {
    const UINT scan = MapVirtualKeyA(virtual_key, MAPVK_VK_TO_VSC);
    const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16) | (1L << 29);  // context: Alt
    const LPARAM up = down | (1L << 30) | (1L << 31);
    PostMessageA(target, WM_SYSKEYDOWN, virtual_key, down);
    PostMessageA(target, WM_SYSKEYUP, virtual_key, up);
}

void focus_control(HWND dialog, HWND control) {
    send(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

HWND focused_window(DWORD thread_id) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(thread_id, &info))
        return nullptr;
    return info.hwndFocus;
}

void choose_combo_entry(HWND dialog, HWND combo, int index) {
    send(combo, CB_SETCURSEL, static_cast<WPARAM>(index));
    post_command(dialog, GetDlgCtrlID(combo), CBN_SELCHANGE);
}

void set_text(HWND hwnd, const std::string& text) {
    send(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

MessageBoxFacts read_message_box(HWND box) {
    MessageBoxFacts result;
    result.hwnd = box;
    result.caption = window_text(box);
    for (HWND child : children(box)) {
        const std::string kind = class_name(child);
        const DWORD child_style = style(child);
        if (same_class(kind, "Button")) {
            result.buttons.push_back(window_text(child));
        } else if (same_class(kind, "Static")) {
            if ((child_style & SS_TYPEMASK) == SS_ICON) {
                if (IsWindowVisible(child) && send(child, STM_GETICON) != 0)
                    result.has_icon = true;
            } else {
                // The message is the static with the longest text.
                std::string text = window_text(child);
                if (text.size() > result.text.size())
                    result.text = text;
            }
        }
    }
    return result;
}

}  // namespace brevix::e2e
