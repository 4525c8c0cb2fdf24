#pragma once

#include "filters/ImageFilter.h"

#include <array>
#include <cstdint>

namespace skimlet {

// Turns a 32-bit bitmap into an 8-bit palette bitmap: chooses 256 colours by one
// of three methods and maps every pixel to its nearest colour, optionally dithered.
class CColorQuantizer : public CImageFilter {
public:
    enum QuantizeMode { MedianCut = 0, Popularity = 1, FixedPalette = 2 };
    enum DitherMode { NoDither = 0, OrderedDither = 1, FloydSteinbergDither = 2 };

    // Three bytes per entry, in palette byte order: blue, green, red.
    using FixedPaletteTable = std::array<std::array<std::uint8_t, 3>, 256>;

    CColorQuantizer(int paletteMethod, int ditherMethod);

    // The destination becomes an 8-bit bitmap of the source's size. Sources of 1
    // or 8 bits per pixel are expanded to 32 first. Unknown methods throw
    // CTextException 6; running out of working memory throws CTextException 10.
    void Run(const CRasterBitmap& source, CRasterBitmap& destination) override;

    int PaletteMethod() const { return paletteMethod_; }
    int DitherMethod() const { return ditherMethod_; }

    static const FixedPaletteTable& FixedPaletteEntries();

private:
    int paletteMethod_;
    int ditherMethod_;
};

} // namespace skimlet
