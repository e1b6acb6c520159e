// gen_icon: writes the program's icon (resource 128) as a Windows .ico file.
//
// Usage: gen_icon OUTPUT.ico
//
// The icon holds three classic DIB images, in this order:
//   32x32 in 16 colours (4 bpp), 16x16 in 16 colours (4 bpp), 32x32 in 256 colours (8 bpp).
// The picture is drawn from geometry: a sound wave that runs from the left into a compact
// blue block marked with a forward chevron, i.e. audio going into the encoder. Shapes are
// sampled on a sub-pixel grid; the 16-colour images take the colour that covers most of each
// pixel (crisp edges), the 256-colour image averages the samples (smooth inner edges) and
// uses a palette fitted to the picture. The background is transparent through the AND mask.
//
// Standard library only (with drawing.cpp), so that the Windows build can compile it with
// the host's compiler.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <vector>

#include "drawing.h"

namespace {

using namespace brevix::tools;

// The standard 16-colour palette of Windows DIBs (the VGA colours).
constexpr std::array<std::array<std::uint8_t, 3>, 16> kVga = {{{0, 0, 0},
                                                               {128, 0, 0},
                                                               {0, 128, 0},
                                                               {128, 128, 0},
                                                               {0, 0, 128},
                                                               {128, 0, 128},
                                                               {0, 128, 128},
                                                               {192, 192, 192},
                                                               {128, 128, 128},
                                                               {255, 0, 0},
                                                               {0, 255, 0},
                                                               {255, 255, 0},
                                                               {0, 0, 255},
                                                               {255, 0, 255},
                                                               {0, 255, 255},
                                                               {255, 255, 255}}};
constexpr int kVgaNavy = 4;
constexpr int kVgaCyan = 14;
constexpr int kVgaBlue = 12;
constexpr int kVgaWhite = 15;

// What one sample point of the picture shows.
struct Sample {
    bool ink = false;  // false: transparent background
    int vga = 0;       // colour in the 16-colour images
    Rgb rgb;           // colour in the 256-colour image
};

// The picture, sampled in pixel coordinates of a size x size image (y down). The 16x16
// version is simplified (a plain wave stroke, a solid arrow head) so that it stays readable.
class Picture {
public:
    explicit Picture(int size) : s_(size) {
        // One and a half periods whose loudness falls off towards the block, as if the
        // block squeezed it.
        const double x0 = 0.06, x1 = 0.62;
        const int steps = 400;
        for (int i = 0; i <= steps; ++i) {
            const double u = double(i) / steps;
            const double amp = 0.27 * (1.0 - 0.5 * u);
            wave_.add(x0 + u * (x1 - x0), 0.5 - amp * std::sin(2.0 * kPi * 1.5 * u));
        }
    }

