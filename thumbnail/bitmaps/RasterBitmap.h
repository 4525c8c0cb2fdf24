#pragma once

#include "base/PLObject.h"
#include "bitmaps/Palette.h"

#include <cstdint>
#include <memory>

namespace skimlet {

// An in-memory picture of 1, 8 or 32 bits per pixel with a line table:
// Lines()[y] is the first byte of line y, line 0 being the top whatever the
// storage order. 32-bit pixels are blue, green, red, alpha in memory.
class CRasterBitmap : public CPLObject {
public:
    // Storage above this many bytes is refused as out of memory: it keeps hostile
    // headers from asking for absurd amounts and every stride within 32 bits.
    static constexpr std::int64_t kMaxStorageBytes = std::int64_t{1} << 31;

    ~CRasterBitmap() override = default;

    CRasterBitmap(const CRasterBitmap&) = delete;
    CRasterBitmap& operator=(const CRasterBitmap&) = delete;

    // Gives the bitmap a new size and format. Pixel bytes are not cleared; palettes
    // of 1 and 8 bits per pixel start as a grey ramp. Throws CTextException 10.
    virtual void Allocate(int width, int height, int bitsPerPixel, bool hasAlpha);
    virtual std::int64_t MemoryFootprint() const = 0;
    virtual std::int64_t LineStride() const = 0;
    virtual void BeginAccess(bool readable, bool writable);
    virtual void EndAccess();

    int Width() const { return width_; }
    int Height() const { return height_; }
    int BitsPerPixel() const { return bitsPerPixel_; }
    bool HasAlpha() const { return hasAlpha_; }
    std::uint8_t* const* Lines() const { return lines_.get(); }
    // 2^bitsPerPixel entries for 1 and 8 bits per pixel, null for 32.
    PaletteEntry* Palette() const { return palette_; }
    int PaletteSize() const { return palette_ ? 1 << bitsPerPixel_ : 0; }

    void CopyPalette(const PaletteEntry* entries);
    void SetGreyPalette();

    // Pixel values: the index for 1 and 8 bits, the little-endian BGRA value for 32.
    std::uint32_t PixelAt(int x, int y) const;
    void StorePixel(int x, int y, std::uint32_t value);
    int NearestPaletteIndex(std::uint32_t colour) const;

    void SetQuantization(int dither, int method);
    int QuantizeDither() const { return quantizeDither_; }
    int QuantizeMethod() const { return quantizeMethod_; }

    // Depth 0 or the source's own depth copies exactly; 1, 8 and 32 convert,
    // except 32 to 8, which needs the colour quantizer (CopyConverted among the
    // filters) and throws CTextException 6 here.
    void CopyFrom(const CRasterBitmap& source, int bitsPerPixel);

    int AccessCount() const { return accessCount_; }

    // Bytes that `width` pixels need at `bitsPerPixel`, without padding.
    static std::int64_t PackedLineBytes(std::int64_t width, int bitsPerPixel);

protected:
    CRasterBitmap() = default;

    virtual void AllocateStorage(int width, int height, int bitsPerPixel, bool hasAlpha) = 0;
    virtual void ReleaseStorage() = 0;
    virtual void BuildLineTable() = 0;
    // An empty bitmap of the same kind, for conversions that need a scratch copy.
    virtual std::unique_ptr<CRasterBitmap> NewEmpty() const = 0;

    // Checks the arguments of Allocate; throws CTextException for bad ones.
    static void CheckFormat(int width, int height, int bitsPerPixel);
    // Allocates the line table for the current height (CTextException 10 on failure).
    void AllocateLineTable();

    int width_ = 0;
    int height_ = 0;
    int bitsPerPixel_ = 0;
    PaletteEntry* palette_ = nullptr;
    bool hasAlpha_ = false;
    std::unique_ptr<std::uint8_t*[]> lines_;
    int accessCount_ = 0;
    int quantizeDither_ = 0;
    int quantizeMethod_ = 2;

private:
    void ConvertFrom(const CRasterBitmap& source, int bitsPerPixel);
};

// Raw pixel helpers shared by decoders, filters and the encoder.
inline std::uint32_t LoadPixel32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}
inline void StorePixel32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}
inline std::uint32_t PackColour(const PaletteEntry& e) {
    return std::uint32_t{e.blue} | std::uint32_t{e.green} << 8 | std::uint32_t{e.red} << 16 |
           std::uint32_t{e.alpha} << 24;
}

// Keeps BeginAccess and EndAccess paired when an exception leaves the pixel loop.
class BitmapAccess {
public:
    BitmapAccess(CRasterBitmap& bitmap, bool readable, bool writable) : bitmap_(bitmap) {
        bitmap_.BeginAccess(readable, writable);
    }
    ~BitmapAccess() { bitmap_.EndAccess(); }
    BitmapAccess(const BitmapAccess&) = delete;
    BitmapAccess& operator=(const BitmapAccess&) = delete;

private:
    CRasterBitmap& bitmap_;
};

} // namespace skimlet
