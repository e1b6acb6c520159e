// Screenshots of the program's windows, saved as PNG files for a person to look at. The
// picture is taken from the screen, so it shows the window as drawn, title bar included.
#pragma once

#include <string>

#include "support/png.h"
#include "support/win.h"

namespace brevix::e2e {

class Probe;

// The screen's pixels inside rect.
Image capture_screen(const RECT& rect);
// Repaints the window through the probe and captures its screen rectangle once two
// captures in a row agree (the picture has settled). Returns an empty image on failure.
Image capture_window(Probe& probe, HWND window);
// The same for a window with a moving part (an animation): the picture has settled once
// two captures in a row agree outside `moving`, a rectangle on the screen.
Image capture_window_except(Probe& probe, HWND window, const RECT& moving);
// True once the screen's pixels inside rect change (something there moves).
bool screen_changes(const RECT& rect, DWORD timeout_ms);
// Writes screenshot_folder()\name; returns the path written, or an empty string.
std::string save_png(const Image& image, const std::string& name);
// capture_window and save_png in one.
std::string save_screenshot(Probe& probe, HWND window, const std::string& name);

}  // namespace brevix::e2e
