#pragma once

#include "codecs/JpegError.h"
#include "codecs/PictureEncoder.h"

namespace skimlet {

// Writes bitmaps as baseline JFIF files through libjpeg. With the initial
// settings the output is libjpeg's default encoding (quality 75) of the
// bitmap's red, green and blue, computed with the floating-point DCT. Bitmaps
// of 1 or 8 bits per pixel are encoded as their 32-bit conversion.
class CJpegWriter : public CPictureEncoder {
public:
    CJpegWriter();
    ~CJpegWriter() override;
    CJpegWriter(const CJpegWriter&) = delete;
    CJpegWriter& operator=(const CJpegWriter&) = delete;

    // 1..100; 0 keeps libjpeg's default.
    void UseQuality(int quality) { quality_ = quality; }
    void UseOptimisedCoding(bool flag) { optimiseCoding_ = flag; }
    // libjpeg's accurate integer DCT instead of the floating-point one: other
    // bytes, as good a picture, and faster where libjpeg has it in SIMD.
    void UseIntegerDct(bool flag) { integerDct_ = flag; }
    // libjpeg's smoothing factor, 0..100.
    void UseSmoothing(int factor) { smoothing_ = factor; }
    // Dots per inch; 0 and 0 write no density.
    void UseDensity(int x, int y) {
        densityX_ = x;
        densityY_ = y;
    }

    // Encodes a picture handed over a band of lines at a time, 32 bits a
    // pixel as a bitmap holds them, top line first: Begin, WriteLines until
    // every line is in, then End. The same bytes as from a bitmap.
    void Begin(int width, int height, CByteSink& sink);
    void WriteLines(const std::uint8_t* const* lines, int count);
    void End();

protected:
    void WriteImage(CRasterBitmap& bitmap, CByteSink& sink) override;

private:
    void Configure(int width, int height);
    // Returns the compressor to its start state for the next picture.
    void Abort();

    CJpegErrorManager errors_;
    jpeg_compress_struct compressor_{};
    int quality_ = 0;
    bool optimiseCoding_ = false;
    bool integerDct_ = false;
    int smoothing_ = 0;
    int densityX_ = 0;
    int densityY_ = 0;
};

} // namespace skimlet
