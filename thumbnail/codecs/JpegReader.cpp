#include "codecs/JpegReader.h"

#include "base/TextException.h"
#include "base/Trace.h"
#include "bitmaps/RasterBitmap.h"
#include "codecs/ExifOrientation.h"
#include "io/ByteSource.h"

#include <jerror.h>

#include <algorithm>
#include <string>
#include <vector>

namespace skimlet {

// Standard layout, libjpeg's part first: libjpeg's pointer leads back to ours.
struct JpegInput {
    jpeg_source_mgr manager;
    CByteSource* source;
    JOCTET* buffer;
    bool ended;
};

struct JpegProgress {
    jpeg_progress_mgr manager;
    CByteSource* source;
    int scan;
    std::int64_t pictureBlocks;
    std::int64_t scannedBlocks;
};

namespace {

constexpr std::size_t kInputChunk = std::size_t{64} << 10;

constexpr const char* kTooManyScans = "JPEG file has too many scans.";

// What libjpeg reads once the data has run out: an end-of-image marker, so
// that a truncated file ends its picture instead of failing.
const JOCTET kEndOfImage[2] = {0xFF, 0xD9};

j_common_ptr Common(j_decompress_ptr cinfo) {
    return reinterpret_cast<j_common_ptr>(cinfo);
}

JpegInput& InputOf(j_decompress_ptr cinfo) {
    return *reinterpret_cast<JpegInput*>(cinfo->src);
}

void SupplyEndOfImage(j_decompress_ptr cinfo) {
    WARNMS(cinfo, JWRN_JPEG_EOF);
    cinfo->src->next_input_byte = kEndOfImage;
    cinfo->src->bytes_in_buffer = sizeof kEndOfImage;
}

void InitSource(j_decompress_ptr) {}

void TermSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    JpegInput& input = InputOf(cinfo);
    std::int64_t got = 0;
    if (!input.ended)
        CJpegErrorManager::Protect(Common(cinfo), [&] {
            got = input.source->ReadInto(input.buffer, static_cast<std::int64_t>(kInputChunk));
        });
    if (got <= 0) {
        input.ended = true;
        SupplyEndOfImage(cinfo);
    } else {
        input.manager.next_input_byte = input.buffer;
        input.manager.bytes_in_buffer = static_cast<std::size_t>(got);
    }
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    jpeg_source_mgr* src = cinfo->src;
    while (count > 0) {
        if (src->bytes_in_buffer == 0) {
            FillInputBuffer(cinfo);
            // Past the end: the end-of-image marker stays to be read.
            if (InputOf(cinfo).ended)
                return;
        }
        const std::size_t step = std::min(static_cast<std::size_t>(count), src->bytes_in_buffer);
        src->next_input_byte += step;
        src->bytes_in_buffer -= step;
        count -= static_cast<long>(step);
    }
}

JpegProgress& ProgressOf(j_common_ptr cinfo) {
    return *reinterpret_cast<JpegProgress*>(cinfo->progress);
}

// Each scan passes over the blocks of its components, even when its data is
// missing, so a file of many scans costs time out of proportion to its size.
void CheckScan(j_decompress_ptr cinfo, JpegProgress& progress) {
    if (cinfo->input_scan_number == progress.scan)
        return;
    progress.scan = cinfo->input_scan_number;
    if (progress.scan > CJpegReader::kMaxScans)
        CJpegErrorManager::Fail(Common(cinfo), SkimletCode::kUnsupported, kTooManyScans);
    for (int i = 0; i < cinfo->comps_in_scan; ++i) {
        const jpeg_component_info* component = cinfo->cur_comp_info[i];
        progress.scannedBlocks +=
            std::int64_t{component->width_in_blocks} * std::int64_t{component->height_in_blocks};
    }
    if (progress.pictureBlocks > 0 &&
        progress.scannedBlocks > CJpegReader::kMaxScanPasses * progress.pictureBlocks)
        CJpegErrorManager::Fail(Common(cinfo), SkimletCode::kUnsupported, kTooManyScans);
}

void ProgressMonitor(j_common_ptr cinfo) {
    JpegProgress& progress = ProgressOf(cinfo);
    CheckScan(reinterpret_cast<j_decompress_ptr>(cinfo), progress);
    const jpeg_progress_mgr& p = progress.manager;
    if (!progress.source || p.pass_limit <= 0 || p.total_passes <= 0)
        return;
    const double pass = static_cast<double>(p.pass_counter) / static_cast<double>(p.pass_limit);
    CJpegErrorManager::Protect(cinfo, [&] {
        progress.source->ReportProgress((pass + p.completed_passes) / p.total_passes);
    });
}

// The coefficient buffer libjpeg allocates for a file of several scans: every
// block of the picture, each component padded to whole MCUs.
std::int64_t CoefficientBytes(j_decompress_ptr cinfo) {
    std::int64_t bytes = 0;
    for (int i = 0; i < cinfo->num_components; ++i) {
        const jpeg_component_info& c = cinfo->comp_info[i];
        const auto RoundUp = [](std::int64_t n, std::int64_t m) {
            return m > 0 ? (n + m - 1) / m * m : n;
        };
        bytes += RoundUp(c.width_in_blocks, c.h_samp_factor) *
                 RoundUp(c.height_in_blocks, c.v_samp_factor) *
                 static_cast<std::int64_t>(sizeof(JBLOCK));
    }
    return bytes;
}

std::int64_t PictureBlocks(j_decompress_ptr cinfo) {
    std::int64_t blocks = 0;
    for (int i = 0; i < cinfo->num_components; ++i)
        blocks += std::int64_t{cinfo->comp_info[i].width_in_blocks} *
                  std::int64_t{cinfo->comp_info[i].height_in_blocks};
    return blocks;
}

// Adobe CMYK and YCCK files (libjpeg turns the latter into CMYK) store
// inverted values: 255 means no ink. So red is C x K / 255 on the stored
// values, likewise green from M and blue from Y.
void CmykToBgra(const JSAMPLE* s, std::uint8_t* p, int width) {
    for (int x = 0; x < width; ++x, s += 4, p += 4) {
        const unsigned k = s[3];
        p[0] = static_cast<std::uint8_t>((s[2] * k + 127) / 255);
        p[1] = static_cast<std::uint8_t>((s[1] * k + 127) / 255);
        p[2] = static_cast<std::uint8_t>((s[0] * k + 127) / 255);
        p[3] = 255;
    }
}

} // namespace

