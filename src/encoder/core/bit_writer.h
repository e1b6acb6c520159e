// MSB-first bit writer into a caller-owned byte buffer of fixed capacity.
// Writing past the capacity never touches memory: the writer stops storing bytes and
// remembers the overflow, which the caller checks once per frame.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brevix::aac {

class BitWriter {
public:
    BitWriter(std::uint8_t* buffer, std::size_t capacity_bytes)
        : buffer_(buffer), capacity_(capacity_bytes) {}

    // Appends the low `bits` bits of `value` (0 <= bits <= 32), most significant first.
    void put(std::uint32_t value, int bits) {
        if (bits <= 0) {
            return;
        }
        const std::uint64_t mask = (bits == 32) ? 0xFFFFFFFFull : ((1ull << bits) - 1);
        accumulator_ = (accumulator_ << bits) | (value & mask);
        pending_ += bits;
        bit_count_ += static_cast<std::size_t>(bits);
        while (pending_ >= 8) {
            pending_ -= 8;
            emit(static_cast<std::uint8_t>(accumulator_ >> pending_));
        }
    }

    // Pads with zero bits up to the next byte boundary.
    void align() {
        if (pending_ > 0) {
            put(0, 8 - pending_);
        }
    }

    std::size_t bit_count() const { return bit_count_; }
    // Complete bytes written so far (call align() first to include a partial byte).
    std::size_t byte_count() const { return bytes_; }
    bool overflowed() const { return overflow_; }
    const std::uint8_t* data() const { return buffer_; }

private:
    void emit(std::uint8_t byte) {
        if (bytes_ < capacity_) {
            buffer_[bytes_++] = byte;
        } else {
            overflow_ = true;
        }
    }

    std::uint8_t* buffer_;
    std::size_t capacity_;
    std::size_t bytes_ = 0;
    std::size_t bit_count_ = 0;
    std::uint64_t accumulator_ = 0;
    int pending_ = 0;
    bool overflow_ = false;
};

}  // namespace brevix::aac
