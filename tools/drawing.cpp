#include "drawing.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

namespace brevix::tools {

void put8(Bytes& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFFu));
}
void put16(Bytes& out, unsigned v) {
    put8(out, v);
    put8(out, v >> 8);
}
void put32(Bytes& out, std::uint32_t v) {
    put16(out, v & 0xFFFFu);
    put16(out, v >> 16);
}

void put_bitmap_info(Bytes& out, std::uint32_t width, std::uint32_t height, unsigned bpp,
                     std::uint32_t compression, std::uint32_t image_size,
                     std::uint32_t colours_used) {
    put32(out, 40);
    put32(out, width);
    put32(out, height);  // positive: bottom-up
    put16(out, 1);       // planes
    put16(out, bpp);
    put32(out, compression);
    put32(out, image_size);
    put32(out, 0);  // no preferred resolution
    put32(out, 0);
    put32(out, colours_used);
    put32(out, 0);  // all colours important
}

void put_palette(Bytes& out, const std::vector<Colour>& palette) {
    for (const Colour& c : palette) {
        put8(out, c[2]);
        put8(out, c[1]);
        put8(out, c[0]);
        put8(out, 0);
    }
}

double rounded_rect(double x, double y, double x0, double y0, double x1, double y1, double r) {
    const double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    const double hx = (x1 - x0) / 2 - r, hy = (y1 - y0) / 2 - r;
    const double qx = std::fabs(x - cx) - hx, qy = std::fabs(y - cy) - hy;
    const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
    return outside + std::min(std::max(qx, qy), 0.0) - r;
}

double segment(double x, double y, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    const double t = clamp01(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy));
    return std::hypot(x - (ax + t * dx), y - (ay + t * dy));
}

double Polyline::distance(double x, double y) const {
    double best = 1e9;
    for (std::size_t i = 0; i + 1 < pts_.size(); ++i) {
        const auto& a = pts_[i];
        const auto& b = pts_[i + 1];
        if (a[0] - x > best || x - b[0] > best) {
            continue;  // too far away horizontally to matter
        }
        best = std::min(best, segment(x, y, a[0], a[1], b[0], b[1]));
    }
    return best;
}

std::vector<Colour> median_cut(const std::map<Colour, long>& histogram, std::size_t count) {
    std::vector<std::pair<Colour, long>> colours(histogram.begin(), histogram.end());
    std::vector<Colour> result;
    if (colours.size() <= count) {
        for (const auto& c : colours) {
            result.push_back(c.first);
        }
        return result;
    }
    struct Box {
        std::size_t begin, end;
    };
    std::vector<Box> boxes{{0, colours.size()}};
    while (boxes.size() < count) {
        // Split the box with the widest spread, weighted by how many pixels it holds.
        std::size_t pick = boxes.size();
        double best = 0;
        int channel = 0;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            std::array<int, 3> lo{255, 255, 255}, hi{0, 0, 0};
            long weight = 0;
            for (std::size_t j = boxes[i].begin; j < boxes[i].end; ++j) {
                for (std::size_t ch = 0; ch < 3; ++ch) {
                    lo[ch] = std::min<int>(lo[ch], colours[j].first[ch]);
                    hi[ch] = std::max<int>(hi[ch], colours[j].first[ch]);
                }
                weight += colours[j].second;
            }
            for (int ch = 0; ch < 3; ++ch) {
                const int spread =
                    hi[static_cast<std::size_t>(ch)] - lo[static_cast<std::size_t>(ch)];
                const double score = spread * std::sqrt(double(weight));
                if (spread > 0 && score > best) {
                    best = score;
                    pick = i;
                    channel = ch;
                }
            }
        }
        if (pick == boxes.size()) {
            break;
        }
        const Box b = boxes[pick];
        const auto first = colours.begin() + static_cast<std::ptrdiff_t>(b.begin);
        const auto last = colours.begin() + static_cast<std::ptrdiff_t>(b.end);
        const auto ch = static_cast<std::size_t>(channel);
        std::stable_sort(first, last,
                         [ch](const auto& p, const auto& q) { return p.first[ch] < q.first[ch]; });
        long total = 0;
        for (auto it = first; it != last; ++it) {
            total += it->second;
        }
        long run = 0;
        std::size_t mid = b.begin + 1;
        for (std::size_t i = b.begin; i + 1 < b.end; ++i) {
            run += colours[i].second;
            mid = i + 1;
            if (2 * run >= total) {
                break;
            }
        }
        boxes[pick] = {b.begin, mid};
        boxes.push_back({mid, b.end});
    }
    for (const Box& b : boxes) {
        double sum[3] = {0, 0, 0}, w = 0;
        for (std::size_t i = b.begin; i < b.end; ++i) {
            for (std::size_t ch = 0; ch < 3; ++ch) {
                sum[ch] += colours[i].first[ch] * double(colours[i].second);
            }
            w += double(colours[i].second);
        }
        result.push_back({static_cast<std::uint8_t>(std::lround(sum[0] / w)),
                          static_cast<std::uint8_t>(std::lround(sum[1] / w)),
                          static_cast<std::uint8_t>(std::lround(sum[2] / w))});
    }
    return result;
}

std::size_t nearest(const std::vector<Colour>& palette, const Colour& c, std::size_t from) {
    std::size_t best = from;
    long best_d = -1;
    for (std::size_t i = from; i < palette.size(); ++i) {
        long d = 0;
        for (std::size_t ch = 0; ch < 3; ++ch) {
            const long e = long(palette[i][ch]) - long(c[ch]);
            d += e * e;
        }
        if (best_d < 0 || d < best_d) {
            best_d = d;
            best = i;
        }
    }
    return best;
}

int generate(int argc, char** argv, const char* name, const char* output, Bytes (*build)()) {
    if (argc != 2) {
        std::cerr << "usage: " << name << ' ' << output << "\n";
        return 2;
    }
    const std::string path = argv[1];
    const Bytes data = build();
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    f.close();
    if (!f) {
        std::cerr << name << ": cannot write " << path << "\n";
        std::remove(path.c_str());
        return 1;
    }
    return 0;
}

}  // namespace brevix::tools
