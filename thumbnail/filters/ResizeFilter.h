#pragma once

#include "bitmaps/Orientation.h"
#include "filters/ImageFilter.h"
#include "filters/StreamedResize.h"

#include <cstdint>

namespace skimlet {

// Resizing filters: a separable two-pass resampler, lines first, then columns,
// each output sample a normalised weighted sum of input samples under the
// filter's kernel. The source must be at least 1 x 1 (1- and 8-bit sources are
// widened to 32 bits first); the destination is reallocated at the new size,
// 32 bits per pixel. All four bytes of a pixel, alpha included, are resampled
// alike. Bad arguments throw CTextException 6, exhausted memory 10.
class CResizeFilter : public CImageFilter {
public:
    int NewWidth() const { return newWidth_; }
    int NewHeight() const { return newHeight_; }
    double Radius() const { return radius_; }

    void Run(const CRasterBitmap& source, CRasterBitmap& destination) override;
    // As Run, for the source as a viewer shows it under `orientation`: the same
    // result as turning the source first, without a turned copy of it in memory.
    // The new width and height are those of the picture as shown.
    void RunOriented(const CRasterBitmap& source, Orientation orientation,
                     CRasterBitmap& destination);
    // As RunOriented, for a width x height picture without alpha whose rows
    // `source` supplies: the same result, while only a band of rows at a time
    // and the lines at the new width are ever in memory.
    void RunStreamed(CRowSource& source, int width, int height, Orientation orientation,
                     CRasterBitmap& destination);

protected:
    CResizeFilter(int newWidth, int newHeight, double radius = 1.0)
        : newWidth_(newWidth), newHeight_(newHeight), radius_(radius) {}

    virtual ResizeKernel Kernel() const = 0;

    int newWidth_;
    int newHeight_;
    double radius_;

private:
    void CheckArguments(const CRasterBitmap& source) const;
    void CheckSize(int width, int height) const;
    void Resample(const CRasterBitmap& source, Orientation orientation,
                  CRasterBitmap& destination) const;
};

// Resampling under a tent kernel of radius 1: K(x) = 1 - |x| for |x| < 1.
class CTentResizeFilter : public CResizeFilter {
public:
    CTentResizeFilter(int newWidth, int newHeight);

protected:
    ResizeKernel Kernel() const override;
};

// K(x) = 1 for |x| <= radius.
class CBoxResizeFilter : public CResizeFilter {
public:
    CBoxResizeFilter(int newWidth, int newHeight, double radius);

protected:
    ResizeKernel Kernel() const override;
};

// K(x) = exp(-x^2 / radius - 1) / sqrt(2 pi) for |x| <= radius.
class CGaussianResizeFilter : public CResizeFilter {
public:
    CGaussianResizeFilter(int newWidth, int newHeight, double radius);

protected:
    ResizeKernel Kernel() const override;
};

// K(x) = (0.54 + 0.46 cos(2 pi x)) sin(pi x) / (pi x) for |x| <= radius. Its
// negative lobes can push a sum outside 0..255; results are held to that range.
class CHammingResizeFilter : public CResizeFilter {
public:
    CHammingResizeFilter(int newWidth, int newHeight, double radius);

protected:
    ResizeKernel Kernel() const override;
};

} // namespace skimlet