namespace {

// Bytes beyond this make no difference to the bounds, and no product overflows.
std::int64_t CountedBytes(std::int64_t fileBytes) {
    return std::clamp<std::int64_t>(fileBytes, 0, std::int64_t{1} << 40);
}

} // namespace

std::int64_t CJpegReader::DecoderMemoryFor(std::int64_t fileBytes) {
    return std::clamp(CountedBytes(fileBytes) * kDecoderMemoryPerByte, kFreeDecoderMemory,
                      kMaxDecoderMemory);
}

std::int64_t CJpegReader::PixelsFor(std::int64_t fileBytes) {
    return std::max(kFreePixels, CountedBytes(fileBytes) * kPixelsPerByte);
}

CJpegReader::CJpegReader() {
    decompressor_.err = errors_.Manager();
    try {
        CreateDecompressor();
    } catch (...) {
        // The destructor will not run; libjpeg frees what it got.
        jpeg_destroy_decompress(&decompressor_);
        throw;
    }
}

void CJpegReader::CreateDecompressor() {
    errors_.Run([&] {
        jpeg_create_decompress(&decompressor_);
        const j_common_ptr common = Common(&decompressor_);
        input_ = static_cast<JpegInput*>(
            (*decompressor_.mem->alloc_small)(common, JPOOL_PERMANENT, sizeof(JpegInput)));
        input_->buffer = static_cast<JOCTET*>(
            (*decompressor_.mem->alloc_small)(common, JPOOL_PERMANENT, kInputChunk));
        progress_ = static_cast<JpegProgress*>(
            (*decompressor_.mem->alloc_small)(common, JPOOL_PERMANENT, sizeof(JpegProgress)));
    });
}

void CJpegReader::Renew() {
    jpeg_destroy_decompress(&decompressor_);
    decompressor_ = jpeg_decompress_struct{};
    input_ = nullptr;
    progress_ = nullptr;
    decompressor_.err = errors_.Manager();
    try {
        CreateDecompressor();
    } catch (...) {
        jpeg_destroy_decompress(&decompressor_);
        input_ = nullptr;
        progress_ = nullptr;
        throw;
    }
}

CJpegReader::~CJpegReader() {
    jpeg_destroy_decompress(&decompressor_);
}

