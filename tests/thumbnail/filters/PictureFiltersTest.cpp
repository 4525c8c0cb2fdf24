#include "Pictures.h"
#include "bitmaps/DibBitmap.h"
#include "bitmaps/PlainBitmap.h"
#include "filters/BitmapFilters.h"
#include "filters/GeometryFilters.h"
#include "filters/PixelFilters.h"

#include <gtest/gtest.h>

#include <limits>
#include <numbers>

using namespace skimlet;

namespace {

using Pixels = std::vector<std::uint32_t>;

TEST(PictureFilters, GreyscaleWeighsChannelsAndKeepsGreys) {
    CDibBitmap picture;
    FillPicture(picture, 6, 32,
                {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF, 0xFF131313, 0xFF7C7C7C});
    ToGreyscale(picture);
    EXPECT_EQ(picture.BitsPerPixel(), 8);
    EXPECT_EQ(PixelsOf(picture), (Pixels{54, 182, 18, 255, 19, 124}));
    EXPECT_EQ(picture.Palette()[100], (PaletteEntry{100, 100, 100, 255}));

    CPlainBitmap indexed; // read through its palette
    FillPicture(indexed, 1, 8, {3});
    indexed.Palette()[3] = PaletteEntry{0, 255, 0, 255};
    CPlainBitmap grey;
    CGreyscaleFilter().Run(indexed, grey);
    EXPECT_EQ(PixelsOf(grey), Pixels{182});
}

TEST(PictureFilters, AlphaThresholdAndLightness) {
    CPlainBitmap picture;
    FillPicture(picture, 4, 32, {0x7F0A0000, 0x000B0000, 0x10130000, 0xFF140000});
    CPlainBitmap result;
    CAlphaExtractFilter().Run(picture, result);
    EXPECT_EQ(PixelsOf(result), (Pixels{0x7F, 0, 0x10, 0xFF}));

    CThresholdFilter(10, 20, 2).Run(picture, result); // red, strictly between
    EXPECT_EQ(result.BitsPerPixel(), 8);
    EXPECT_EQ(PixelsOf(result), (Pixels{0, 11, 19, 0}));
    ExpectTextException(6, [&] { CThresholdFilter(0, 255, 4).Run(picture, result); });
    ExpectTextException(6, [&] { Threshold(picture, 0, 255, -1); });

    // (200, 100, 50): value 200 becomes 55, hue and saturation kept, so every
    // channel scales by 55 / 200 (27.5 and 13.75 rounded up). Alpha stays.
    FillPicture(picture, 4, 32, {0x40C86432, 0xFF000000, 0xFFFFFFFF, 0xFF646464});
    InvertLightness(picture);
    EXPECT_EQ(PixelsOf(picture), (Pixels{0x40371C0E, 0xFFFFFFFF, 0xFF000000, 0xFF9B9B9B}));
}

TEST(PictureFilters, RotateTurnsCounterClockwiseAroundTheCentre) {
    CPlainBitmap picture;
    FillPicture(picture, 3, 32, {1, 2, 3, 4, 5, 6});
    CPlainBitmap result;
    CRotateFilter(std::numbers::pi / 2, 0xFF00FF00).Run(picture, result);
    EXPECT_EQ(result.Width(), 2);
    EXPECT_EQ(PixelsOf(result), (Pixels{3, 6, 2, 5, 1, 4}));
    CRotateFilter(0, 0).Run(picture, result);
    EXPECT_EQ(PixelsOf(result), PixelsOf(picture));

    // A quarter turn of 2 x 2 needs 3 x 3: each pixel moves a corner's way
    // round, the corners of the result are background.
    const std::uint32_t bg = 0xFF00FF00;
    FillPicture(picture, 2, 32, {1, 2, 3, 4});
    Rotate(picture, std::numbers::pi / 4, bg);
    EXPECT_EQ(picture.Width(), 3);
    EXPECT_EQ(PixelsOf(picture), (Pixels{bg, 2, bg, 1, 4, 4, bg, 3, bg}));
    ExpectTextException(6, [&] { Rotate(picture, std::numeric_limits<double>::quiet_NaN(), 0); });
}

TEST(PictureFilters, CropKeepsDepthAndClipsToThePicture) {
    CDibBitmap picture;
    FillPicture(picture, 4, 32, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    CPlainBitmap result;
    CCropFilter(1, 3, 1, 3).Run(picture, result);
    EXPECT_EQ(result.Width(), 2);
    EXPECT_EQ(PixelsOf(result), (Pixels{5, 6, 9, 10}));
    CCropFilter(-5, 99, -1, 2).Run(picture, result);
    EXPECT_EQ(PixelsOf(result), (Pixels{0, 1, 2, 3, 4, 5, 6, 7}));
    ExpectTextException(6, [&] { Crop(picture, 2, 2, 0, 3); });
    ExpectTextException(6, [&] { Crop(picture, 4, 9, 0, 3); });

    CPlainBitmap bits; // 1 bit per pixel, cut off a byte boundary
    FillPicture(bits, 10, 1, {1, 0, 1, 1, 0, 0, 1, 0, 1, 1});
    bits.Palette()[1] = PaletteEntry{1, 2, 3, 4};
    Crop(bits, 3, 10, 0, 1);
    EXPECT_EQ(bits.BitsPerPixel(), 1);
    EXPECT_EQ(PixelsOf(bits), (Pixels{1, 0, 0, 1, 0, 1, 1}));
    EXPECT_EQ(bits.Palette()[1], (PaletteEntry{1, 2, 3, 4}));
}

} // namespace