    Sample at(double px, double py) const {
        const double x = px / s_, y = py / s_;  // unit square
        Sample out;

        // Sound wave, entering the block at mid-height. Like the block it has a dark rim, so
        // that it stands out on any desktop colour; at 16x16 it is a plain dark stroke.
        const bool small = s_ < 24;
        const double wave = wave_.distance(x, y) * s_;  // in pixels
        const double core = small ? 0.0 : 1.1;
        if (wave <= (small ? 0.75 : core + 1.0)) {
            out.ink = true;
            if (wave < core) {
                out.vga = kVgaCyan;
                out.rgb = mix(Rgb{60, 225, 200}, Rgb{0, 150, 190}, clamp01((x - 0.06) / 0.5));
            } else {
                out.vga = kVgaNavy;
                out.rgb = {10, 50, 90};
            }
        }

        // The block: a rounded box with a dark rim and a top-lit blue face, placed on whole
        // pixels so that its edges stay crisp.
        const double bx0 = small ? 8 : 16, bx1 = small ? 16 : 31;
        const double by0 = small ? 3 : 7, by1 = small ? 13 : 25;
        const double d = rounded_rect(px, py, bx0, by0, bx1, by1, small ? 2.0 : 4.0);
        if (d <= 0) {
            out.ink = true;
            if (d > -1.0) {
                out.vga = kVgaNavy;
                out.rgb = {10, 30, 100};
            } else {
                const double v = clamp01((py - by0) / (by1 - by0));
                out.vga = kVgaBlue;
                out.rgb = mix(Rgb{110, 170, 255}, Rgb{25, 65, 185}, v);
                // A soft sheen along the top edge.
                if (py < by0 + 4.0 && d > -4.5) {
                    out.rgb = mix(out.rgb, Rgb{190, 220, 255}, 0.35);
                }
            }
        }

        // Forward mark on the block: a chevron, or at 16x16, where a thin chevron turns into
        // a blot, a solid arrow head laid out pixel by pixel.
        bool mark = false;
        if (small) {
            const int col = static_cast<int>(px), row = static_cast<int>(py);
            const int step = col - 10;
            mark = step >= 0 && step <= 2 && row >= 5 + step && row <= 10 - step;
        } else {
            const double cx0 = 0.65, cx1 = 0.81, cy = 0.50, ch = 0.15;
            const double chev = std::min(segment(x, y, cx0, cy - ch, cx1, cy),
                                         segment(x, y, cx0, cy + ch, cx1, cy));
            mark = chev <= 0.05;
        }
        if (mark) {
            out.ink = true;
            out.vga = kVgaWhite;
            out.rgb = {255, 255, 255};
        }
        return out;
    }

private:
    int s_;
    Polyline wave_;
};

// One rendered image: per pixel, whether it is opaque and its colour index.
struct Image {
    int size = 0;
    int bpp = 0;
    std::vector<Colour> palette;  // 2^bpp entries
    std::vector<int> index;       // size*size, top row first
    std::vector<bool> opaque;     // size*size, top row first
};

constexpr int kSub = 8;  // samples per pixel along each axis

// 16-colour image: each pixel takes the colour (or transparency) that covers most of it;
// on a tie the ink wins, so that thin strokes survive at 16x16.
Image render_vga(int size) {
    const Picture pic(size);
    Image img;
    img.size = size;
    img.bpp = 4;
    img.palette.assign(kVga.begin(), kVga.end());
    img.index.assign(static_cast<std::size_t>(size) * size, 0);
    img.opaque.assign(static_cast<std::size_t>(size) * size, false);
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            std::array<int, 16> votes{};
            int clear = 0;
            for (int sy = 0; sy < kSub; ++sy) {
                for (int sx = 0; sx < kSub; ++sx) {
                    const Sample s = pic.at(px + (sx + 0.5) / kSub, py + (sy + 0.5) / kSub);
                    if (s.ink) {
                        ++votes[static_cast<std::size_t>(s.vga)];
                    } else {
                        ++clear;
                    }
                }
            }
            const auto best = std::max_element(votes.begin(), votes.end());
            const std::size_t at = static_cast<std::size_t>(py) * size + px;
            if (*best >= clear) {
                img.opaque[at] = true;
                img.index[at] = static_cast<int>(best - votes.begin());
            }
        }
    }
    return img;
}