void CJpegReader::AttachJpegSource(CByteSource& source) {
    jpeg_source_mgr& manager = input_->manager;
    manager.init_source = InitSource;
    manager.fill_input_buffer = FillInputBuffer;
    manager.skip_input_data = SkipInputData;
    manager.resync_to_restart = jpeg_resync_to_restart;
    manager.term_source = TermSource;
    manager.next_input_byte = input_->buffer;
    manager.bytes_in_buffer = 0;
    input_->source = &source;
    input_->ended = false;
    decompressor_.src = &manager;

    progress_->manager.progress_monitor = ProgressMonitor;
    progress_->source = &source;
    progress_->scan = 0;
    progress_->pictureBlocks = 0;
    progress_->scannedBlocks = 0;
    decompressor_.progress = &progress_->manager;
    decompressor_.mem->max_memory_to_use = static_cast<long>(kFreeDecoderMemory);
}

void CJpegReader::ReadImage(CRasterBitmap& bitmap, PaletteHolder&, int& requestedBpp,
                            CByteSource& source) {
    if (requestedBpp != 0 && requestedBpp != 8 && requestedBpp != 32)
        ThrowDecodeError(SkimletCode::kUnsupported, "JPEG pictures cannot be decoded to " +
                                                        std::to_string(requestedBpp) +
                                                        " bits per pixel.");
    try {
        ReadHeader(source);
        Decompress(bitmap, requestedBpp);
    } catch (...) {
        Abandon();
        throw;
    }
}

void CJpegReader::ReadHeader(CByteSource& source) {
    // libjpeg keeps the tables of earlier pictures, which would stand in for
    // those a damaged file lacks: its decode would depend on what came before.
    if (used_ || !input_)
        Renew();
    used_ = true;
    orientation_ = Orientation::Normal;
    errors_.ResetWarnings();
    AttachJpegSource(source);
    errors_.Run([&] {
        jpeg_save_markers(&decompressor_, JPEG_APP0 + 1, 0xFFFF);
        jpeg_read_header(&decompressor_, TRUE);
    });
    for (jpeg_saved_marker_ptr m = decompressor_.marker_list; m; m = m->next) {
        if (m->marker == JPEG_APP0 + 1 && m->data_length >= 6 &&
            std::equal(m->data, m->data + 6, "Exif\0\0")) {
            orientation_ = ReadApp1Orientation(m->data, m->data_length);
            break;
        }
    }
}

void CJpegReader::Abandon() noexcept {
    try {
        errors_.Run([&] { jpeg_abort_decompress(&decompressor_); });
    } catch (...) {
        // Only frees libjpeg's pools, which cannot fail; guarded all the same
        // so that no error exit ever jumps to a stale place.
    }
    if (input_)
        input_->source = nullptr;
    if (progress_)
        progress_->source = nullptr;
}

void CJpegReader::ReadScanline(std::uint8_t* row) {
    JDIMENSION read = 0;
    errors_.Run([&] { read = jpeg_read_scanlines(&decompressor_, &row, 1); });
    // The source never suspends, so each call delivers a line; anything else
    // would loop forever.
    if (read != 1)
        ThrowDecodeError(SkimletCode::kUnsupported, "JPEG decoder delivered no scanline.");
}

void CJpegReader::Decompress(CRasterBitmap& bitmap, int& requestedBpp) {
    const int depth = PrepareOutput(requestedBpp, 8, true);
    const int width = static_cast<int>(decompressor_.output_width);
    const int height = static_cast<int>(decompressor_.output_height);
    // The bitmap checks the size and refuses absurd ones before libjpeg
    // allocates its own buffers for the picture.
    bitmap.Allocate(width, height, depth, false);
    StartOutput();
    {
        BitmapAccess access(bitmap, false, true);
        std::uint8_t* const* lines = bitmap.Lines();
        constexpr int kBand = 16;
        for (int y = 0; y < height; y += kBand)
            ReadRows(lines + y, std::min(kBand, height - y));
    }
    FinishOutput();
}

