// Checks the generated icon and animation. Both files are parsed with bounds-checked readers
// that never trust a size field, and every animation frame is decoded as RLE8.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Colour = std::array<std::uint8_t, 3>;

Bytes read_file(const char* path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        throw std::runtime_error(std::string("cannot open ") + path);
    }
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// A little-endian window on part of a file. Every read is checked against the window, and
// a read outside it throws, so a bad size field fails the test instead of reading past the end.
class View {
public:
    View() = default;
    explicit View(const Bytes& b) : data_(b.data()), size_(b.size()) {}

    std::size_t size() const { return size_; }
    std::size_t origin() const { return origin_; }  // offset of the window in the file

    View sub(std::size_t off, std::size_t len) const {
        check(off, len);
        return View(data_ + off, len, origin_ + off);
    }
    std::uint8_t u8(std::size_t off) const {
        check(off, 1);
        return data_[off];
    }
    std::uint16_t u16(std::size_t off) const {
        check(off, 2);
        return static_cast<std::uint16_t>(data_[off] | data_[off + 1] << 8);
    }
    std::uint32_t u32(std::size_t off) const {
        check(off, 4);
        return std::uint32_t{data_[off]} | std::uint32_t{data_[off + 1]} << 8 |
               std::uint32_t{data_[off + 2]} << 16 | std::uint32_t{data_[off + 3]} << 24;
    }
    std::int32_t i32(std::size_t off) const { return static_cast<std::int32_t>(u32(off)); }
    std::string fourcc(std::size_t off) const {
        check(off, 4);
        return std::string(reinterpret_cast<const char*>(data_ + off), 4);
    }

private:
    View(const std::uint8_t* d, std::size_t n, std::size_t origin)
        : data_(d), size_(n), origin_(origin) {}

    void check(std::size_t off, std::size_t len) const {
        if (off > size_ || len > size_ - off) {
            throw std::out_of_range("read of " + std::to_string(len) + " bytes at offset " +
                                    std::to_string(origin_ + off) + " leaves the " +
                                    std::to_string(size_) + "-byte block at " +
                                    std::to_string(origin_));
        }
    }

    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t origin_ = 0;
};

// ---------------------------------------------------------------------------------------
// Icon

