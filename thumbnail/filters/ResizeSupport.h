#pragma once

#include "bitmaps/Orientation.h"
#include "filters/ContributionTable.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

// Memory and passes shared by the resize filters over whole pictures and over
// streamed rows. Every allocation failure is CTextException 10.

namespace skimlet {

class CRasterBitmap;

[[noreturn]] void ThrowResizeOutOfMemory();

template <typename T>
std::vector<T> AllocateVector(std::size_t size) {
    try {
        return std::vector<T>(size);
    } catch (const std::bad_alloc&) {
        ThrowResizeOutOfMemory();
    }
}

// Cleared, so that a sample the passes failed to write would show as black
// rather than as whatever the memory held before.
std::unique_ptr<std::uint8_t[]> AllocateClearedBytes(std::int64_t bytes);

// `count` lines of 4-byte pixels, with room for the vector loops to read a
// little past a line's end.
std::unique_ptr<std::uint8_t[]> AllocateLines(int width, int count);

// Working memory for the vector loops, aligned to 64 bytes.
class AlignedDoubles {
public:
    explicit AlignedDoubles(std::size_t count)
        : block_(AllocateVector<double>(count + 8)),
          data_(block_.data() + (64 - reinterpret_cast<std::uintptr_t>(block_.data()) % 64) % 64 /
                                    sizeof(double)) {}
    double* Data() { return data_; }

private:
    std::vector<double> block_;
    double* data_;
};

// Counting sort of `keys` (each -1, meaning none, or 0 .. buckets - 1): the
// indices of bucket k are order[first[k] .. first[k + 1]).
struct Buckets {
    Buckets(const std::vector<int>& keys, int buckets);
    std::vector<int> first;
    std::vector<int> order;
};

// Unknown orientation values count as Normal.
Orientation Sanitised(Orientation o);

// The pass across lines: line y of `destination` (newWidth x newHeight, 32
// bits) from the shownHeight lines of rowBytes bytes at `intermediate`.
void VerticalPass(const std::uint8_t* intermediate, std::size_t rowBytes, int shownHeight,
                  int newWidth, int newHeight, const ResizeKernel& kernel,
                  CRasterBitmap& destination);

} // namespace skimlet