// 256-colour image: pixels at least half covered are opaque and take the mean colour of
// their covered samples. Entry 0 is black (the colour behind transparent pixels); the other
// 255 entries are fitted to the picture's colours, and unused entries form a grey ramp.
Image render_256(int size) {
    const Picture pic(size);
    Image img;
    img.size = size;
    img.bpp = 8;
    img.index.assign(static_cast<std::size_t>(size) * size, 0);
    img.opaque.assign(static_cast<std::size_t>(size) * size, false);
    std::vector<Colour> colour(static_cast<std::size_t>(size) * size);
    std::map<Colour, long> histogram;
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            Rgb sum;
            int ink = 0;
            for (int sy = 0; sy < kSub; ++sy) {
                for (int sx = 0; sx < kSub; ++sx) {
                    const Sample s = pic.at(px + (sx + 0.5) / kSub, py + (sy + 0.5) / kSub);
                    if (s.ink) {
                        ++ink;
                        sum.r += s.rgb.r;
                        sum.g += s.rgb.g;
                        sum.b += s.rgb.b;
                    }
                }
            }
            const std::size_t at = static_cast<std::size_t>(py) * size + px;
            if (2 * ink >= kSub * kSub) {
                img.opaque[at] = true;
                const auto q = [ink](double v) {
                    return static_cast<std::uint8_t>(std::lround(std::min(255.0, v / ink)));
                };
                colour[at] = {q(sum.r), q(sum.g), q(sum.b)};
                ++histogram[colour[at]];
            }
        }
    }
    img.palette = {Colour{0, 0, 0}};
    for (const Colour& c : median_cut(histogram, 255)) {
        img.palette.push_back(c);
    }
    const std::size_t fitted = img.palette.size();
    for (std::size_t i = fitted; i < 256; ++i) {
        const auto v =
            static_cast<std::uint8_t>((i - fitted) * 255 / std::max<std::size_t>(1, 255 - fitted));
        img.palette.push_back({v, v, v});
    }
    for (std::size_t at = 0; at < colour.size(); ++at) {
        if (img.opaque[at]) {
            img.index[at] = static_cast<int>(nearest(img.palette, colour[at], 1));
        }
    }
    return img;
}

std::size_t row_bytes(int width, int bpp) {
    return ((static_cast<std::size_t>(width) * bpp + 31) / 32) * 4;
}

// One icon image: BITMAPINFOHEADER (height doubled for the XOR and AND bitmaps), palette,
// XOR bitmap bottom-up, AND mask bottom-up (1 = transparent).
Bytes encode_image(const Image& img) {
    const std::size_t xor_row = row_bytes(img.size, img.bpp);
    const std::size_t and_row = row_bytes(img.size, 1);
    const std::size_t bits_size = (xor_row + and_row) * img.size;
    Bytes out;
    put_bitmap_info(out, img.size, 2u * img.size, img.bpp, 0 /* BI_RGB */,
                    static_cast<std::uint32_t>(bits_size), 0);
    put_palette(out, img.palette);
    for (int y = img.size - 1; y >= 0; --y) {
        Bytes row(xor_row, 0);
        for (int x = 0; x < img.size; ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * img.size + x;
            const unsigned v = img.opaque[at] ? static_cast<unsigned>(img.index[at]) : 0u;
            if (img.bpp == 8) {
                row[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(v);
            } else {
                row[static_cast<std::size_t>(x / 2)] |=
                    static_cast<std::uint8_t>(x % 2 == 0 ? v << 4 : v);
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    for (int y = img.size - 1; y >= 0; --y) {
        Bytes row(and_row, 0);
        for (int x = 0; x < img.size; ++x) {
            if (!img.opaque[static_cast<std::size_t>(y) * img.size + x]) {
                row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80u >> (x % 8));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

Bytes build_icon() {
    const std::vector<Image> images = {render_vga(32), render_vga(16), render_256(32)};
    std::vector<Bytes> encoded;
    for (const Image& img : images) {
        encoded.push_back(encode_image(img));
    }
    Bytes out;
    put16(out, 0);  // reserved
    put16(out, 1);  // icon
    put16(out, static_cast<unsigned>(images.size()));
    std::size_t offset = 6 + 16 * images.size();
    for (std::size_t i = 0; i < images.size(); ++i) {
        put8(out, static_cast<unsigned>(images[i].size));
        put8(out, static_cast<unsigned>(images[i].size));
        put8(out, images[i].bpp == 4 ? 16 : 0);  // colour count; 0 means 256 or more
        put8(out, 0);
        put16(out, 1);  // planes
        put16(out, static_cast<unsigned>(images[i].bpp));
        put32(out, static_cast<std::uint32_t>(encoded[i].size()));
        put32(out, static_cast<std::uint32_t>(offset));
        offset += encoded[i].size();
    }
    for (const Bytes& e : encoded) {
        out.insert(out.end(), e.begin(), e.end());
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    return generate(argc, argv, "gen_icon", "OUTPUT.ico", build_icon);
}