const Colour kBlack = {0, 0, 0};
const std::array<Colour, 16> kVga = {{{0, 0, 0},
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

struct Expected {
    int size, colour_count, bpp;
};
constexpr std::array<Expected, 3> kIconImages = {{{32, 16, 4}, {16, 16, 4}, {32, 0, 8}}};

std::size_t row_bytes(std::size_t width, std::size_t bpp) {
    return (width * bpp + 31) / 32 * 4;
}

const Bytes& icon_file() {
    static const Bytes data = read_file(BREVIX_ICON_PATH);
    return data;
}

// One decoded icon image: colours of the XOR bitmap and the AND mask, top row first.
struct IconImage {
    int size = 0, bpp = 0;
    std::vector<Colour> palette;
    std::vector<Colour> colour;
    std::vector<bool> transparent;
};

IconImage decode_icon_image(const View& image, int size, int bpp) {
    IconImage out;
    out.size = size;
    out.bpp = bpp;
    const std::size_t colours = std::size_t{1} << bpp;
    const std::size_t n = static_cast<std::size_t>(size);
    const View pal = image.sub(40, 4 * colours);
    for (std::size_t i = 0; i < colours; ++i) {
        out.palette.push_back({pal.u8(4 * i + 2), pal.u8(4 * i + 1), pal.u8(4 * i)});
    }
    const std::size_t xor_row = row_bytes(n, static_cast<std::size_t>(bpp));
    const std::size_t and_row = row_bytes(n, 1);
    const View xor_bits = image.sub(40 + 4 * colours, xor_row * n);
    const View and_bits = image.sub(40 + 4 * colours + xor_row * n, and_row * n);
    for (std::size_t y = 0; y < n; ++y) {
        const std::size_t row = n - 1 - y;  // stored bottom-up
        for (std::size_t x = 0; x < n; ++x) {
            std::size_t index = 0;
            if (bpp == 8) {
                index = xor_bits.u8(row * xor_row + x);
            } else {
                const std::uint8_t b = xor_bits.u8(row * xor_row + x / 2);
                index = x % 2 == 0 ? b >> 4 : b & 0x0F;
            }
            out.colour.push_back(out.palette.at(index));
            const std::uint8_t mask = and_bits.u8(row * and_row + x / 8);
            out.transparent.push_back((mask & (0x80u >> (x % 8))) != 0);
        }
    }
    return out;
}

TEST(IconResource, DirectoryListsThreeImagesInOrderInsideTheFile) {
    const View file(icon_file());
    EXPECT_EQ(file.u16(0), 0u) << "reserved";
    EXPECT_EQ(file.u16(2), 1u) << "resource type: icon";
    ASSERT_EQ(std::size_t{file.u16(4)}, kIconImages.size());

    std::size_t previous_end = 6 + 16 * kIconImages.size();
    for (std::size_t i = 0; i < kIconImages.size(); ++i) {
        SCOPED_TRACE("image " + std::to_string(i));
        const Expected& want = kIconImages[i];
        const View e = file.sub(6 + 16 * i, 16);
        EXPECT_EQ(e.u8(0), want.size) << "width";
        EXPECT_EQ(e.u8(1), want.size) << "height";
        EXPECT_EQ(e.u8(2), want.colour_count);
        EXPECT_EQ(e.u8(3), 0u) << "reserved";
        EXPECT_EQ(e.u16(4), 1u) << "planes";
        EXPECT_EQ(e.u16(6), want.bpp);
        const std::size_t n = static_cast<std::size_t>(want.size);
        const std::size_t bpp = static_cast<std::size_t>(want.bpp);
        const std::size_t expected_bytes =
            40 + 4 * (std::size_t{1} << bpp) + (row_bytes(n, bpp) + row_bytes(n, 1)) * n;
        EXPECT_EQ(e.u32(8), expected_bytes) << "header, palette, XOR bitmap and AND mask";
        // Images lie inside the file, after the directory, one after another.
        const std::size_t offset = e.u32(12), bytes = e.u32(8);
        EXPECT_GE(offset, previous_end) << "images overlap the directory or each other";
        ASSERT_LE(offset, file.size());
        ASSERT_LE(bytes, file.size() - offset) << "image runs past the end of the file";
        previous_end = offset + bytes;
    }
}

TEST(IconResource, EachImageHeaderMatchesItsDirectoryEntry) {
    const View file(icon_file());
    for (std::size_t i = 0; i < kIconImages.size(); ++i) {
        SCOPED_TRACE("image " + std::to_string(i));
        const Expected& want = kIconImages[i];
        const View image = file.sub(file.u32(6 + 16 * i + 12), file.u32(6 + 16 * i + 8));
        EXPECT_EQ(image.u32(0), 40u) << "BITMAPINFOHEADER";
        EXPECT_EQ(image.i32(4), want.size);
        EXPECT_EQ(image.i32(8), 2 * want.size) << "height covers XOR bitmap and AND mask";
        EXPECT_EQ(image.u16(12), 1u) << "planes";
        EXPECT_EQ(image.u16(14), want.bpp);
        EXPECT_EQ(image.u32(16), 0u) << "BI_RGB";
        const std::uint32_t used = image.u32(32);
        EXPECT_TRUE(used == 0 || used == (1u << want.bpp)) << "colours used: " << used;
        // The whole palette, XOR bitmap and AND mask are there to be decoded.
        EXPECT_NO_THROW(decode_icon_image(image, want.size, want.bpp));
    }
}

std::vector<IconImage> icon_images() {
    const View file(icon_file());
    std::vector<IconImage> images;
    for (std::size_t i = 0; i < kIconImages.size(); ++i) {
        const View image = file.sub(file.u32(6 + 16 * i + 12), file.u32(6 + 16 * i + 8));
        images.push_back(decode_icon_image(image, kIconImages[i].size, kIconImages[i].bpp));
    }
    return images;
}

TEST(IconResource, SixteenColourImagesUseTheStandardPalette) {
    const std::vector<IconImage> images = icon_images();
    for (const IconImage& img : images) {
        if (img.bpp == 4) {
            EXPECT_TRUE(std::equal(img.palette.begin(), img.palette.end(), kVga.begin()))
                << img.size << "x" << img.size;
        }
    }
}

TEST(IconResource, PicturesHaveOpaqueShapesOnATransparentBackground) {
    for (const IconImage& img : icon_images()) {
        SCOPED_TRACE(std::to_string(img.size) + "x" + std::to_string(img.size) + " " +
                     std::to_string(img.bpp) + " bpp");
        const std::size_t total = img.colour.size();
        const auto clear = static_cast<std::size_t>(
            std::count(img.transparent.begin(), img.transparent.end(), true));
        EXPECT_GT(clear, total / 10) << "too little transparent background";
        EXPECT_GT(total - clear, total / 4) << "too little picture";
        EXPECT_TRUE(img.transparent.front()) << "top-left corner belongs to the background";

        std::set<Colour> opaque_colours;
        std::size_t inverting = 0;
        for (std::size_t i = 0; i < total; ++i) {
            if (!img.transparent[i]) {
                opaque_colours.insert(img.colour[i]);
            } else if (img.colour[i] != kBlack) {
                ++inverting;  // a non-black colour under a set mask bit inverts the screen
            }
        }
        EXPECT_EQ(inverting, 0u) << "transparent pixels whose XOR colour is not black";
        EXPECT_GE(opaque_colours.size(), 3u) << "the picture is more than a flat shape";
        if (img.bpp == 8) {
            EXPECT_GT(opaque_colours.size(), 16u) << "shading uses the larger palette";
        }
    }
}

// ---------------------------------------------------------------------------------------
// RLE8

// Decodes one fully coded (key) RLE8 frame into width*height palette indices, bottom row
// first as stored. Returns an empty string, or what is wrong with the stream.
std::string decode_rle8(const View& data, std::size_t width, std::size_t height,
                        std::vector<std::uint8_t>& pixels) {
    pixels.assign(width * height, 0);
    std::size_t pos = 0, x = 0, y = 0;
    while (true) {
        if (data.size() - pos < 2) {
            return "stream ends without end-of-bitmap";
        }
        const std::size_t count = data.u8(pos), value = data.u8(pos + 1);
        pos += 2;
        if (count > 0) {
            if (y >= height || count > width - x) {
                return "run of " + std::to_string(count) + " overruns row " + std::to_string(y);
            }
            std::fill_n(pixels.begin() + static_cast<std::ptrdiff_t>(y * width + x), count,
                        static_cast<std::uint8_t>(value));
            x += count;
        } else if (value == 0) {
            if (y >= height || x != width) {
                return "end-of-line after " + std::to_string(x) + " pixels of row " +
                       std::to_string(y);
            }
            x = 0;
            ++y;
        } else if (value == 1) {
            const bool complete = (y == height && x == 0) || (y + 1 == height && x == width);
            if (!complete) {
                return "end-of-bitmap in row " + std::to_string(y) + " at pixel " +
                       std::to_string(x);
            }
            if (pos != data.size()) {
                return std::to_string(data.size() - pos) + " bytes after end-of-bitmap";
            }
            return "";
        } else if (value == 2) {
            return "delta code in a key frame";
        } else {
            const std::size_t padded = value + value % 2;
            if (y >= height || value > width - x) {
                return "absolute run of " + std::to_string(value) + " overruns row " +
                       std::to_string(y);
            }
            if (data.size() - pos < padded) {
                return "absolute run cut short";
            }
            for (std::size_t i = 0; i < value; ++i) {
                pixels[y * width + x + i] = data.u8(pos + i);
            }
            x += value;
            pos += padded;
        }
    }
}

TEST(AnimationResourceDecoder, AcceptsCompleteFramesAndRejectsBrokenOnes) {
    struct Case {
        const char* what;
        Bytes stream;
        bool ok;
    };
    // 4x2 frames.
    const std::vector<Case> cases = {
        {"runs", {4, 7, 0, 0, 2, 1, 2, 2, 0, 0, 0, 1}, true},
        {"absolute run with padding", {0, 3, 1, 2, 3, 0, 1, 9, 0, 0, 4, 5, 0, 0, 0, 1}, true},
        {"last row ended by end-of-bitmap", {4, 7, 0, 0, 4, 8, 0, 1}, true},
        {"run overruns the row", {5, 7, 0, 0, 4, 7, 0, 0, 0, 1}, false},
        {"absolute run overruns the row", {0, 5, 1, 2, 3, 4, 5, 0, 0, 0, 0, 1}, false},
        {"short row", {3, 7, 0, 0, 4, 7, 0, 0, 0, 1}, false},
        {"too many rows", {4, 7, 0, 0, 4, 7, 0, 0, 4, 7, 0, 0, 0, 1}, false},
        {"too few rows", {4, 7, 0, 0, 0, 1}, false},
        {"no end-of-bitmap", {4, 7, 0, 0, 4, 7, 0, 0}, false},
        {"absolute run cut short", {4, 7, 0, 0, 0, 4, 1, 2}, false},
        {"delta", {4, 7, 0, 0, 0, 2, 0, 0, 0, 1}, false},
        {"bytes after end-of-bitmap", {4, 7, 0, 0, 4, 7, 0, 0, 0, 1, 0, 0}, false},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> pixels;
        const std::string error = decode_rle8(View(c.stream), 4, 2, pixels);
        EXPECT_EQ(error.empty(), c.ok) << c.what << ": " << error;
    }
    std::vector<std::uint8_t> pixels;
    ASSERT_EQ(decode_rle8(View(cases[1].stream), 4, 2, pixels), "");
    EXPECT_EQ(pixels, (std::vector<std::uint8_t>{1, 2, 3, 9, 5, 5, 5, 5}));
}

// ---------------------------------------------------------------------------------------
// Animation

constexpr std::size_t kFrames = 45;
constexpr std::size_t kWidth = 48;
constexpr std::size_t kHeight = 50;

struct Chunk {
    std::string id;
    View data;
};

// The chunks that fill `v` one after another; each chunk's data is padded to an even length.
std::vector<Chunk> chunks(const View& v) {
    std::vector<Chunk> out;
    std::size_t pos = 0;
    while (pos < v.size()) {
        const std::string id = v.fourcc(pos);
        const std::size_t size = v.u32(pos + 4);
        out.push_back({id, v.sub(pos + 8, size)});
        pos += 8 + size;
        if (size % 2 != 0) {
            v.u8(pos);  // the pad byte must be there
            ++pos;
        }
    }
    return out;
}

// The data of a LIST chunk of the given type, after the type.
View list_body(const Chunk& c, const std::string& type) {
    if (c.id != "LIST" || c.data.fourcc(0) != type) {
        throw std::runtime_error("expected LIST '" + type + "', found '" + c.id + "'");
    }
    return c.data.sub(4, c.data.size() - 4);
}

const Bytes& avi_file() {
    static const Bytes data = read_file(BREVIX_AVI_PATH);
    return data;
}

// The parsed animation: chunk lists are windows on avi_file().
struct Avi {
    std::vector<Chunk> top, hdrl, strl, movi;
    View idx1;
    std::size_t movi_type_offset = 0;  // where 'movi' stands; index offsets count from there
    std::vector<std::vector<std::uint8_t>> frames;  // decoded, bottom row first
    std::vector<std::string> frame_errors;
};

const Avi& avi() {
    static const Avi parsed = [] {
        Avi a;
        const View file(avi_file());
        if (file.fourcc(0) != "RIFF" || file.fourcc(8) != "AVI ") {
            throw std::runtime_error("not a RIFF 'AVI ' file");
        }
        const View body = file.sub(12, file.u32(4) - 4);
        a.top = chunks(body);
        if (a.top.size() != 3 || a.top[2].id != "idx1") {
            throw std::runtime_error("expected LIST 'hdrl', LIST 'movi' and idx1");
        }
        a.hdrl = chunks(list_body(a.top[0], "hdrl"));
        if (a.hdrl.size() < 2) {
            throw std::runtime_error("hdrl holds no stream list");
        }
        a.strl = chunks(list_body(a.hdrl[1], "strl"));
        a.movi_type_offset = a.top[1].data.origin();
        a.movi = chunks(list_body(a.top[1], "movi"));
        a.idx1 = a.top[2].data;
        for (const Chunk& c : a.movi) {
            a.frames.emplace_back();
            a.frame_errors.push_back(decode_rle8(c.data, kWidth, kHeight, a.frames.back()));
        }
        return a;
    }();
    return parsed;
}

TEST(AnimationResource, RiffHoldsHeaderListMoviListAndIndex) {
    const Avi& a = avi();
    EXPECT_EQ(View(avi_file()).u32(4), avi_file().size() - 8) << "RIFF size covers the whole file";
    EXPECT_EQ(a.top[0].data.fourcc(0), "hdrl");
    EXPECT_EQ(a.top[1].data.fourcc(0), "movi");
    ASSERT_EQ(a.hdrl.size(), 2u) << "main header and exactly one stream list";
    EXPECT_EQ(a.hdrl[0].id, "avih");
    ASSERT_EQ(a.strl.size(), 2u);
    EXPECT_EQ(a.strl[0].id, "strh");
    EXPECT_EQ(a.strl[1].id, "strf");
}

TEST(AnimationResource, MainHeaderDescribes45FramesOf48x50At15PerSecond) {
    const Avi& a = avi();
    ASSERT_EQ(a.hdrl[0].id, "avih");
    const View h = a.hdrl[0].data;
    ASSERT_EQ(h.size(), 56u);
    EXPECT_EQ(h.u32(0), 66667u) << "microseconds per frame";
    EXPECT_EQ(h.u32(12) & 0x10u, 0x10u) << "AVIF_HASINDEX";
    EXPECT_EQ(h.u32(16), kFrames) << "total frames";
    EXPECT_EQ(h.u32(24), 1u) << "streams";
    EXPECT_EQ(h.u32(32), kWidth);
    EXPECT_EQ(h.u32(36), kHeight);
    std::size_t largest = 0;
    for (const Chunk& c : a.movi) {
        largest = std::max(largest, c.data.size());
    }
    EXPECT_GE(h.u32(28), largest) << "suggested buffer holds every frame";
}

TEST(AnimationResource, StreamIsRle8VideoWithA256ColourPalette) {
    const Avi& a = avi();
    ASSERT_EQ(a.strl.size(), 2u);
    const View h = a.strl[0].data;
    ASSERT_GE(h.size(), 56u);
    EXPECT_EQ(h.fourcc(0), "vids");
    EXPECT_EQ(h.fourcc(4), "mrle");
    const std::uint32_t scale = h.u32(20), rate = h.u32(24);
    ASSERT_GT(rate, 0u);
    EXPECT_NEAR(1e6 * scale / rate, 66667.0, 1.0) << "frame time from scale/rate";
    EXPECT_EQ(h.u32(32), kFrames) << "length";
    std::size_t largest = 0;
    for (const Chunk& c : a.movi) {
        largest = std::max(largest, c.data.size());
    }
    EXPECT_GE(h.u32(36), largest) << "suggested buffer holds every frame";
    EXPECT_EQ(h.u16(48), 0u);
    EXPECT_EQ(h.u16(50), 0u);
    EXPECT_EQ(std::size_t{h.u16(52)}, kWidth);
    EXPECT_EQ(std::size_t{h.u16(54)}, kHeight);

    const View f = a.strl[1].data;
    ASSERT_EQ(f.size(), 40u + 256u * 4u) << "BITMAPINFOHEADER and 256 palette entries";
    EXPECT_EQ(f.u32(0), 40u);
    EXPECT_EQ(f.i32(4), 48);
    EXPECT_EQ(f.i32(8), 50) << "bottom-up";
    EXPECT_EQ(f.u16(12), 1u) << "planes";
    EXPECT_EQ(f.u16(14), 8u) << "bits per pixel";
    EXPECT_EQ(f.u32(16), 1u) << "BI_RLE8";
    EXPECT_EQ(f.u32(20), kWidth * kHeight) << "size of a decoded frame";
    EXPECT_EQ(f.u32(32), 256u) << "colours used";
    for (std::size_t i = 0; i < 256; ++i) {
        EXPECT_EQ(f.u8(40 + 4 * i + 3), 0u) << "reserved byte of palette entry " << i;
    }
}

TEST(AnimationResource, IndexListsEveryFrameAsAKeyFrame) {
    const Avi& a = avi();
    ASSERT_EQ(a.movi.size(), kFrames);
    for (const Chunk& c : a.movi) {
        EXPECT_EQ(c.id, "00dc");
    }
    ASSERT_EQ(a.idx1.size(), 16 * kFrames);
    const View file(avi_file());
    for (std::size_t i = 0; i < kFrames; ++i) {
        SCOPED_TRACE("index entry " + std::to_string(i));
        const View e = a.idx1.sub(16 * i, 16);
        EXPECT_EQ(e.fourcc(0), "00dc");
        EXPECT_EQ(e.u32(4) & 0x10u, 0x10u) << "AVIIF_KEYFRAME";
        // The entry points at the i-th chunk: its header stands 8 bytes before its data.
        const std::size_t at = a.movi_type_offset + e.u32(8);
        EXPECT_EQ(at + 8, a.movi[i].data.origin());
        EXPECT_EQ(file.fourcc(at), "00dc");
        EXPECT_EQ(e.u32(12), a.movi[i].data.size());
    }
}

TEST(AnimationResource, EveryFrameDecodesToAFull48x50Picture) {
    const Avi& a = avi();
    ASSERT_EQ(a.frames.size(), kFrames);
    const View palette = a.strl.at(1).data.sub(40, 1024);
    const auto colour = [&](std::uint8_t index) {
        return Colour{palette.u8(4 * index + 2), palette.u8(4 * index + 1), palette.u8(4 * index)};
    };
    for (std::size_t i = 0; i < kFrames; ++i) {
        ASSERT_EQ(a.frame_errors[i], "") << "frame " << i;
        // Transparent drawing takes the top-left pixel as the background: it must be the
        // plain dialog-face colour in every frame, and so must the other corners.
        const auto& px = a.frames[i];
        const std::uint8_t top_left = px[(kHeight - 1) * kWidth];
        const Colour bg = colour(top_left);
        EXPECT_TRUE(bg == (Colour{192, 192, 192}) || bg == (Colour{212, 208, 200}))
            << "frame " << i;
        EXPECT_EQ(px[(kHeight - 1) * kWidth + kWidth - 1], top_left) << "frame " << i;
        EXPECT_EQ(px[0], top_left) << "frame " << i;
        EXPECT_EQ(px[kWidth - 1], top_left) << "frame " << i;
        const auto background =
            static_cast<std::size_t>(std::count(px.begin(), px.end(), top_left));
        EXPECT_GT(background, px.size() / 3) << "frame " << i;
        EXPECT_LT(background, px.size() * 9 / 10) << "frame " << i << " is nearly empty";
    }
}

TEST(AnimationResource, MovesInEveryFrameAndLoopsWithoutAJump) {
    const Avi& a = avi();
    ASSERT_EQ(a.frames.size(), kFrames);
    const auto changed = [&](std::size_t from, std::size_t to) {
        std::size_t n = 0;
        for (std::size_t p = 0; p < kWidth * kHeight; ++p) {
            n += a.frames[from][p] != a.frames[to][p];
        }
        return n;
    };
    std::size_t largest_step = 0;
    for (std::size_t i = 0; i + 1 < kFrames; ++i) {
        const std::size_t step = changed(i, i + 1);
        EXPECT_GT(step, 0u) << "frame " << i + 1 << " repeats frame " << i;
        largest_step = std::max(largest_step, step);
    }
    const std::size_t wrap = changed(kFrames - 1, 0);
    EXPECT_GT(wrap, 0u) << "the last frame repeats the first";
    EXPECT_LE(wrap, largest_step + largest_step / 2) << "the loop jumps from the last frame";
}

}  // namespace
