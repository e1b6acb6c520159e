#include "wav/wav_tags.h"

#include <cstring>

#include "common/little_endian.h"

namespace brevix::aac {
namespace {

// Code points of bytes 0x80-0x9F in code page 1252; the five it leaves undefined stay
// the C1 controls of the same value, as Windows maps them.
constexpr std::uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Whether `text` is well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool is_utf8(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned c = p[i];
        int more = 0;
        unsigned low = 0x80;
        unsigned high = 0xBF;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            low = c == 0xE0 ? 0xA0 : 0x80;
            high = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            low = c == 0xF0 ? 0x90 : 0x80;
            high = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (i + static_cast<std::size_t>(more) >= n) {
            return false;
        }
        if (p[i + 1] < low || p[i + 1] > high) {
            return false;
        }
        for (int k = 2; k <= more; ++k) {
            if (p[i + static_cast<std::size_t>(k)] < 0x80 ||
                p[i + static_cast<std::size_t>(k)] > 0xBF) {
                return false;
            }
        }
        i += static_cast<std::size_t>(more) + 1;
    }
    return true;
}

void append_utf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

int number_at(const std::string& text, std::size_t at) {
    int value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && value < 100000; ++at) {
        value = value * 10 + (text[at] - '0');
    }
    return value;
}

void set_if_empty(std::string& field, const std::string& value) {
    if (field.empty()) {
        field = value;
    }
}

}  // namespace

std::string tag_text(const std::uint8_t* data, std::size_t size) {
    const void* zero = std::memchr(data, 0, size);
    std::size_t end = zero != nullptr
                          ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - data)
                          : size;
    std::size_t begin = 0;
    while (begin < end && (data[begin] == ' ' || data[begin] == '\t' || data[begin] == '\r' ||
                           data[begin] == '\n')) {
        ++begin;
    }
    while (end > begin && (data[end - 1] == ' ' || data[end - 1] == '\t' || data[end - 1] == '\r' ||
                           data[end - 1] == '\n')) {
        --end;
    }
    std::string text(reinterpret_cast<const char*>(data) + begin, end - begin);
    if (is_utf8(text)) {
        return text;
    }
    std::string converted;
    for (const char ch : text) {
        const unsigned byte = static_cast<unsigned char>(ch);
        append_utf8(converted, byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : byte);
    }
    return converted;
}

bool read_info_list(const std::uint8_t* data, std::size_t size, Tags& tags) {
    std::size_t at = 0;
    while (at + 8 <= size) {
        const std::uint8_t* item = data + at;
        for (int i = 0; i < 4; ++i) {
            if (item[i] < 0x20 || item[i] > 0x7E) {
                return false;
            }
        }
        const std::size_t length = read_le32(item + 4);
        if (length > size - at - 8) {
            return false;
        }
        const std::string id(reinterpret_cast<const char*>(item), 4);
        const std::string text = tag_text(item + 8, length);
        if (id == "INAM") {
            set_if_empty(tags.title, text);
        } else if (id == "IART") {
            set_if_empty(tags.artist, text);
        } else if (id == "IPRD") {
            set_if_empty(tags.album, text);
        } else if (id == "ICRD") {
            set_if_empty(tags.date, text);
        } else if (id == "IGNR") {
            set_if_empty(tags.genre, text);
        } else if (id == "ICMT") {
            set_if_empty(tags.comment, text);
        } else if ((id == "ITRK" || id == "IPRT") && tags.track == 0) {
            // "3" or "3/12"
            tags.track = number_at(text, 0);
            const std::size_t slash = text.find('/');
            if (tags.track > 0 && slash != std::string::npos) {
                tags.tracks = number_at(text, slash + 1);
            }
        }
        // Items are padded to an even length; some writers leave the pad byte out.
        at += 8 + length;
        if ((length & 1u) != 0 && at < size && data[at] == 0) {
            ++at;
        }
    }
    return true;
}

}  // namespace brevix::aac
