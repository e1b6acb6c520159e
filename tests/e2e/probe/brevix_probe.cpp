// The probe: a message hook that the test driver installs on the program's UI thread. It
// answers questions that only the program's own process can answer under every Windows
// implementation (menus, dialog base units, window icons, the focus) and writes the
// answers into the shared block of probe_protocol.h. It keeps no state between calls, so
// it does not matter whether the system keeps the DLL loaded between hook calls.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#undef UNICODE
#undef _UNICODE
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "probe_protocol.h"

namespace {

using brevix::probe::Block;
using brevix::probe::Request;

// Appends text to the answer, never past its end; remembers when something was cut.
class Answer {
public:
    explicit Answer(Block& block) : block_(block) {
        block_.answer_length = 0;
        block_.truncated = 0;
        block_.answer[0] = '\0';
    }

    void printf(const char* format, ...) {
        const std::uint32_t room = brevix::probe::kAnswerCapacity - block_.answer_length;
        va_list args;
        va_start(args, format);
        const int n = std::vsnprintf(block_.answer + block_.answer_length, room, format, args);
        va_end(args);
        if (n < 0 || static_cast<std::uint32_t>(n) >= room) {
            block_.truncated = 1;
            block_.answer_length = brevix::probe::kAnswerCapacity - 1;
            block_.answer[block_.answer_length] = '\0';
            return;
        }
        block_.answer_length += static_cast<std::uint32_t>(n);
    }

    // Text as one field: tab, newline and backslash are escaped.
    void field(const char* text) {
        char escaped[2 * 512 + 1];
        std::size_t out = 0;
        for (std::size_t i = 0; text[i] != '\0' && out + 2 < sizeof escaped; ++i) {
            const char c = text[i];
            if (c == '\t' || c == '\n' || c == '\r' || c == '\\') {
                escaped[out++] = '\\';
                escaped[out++] = c == '\t' ? 't' : c == '\n' ? 'n' : c == '\r' ? 'r' : '\\';
            } else {
                escaped[out++] = c;
            }
        }
        escaped[out] = '\0';
        printf("%s", escaped);
    }

private:
    Block& block_;
};

// One line per item: depth, type, state, id, has-submenu, text. Submenus follow their item.
void describe_menu(Answer& answer, HMENU menu, int depth) {
    if (depth > 8)
        return;  // menus are trees; this only guards against a corrupt one
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[512] = {};
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text - 1;
        if (!GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info)) {
            answer.printf("error\t%d\t%lu\n", i, GetLastError());
            continue;
        }
        text[sizeof text - 1] = '\0';
        if (info.fType & MFT_SEPARATOR)
            text[0] = '\0';
        answer.printf("item\t%d\t0x%lx\t0x%lx\t%u\t%d\t", depth, info.fType, info.fState, info.wID,
                      info.hSubMenu != nullptr ? 1 : 0);
        answer.field(text);
        answer.printf("\n");
        if (info.hSubMenu != nullptr)
            describe_menu(answer, info.hSubMenu, depth + 1);
    }
}

void describe_icon(Answer& answer, const char* name, HICON icon) {
    if (icon == nullptr) {
        answer.printf("%s\t0\t0\t0\n", name);
        return;
    }
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) {
        answer.printf("%s\t1\t-1\t-1\n", name);
        return;
    }
    BITMAP bitmap{};
    int width = -1;
    int height = -1;
    if (info.hbmColor != nullptr && GetObjectA(info.hbmColor, sizeof bitmap, &bitmap)) {
        width = bitmap.bmWidth;
        height = bitmap.bmHeight;
    } else if (info.hbmMask != nullptr && GetObjectA(info.hbmMask, sizeof bitmap, &bitmap)) {
        width = bitmap.bmWidth;
        height = bitmap.bmHeight / 2;  // monochrome icon: AND mask above XOR mask
    }
    if (info.hbmColor != nullptr)
        DeleteObject(info.hbmColor);
    if (info.hbmMask != nullptr)
        DeleteObject(info.hbmMask);
    answer.printf("%s\t1\t%d\t%d\n", name, width, height);
}

// The room a control's text needs when drawn in the control's font the way the control
// draws it (statics wrap at word breaks, buttons keep one line), next to the room the
// control has: one line per static or button child, in Z order.
void describe_text_room(Answer& answer, HWND parent) {
    int index = 0;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr && index < 256;
         child = GetWindow(child, GW_HWNDNEXT), ++index) {
        char class_name[64] = {};
        GetClassNameA(child, class_name, sizeof class_name);
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        UINT format = DT_CALCRECT;
        const char* kind = "static";
        if (lstrcmpiA(class_name, "Static") == 0) {
            const LONG type = style & SS_TYPEMASK;
            if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT)
                continue;
            format |= DT_WORDBREAK | DT_EXPANDTABS;
            if (style & SS_NOPREFIX)
                format |= DT_NOPREFIX;
        } else if (lstrcmpiA(class_name, "Button") == 0) {
            const LONG type = style & BS_TYPEMASK;
            if (type == BS_GROUPBOX || type == BS_OWNERDRAW)
                continue;
            kind = type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON ? "push" : "box";
            format |= (style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE;
        } else {
            continue;
        }
        char text[1024] = {};
        GetWindowTextA(child, text, sizeof text);
        RECT client{};
        GetClientRect(child, &client);
        RECT need{0, 0, client.right, 0};
        HDC dc = GetDC(child);
        if (dc == nullptr)
            continue;
        HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(child, WM_GETFONT, 0, 0));
        HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
        if (text[0] != '\0')
            DrawTextA(dc, text, -1, &need, format);
        if (old != nullptr)
            SelectObject(dc, old);
        ReleaseDC(child, dc);
        answer.printf("room\t%d\t%d\t%s\t%ld\t%ld\t%ld\t%ld\t", index, GetDlgCtrlID(child), kind,
                      need.right - need.left, need.bottom - need.top, client.right, client.bottom);
        answer.field(text);
        answer.printf("\n");
    }
}

