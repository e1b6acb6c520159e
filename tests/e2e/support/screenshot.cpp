#include "support/screenshot.h"

#include "support/paths.h"
#include "support/probe.h"
#include "support/wait.h"
#include "support/window.h"

namespace brevix::e2e {

Image capture_screen(const RECT& rect) {
    Image image;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192)
        return image;

    HDC screen = GetDC(nullptr);
    if (screen == nullptr)
        return image;
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (memory != nullptr && bitmap != nullptr && bits != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        if (BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY)) {
            GdiFlush();
            image.width = width;
            image.height = height;
            image.rgb.resize(static_cast<std::size_t>(width) * height * 3);
            const auto* pixels = static_cast<const std::uint8_t*>(bits);
            for (std::size_t i = 0, n = static_cast<std::size_t>(width) * height; i < n; ++i) {
                image.rgb[i * 3 + 0] = pixels[i * 4 + 2];  // DIB pixels are BGRX
                image.rgb[i * 3 + 1] = pixels[i * 4 + 1];
                image.rgb[i * 3 + 2] = pixels[i * 4 + 0];
            }
        }
        SelectObject(memory, old);
    }
    if (bitmap != nullptr)
        DeleteObject(bitmap);
    if (memory != nullptr)
        DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return image;
}

namespace {

// True when the two pictures of the same place agree, leaving out the pixels inside
// `ignore` (in picture coordinates; an empty rectangle leaves out nothing).
bool same_picture(const Image& a, const Image& b, const RECT& ignore) {
    if (a.rgb.empty() || a.width != b.width || a.height != b.height)
        return false;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            if (x >= ignore.left && x < ignore.right && y >= ignore.top && y < ignore.bottom)
                continue;
            const std::size_t at = (static_cast<std::size_t>(y) * a.width + x) * 3;
            if (a.rgb[at] != b.rgb[at] || a.rgb[at + 1] != b.rgb[at + 1] ||
                a.rgb[at + 2] != b.rgb[at + 2])
                return false;
        }
    }
    return true;
}

// Captures until two captures in a row agree outside `ignore` (window picture coordinates).
Image settled_capture(Probe& probe, HWND window, const RECT& ignore) {
    if (!probe.redraw(window))
        return {};
    Image previous = capture_screen(window_rect(window));
    Image current;
    const bool settled = wait_until([&] {
        probe.ping(window);
        current = capture_screen(window_rect(window));
        const bool same = same_picture(current, previous, ignore);
        previous = current;
        return same;
    });
    return settled ? current : Image{};
}

}  // namespace

Image capture_window(Probe& probe, HWND window) {
    return settled_capture(probe, window, RECT{});
}

Image capture_window_except(Probe& probe, HWND window, const RECT& moving) {
    const RECT frame = window_rect(window);
    const RECT ignore{moving.left - frame.left, moving.top - frame.top, moving.right - frame.left,
                      moving.bottom - frame.top};
    return settled_capture(probe, window, ignore);
}

bool screen_changes(const RECT& rect, DWORD timeout_ms) {
    const Image first = capture_screen(rect);
    if (first.rgb.empty())
        return false;
    return wait_until([&] { return capture_screen(rect).rgb != first.rgb; }, timeout_ms);
}

std::string save_png(const Image& image, const std::string& name) {
    const auto bytes = encode_png(image);
    if (bytes.empty())
        return {};
    const std::string path = join(screenshot_folder(), name);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    CloseHandle(file);
    return ok ? path : std::string{};
}

std::string save_screenshot(Probe& probe, HWND window, const std::string& name) {
    return save_png(capture_window(probe, window), name);
}

}  // namespace brevix::e2e
