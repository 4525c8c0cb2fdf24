#include "codecs/JpegWriter.h"

#include "bitmaps/PlainBitmap.h"
#include "codecs/JpegSink.h"

#include <algorithm>

// The bitmap's 32-bit lines go to libjpeg as they are (blue, green, red, unused),
// which needs libjpeg-turbo's extended colour spaces.
#ifndef JCS_EXTENSIONS
#error "libjpeg with JCS_EXTENSIONS (libjpeg-turbo) is required"
#endif

namespace skimlet {

CJpegWriter::CJpegWriter() {
    compressor_.err = errors_.Manager();
    errors_.Run([&] { jpeg_CreateCompress(&compressor_, JPEG_LIB_VERSION, sizeof(compressor_)); });
}

CJpegWriter::~CJpegWriter() {
    jpeg_destroy_compress(&compressor_);
}

void CJpegWriter::WriteImage(CRasterBitmap& bitmap, CByteSink& sink) {
    if (bitmap.BitsPerPixel() != 32) {
        CPlainBitmap converted;
        converted.CopyFrom(bitmap, 32);
        WriteImage(converted, sink);
        return;
    }
    Begin(bitmap.Width(), bitmap.Height(), sink);
    try {
        BitmapAccess access(bitmap, true, false);
        std::uint8_t* const* lines = bitmap.Lines();
        for (int y = 0; y < bitmap.Height(); ++y)
            WriteLines(lines + y, 1);
    } catch (...) {
        Abort();
        throw;
    }
    End();
}

void CJpegWriter::Begin(int width, int height, CByteSink& sink) {
    try {
        errors_.Run([&] {
            AttachJpegSink(&compressor_, sink);
            Configure(width, height);
            jpeg_start_compress(&compressor_, TRUE);
        });
    } catch (...) {
        Abort();
        throw;
    }
}

void CJpegWriter::WriteLines(const std::uint8_t* const* lines, int count) {
    try {
        for (int i = 0; i < count && compressor_.next_scanline < compressor_.image_height; ++i) {
            // libjpeg only reads the lines it is given.
            JSAMPROW row = const_cast<JSAMPROW>(lines[i]);
            errors_.Run([&] { jpeg_write_scanlines(&compressor_, &row, 1); });
        }
    } catch (...) {
        Abort();
        throw;
    }
}

void CJpegWriter::End() {
    try {
        errors_.Run([&] { jpeg_finish_compress(&compressor_); });
    } catch (...) {
        Abort();
        throw;
    }
}

void CJpegWriter::Abort() {
    jpeg_abort_compress(&compressor_);
}

// Runs inside the error guard: nothing here may own a destructor.
void CJpegWriter::Configure(int width, int height) {
    compressor_.image_width = static_cast<JDIMENSION>(width);
    compressor_.image_height = static_cast<JDIMENSION>(height);
    // Byte order of a 32-bit pixel in memory; the fourth byte (alpha) is ignored.
    compressor_.input_components = 4;
    compressor_.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&compressor_);
    compressor_.dct_method = integerDct_ ? JDCT_ISLOW : JDCT_FLOAT;
    if (quality_ != 0)
        jpeg_set_quality(&compressor_, quality_, TRUE);
    compressor_.optimize_coding = optimiseCoding_ ? TRUE : FALSE;
    compressor_.smoothing_factor = std::clamp(smoothing_, 0, 100);
    if (densityX_ != 0 || densityY_ != 0) {
        compressor_.density_unit = 1;
        compressor_.X_density = static_cast<UINT16>(densityX_);
        compressor_.Y_density = static_cast<UINT16>(densityY_);
    }
}

} // namespace skimlet
