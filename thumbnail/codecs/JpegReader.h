#pragma once

#include "codecs/JpegError.h"
#include "codecs/PictureDecoder.h"

#include <cstdint>
#include <vector>

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

    // Fast decoding (the default) uses plain chroma upsampling instead of
    // libjpeg's smoother one.
    void SetFastDecoding(bool fast) { fastDecoding_ = fast; }

protected:
    void ReadImage(CRasterBitmap& bitmap, PaletteHolder& paletteHolder, int& requestedBpp,
                   CByteSource& source) override;

    // The row-by-row reader shares the decompressor, its source and its error exit.
    void AttachJpegSource(const std::uint8_t* data, std::int64_t size, CByteSource& source);
    // After the header: the output settings; returns the bits per pixel of the
    // rows ReadRows delivers (32, or 8 for grey pictures when allowed).
    int PrepareOutput(int& requestedBpp);
    // After jpeg_start_decompress: the next `count` rows into `lines`.
    void ReadRows(std::uint8_t* const* lines, int count);

    jpeg_decompress_struct decompressor_{};
    jpeg_error_mgr errorManager_{};
    jpeg_source_mgr sourceManager_{};
    jpeg_progress_mgr progressManager_{};
    bool fastDecoding_ = true;

private:
    // After the header: settings, bitmap, scanlines, finish.
    void Decompress(CRasterBitmap& bitmap, int& requestedBpp);

    bool directOutput_ = true;
    std::vector<JSAMPLE> scanline_;
};
