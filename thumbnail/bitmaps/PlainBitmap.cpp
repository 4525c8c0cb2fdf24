#include "bitmaps/PlainBitmap.h"

#include "base/TextException.h"

#include <new>

namespace skimlet {

CPlainBitmap::CPlainBitmap() {
    Allocate(16, 16, 8, false);
}

CPlainBitmap::~CPlainBitmap() = default;

std::int64_t CPlainBitmap::LineStride() const {
    return PackedLineBytes(width_, bitsPerPixel_);
}

std::int64_t CPlainBitmap::MemoryFootprint() const {
    return LineStride() * height_ + (palette_ ? 4 * PaletteSize() : 0) +
           static_cast<std::int64_t>(sizeof(*this));
}

void CPlainBitmap::AllocateStorage(int width, int height, int bitsPerPixel, bool) {
    const std::int64_t bytes = PackedLineBytes(width, bitsPerPixel) * height;
    if (bytes > kMaxStorageBytes)
        throw CTextException(SkimletCode::kOutOfMemory, "Out of memory creating bitmap.");
    pixels_ = AllocatePixelBlock(static_cast<std::size_t>(bytes) + 1);
    if (bitsPerPixel < 16)
        paletteBlock_.reset(new (std::nothrow) PaletteEntry[std::size_t{1} << bitsPerPixel]);
    if (!pixels_ || (bitsPerPixel < 16 && !paletteBlock_)) {
        ReleaseStorage();
        throw CTextException(SkimletCode::kOutOfMemory, "Out of memory creating bitmap.");
    }
    palette_ = paletteBlock_.get();
}

void CPlainBitmap::ReleaseStorage() {
    pixels_.reset();
    paletteBlock_.reset();
    palette_ = nullptr;
    lines_.reset();
}

void CPlainBitmap::BuildLineTable() {
    AllocateLineTable();
    const std::int64_t stride = LineStride();
    for (int y = 0; y < height_; ++y)
        lines_[y] = pixels_.get() + y * stride;
}

std::unique_ptr<CRasterBitmap> CPlainBitmap::NewEmpty() const {
    return std::make_unique<CPlainBitmap>();
}

} // namespace skimlet
