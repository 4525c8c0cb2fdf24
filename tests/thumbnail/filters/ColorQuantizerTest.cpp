#include "filters/ColorQuantizer.h"

#include "Pictures.h"
#include "bitmaps/DibBitmap.h"
#include "bitmaps/PlainBitmap.h"
#include "filters/BitmapFilters.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

using namespace skimlet;

namespace {

using Q = CColorQuantizer;
using Colours = std::vector<std::uint32_t>;

// Grey levels of the fixed palette and their entries: the cube's (81, 81, 81)
// and the separate (128, 128, 128).
constexpr std::uint32_t kDark = 53, kLight = 248;

std::uint32_t Grey(int v) {
    return 0xFF000000u | static_cast<std::uint32_t>(v) * 0x010101u;
}

std::unique_ptr<CPlainBitmap> Quantized(const std::vector<std::uint32_t>& pixels, int width,
                                        int method, int dither) {
    CPlainBitmap source;
    FillPicture(source, width, 32, pixels);
    auto result = std::make_unique<CPlainBitmap>();
    Q(method, dither).Run(source, *result);
    EXPECT_EQ(result->BitsPerPixel(), 8);
    return result;
}

TEST(ColorQuantizer, FixedPaletteTable) {
    using E = std::array<std::uint8_t, 3>;
    const auto& table = Q::FixedPaletteEntries();
    EXPECT_EQ(table[9], (E{166, 202, 240}));
    EXPECT_EQ(table[16], (E{0, 81, 0})); // the cube (209 entries, checked at compile time)
    EXPECT_EQ(table[225], (E{196, 196, 196}));
    EXPECT_EQ(table[244], (E{253, 253, 253}));
    EXPECT_EQ(table[245], (E{155, 207, 207}));
    EXPECT_EQ(table[255], (E{255, 255, 255}));
    EXPECT_EQ(table[17], (E{81, 81, 0})); // byte 0 varies fastest
}

TEST(ColorQuantizer, FixedPaletteMapsPureColoursAndSharesBucketAnswers) {
    const std::vector<std::uint32_t> pure = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF,
                                             0xFF000000};
    auto result = Quantized(pure, 5, Q::FixedPalette, Q::NoDither);
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(PackColour(result->Palette()[result->PixelAt(x, 0)]), pure[x]) << x;

    // Grey 104 alone is nearest to 81, grey 110 to 128; in one 15-bit bucket
    // the colour looked up first decides for both.
    EXPECT_EQ(PixelsOf(*Quantized({Grey(104), Grey(110)}, 2, Q::FixedPalette, Q::NoDither)),
              (Colours{kDark, kDark}));
    EXPECT_EQ(PixelsOf(*Quantized({Grey(110), Grey(104)}, 2, Q::FixedPalette, Q::NoDither)),
              (Colours{kLight, kLight}));
}

TEST(ColorQuantizer, BoxSplittingOfOneColour) {
    auto result =
        Quantized(std::vector<std::uint32_t>(6, 0xFFC86432), 3, Q::MedianCut, Q::NoDither);
    // Corners black, red, green, blue, red+green, green+blue, red+blue, white;
    // (200, 100, 50) is the 5-bit (25, 12, 6), its centre 2 x level x 255 / 62.
    EXPECT_EQ(ColoursOf(*result, 0, 9),
              (Colours{0, 0xFF0000, 0xFF00, 0xFF, 0xFFFF00, 0xFFFF, 0xFF00FF, 0xFFFFFF, 0xCD6231}));
    EXPECT_EQ(ColoursOf(*result, 9, 247), Colours(247));
    EXPECT_EQ(PixelsOf(*result), Colours(6, 8));
}

TEST(ColorQuantizer, BoxSplittingSplitsAtTheMeanOfTheWidestChannel) {
    // 5-bit (4, 10, 20) three times and (20, 12, 2) once: blue spans most, its
    // mean 15 keeps the second colour in the old box 8.
    const std::uint32_t a = 0xFF2050A0, b = 0xFFA06010;
    auto result = Quantized({a, b, a, a}, 4, Q::MedianCut, Q::NoDither);
    EXPECT_EQ(ColoursOf(*result, 8, 3), (Colours{0xA46210, 0x2052A4, 0}));
    EXPECT_EQ(PixelsOf(*result), (Colours{9, 8, 9, 9}));

    // Red levels 10 and 11: the old box keeps up to the mean, 10.
    result = Quantized({0xFF500000, 0xFF580000}, 2, Q::MedianCut, Q::NoDither);
    EXPECT_EQ(ColoursOf(*result, 8, 3), (Colours{0x520000, 0x5A0000, 0}));

    // Red levels 10 and 12 (extent 2): the new box takes the lower level.
    result = Quantized({0xFF500000, 0xFF600000}, 2, Q::MedianCut, Q::NoDither);
    EXPECT_EQ(ColoursOf(*result, 8, 2), (Colours{0x620000, 0x520000}));
    EXPECT_EQ(PixelsOf(*result), (Colours{9, 8}));
}

