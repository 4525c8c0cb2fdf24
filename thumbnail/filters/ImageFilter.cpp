#include "filters/ImageFilter.h"

#include "bitmaps/PlainBitmap.h"

namespace skimlet {

void CImageFilter::RunInPlace(CRasterBitmap& bitmap) {
    CPlainBitmap result;
    Run(bitmap, result);
    bitmap.CopyFrom(result, 0);
}

void CImageFilter::Run(const CRasterBitmap& source, CRasterBitmap& destination) {
    if (&source != &destination)
        destination.CopyFrom(source, 0);
    RunInPlace(destination);
}

} // namespace skimlet
