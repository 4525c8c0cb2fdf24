#pragma once

#include "filters/ImageFilter.h"

#include <cstdint>

namespace skimlet {

// Turns the picture by an angle in radians, counter-clockwise as seen on screen
// (line 0 at the top). The result is 32 bits per pixel (other depths are expanded
// first) and just large enough to hold the turned picture: each side is the
// turned extent rounded up. Each destination pixel takes, by nearest neighbour,
// the source pixel under its centre when the destination is turned back about
// the centres of both pictures; pixels that fall outside the source get
// `background`, a 32-bit colour (0xAARRGGBB). A non-finite angle throws
// CTextException 6.
class CRotateFilter : public CImageFilter {
public:
    CRotateFilter(double radians, std::uint32_t background)
        : radians_(radians), background_(background) {}

    void Run(const CRasterBitmap& source, CRasterBitmap& destination) override;

private:
    double radians_;
    std::uint32_t background_;
};

// Keeps columns left to right - 1 and lines top to bottom - 1, at the source's
// depth and with its palette and alpha flag. The rectangle is clipped to the
// picture; when nothing of it remains, CTextException 6 is thrown.
class CCropFilter : public CImageFilter {
public:
    CCropFilter(int left, int right, int top, int bottom)
        : left_(left), right_(right), top_(top), bottom_(bottom) {}

    void Run(const CRasterBitmap& source, CRasterBitmap& destination) override;

private:
    int left_;
    int right_;
    int top_;
    int bottom_;
};

} // namespace skimlet
