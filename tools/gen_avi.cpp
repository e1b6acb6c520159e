// gen_avi: writes the progress window's animation (resource 132) as a RIFF AVI file.
//
// Usage: gen_avi OUTPUT.avi
//
// The animation control plays only uncompressed or RLE8 video, so the file holds one video
// stream of 45 frames, 48x50 pixels, 8-bit palettised and RLE8-compressed, at 15 frames per
// second, with an index; every frame is a key frame. The picture: a sound wave flows from the
// left into the blue block of the program's icon, and small compact packets leave it on the
// right. Everything moves by whole periods over the 45 frames, so the last frame flows into
// the first. The background is a plain dialog-face grey, also in the top-left pixel, which
// the control's transparent style takes as its transparent colour.
//
// Standard library only (with drawing.cpp), so that the Windows build can compile it with
// the host's compiler.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <vector>

#include "drawing.h"

namespace {

using namespace brevix::tools;

constexpr int kWidth = 48;
constexpr int kHeight = 50;
constexpr int kFrames = 45;
constexpr std::uint32_t kMicroSecPerFrame = 66667;  // 15 frames per second
constexpr Colour kBackground = {192, 192, 192};

void put_fourcc(Bytes& out, const char (&id)[5]) {
    for (int i = 0; i < 4; ++i) {
        put8(out, static_cast<unsigned char>(id[i]));
    }
}
void patch32(Bytes& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

// Opens a chunk (or, with a list type, a LIST/RIFF chunk); returns where its size goes.
std::size_t open_chunk(Bytes& out, const char (&id)[5]) {
    put_fourcc(out, id);
    const std::size_t at = out.size();
    put32(out, 0);
    return at;
}
std::size_t open_list(Bytes& out, const char (&id)[5], const char (&type)[5]) {
    const std::size_t at = open_chunk(out, id);
    put_fourcc(out, type);
    return at;
}
// Fills in the size of the chunk opened at `at` and pads its data to an even length.
void close_chunk(Bytes& out, std::size_t at) {
    patch32(out, at, static_cast<std::uint32_t>(out.size() - at - 4));
    if (out.size() % 2 != 0) {
        put8(out, 0);
    }
}

double smoothstep(double e0, double e1, double x) {
    const double t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

// Geometry of the picture, in pixels (y down).
constexpr double kMidY = 25.0;
constexpr double kWaveX0 = 1.5, kWaveX1 = 19.0;  // the wave ends under the block
constexpr double kWavelength = 12.0;
constexpr double kWaveTravel = 3 * kWavelength;  // per loop: whole periods
constexpr double kBlockX0 = 16, kBlockY0 = 11, kBlockX1 = 30, kBlockY1 = 39;
constexpr double kPacketSpacing = 7.0;
constexpr double kPacketTravel = 6 * kPacketSpacing;  // per loop: whole spacings
constexpr double kPacketHalf = 2.5;

// One frame at loop phase t in [0, 1).
class Frame {
public:
    explicit Frame(double t) : t_(t) {
        // The wave moves right, into the block. Two harmonics give it a more musical shape;
        // both repeat within kWaveTravel, so the loop is seamless.
        const double shift = t * kWaveTravel;
        for (double x = kWaveX0; x <= kWaveX1 + 1e-9; x += 0.25) {
            const double p = 2 * kPi * (x - shift) / kWavelength;
            const double w = 0.78 * std::sin(p) + 0.28 * std::sin(2 * p + 1.1);
            const double amp = 11.0 * smoothstep(kWaveX0, kWaveX0 + 7.0, x);
            wave_.add(x, kMidY - amp * w);
        }
    }

    // Colour of one sample point: layers painted back to front.
    Rgb at(double x, double y) const {
        Rgb c{double(kBackground[0]), double(kBackground[1]), double(kBackground[2])};

        // Sound wave, with a dark rim as in the icon.
        const double wave = wave_.distance(x, y);
        if (wave <= 1.9) {
            c = wave < 1.0 ? mix(Rgb{60, 225, 200}, Rgb{0, 150, 190},
                                 clamp01((x - kWaveX0) / (kWaveX1 - kWaveX0)))
                           : Rgb{10, 50, 90};
        }

        // Packets: leave from behind the block, travel right and fade into the background
        // before they reach the edge.
        for (int k = 0; k < 6; ++k) {
            const double along = std::fmod(k * kPacketSpacing + t_ * kPacketTravel, kPacketTravel);
            const double cx = kBlockX1 - 4.0 + along;
            const double fade = 1.0 - smoothstep(39.0, 47.0, cx);
            if (fade <= 0) {
                continue;
            }
            const double d = rounded_rect(x, y, cx - kPacketHalf, kMidY - kPacketHalf,
                                          cx + kPacketHalf, kMidY + kPacketHalf, 1.2);
            if (d <= 0) {
                const Rgb ink = d > -1.0 ? Rgb{150, 80, 0} : Rgb{250, 175, 40};
                c = mix(c, ink, fade);
            }
        }

        // The block, as in the icon: dark rim, top-lit blue face, soft sheen at the top.
        const double d = rounded_rect(x, y, kBlockX0, kBlockY0, kBlockX1, kBlockY1, 3.5);
        if (d <= 0) {
            if (d > -1.0) {
                c = {10, 30, 100};
            } else {
                const double v = clamp01((y - kBlockY0) / (kBlockY1 - kBlockY0));
                c = mix(Rgb{110, 170, 255}, Rgb{25, 65, 185}, v);
                if (y < kBlockY0 + 5.0 && d > -5.0) {
                    c = mix(c, Rgb{190, 220, 255}, 0.35);
                }
            }
            // Forward chevron.
            const double cx0 = kBlockX0 + 4.5, cx1 = kBlockX1 - 4.5, ch = 5.0;
            const double chev = std::min(segment(x, y, cx0, kMidY - ch, cx1, kMidY),
                                         segment(x, y, cx0, kMidY + ch, cx1, kMidY));
            if (chev <= 1.4) {
                c = {255, 255, 255};
            }
        }
        return c;
    }

private:
    double t_;
    Polyline wave_;
};

constexpr int kSub = 4;  // samples per pixel along each axis

// Renders one frame, top row first, as 8-bit colours.
std::vector<Colour> render(int frame) {
    const Frame pic(double(frame) / kFrames);
    std::vector<Colour> px(static_cast<std::size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            Rgb sum;
            for (int sy = 0; sy < kSub; ++sy) {
                for (int sx = 0; sx < kSub; ++sx) {
                    const Rgb c = pic.at(x + (sx + 0.5) / kSub, y + (sy + 0.5) / kSub);
                    sum.r += c.r;
                    sum.g += c.g;
                    sum.b += c.b;
                }
            }
            const auto q = [](double v) {
                return static_cast<std::uint8_t>(std::lround(clamp01(v / 255.0) * 255.0));
            };
            constexpr double n = kSub * kSub;
            px[static_cast<std::size_t>(y) * kWidth + x] = {q(sum.r / n), q(sum.g / n),
                                                            q(sum.b / n)};
        }
    }
    return px;
}

// RLE8 for one row: runs of three or more equal pixels become encoded runs; stretches of
// other pixels become absolute runs (at least three pixels, padded to a 16-bit boundary) or,
// when shorter, runs of one or two. Ends with end-of-line.
void rle8_row(Bytes& out, const std::uint8_t* row, int width) {
    const auto run_at = [&](int i) {
        int n = 1;
        while (i + n < width && n < 255 && row[i + n] == row[i]) {
            ++n;
        }
        return n;
    };
    int i = 0;
    while (i < width) {
        const int run = run_at(i);
        if (run >= 3) {
            put8(out, static_cast<unsigned>(run));
            put8(out, row[i]);
            i += run;
            continue;
        }
        int end = i;
        while (end < width && end - i < 255 && run_at(end) < 3) {
            end += run_at(end) == 2 && end + 2 - i <= 255 ? 2 : 1;
        }
        end = std::min(end, i + 255);
        const int n = end - i;
        if (n >= 3) {
            put8(out, 0);
            put8(out, static_cast<unsigned>(n));
            for (int k = i; k < end; ++k) {
                put8(out, row[k]);
            }
            if (n % 2 != 0) {
                put8(out, 0);
            }
        } else {
            for (int k = i; k < end;) {
                const int m = std::min(run_at(k), end - k);
                put8(out, static_cast<unsigned>(m));
                put8(out, row[k]);
                k += m;
            }
        }
        i = end;
    }
    put8(out, 0);
    put8(out, 0);  // end of line
}

// A whole frame (top row first) as RLE8, bottom row first as DIBs are stored.
Bytes rle8_frame(const std::vector<std::uint8_t>& pixels) {
    Bytes out;
    for (int y = kHeight - 1; y >= 0; --y) {
        rle8_row(out, pixels.data() + static_cast<std::size_t>(y) * kWidth, kWidth);
    }
    put8(out, 0);
    put8(out, 1);  // end of bitmap
    return out;
}

Bytes build_avi() {
    // Render all frames, then fit one palette to them: entry 0 is the background exactly.
    std::vector<std::vector<Colour>> frames;
    std::map<Colour, long> histogram;
    for (int f = 0; f < kFrames; ++f) {
        frames.push_back(render(f));
        for (const Colour& c : frames.back()) {
            if (c != kBackground) {
                ++histogram[c];
            }
        }
    }
    std::vector<Colour> palette = {kBackground};
    for (const Colour& c : median_cut(histogram, 255)) {
        palette.push_back(c);
    }
    while (palette.size() < 256) {
        palette.push_back(kBackground);
    }
    std::vector<Bytes> encoded;
    std::size_t largest = 0;
    for (const auto& frame : frames) {
        std::vector<std::uint8_t> indices;
        indices.reserve(frame.size());
        for (const Colour& c : frame) {
            indices.push_back(c == kBackground ? 0
                                               : static_cast<std::uint8_t>(nearest(palette, c)));
        }
        encoded.push_back(rle8_frame(indices));
        largest = std::max(largest, encoded.back().size());
    }
    const auto buffer = static_cast<std::uint32_t>(largest + largest % 2);
    constexpr std::uint32_t kImageSize = kWidth * kHeight;  // rows of 48 need no padding

    Bytes out;
    const std::size_t riff = open_list(out, "RIFF", "AVI ");
    const std::size_t hdrl = open_list(out, "LIST", "hdrl");

    const std::size_t avih = open_chunk(out, "avih");
    put32(out, kMicroSecPerFrame);
    put32(out, buffer * 15);  // max bytes per second
    put32(out, 0);            // padding granularity
    put32(out, 0x10);         // AVIF_HASINDEX
    put32(out, kFrames);
    put32(out, 0);  // initial frames
    put32(out, 1);  // streams
    put32(out, buffer);
    put32(out, kWidth);
    put32(out, kHeight);
    for (int i = 0; i < 4; ++i) {
        put32(out, 0);  // reserved
    }
    close_chunk(out, avih);

    const std::size_t strl = open_list(out, "LIST", "strl");
    const std::size_t strh = open_chunk(out, "strh");
    put_fourcc(out, "vids");
    put_fourcc(out, "mrle");
    put32(out, 0);                  // flags
    put16(out, 0);                  // priority
    put16(out, 0);                  // language
    put32(out, 0);                  // initial frames
    put32(out, kMicroSecPerFrame);  // scale: rate / scale = frames per second
    put32(out, 1000000);            // rate
    put32(out, 0);                  // start
    put32(out, kFrames);            // length
    put32(out, buffer);
    put32(out, 0xFFFFFFFFu);  // quality: default
    put32(out, 0);            // sample size: varies
    put16(out, 0);            // rcFrame
    put16(out, 0);
    put16(out, kWidth);
    put16(out, kHeight);
    close_chunk(out, strh);

    const std::size_t strf = open_chunk(out, "strf");
    put_bitmap_info(out, kWidth, kHeight, 8, 1 /* BI_RLE8 */, kImageSize, 256);
    put_palette(out, palette);
    close_chunk(out, strf);
    close_chunk(out, strl);
    close_chunk(out, hdrl);

    const std::size_t movi = open_list(out, "LIST", "movi");
    const std::size_t movi_id = movi + 4;  // index offsets count from the 'movi' form type
    std::vector<std::pair<std::uint32_t, std::uint32_t>> index;  // offset, size
    for (const Bytes& frame : encoded) {
        const std::size_t at = out.size();
        const std::size_t ck = open_chunk(out, "00dc");
        out.insert(out.end(), frame.begin(), frame.end());
        close_chunk(out, ck);
        index.emplace_back(static_cast<std::uint32_t>(at - movi_id),
                           static_cast<std::uint32_t>(frame.size()));
    }
    close_chunk(out, movi);

    const std::size_t idx1 = open_chunk(out, "idx1");
    for (const auto& [offset, size] : index) {
        put_fourcc(out, "00dc");
        put32(out, 0x10);  // AVIIF_KEYFRAME
        put32(out, offset);
        put32(out, size);
    }
    close_chunk(out, idx1);
    close_chunk(out, riff);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    return generate(argc, argv, "gen_avi", "OUTPUT.avi", build_avi);
}
