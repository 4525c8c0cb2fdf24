#pragma once

#include "bitmaps/PixelMemory.h"
#include "bitmaps/RasterBitmap.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace skimlet {

// A bitmap held in one packed device-independent bitmap block: a 40-byte
// BITMAPINFOHEADER, the palette for 1 and 8 bits per pixel, then the rows
// bottom line first, each padded to a multiple of 4 bytes.
class CDibBitmap : public CRasterBitmap {
public:
    static constexpr std::int64_t kHeaderSize = 40;

    // A new bitmap is 16 x 16 at 8 bits per pixel.
    CDibBitmap();
    ~CDibBitmap() override;

    std::int64_t MemoryFootprint() const override;
    std::int64_t LineStride() const override;

    // Becomes a copy of a packed DIB block (header, palette, pixels). The block is
    // checked against `size`; a malformed one throws CTextException 2.
    void CopyFromPackedDib(const std::uint8_t* block, std::size_t size);
    const std::uint8_t* PackedDib() const { return dib_.get(); }
    std::size_t PackedDibSize() const { return dibSize_; }

    // Copies `source` into this 32-bit bitmap at (x, y), clipped, expanding palette
    // pixels and blending by the source's alpha when it has an alpha channel.
    void PasteAt(const CRasterBitmap& source, int x, int y);

protected:
    void AllocateStorage(int width, int height, int bitsPerPixel, bool hasAlpha) override;
    void ReleaseStorage() override;
    void BuildLineTable() override;
    std::unique_ptr<CRasterBitmap> NewEmpty() const override;

private:
    // Points palette and bits into the block according to its header.
    void SetPointersFromHeader();

    PixelBlock dib_;
    std::size_t dibSize_ = 0;
    std::uint8_t* bits_ = nullptr;
};

} // namespace skimlet
