#pragma once

#include "codecs/PictureDecoder.h"

#include <cstdint>

namespace skimlet {

// Reads Windows bitmap files: uncompressed 1, 4, 8, 16, 24 and 32 bits per
// pixel, 16 and 32-bit bit-field ones and RLE4/RLE8 compressed ones, stored
// bottom-up or top-down; other compressions are refused.
// Palette pictures become 8-bit bitmaps with the file's colours (or 32-bit
// on request); true-colour pictures always become 32-bit bitmaps.
class CBmpReader : public CPictureDecoder {
public:
    CBmpReader() = default;
    ~CBmpReader() override = default;

    // Compressed pictures can be far larger than their files; beyond this many
    // pixels they are refused rather than cost gigabytes for a few bytes of input.
    static constexpr std::int64_t kMaxRlePixels = std::int64_t{1} << 26;

protected:
    void ReadImage(CRasterBitmap& bitmap, PaletteHolder& paletteHolder, int& requestedBpp,
                   CByteSource& source) override;
};

} // namespace skimlet
