#pragma once

#include "bitmaps/RasterBitmap.h"
#include "bitmaps/TextException.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

// Small pictures for filter tests, as pixel values in rows from the top: the
// 0xAARRGGBB value at 32 bits per pixel, the index at 1 and 8.

inline void FillPicture(CRasterBitmap& bitmap, int width, int bitsPerPixel,
                        const std::vector<std::uint32_t>& pixels) {
    const int height = static_cast<int>(pixels.size()) / width;
    bitmap.Allocate(width, height, bitsPerPixel, false);
    for (int i = 0; i < width * height; ++i)
        bitmap.StorePixel(i % width, i / width, pixels[static_cast<std::size_t>(i)]);
}

inline std::vector<std::uint32_t> PixelsOf(const CRasterBitmap& bitmap) {
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x)
            pixels.push_back(bitmap.PixelAt(x, y));
    return pixels;
}

// Palette entries as 0xAARRGGBB values.
inline std::vector<std::uint32_t> ColoursOf(const CRasterBitmap& bitmap, int first, int count) {
    std::vector<std::uint32_t> colours;
    for (int i = first; i < first + count; ++i)
        colours.push_back(PackColour(bitmap.Palette()[i]));
    return colours;
}

inline void ExpectTextException(std::int32_t code, const std::function<void()>& action) {
    try {
        action();
        ADD_FAILURE() << "no exception";
    } catch (const CTextException& e) {
        EXPECT_EQ(e.Code(), code);
        EXPECT_FALSE(e.Text().empty());
    }
}