// The system icon shown by the first visible icon static among the window's children
// (a message box's icon): "none", "exclamation", "hand", "question", "asterisk" or
// "other". System icons are shared, so a message box's icon is the very handle that
// LoadIcon gives in the same process.
const char* shown_icon(HWND parent) {
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        char class_name[64] = {};
        GetClassNameA(child, class_name, sizeof class_name);
        if (lstrcmpiA(class_name, "Static") != 0 || !IsWindowVisible(child) ||
            (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
            continue;
        const auto icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        if (icon == nullptr)
            continue;
        const struct {
            LPCSTR id;
            const char* name;
        } known[] = {{IDI_EXCLAMATION, "exclamation"},
                     {IDI_HAND, "hand"},
                     {IDI_QUESTION, "question"},
                     {IDI_ASTERISK, "asterisk"}};
        for (const auto& k : known) {
            if (LoadIconA(nullptr, k.id) == icon)
                return k.name;
        }
        return "other";
    }
    return "none";
}

void answer_request(Block& block, HWND hwnd) {
    Answer answer(block);
    switch (static_cast<Request>(block.request)) {
        case Request::kPing:
            answer.printf("pong\n");
            break;
        case Request::kMenu: {
            HMENU menu = GetMenu(hwnd);
            if (menu == nullptr) {
                answer.printf("none\n");
                break;
            }
            describe_menu(answer, menu, 0);
            break;
        }
        case Request::kSystemMenu: {
            HMENU menu = GetSystemMenu(hwnd, FALSE);
            if (menu == nullptr) {
                answer.printf("none\n");
                break;
            }
            describe_menu(answer, menu, 0);
            break;
        }
        case Request::kBaseUnits: {
            RECT rect{0, 0, 4, 8};
            if (!MapDialogRect(hwnd, &rect)) {
                answer.printf("error\t%lu\n", GetLastError());
                break;
            }
            answer.printf("base\t%ld\t%ld\n", rect.right, rect.bottom);
            break;
        }
        case Request::kIcons:
            describe_icon(answer, "big",
                          reinterpret_cast<HICON>(SendMessageA(hwnd, WM_GETICON, ICON_BIG, 0)));
            describe_icon(answer, "small",
                          reinterpret_cast<HICON>(SendMessageA(hwnd, WM_GETICON, ICON_SMALL, 0)));
            describe_icon(answer, "drag",
                          reinterpret_cast<HICON>(SendMessageA(hwnd, WM_QUERYDRAGICON, 0, 0)));
            break;
        case Request::kFocus: {
            HWND focus = GetFocus();
            answer.printf("focus\t%lu\t%d\n",
                          static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(focus)),
                          focus != nullptr ? GetDlgCtrlID(focus) : 0);
            break;
        }
        case Request::kRedraw:
            RedrawWindow(hwnd, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
            GdiFlush();
            answer.printf("redrawn\n");
            break;
        case Request::kTextRoom:
            describe_text_room(answer, hwnd);
            break;
        case Request::kShownIcon:
            answer.printf("icon\t%s\n", shown_icon(hwnd));
            break;
        default:
            answer.printf("error\tunknown request %ld\n", static_cast<long>(block.request));
            break;
    }
}

// Opens this process's block, answers the request and publishes the answer.
void serve(HWND hwnd, std::int32_t sequence) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%lu", brevix::probe::kMappingPrefix, GetCurrentProcessId());
    HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
    if (mapping == nullptr)
        return;
    void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Block));
    if (view != nullptr) {
        auto& block = *static_cast<Block*>(view);
        if (block.request_sequence == sequence) {
            answer_request(block, hwnd);
            MemoryBarrier();
            InterlockedExchange(reinterpret_cast<volatile LONG*>(&block.answer_sequence), sequence);
        }
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
}

}  // namespace

// WH_GETMESSAGE hook: sees each message as the UI thread takes it from its queue (whatever
// modal loop is running), answers probe requests and turns them into WM_NULL.
extern "C" __declspec(dllexport) LRESULT CALLBACK
    brevix_probe_hook(int code, WPARAM wparam, LPARAM lparam) {
    static const UINT request_message = RegisterWindowMessageA(brevix::probe::kRequestMessage);
    if (code == HC_ACTION && wparam == PM_REMOVE && lparam != 0) {
        auto* msg = reinterpret_cast<MSG*>(lparam);
        if (request_message != 0 && msg->message == request_message) {
            serve(msg->hwnd, static_cast<std::int32_t>(msg->wParam));
            msg->message = WM_NULL;
        }
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}
