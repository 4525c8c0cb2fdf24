#pragma once

#include <cstdint>

namespace skimlet {

class CRasterBitmap;

// Shortcuts that run one filter in place on a bitmap. They live with the
// filters so that the bitmap model needs to know none of them.

// Each resize leaves the bitmap at 32 bits per pixel and the new size.
void ResizeTent(CRasterBitmap& bitmap, int newWidth, int newHeight);
void ResizeBox(CRasterBitmap& bitmap, int newWidth, int newHeight, double radius);
void ResizeGaussian(CRasterBitmap& bitmap, int newWidth, int newHeight, double radius);
void ResizeHamming(CRasterBitmap& bitmap, int newWidth, int newHeight, double radius);

void Quantize(CRasterBitmap& bitmap, int paletteMethod, int ditherMethod); // to 8 bits per pixel
void ToGreyscale(CRasterBitmap& bitmap);
void Rotate(CRasterBitmap& bitmap, double radians, std::uint32_t background);
void ExtractAlpha(CRasterBitmap& bitmap);
void Crop(CRasterBitmap& bitmap, int left, int right, int top, int bottom);
void Threshold(CRasterBitmap& bitmap, int minimum, int maximum, int channel);
void InvertLightness(CRasterBitmap& bitmap);

// CRasterBitmap::CopyFrom, plus the one conversion it cannot do alone: 32 to 8
// bits per pixel, through the colour quantizer with the destination's
// quantization settings. The source may be the destination itself.
void CopyConverted(CRasterBitmap& destination, const CRasterBitmap& source, int bitsPerPixel);

} // namespace skimlet
