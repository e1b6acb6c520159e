// Owners of GDI and icon handles, so every path releases them.
#pragma once

#include "framework/win.h"

namespace brevix::framework {

// BeginPaint/EndPaint for one WM_PAINT.
class PaintDc {
public:
    explicit PaintDc(HWND hwnd) : hwnd_(hwnd), dc_(BeginPaint(hwnd, &ps_)) {}
    ~PaintDc() { EndPaint(hwnd_, &ps_); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND hwnd_;
    PAINTSTRUCT ps_{};
    HDC dc_;
};

// An icon loaded from the program's resources at a given size, destroyed with its owner.
class Icon {
public:
    Icon(int resource_id, int width, int height);
    ~Icon() {
        if (icon_ != nullptr)
            DestroyIcon(icon_);
    }
    Icon(const Icon&) = delete;
    Icon& operator=(const Icon&) = delete;
    HICON get() const { return icon_; }

private:
    HICON icon_;
};

}  // namespace brevix::framework
