#pragma once

namespace skimlet {

class CRasterBitmap;
class CPlainBitmap;

// The source in a form a filter can read while it reallocates the destination:
// the source itself when it already has 32 bits per pixel and is not the
// destination, else a 32-bit copy made in `scratch`.
const CRasterBitmap& ReadableAs32Bits(const CRasterBitmap& source, const CRasterBitmap& destination,
                                      CPlainBitmap& scratch);

// As above, keeping the source's depth: a copy only when source and destination
// are the same bitmap.
const CRasterBitmap& ReadableApartFrom(const CRasterBitmap& source,
                                       const CRasterBitmap& destination, CPlainBitmap& scratch);

} // namespace skimlet
