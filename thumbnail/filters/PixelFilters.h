#pragma once

#include "filters/ImageFilter.h"

// Filters that compute each output pixel from the same pixel of the source.
// They read 32-bit pixels; sources of 1 or 8 bits per pixel are expanded
// through their palette first.

namespace skimlet {

// 8 bits per pixel with a grey-ramp palette: grey = 0.212671 red + 0.71516 green
// + 0.072169 blue, truncated.
class CGreyscaleFilter : public CImageFilter {
public:
    void Run(const CRasterBitmap& source, CRasterBitmap& destination) override;
};

// 8 bits per pixel with a grey-ramp palette, holding the alpha byte of each pixel.
class CAlphaExtractFilter : public CImageFilter {
public:
    void Run(const CRasterBitmap& source, CRasterBitmap& destination) override;
};

// 8 bits per pixel with a grey-ramp palette: byte `channel` of each pixel (0 blue,
// 1 green, 2 red, 3 alpha) where minimum < value < maximum, else 0. A channel
// outside 0..3 throws CTextException 6.
class CThresholdFilter : public CImageFilter {
public:
    CThresholdFilter(int minimum, int maximum, int channel)
        : minimum_(minimum), maximum_(maximum), channel_(channel) {}

    void Run(const CRasterBitmap& source, CRasterBitmap& destination) override;

private:
    int minimum_;
    int maximum_;
    int channel_;
};

// 32 bits per pixel: each pixel's value (in the hue, saturation, value sense)
// becomes 255 - value, hue and saturation kept. Alpha is carried along.
class CLightnessInvertFilter : public CImageFilter {
public:
    void Run(const CRasterBitmap& source, CRasterBitmap& destination) override;
};

} // namespace skimlet
