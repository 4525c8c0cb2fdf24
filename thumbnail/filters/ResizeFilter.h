#pragma once

#include "bitmaps/Orientation.h"
#include "filters/ImageFilter.h"

// Resizing filters: a separable two-pass resampler, lines first, then columns.
class CResizeFilter : public CImageFilter {
public:
    int NewWidth() const { return newWidth_; }
    int NewHeight() const { return newHeight_; }

protected:
    CResizeFilter(int newWidth, int newHeight) : newWidth_(newWidth), newHeight_(newHeight) {}

    int newWidth_;
    int newHeight_;
};

// Resampling under a tent kernel of radius 1. The source must be 32 bits per
// pixel and at least 1 x 1; the destination is reallocated at the new size.
class CTentResizeFilter : public CResizeFilter {
public:
    CTentResizeFilter(int newWidth, int newHeight);

    void Run(const CRasterBitmap& source, CRasterBitmap& destination) override;
    // As Run, for the source as a viewer shows it under `orientation`: the same
    // result as turning the source first, without a turned copy of it in memory.
    void RunOriented(const CRasterBitmap& source, Orientation orientation,
                     CRasterBitmap& destination);
};
