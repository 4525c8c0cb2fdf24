#include "codecs/JpegRowReader.h"

#include "bitmaps/TextException.h"
#include "codecs/ExifOrientation.h"
#include "codecs/Trace.h"
#include "io/ByteSource.h"

#include <algorithm>

#include <sys/mman.h>
#include <unistd.h>

void CJpegRowReader::Open(CMappedFileSource& source) {
    Abandon();
    source_ = &source;
    data_ = source.RemainingData();
    size_ = source.Size() - source.Position();
    dropped_ = 0;
    orientation_ = ReadExifOrientation(data_, size_);
    try {
        Begin();
    } catch (...) {
        // Nothing of a picture that cannot be read is kept, nor its source.
        source_ = nullptr;
        data_ = nullptr;
        size_ = 0;
        throw;
    }
    width_ = static_cast<int>(decompressor_.image_width);
    height_ = static_cast<int>(decompressor_.image_height);
    Abandon();
}

void CJpegRowReader::Begin() {
    try {
        AttachJpegSource(data_, size_, *source_);
        jpeg_read_header(&decompressor_, TRUE);
        int bpp = 32;
        PrepareOutput(bpp);
    } catch (...) {
        Abandon();
        throw;
    }
}

void CJpegRowReader::Abandon() {
    jpeg_abort_decompress(&decompressor_);
    decompressor_.client_data = nullptr;
    started_ = false;
}

void CJpegRowReader::Start(int eighths) {
    Abandon();
    if (!source_)
        ThrowDecodeError(SkimletCode::kUnsupported, "No JPEG picture opened.");
    Begin();
    try {
        if (eighths >= 1 && eighths < 8) {
            decompressor_.scale_num = static_cast<unsigned>(eighths);
            decompressor_.scale_denom = 8;
            jpeg_calc_output_dimensions(&decompressor_);
        }
        jpeg_start_decompress(&decompressor_);
    } catch (...) {
        Abandon();
        throw;
    }
    started_ = true;
}

int CJpegRowReader::RowWidth() const {
    return static_cast<int>(decompressor_.output_width);
}

int CJpegRowReader::RowHeight() const {
    return static_cast<int>(decompressor_.output_height);
}

void CJpegRowReader::Read(std::uint8_t* const* rows, int count) {
    if (!started_ || count < 0 ||
        decompressor_.output_scanline + static_cast<unsigned>(count) > decompressor_.output_height)
        ThrowDecodeError(SkimletCode::kUnsupported, "JPEG rows read out of order.");
    try {
        ReadRows(rows, count);
    } catch (...) {
        Abandon();
        throw;
    }
    DropDecodedInput();
}

void CJpegRowReader::Finish() {
    if (!started_)
        return;
    try {
        jpeg_finish_decompress(&decompressor_);
    } catch (...) {
        Abandon();
        throw;
    }
    decompressor_.client_data = nullptr;
    started_ = false;
}

void CJpegRowReader::DropDecodedInput() {
    // libjpeg never reads behind its input pointer, so the mapped pages before
    // it can go; they would otherwise stay resident until the file is closed.
    const std::uint8_t* next = decompressor_.src->next_input_byte;
    if (next < data_ || next > data_ + size_)
        return; // past the data, at the end-of-image marker supplied for it
    const std::int64_t page = ::sysconf(_SC_PAGESIZE);
    const auto base = reinterpret_cast<std::uintptr_t>(data_);
    const auto firstPage = (base + static_cast<std::uintptr_t>(page) - 1) /
                           static_cast<std::uintptr_t>(page) * static_cast<std::uintptr_t>(page);
    const auto end = reinterpret_cast<std::uintptr_t>(next) / static_cast<std::uintptr_t>(page) *
                     static_cast<std::uintptr_t>(page);
    const auto from = std::max(firstPage, base + static_cast<std::uintptr_t>(dropped_));
    constexpr std::uintptr_t kBatch = std::uintptr_t{4} << 20;
    if (end <= from || end - from < kBatch)
        return;
    ::madvise(reinterpret_cast<void*>(from), end - from, MADV_DONTNEED);
    dropped_ = static_cast<std::int64_t>(end - base);
}

int CJpegRowReader::ScaleFor(int width, int height, int minWidth, int minHeight) {
    // libjpeg rounds a scaled size up.
    for (int eighths = 1; eighths < 8; ++eighths) {
        const std::int64_t w = (std::int64_t{width} * eighths + 7) / 8;
        const std::int64_t h = (std::int64_t{height} * eighths + 7) / 8;
        if (w >= minWidth && h >= minHeight)
            return eighths;
    }
    return 8;
}
