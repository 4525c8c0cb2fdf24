#include "filters/BitmapFilters.h"

#include "bitmaps/RasterBitmap.h"
#include "filters/ColorQuantizer.h"
#include "filters/GeometryFilters.h"
#include "filters/PixelFilters.h"
#include "filters/ResizeFilter.h"

namespace skimlet {

void ResizeTent(CRasterBitmap& bitmap, int newWidth, int newHeight) {
    CTentResizeFilter(newWidth, newHeight).RunInPlace(bitmap);
}

void ResizeBox(CRasterBitmap& bitmap, int newWidth, int newHeight, double radius) {
    CBoxResizeFilter(newWidth, newHeight, radius).RunInPlace(bitmap);
}

void ResizeGaussian(CRasterBitmap& bitmap, int newWidth, int newHeight, double radius) {
    CGaussianResizeFilter(newWidth, newHeight, radius).RunInPlace(bitmap);
}

void ResizeHamming(CRasterBitmap& bitmap, int newWidth, int newHeight, double radius) {
    CHammingResizeFilter(newWidth, newHeight, radius).RunInPlace(bitmap);
}

void Quantize(CRasterBitmap& bitmap, int paletteMethod, int ditherMethod) {
    CColorQuantizer(paletteMethod, ditherMethod).RunInPlace(bitmap);
}

void ToGreyscale(CRasterBitmap& bitmap) {
    CGreyscaleFilter().RunInPlace(bitmap);
}

void Rotate(CRasterBitmap& bitmap, double radians, std::uint32_t background) {
    CRotateFilter(radians, background).RunInPlace(bitmap);
}

void ExtractAlpha(CRasterBitmap& bitmap) {
    CAlphaExtractFilter().RunInPlace(bitmap);
}

void Crop(CRasterBitmap& bitmap, int left, int right, int top, int bottom) {
    CCropFilter(left, right, top, bottom).RunInPlace(bitmap);
}

void Threshold(CRasterBitmap& bitmap, int minimum, int maximum, int channel) {
    CThresholdFilter(minimum, maximum, channel).RunInPlace(bitmap);
}

void InvertLightness(CRasterBitmap& bitmap) {
    CLightnessInvertFilter().RunInPlace(bitmap);
}

void CopyConverted(CRasterBitmap& destination, const CRasterBitmap& source, int bitsPerPixel) {
    if (bitsPerPixel != 8 || source.BitsPerPixel() != 32) {
        destination.CopyFrom(source, bitsPerPixel);
        return;
    }
    CColorQuantizer quantizer(destination.QuantizeMethod(), destination.QuantizeDither());
    if (&source == &destination)
        quantizer.RunInPlace(destination);
    else
        quantizer.Run(source, destination);
}

} // namespace skimlet
