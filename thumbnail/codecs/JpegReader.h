#pragma once

#include "codecs/JpegError.h"
#include "codecs/PictureDecoder.h"

#include <cstdint>

namespace skimlet {

// Reads JPEG pictures through libjpeg straight out of the source's memory.
// Colour pictures become 32-bit bitmaps; grey ones 8-bit (grey ramp palette)
// unless 32 bits are requested. The decompression object lives as long as the
// reader and is returned to its start state after every failure.
class CJpegReader : public CPictureDecoder {
public:
    CJpegReader();
    ~CJpegReader() override;

    CJpegReader(const CJpegReader&) = delete;
    CJpegReader& operator=(const CJpegReader&) = delete;

protected:
    void ReadImage(CRasterBitmap& bitmap, PaletteHolder& paletteHolder, int& requestedBpp,
                   CByteSource& source) override;

private:
    void AttachJpegSource(const std::uint8_t* data, std::int64_t size, CByteSource& source);
    // After the header: settings, bitmap, scanlines, finish.
    void Decompress(CRasterBitmap& bitmap, int& requestedBpp);

    jpeg_decompress_struct decompressor_{};
    jpeg_error_mgr errorManager_{};
    jpeg_source_mgr sourceManager_{};
    jpeg_progress_mgr progressManager_{};
};

} // namespace skimlet
