// What the icon and animation generators share: little-endian byte output, DIB headers and
// palettes, the geometry the pictures are drawn from, a palette fitted by median cut, and
// the generators' entry point. Standard library only, so that the Windows build can compile
// the generators with the host's compiler.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace brevix::tools {

using Bytes = std::vector<std::uint8_t>;
using Colour = std::array<std::uint8_t, 3>;

constexpr double kPi = 3.14159265358979323846;

void put8(Bytes& out, unsigned v);
void put16(Bytes& out, unsigned v);
void put32(Bytes& out, std::uint32_t v);
// A BITMAPINFOHEADER of one plane; `colours_used` 0 means all 2^bpp.
void put_bitmap_info(Bytes& out, std::uint32_t width, std::uint32_t height, unsigned bpp,
                     std::uint32_t compression, std::uint32_t image_size,
                     std::uint32_t colours_used);
// A DIB palette: blue, green, red and a zero byte per entry.
void put_palette(Bytes& out, const std::vector<Colour>& palette);

struct Rgb {
    double r = 0, g = 0, b = 0;
};

inline Rgb mix(const Rgb& a, const Rgb& b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

inline double clamp01(double v) {
    return std::min(1.0, std::max(0.0, v));
}

// Signed distance from (x, y) to a rounded rectangle (negative inside).
double rounded_rect(double x, double y, double x0, double y0, double x1, double y1, double r);
// Distance from (x, y) to the segment a-b.
double segment(double x, double y, double ax, double ay, double bx, double by);

// A stroke along points given in increasing x, with round ends.
class Polyline {
public:
    void add(double x, double y) { pts_.push_back({x, y}); }
    double distance(double x, double y) const;

private:
    std::vector<std::array<double, 2>> pts_;
};

// Median cut: splits the weighted colours into at most `count` boxes and returns each
// box's weighted mean. Deterministic for a given input.
std::vector<Colour> median_cut(const std::map<Colour, long>& histogram, std::size_t count);
// The palette entry closest to `c`, from entry `from` on (the first of equals).
std::size_t nearest(const std::vector<Colour>& palette, const Colour& c, std::size_t from = 0);

// A generator's main: one argument, the output file, which receives what `build` returns.
// Exit status 2 for a wrong command line, 1 (and no file left) when it cannot be written.
int generate(int argc, char** argv, const char* name, const char* output, Bytes (*build)());

}  // namespace brevix::tools