TEST(ColorQuantizer, PopularityOrdersByCountThenScanOrder) {
    // 5-bit colours: A (3, 4, 5) x3, C (1, 2, 3) x2, B (6, 0, 1) and E (2, 0, 0)
    // once each, D (31, 0, 0) x4 never scanned.
    const std::uint32_t A = 0xFF182028, B = 0xFF300008, C = 0xFF081018, D = 0xFFF80000,
                        E = 0xFF100000;
    auto result = Quantized({B, A, D, C, A, D, E, D, C, A, D}, 11, Q::Popularity, Q::NoDither);
    EXPECT_EQ(ColoursOf(*result, 0, 2), (Colours{0, 0xFF0000}));
    EXPECT_EQ(ColoursOf(*result, 8, 4), (Colours{0x182029, 0x081018, 0x100000, 0x310008}));
    EXPECT_EQ(ColoursOf(*result, 12, 244), Colours(244));
    EXPECT_EQ(PixelsOf(*result), (Colours{11, 8, 1, 9, 8, 1, 10, 1, 9, 8, 1}));
}

TEST(ColorQuantizer, OrderedDitherRepeatsEveryFourPixelsFromTheRowEnd) {
    // Grey 101 plus twice the matrix value reaches 105 and above (entry 128)
    // for the matrix values 2 and up, and stays at 103 or below (entry 81)
    // otherwise. Columns count from the right end of the 6-pixel rows.
    auto result =
        Quantized(std::vector<std::uint32_t>(30, Grey(101)), 6, Q::FixedPalette, Q::OrderedDither);
    const char* expected[5] = {"#.#.#.", "...#..", "#.#.#.", ".#.#.#", "#.#.#."};
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(result->PixelAt(x, y), expected[y][x] == '#' ? kLight : kDark)
                << x << "," << y;
}

TEST(ColorQuantizer, FloydSteinbergWalksOddRowsRightToLeft) {
    // Row 0: 85 -> 81 sends 1.75 right and 1.25 below; 91.75 -> 81 sends 3/16 of
    // 10.75 behind and 5/16 below, leaving 3.27 and 3.61 for row 1. Row 1 starts
    // at the right: 98.61 -> 81, and 7/16 of its error 17.61 lifts the left
    // pixel to 95 + 3.27 + 7.70 = 105.97 -> 128.
    auto result = Quantized({Grey(85), Grey(90), Grey(95), Grey(95)}, 2, Q::FixedPalette,
                            Q::FloydSteinbergDither);
    EXPECT_EQ(PixelsOf(*result), (Colours{kDark, kDark, kLight, kDark}));
}

TEST(ColorQuantizer, CopyConvertedGoesThroughTheQuantizerSettings) {
    CDibBitmap colour;
    FillPicture(colour, 2, 32, {0xFFFF0000, Grey(101)});
    CDibBitmap indexed;
    // The bitmap model alone knows no quantizer and says so.
    ExpectTextException(SkimletCode::kUnsupported, [&] { indexed.CopyFrom(colour, 8); });
    CopyConverted(indexed, colour, 8); // default: fixed palette, no dithering
    EXPECT_EQ(PixelsOf(indexed), PixelsOf(*Quantized(PixelsOf(colour), 2, Q::FixedPalette, 0)));
    EXPECT_EQ(ColoursOf(indexed, 249, 1), Colours{0xFF0000FF}); // alpha kept from Allocate

    indexed.SetQuantization(Q::NoDither, Q::MedianCut);
    CopyConverted(indexed, colour, 8);
    EXPECT_EQ(ColoursOf(indexed, 8, 2), (Colours{0x626262, 0xFF0000}));
    EXPECT_EQ(PixelsOf(indexed), (Colours{1, 8}));

    // In place, with the bitmap's own settings; other depths copy as CopyFrom does.
    CDibBitmap same;
    FillPicture(same, 2, 32, {0xFFFF0000, Grey(101)});
    same.SetQuantization(Q::NoDither, Q::MedianCut);
    CopyConverted(same, same, 8);
    EXPECT_EQ(PixelsOf(same), PixelsOf(indexed));
    EXPECT_EQ(ColoursOf(same, 8, 2), ColoursOf(indexed, 8, 2));
    CDibBitmap wide;
    wide.CopyFrom(indexed, 32);
    CopyConverted(same, same, 32);
    EXPECT_EQ(same.BitsPerPixel(), 32);
    EXPECT_EQ(PixelsOf(same), PixelsOf(wide));

    Quantize(colour, Q::Popularity, Q::NoDither); // in place; red level 31 is not counted
    EXPECT_EQ(colour.BitsPerPixel(), 8);
    EXPECT_EQ(ColoursOf(colour, 8, 2), (Colours{0x626262, 0}));
    EXPECT_EQ(PixelsOf(colour), (Colours{1, 8}));
}

TEST(ColorQuantizer, OddSourcesAndSettings) {
    CPlainBitmap grey; // 8 bits, grey ramp: expanded to 32 first
    FillPicture(grey, 2, 8, {0, 255});
    CPlainBitmap result;
    Q(Q::FixedPalette, Q::NoDither).Run(grey, result);
    EXPECT_EQ(PixelsOf(result), (Colours{0, 255}));

    CPlainBitmap empty;
    empty.Allocate(0, 0, 32, false);
    Q(Q::MedianCut, Q::FloydSteinbergDither).Run(empty, result);
    EXPECT_EQ(result.Width(), 0);

    ExpectTextException(6, [&] { Q(3, 0).Run(grey, result); });
    ExpectTextException(6, [&] { Q(0, -1).Run(grey, result); });
}

} // namespace
