#pragma once

// Helpers shared by the fuzz targets.

#include "io/ByteSink.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace skimlet::fuzz {

// Stops the run so that libFuzzer keeps the input: for results that no
// exception explains.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// Hands out the input's bytes in order, zeros once they are used up.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }
    std::uint16_t Little16() {
        const std::uint16_t low = Byte();
        return static_cast<std::uint16_t>(low | Byte() << 8);
    }
    const std::uint8_t* Rest() const { return data_ + position_; }
    std::size_t RestSize() const { return size_ - position_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// A sink that keeps the encoding in memory, at most `capacity` bytes.
class MemorySink : public CByteSink {
public:
    explicit MemorySink(std::int64_t capacity) : buffer_(static_cast<std::size_t>(capacity)) {
        Open("memory", buffer_.data(), capacity);
    }

private:
    std::vector<std::uint8_t> buffer_;
};

// Pictures of more pixels than this are legal but slow to decode under the
// sanitizers; the targets skip them to keep every run within its time limit.
inline constexpr std::uint64_t kMaxFuzzPixels = std::uint64_t{1} << 18;

// True when the data announces a picture (JPEG frame or Windows bitmap header)
// that the library would allocate and fill although it is larger than
// kMaxFuzzPixels. Pictures too large for the library at all are refused
// before any allocation and still go through, since refusing them is cheap.
inline bool AnnouncesCostlyPicture(const std::uint8_t* data, std::size_t size) {
    const auto costly = [](std::uint64_t width, std::uint64_t height) {
        const std::uint64_t pixels = width * height;
        return pixels > kMaxFuzzPixels && pixels <= (std::uint64_t{1} << 32);
    };
    const auto big16 = [&](std::size_t at) -> std::uint64_t {
        return std::uint64_t{data[at]} << 8 | data[at + 1];
    };
    const auto little32 = [&](std::size_t at) -> std::uint64_t {
        return std::uint64_t{data[at]} | std::uint64_t{data[at + 1]} << 8 |
               std::uint64_t{data[at + 2]} << 16 | std::uint64_t{data[at + 3]} << 24;
    };
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8) {
        // Every start-of-frame marker anywhere counts: entropy-coded data
        // cannot hold one, so at worst an odd input is skipped needlessly.
        for (std::size_t i = 2; i + 9 <= size; ++i) {
            const std::uint8_t m = data[i + 1];
            const bool frame =
                data[i] == 0xFF && m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
            if (frame && costly(big16(i + 7), big16(i + 5)))
                return true;
        }
        return false;
    }
    if (size >= 26 && data[0] == 'B' && data[1] == 'M') {
        if (little32(14) == 12)
            return costly(data[18] | data[19] << 8, data[20] | data[21] << 8);
        const auto height = static_cast<std::int32_t>(little32(22));
        const std::uint64_t rows = height < 0 ? 0 - static_cast<std::uint64_t>(height)
                                              : static_cast<std::uint64_t>(height);
        return costly(little32(18), rows);
    }
    return false;
}

} // namespace skimlet::fuzz
