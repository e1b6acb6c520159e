// Building blocks of the MP4 writer: boxes assembled in memory with their sizes filled in
// on closing, and a buffered writer for the long per-frame tables. All values big-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "container/container.h"

namespace brevix::aac {

class BoxBuffer {
public:
    void u8(std::uint32_t v) { bytes_.push_back(static_cast<std::uint8_t>(v)); }
    void u16(std::uint32_t v) {
        u8(v >> 8);
        u8(v);
    }
    void u24(std::uint32_t v) {
        u8(v >> 16);
        u16(v);
    }
    void u32(std::uint32_t v) {
        u16(v >> 16);
        u16(v);
    }
    void u64(std::uint64_t v) {
        u32(static_cast<std::uint32_t>(v >> 32));
        u32(static_cast<std::uint32_t>(v));
    }
    // 32 bits, or 64 in the version 1 boxes that long files need.
    void time(std::uint64_t v, bool wide) {
        if (wide) {
            u64(v);
        } else {
            u32(static_cast<std::uint32_t>(v));
        }
    }
    void zeros(int count) { bytes_.insert(bytes_.end(), static_cast<std::size_t>(count), 0); }
    void fourcc(const char* type) { bytes_.insert(bytes_.end(), type, type + 4); }
    // The bytes of `text`, without a terminating zero.
    void text(const std::string& text) { bytes_.insert(bytes_.end(), text.begin(), text.end()); }

    void open(const char* type) {
        open_.push_back(bytes_.size());
        u32(0);
        fourcc(type);
    }
    void open_full(const char* type, int version, std::uint32_t flags) {
        open(type);
        u8(static_cast<std::uint32_t>(version));
        u24(flags);
    }
    // Closes the innermost box; `trailing` more bytes of it are written later, directly.
    void close(std::uint64_t trailing = 0) {
        const std::size_t start = open_.back();
        open_.pop_back();
        const std::uint64_t size = bytes_.size() - start + trailing;
        if (size > std::numeric_limits<std::uint32_t>::max()) {
            throw std::length_error("index too large for an MP4 file");
        }
        for (int i = 0; i < 4; ++i) {
            bytes_[start + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(size >> (24 - 8 * i));
        }
    }

    // Descriptors inside 'esds': a tag and a length. Ours are all shorter than 128 bytes,
    // so the length takes one byte.
    void open_descriptor(int tag) {
        u8(static_cast<std::uint32_t>(tag));
        open_.push_back(bytes_.size());
        u8(0);
    }
    void close_descriptor() {
        const std::size_t at = open_.back();
        open_.pop_back();
        const std::size_t length = bytes_.size() - at - 1;
        if (length > 127) {
            throw std::logic_error("descriptor too long for a one-byte length");
        }
        bytes_[at] = static_cast<std::uint8_t>(length);
    }

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::vector<std::size_t> open_;  // starts of the boxes and descriptors not yet closed
};

// Writes a table of 32- or 64-bit values from `at` on through a small buffer; flush()
// after the last.
class TableWriter {
public:
    TableWriter(ByteSink& out, std::uint64_t at) : out_(out), at_(at) {}
    void put(std::uint64_t v, int bytes) {
        for (int i = bytes - 1; i >= 0; --i) {
            buffer_[used_++] = static_cast<std::uint8_t>(v >> (8 * i));
        }
        if (used_ > sizeof buffer_ - 8) {
            flush();
        }
    }
    void flush() {
        out_.write_at(at_, buffer_, used_);
        at_ += used_;
        used_ = 0;
    }

private:
    ByteSink& out_;
    std::uint64_t at_;
    std::uint8_t buffer_[4096] = {};
    std::size_t used_ = 0;
};

}  // namespace brevix::aac
