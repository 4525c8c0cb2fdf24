#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace skimlet {

struct PixelBlockDeleter {
    void operator()(std::uint8_t* block) const { std::free(block); }
};
using PixelBlock = std::unique_ptr<std::uint8_t[], PixelBlockDeleter>;

// Storage for pixels; null when the memory is not there. A decoded photo is
// written once from end to end right after allocation, and with 4 KiB pages
// the first touch of each page costs more than libjpeg's colour conversion:
// large blocks therefore ask the kernel for huge pages.
PixelBlock AllocatePixelBlock(std::size_t size);

} // namespace skimlet
