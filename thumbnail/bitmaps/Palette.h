#pragma once

#include <array>
#include <cstdint>
#include <memory>

namespace skimlet {

// One colour-table entry, laid out as in a Windows DIB: blue, green, red, alpha.
struct PaletteEntry {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    std::uint8_t alpha = 0;

    friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};
static_assert(sizeof(PaletteEntry) == 4);

// The largest colour table a reader hands over: 256 entries.
using PaletteBlock = std::array<PaletteEntry, 256>;
using PaletteHolder = std::unique_ptr<PaletteBlock>;

} // namespace skimlet
