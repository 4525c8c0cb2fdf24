#pragma once

#include "bitmaps/PixelMemory.h"
#include "bitmaps/RasterBitmap.h"

#include <cstdint>
#include <memory>

namespace skimlet {

// A bitmap with top-down, unpadded rows in plain memory; filters use it for
// temporary results. A new one is 16 x 16 at 8 bits per pixel.
class CPlainBitmap : public CRasterBitmap {
public:
    CPlainBitmap();
    ~CPlainBitmap() override;

    std::int64_t MemoryFootprint() const override;
    std::int64_t LineStride() const override;

protected:
    void AllocateStorage(int width, int height, int bitsPerPixel, bool hasAlpha) override;
    void ReleaseStorage() override;
    void BuildLineTable() override;
    std::unique_ptr<CRasterBitmap> NewEmpty() const override;

private:
    PixelBlock pixels_;
    std::unique_ptr<PaletteEntry[]> paletteBlock_;
};

} // namespace skimlet
