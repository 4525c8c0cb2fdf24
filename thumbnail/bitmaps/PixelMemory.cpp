#include "bitmaps/PixelMemory.h"

#include <sys/mman.h>

namespace skimlet {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Below this the allocator's own heap usually serves the block from memory
// that is already mapped.
constexpr std::size_t kHugePageThreshold = std::size_t{4} << 20;

} // namespace

PixelBlock AllocatePixelBlock(std::size_t size) {
    if (size < kHugePageThreshold)
        return PixelBlock(static_cast<std::uint8_t*>(std::malloc(size == 0 ? 1 : size)));
    const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    PixelBlock block(static_cast<std::uint8_t*>(std::aligned_alloc(kHugePage, rounded)));
    // Only advice: without transparent huge pages the block works as it is.
    if (block)
        ::madvise(block.get(), rounded, MADV_HUGEPAGE);
    return block;
}

} // namespace skimlet
