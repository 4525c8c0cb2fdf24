#include "bitmaps/DibBitmap.h"

#include "base/TextException.h"

#include <cstring>

namespace skimlet {

namespace {

constexpr const char* kOutOfMemory = "Out of memory creating bitmap.";

void PutLE(std::uint8_t* p, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetLE(const std::uint8_t* p, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | p[i];
    return value;
}

std::int64_t StrideFor(std::int64_t width, int bitsPerPixel) {
    return (CRasterBitmap::PackedLineBytes(width, bitsPerPixel) + 3) / 4 * 4;
}

std::int64_t PaletteBytesFor(int bitsPerPixel) {
    return bitsPerPixel < 16 ? std::int64_t{4} << bitsPerPixel : 0;
}

} // namespace

CDibBitmap::CDibBitmap() {
    Allocate(16, 16, 8, false);
}

CDibBitmap::~CDibBitmap() = default;

std::int64_t CDibBitmap::LineStride() const {
    return StrideFor(width_, bitsPerPixel_);
}

std::int64_t CDibBitmap::MemoryFootprint() const {
    return LineStride() * height_ + kHeaderSize + PaletteBytesFor(bitsPerPixel_) + 48;
}

void CDibBitmap::AllocateStorage(int width, int height, int bitsPerPixel, bool) {
    const std::int64_t pixelBytes = StrideFor(width, bitsPerPixel) * height;
    if (pixelBytes > kMaxStorageBytes)
        throw CTextException(SkimletCode::kOutOfMemory, kOutOfMemory);
    const auto size =
        static_cast<std::size_t>(kHeaderSize + PaletteBytesFor(bitsPerPixel) + pixelBytes);
    dib_ = AllocatePixelBlock(size);
    if (!dib_)
        throw CTextException(SkimletCode::kOutOfMemory, kOutOfMemory);
    dibSize_ = size;

    std::uint8_t* h = dib_.get();
    std::memset(h, 0, kHeaderSize);
    PutLE(h, kHeaderSize, 4);
    PutLE(h + 4, static_cast<std::uint32_t>(width), 4);
    PutLE(h + 8, static_cast<std::uint32_t>(height), 4);
    PutLE(h + 12, 1, 2);
    PutLE(h + 14, static_cast<std::uint32_t>(bitsPerPixel), 2);
    SetPointersFromHeader();
}

void CDibBitmap::ReleaseStorage() {
    dib_.reset();
    dibSize_ = 0;
    bits_ = nullptr;
    palette_ = nullptr;
    lines_.reset();
}

void CDibBitmap::SetPointersFromHeader() {
    const int bitCount = static_cast<int>(GetLE(dib_.get() + 14, 2));
    std::uint8_t* afterHeader = dib_.get() + kHeaderSize;
    palette_ = bitCount < 16 ? reinterpret_cast<PaletteEntry*>(afterHeader) : nullptr;
    bits_ = afterHeader + PaletteBytesFor(bitCount);
}

void CDibBitmap::BuildLineTable() {
    AllocateLineTable();
    const std::int64_t stride = LineStride();
    for (int y = 0; y < height_; ++y)
        lines_[y] = bits_ + (height_ - 1 - y) * stride;
}

void CDibBitmap::CopyFromPackedDib(const std::uint8_t* block, std::size_t size) {
    auto malformed = [] {
        return CTextException(SkimletCode::kBadBitmapHeader, "Malformed packed DIB block.");
    };
    if (!block || size < static_cast<std::size_t>(kHeaderSize) || GetLE(block, 4) != kHeaderSize)
        throw malformed();
    const auto width = static_cast<std::int32_t>(GetLE(block + 4, 4));
    const auto height = static_cast<std::int32_t>(GetLE(block + 8, 4));
    const int bitCount = static_cast<int>(GetLE(block + 14, 2));
    if (width < 0 || height < 0 || GetLE(block + 16, 4) != 0 ||
        (bitCount != 1 && bitCount != 8 && bitCount != 32))
        throw malformed();
    const std::int64_t pixelBytes = StrideFor(width, bitCount) * height;
    if (pixelBytes > kMaxStorageBytes)
        throw CTextException(SkimletCode::kOutOfMemory, kOutOfMemory);
    const auto needed =
        static_cast<std::size_t>(kHeaderSize + PaletteBytesFor(bitCount) + pixelBytes);
    if (needed > size)
        throw malformed();

    PixelBlock copy = AllocatePixelBlock(needed);
    if (!copy)
        throw CTextException(SkimletCode::kOutOfMemory, kOutOfMemory);
    std::memcpy(copy.get(), block, needed);
    ReleaseStorage();
    dib_ = std::move(copy);
    dibSize_ = needed;
    width_ = width;
    height_ = height;
    bitsPerPixel_ = bitCount;
    hasAlpha_ = false;
    SetPointersFromHeader();
    BuildLineTable();
}

void CDibBitmap::PasteAt(const CRasterBitmap& source, int x, int y) {
    if (bitsPerPixel_ != 32)
        throw CTextException(SkimletCode::kUnsupported, "PasteAt needs a 32-bit destination.");
    const bool blend = source.HasAlpha() && source.BitsPerPixel() == 32;
    for (int sy = 0; sy < source.Height(); ++sy) {
        const int dy = y + sy;
        if (dy < 0 || dy >= height_)
            continue;
        for (int sx = 0; sx < source.Width(); ++sx) {
            const int dx = x + sx;
            if (dx < 0 || dx >= width_)
                continue;
            std::uint32_t colour = source.PixelAt(sx, sy);
            if (source.BitsPerPixel() != 32)
                colour = PackColour(source.Palette()[colour]);
            std::uint8_t* out = lines_[dy] + std::size_t{4} * static_cast<std::size_t>(dx);
            if (!blend) {
                StorePixel32(out, colour);
                continue;
            }
            const std::uint32_t alpha = colour >> 24;
            for (int c = 0; c < 3; ++c) {
                const std::uint32_t s = colour >> (8 * c) & 0xFF;
                out[c] =
                    static_cast<std::uint8_t>((s * alpha + out[c] * (255 - alpha) + 127) / 255);
            }
        }
    }
}

std::unique_ptr<CRasterBitmap> CDibBitmap::NewEmpty() const {
    return std::make_unique<CDibBitmap>();
}

} // namespace skimlet
