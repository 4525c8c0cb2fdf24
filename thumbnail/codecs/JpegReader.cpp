#include "codecs/JpegReader.h"

#include "bitmaps/RasterBitmap.h"
#include "bitmaps/TextException.h"
#include "codecs/ExifOrientation.h"
#include "codecs/Trace.h"
#include "io/ByteSource.h"

#include <jerror.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// What libjpeg reads once the data has run out: an end-of-image marker, so
// that a truncated file ends its picture instead of failing.
const JOCTET kEndOfImage[2] = {0xFF, 0xD9};

void SupplyEndOfImage(j_decompress_ptr cinfo) {
    WARNMS(cinfo, JWRN_JPEG_EOF);
    cinfo->src->next_input_byte = kEndOfImage;
    cinfo->src->bytes_in_buffer = sizeof kEndOfImage;
}

void InitSource(j_decompress_ptr) {}

void TermSource(j_decompress_ptr) {}

// Called only when the whole block has been consumed.
boolean FillInputBuffer(j_decompress_ptr cinfo) {
    SupplyEndOfImage(cinfo);
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0)
        return;
    jpeg_source_mgr* src = cinfo->src;
    if (static_cast<unsigned long>(count) < src->bytes_in_buffer) {
        src->next_input_byte += count;
        src->bytes_in_buffer -= static_cast<std::size_t>(count);
    } else {
        SupplyEndOfImage(cinfo);
    }
}

void ProgressMonitor(j_common_ptr cinfo) {
    auto* source = static_cast<CByteSource*>(cinfo->client_data);
    const jpeg_progress_mgr* progress = cinfo->progress;
    if (!source || progress->pass_limit <= 0 || progress->total_passes <= 0)
        return;
    const double pass =
        static_cast<double>(progress->pass_counter) / static_cast<double>(progress->pass_limit);
    source->ReportProgress((pass + progress->completed_passes) / progress->total_passes);
}

void ReadScanline(j_decompress_ptr cinfo, JSAMPROW row) {
    // The source never suspends, so each call delivers a line; anything else
    // would loop forever.
    if (jpeg_read_scanlines(cinfo, &row, 1) != 1)
        ThrowDecodeError(SkimletCode::kUnsupported, "JPEG decoder delivered no scanline.");
}

} // namespace

CJpegReader::CJpegReader() {
    InitJpegErrorManager(errorManager_);
    decompressor_.err = &errorManager_;
    jpeg_create_decompress(&decompressor_);
}

CJpegReader::~CJpegReader() {
    jpeg_destroy_decompress(&decompressor_);
}

void CJpegReader::AttachJpegSource(const std::uint8_t* data, std::int64_t size,
                                   CByteSource& source) {
    sourceManager_.init_source = InitSource;
    sourceManager_.fill_input_buffer = FillInputBuffer;
    sourceManager_.skip_input_data = SkipInputData;
    sourceManager_.resync_to_restart = jpeg_resync_to_restart;
    sourceManager_.term_source = TermSource;
    sourceManager_.next_input_byte = data;
    sourceManager_.bytes_in_buffer = static_cast<std::size_t>(size);
    decompressor_.src = &sourceManager_;

    progressManager_.progress_monitor = ProgressMonitor;
    decompressor_.progress = &progressManager_;
    decompressor_.client_data = &source;
}

void CJpegReader::ReadImage(CRasterBitmap& bitmap, PaletteHolder&, int& requestedBpp,
                            CByteSource& source) {
    if (requestedBpp != 0 && requestedBpp != 8 && requestedBpp != 32)
        ThrowDecodeError(SkimletCode::kUnsupported, "JPEG pictures cannot be decoded to " +
                                                        std::to_string(requestedBpp) +
                                                        " bits per pixel.");
    const std::uint8_t* data = source.RemainingData();
    const std::int64_t size = source.Size() - source.Position();
    orientation_ = ReadExifOrientation(data, size);
    try {
        AttachJpegSource(data, size, source);
        jpeg_read_header(&decompressor_, TRUE);
        Decompress(bitmap, requestedBpp);
    } catch (...) {
        jpeg_abort_decompress(&decompressor_);
        decompressor_.client_data = nullptr;
        throw;
    }
    decompressor_.client_data = nullptr;
}

void CJpegReader::Decompress(CRasterBitmap& bitmap, int& requestedBpp) {
    jpeg_decompress_struct& d = decompressor_;
    const int depth = PrepareOutput(requestedBpp);
    // The bitmap checks the size and refuses absurd ones before libjpeg
    // allocates its own buffers for the picture.
    const int width = static_cast<int>(d.output_width);
    const int height = static_cast<int>(d.output_height);
    bitmap.Allocate(width, height, depth, false);
    jpeg_start_decompress(&d);
    {
        BitmapAccess access(bitmap, false, true);
        std::uint8_t* const* lines = bitmap.Lines();
        for (int y = 0; y < height; y += 16)
            ReadRows(lines + y, std::min(16, height - y));
    }
    jpeg_finish_decompress(&d);
}

int CJpegReader::PrepareOutput(int& requestedBpp) {
    jpeg_decompress_struct& d = decompressor_;
    if (fastDecoding_)
        d.do_fancy_upsampling = FALSE;
    d.dct_method = JDCT_FLOAT;

    const bool grey = d.out_color_space == JCS_GRAYSCALE;
    ChooseTargetBpp(grey ? 8 : 32, requestedBpp);
    const int depth = grey ? requestedBpp : 32;
    // libjpeg writes blue, green, red, 255 straight into the bitmap's lines when
    // it can: the same values as its RGB output, without a second pass.
    directOutput_ = grey || d.out_color_space == JCS_RGB;
    if (depth == 32 && directOutput_)
        d.out_color_space = JCS_EXT_BGRA;
    jpeg_calc_output_dimensions(&d);
    if (!directOutput_ && d.output_components < 3)
        ThrowDecodeError(SkimletCode::kUnsupported, "JPEG pictures with " +
                                                        std::to_string(d.output_components) +
                                                        " colour components are not supported.");
    return depth;
}

void CJpegReader::ReadRows(std::uint8_t* const* lines, int count) {
    jpeg_decompress_struct& d = decompressor_;
    if (directOutput_) {
        for (int y = 0; y < count; ++y)
            ReadScanline(&d, lines[y]);
        return;
    }
    // CMYK and other colour spaces: the first three components are taken as
    // red, green and blue without conversion.
    const std::size_t width = d.output_width;
    const std::size_t components = static_cast<std::size_t>(d.output_components);
    scanline_.resize(width * components);
    for (int y = 0; y < count; ++y) {
        ReadScanline(&d, scanline_.data());
        const JSAMPLE* s = scanline_.data();
        std::uint8_t* p = lines[y];
        for (std::size_t x = 0; x < width; ++x, s += components, p += 4) {
            p[0] = s[2];
            p[1] = s[1];
            p[2] = s[0];
            p[3] = 255;
        }
    }
}
