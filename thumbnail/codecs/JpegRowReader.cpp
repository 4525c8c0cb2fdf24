#include "codecs/JpegRowReader.h"

#include "base/TextException.h"
#include "base/Trace.h"
#include "io/ByteSource.h"

#include <string>

namespace skimlet {

void CJpegRowReader::Open(CByteSource& source) {
    Close();
    source.Rewind();
    try {
        ReadHeader(source);
        int bpp = 32;
        PrepareOutput(bpp, 8, false);
    } catch (...) {
        // Nothing of a picture that cannot be read is kept, nor its source.
        Abandon();
        throw;
    }
    KeepWarnings();
    width_ = static_cast<int>(Decompressor().image_width);
    height_ = static_cast<int>(Decompressor().image_height);
    Abandon();
    source_ = &source;
}

void CJpegRowReader::Close() {
    Stop();
    source_ = nullptr;
    width_ = 0;
    height_ = 0;
}

void CJpegRowReader::Stop() noexcept {
    Abandon();
    started_ = false;
}

void CJpegRowReader::Start(int eighths) {
    Stop();
    if (!source_)
        ThrowDecodeError(SkimletCode::kUnsupported, "No JPEG picture opened.");
    source_->Rewind();
    try {
        ReadHeader(*source_);
        // The file is kept open, not locked: one rewritten in place since
        // Open must not be taken for the picture whose size was shown.
        if (static_cast<int>(Decompressor().image_width) != width_ ||
            static_cast<int>(Decompressor().image_height) != height_)
            ThrowDecodeError(SkimletCode::kUnsupported,
                             source_->Name() + " changed while it was being read.");
        int bpp = 32;
        PrepareOutput(bpp, eighths, false);
        StartOutput();
    } catch (...) {
        Abandon();
        throw;
    }
    started_ = true;
}

int CJpegRowReader::RowWidth() const {
    return static_cast<int>(Decompressor().output_width);
}

int CJpegRowReader::RowHeight() const {
    return static_cast<int>(Decompressor().output_height);
}

void CJpegRowReader::Read(std::uint8_t* const* rows, int count) {
    if (!started_ || count < 0 ||
        Decompressor().output_scanline + static_cast<unsigned>(count) >
            Decompressor().output_height)
        ThrowDecodeError(SkimletCode::kUnsupported, "JPEG rows read out of order.");
    try {
        ReadRows(rows, count);
    } catch (...) {
        Stop();
        throw;
    }
}

void CJpegRowReader::Finish() {
    if (!started_)
        return;
    try {
        FinishOutput();
    } catch (...) {
        Stop();
        throw;
    }
    started_ = false;
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

} // namespace skimlet
