#pragma once

#include "codecs/JpegError.h"
#include "codecs/PictureDecoder.h"

#include <cstdint>
#include <string>

namespace skimlet {

struct JpegInput;
struct JpegProgress;

// Reads JPEG pictures through libjpeg, taking the data from the source piece
// by piece. Colour pictures become 32-bit bitmaps; grey ones 8-bit (grey ramp
// palette) unless 32 bits are requested; CMYK and YCCK ones are converted to
// RGB. The decompression object lives as long as the reader and is returned to
// its start state after every failure.
//
// Hostile files are bounded: libjpeg's working memory (kJpegWorkingMemoryLimit),
// the number of scans and the passes they make over the picture, and the
// pixels of the full-size bitmap (kMaxPixels).
class CJpegReader : public CPictureDecoder {
public:
    // 2^28 pixels, a 1 GiB bitmap at 32 bits: above any camera's photo.
    static constexpr std::int64_t kMaxPixels = std::int64_t{1} << 28;
    // A progressive file's scans; real ones have about ten.
    static constexpr int kMaxScans = 1000;
    // All scans together may pass over the picture's coefficients this many
    // times; a real progressive file makes fewer than ten passes.
    static constexpr std::int64_t kMaxScanPasses = 100;

    CJpegReader();
    ~CJpegReader() override;

    CJpegReader(const CJpegReader&) = delete;
    CJpegReader& operator=(const CJpegReader&) = delete;

protected:
    void ReadImage(CRasterBitmap& bitmap, PaletteHolder& paletteHolder, int& requestedBpp,
                   CByteSource& source) override;

private:
    void CreateDecompressor();
    void AttachJpegSource(CByteSource& source);
    // After the header: settings, bitmap, scanlines, finish.
    void Decompress(CRasterBitmap& bitmap, int& requestedBpp);
    void ReadScanline(std::uint8_t* row);

    CJpegErrorManager errors_;
    jpeg_decompress_struct decompressor_{};
    // In libjpeg's permanent pool, freed with the decompressor.
    JpegInput* input_ = nullptr;
    JpegProgress* progress_ = nullptr;
};

} // namespace skimlet
