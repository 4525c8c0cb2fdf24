#include "base/TextException.h"
#include "bitmaps/DibBitmap.h"
#include "bitmaps/PlainBitmap.h"

#include "../filters/Pictures.h"

#include <gtest/gtest.h>

using namespace skimlet;

namespace {

// New bitmaps are 16 x 16 at 8 bits with a grey ramp; DIB lines are padded to 4 bytes.
TEST(Bitmap, DefaultsStridesAndFootprint) {
    CDibBitmap dib;
    CPlainBitmap plain;
    for (CRasterBitmap* b :
         {static_cast<CRasterBitmap*>(&dib), static_cast<CRasterBitmap*>(&plain)}) {
        EXPECT_EQ(std::make_pair(b->Width(), b->Height()), std::make_pair(16, 16));
        EXPECT_EQ(b->BitsPerPixel(), 8);
        EXPECT_EQ(b->Palette()[200], (PaletteEntry{200, 200, 200, 255}));
        b->Allocate(3, 2, 32, false);
        EXPECT_EQ(b->LineStride(), 12);
    }
    plain.Allocate(9, 1, 1, false);
    EXPECT_EQ(plain.LineStride(), 2);
    dib.Allocate(100, 75, 32, false);
    EXPECT_EQ(dib.MemoryFootprint(), 30088);
    EXPECT_EQ(dib.Palette(), nullptr);
    dib.Allocate(9, 1, 1, false);
    EXPECT_EQ(dib.LineStride(), 4);
    EXPECT_EQ(dib.Palette()[0], (PaletteEntry{0, 0, 0, 255}));
    EXPECT_EQ(dib.Palette()[1], (PaletteEntry{255, 255, 255, 255}));
}

TEST(Bitmap, DibStoresRowsBottomUpBehindAValidHeader) {
    CDibBitmap dib;
    dib.Allocate(2, 3, 32, false);
    const std::uint8_t* block = dib.PackedDib();
    EXPECT_EQ(block[0], 40);
    EXPECT_EQ(block[4], 2);
    EXPECT_EQ(block[8], 3);
    EXPECT_EQ(block[14], 32);
    const std::uint8_t* bits = block + 40;
    EXPECT_EQ(dib.Lines()[2], bits);
    EXPECT_EQ(dib.Lines()[0], bits + 2 * dib.LineStride());

    CDibBitmap copy;
    copy.CopyFromPackedDib(dib.PackedDib(), dib.PackedDibSize());
    EXPECT_EQ(copy.Width(), 2);
    EXPECT_EQ(copy.Height(), 3);
    EXPECT_THROW(copy.CopyFromPackedDib(dib.PackedDib(), dib.PackedDibSize() - 1), CTextException);
}

TEST(Bitmap, OneBitPixelsRoundTripAtEveryPosition) {
    CDibBitmap dib;
    dib.Allocate(19, 1, 1, false);
    for (int x = 0; x < 19; ++x)
        dib.StorePixel(x, 0, 0);
    for (int x = 0; x < 19; ++x) {
        dib.StorePixel(x, 0, 1);
        EXPECT_EQ(dib.PixelAt(x, 0), 1u) << x;
    }
    dib.StorePixel(4, 0, 0);
    EXPECT_EQ(dib.Lines()[0][0], 0xF7);
}

TEST(Bitmap, ConversionsFollowPalettesAndBrightness) {
    CPlainBitmap colour;
    colour.Allocate(2, 1, 32, false);
    colour.StorePixel(0, 0, 0xFF7F7F7F); // grey 127: dark
    colour.StorePixel(1, 0, 0xFF800000); // red 128 only: light
    CDibBitmap mono;
    mono.CopyFrom(colour, 1);
    EXPECT_EQ(mono.PixelAt(0, 0), 1u);
    EXPECT_EQ(mono.PixelAt(1, 0), 0u);
    EXPECT_EQ(mono.Palette()[0], (PaletteEntry{255, 255, 255, 255}));

    CDibBitmap back;
    back.CopyFrom(mono, 32);
    EXPECT_EQ(back.PixelAt(0, 0), 0xFF000000u);
    EXPECT_EQ(back.PixelAt(1, 0), 0xFFFFFFFFu);

    // In place, through the palette; depth 0 copies exactly, alpha flag included.
    CDibBitmap indexed;
    CPlainBitmap copy;
    indexed.Allocate(2, 1, 8, true);
    indexed.Palette()[7] = PaletteEntry{1, 2, 3, 4};
    indexed.StorePixel(1, 0, 7);
    copy.CopyFrom(indexed, 0);
    EXPECT_EQ(copy.BitsPerPixel(), 8);
    EXPECT_TRUE(copy.HasAlpha());
    EXPECT_EQ(copy.PixelAt(1, 0), 7u);
    EXPECT_EQ(copy.Palette()[7], (PaletteEntry{1, 2, 3, 4}));
    copy.CopyFrom(copy, 32);
    EXPECT_EQ(copy.BitsPerPixel(), 32);
    EXPECT_EQ(copy.PixelAt(1, 0), 0x04030201u);
    indexed.CopyFrom(indexed, 32); // the scratch copy is a bitmap of the same kind
    EXPECT_EQ(indexed.BitsPerPixel(), 32);
    EXPECT_EQ(indexed.PixelAt(1, 0), 0x04030201u);
}

TEST(Bitmap, NearestPaletteIndexTakesFirstClosestEntry) {
    CDibBitmap grey; // grey ramp
    EXPECT_EQ(grey.NearestPaletteIndex(0xFF646464), 100);
    grey.Palette()[50] = PaletteEntry{100, 100, 100, 255};
    EXPECT_EQ(grey.NearestPaletteIndex(0xFF646464), 50);
    CDibBitmap colour;
    colour.Allocate(1, 1, 32, false);
    EXPECT_EQ(colour.NearestPaletteIndex(0x12345678), 0x12345678);
}

TEST(Bitmap, RefusesImpossibleSizesAsOutOfMemory) {
    CDibBitmap dib;
    EXPECT_EQ(FailureOf([&] { dib.Allocate(1 << 30, 1 << 30, 32, false); }),
              "10 Out of memory creating bitmap.");
    EXPECT_THROW(dib.Allocate(4, 4, 24, false), CTextException);
    dib.Allocate(4, 4, 32, false); // still usable afterwards
    EXPECT_EQ(dib.Width(), 4);
}

} // namespace
