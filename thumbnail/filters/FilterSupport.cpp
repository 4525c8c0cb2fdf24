#include "filters/FilterSupport.h"

#include "bitmaps/PlainBitmap.h"

namespace skimlet {

const CRasterBitmap& ReadableAs32Bits(const CRasterBitmap& source, const CRasterBitmap& destination,
                                      CPlainBitmap& scratch) {
    if (source.BitsPerPixel() == 32 && &source != &destination)
        return source;
    scratch.CopyFrom(source, 32);
    return scratch;
}

const CRasterBitmap& ReadableApartFrom(const CRasterBitmap& source,
                                       const CRasterBitmap& destination, CPlainBitmap& scratch) {
    if (&source != &destination)
        return source;
    scratch.CopyFrom(source, 0);
    return scratch;
}

} // namespace skimlet