int CJpegReader::PrepareOutput(int& requestedBpp, int scaleEighths, bool boundPixels) {
    jpeg_decompress_struct& d = decompressor_;
    // Plain chroma upsampling rather than libjpeg's smoother one: faster, and
    // the thumbnails' bytes depend on it.
    d.do_fancy_upsampling = FALSE;
    d.dct_method = JDCT_FLOAT;
    if (scaleEighths >= 1 && scaleEighths < 8) {
        d.scale_num = static_cast<unsigned>(scaleEighths);
        d.scale_denom = 8;
    }

    const bool grey = d.out_color_space == JCS_GRAYSCALE;
    cmykOutput_ = d.out_color_space == JCS_CMYK;
    ChooseTargetBpp(grey ? 8 : 32, requestedBpp);
    const int depth = grey ? requestedBpp : 32;
    // libjpeg writes blue, green, red, 255 straight into the lines when it
    // can: the same values as its RGB output, without a second pass.
    directOutput_ = grey || d.out_color_space == JCS_RGB;
    if (depth == 32 && directOutput_)
        d.out_color_space = JCS_EXT_BGRA;
    bool multipleScans = false;
    errors_.Run([&] {
        jpeg_calc_output_dimensions(&d);
        multipleScans = jpeg_has_multiple_scans(&d);
    });
    if (!directOutput_ && !cmykOutput_ && d.output_components < 3)
        ThrowDecodeError(SkimletCode::kUnsupported, "JPEG pictures with " +
                                                        std::to_string(d.output_components) +
                                                        " colour components are not supported.");

    const std::int64_t width = d.output_width;
    const std::int64_t height = d.output_height;
    if (boundPixels && width * height > kMaxPixels)
        ThrowDecodeError(SkimletCode::kOutOfMemory, "JPEG picture of " + std::to_string(width) +
                                                        " x " + std::to_string(height) +
                                                        " pixels is above the limit of " +
                                                        std::to_string(kMaxPixels) + " pixels.");
    const std::int64_t fileBytes = input_->source ? input_->source->Size() : 0;
    const std::string ofFile = "a file of " + std::to_string(fileBytes) + " bytes";
    if (width * height > PixelsFor(fileBytes))
        ThrowDecodeError(SkimletCode::kUnsupported, "JPEG picture of " + std::to_string(width) +
                                                        " x " + std::to_string(height) +
                                                        " pixels is more than " + ofFile +
                                                        " can hold.");
    // Refused before any buffer is made; libjpeg's own bound would say so
    // only after.
    const std::int64_t memory =
        (multipleScans ? CoefficientBytes(&d) : 0) + (boundPixels ? 4 * width * height : 0);
    const std::int64_t allowed = DecoderMemoryFor(fileBytes);
    if (memory > allowed)
        ThrowDecodeError(SkimletCode::kUnsupported,
                         "JPEG picture needs " + std::to_string(memory >> 20) +
                             " MiB of decoder memory, more than the " +
                             std::to_string(allowed >> 20) + " MiB allowed for " + ofFile + ".");
    d.mem->max_memory_to_use = static_cast<long>(allowed);
    return depth;
}

void CJpegReader::StartOutput() {
    progress_->pictureBlocks = PictureBlocks(&decompressor_);
    errors_.Run([&] { jpeg_start_decompress(&decompressor_); });
}

void CJpegReader::ReadRows(std::uint8_t* const* lines, int count) {
    if (directOutput_) {
        for (int y = 0; y < count; ++y)
            ReadScanline(lines[y]);
        return;
    }
    // Other colour spaces: the first three components are taken as red, green
    // and blue without conversion.
    const int width = static_cast<int>(decompressor_.output_width);
    const std::size_t components = static_cast<std::size_t>(decompressor_.output_components);
    scanline_.resize(static_cast<std::size_t>(width) * components);
    for (int y = 0; y < count; ++y) {
        ReadScanline(scanline_.data());
        if (cmykOutput_ && components == 4) {
            CmykToBgra(scanline_.data(), lines[y], width);
            continue;
        }
        const JSAMPLE* s = scanline_.data();
        std::uint8_t* p = lines[y];
        for (int x = 0; x < width; ++x, s += components, p += 4) {
            p[0] = s[2];
            p[1] = s[1];
            p[2] = s[0];
            p[3] = 255;
        }
    }
}

void CJpegReader::FinishOutput() {
    errors_.Run([&] { jpeg_finish_decompress(&decompressor_); });
    KeepWarnings();
    input_->source = nullptr;
    progress_->source = nullptr;
}

void CJpegReader::KeepWarnings() {
    firstWarning_ = errors_.FirstWarning();
    warningCount_ = errors_.WarningCount();
}

} // namespace skimlet
