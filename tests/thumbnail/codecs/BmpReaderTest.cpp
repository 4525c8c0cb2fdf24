#include "codecs/BmpReader.h"
#include "base/TextException.h"
#include "bitmaps/DibBitmap.h"
#include "codecs/AutoTypeDecoder.h"

#include "BmpBuilder.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <climits>

using namespace skimlet;

namespace {

using namespace std::string_literals;
using testsupport::BmpRows;
using testsupport::BmpSpec;
using testsupport::MakeBmp;
using Pixels = std::vector<std::uint32_t>;

const std::vector<std::uint32_t> kTable = {0x112233, 0x445566, 0x778899, 0xAABBCC};
constexpr std::uint32_t K = 0xFF000000, W = 0xFFFFFFFF;
constexpr std::uint32_t O(std::uint32_t colour) {
    return 0xFF000000 | colour;
}
// Colour-table entries as opaque 32-bit pixels.
const std::uint32_t T0 = O(kTable[0]), T1 = O(kTable[1]), T2 = O(kTable[2]), T3 = O(kTable[3]);

BmpSpec Paletted(std::uint16_t bits, int width, int height, std::string pixels,
                 std::uint32_t compression = 0) {
    BmpSpec spec{.width = width, .height = height, .bitCount = bits, .compression = compression};
    spec.palette = kTable;
    spec.pixels = std::move(pixels);
    return spec;
}

class BmpReaderTest : public ::testing::Test {
protected:
    // "" on success, else "code text".
    std::string Decode(const std::string& file, CPictureDecoder* with = nullptr) {
        CPictureDecoder& decoder = with ? *with : autoDecoder;
        const auto e = testsupport::Thrown<CTextException>([&] {
            decoder.DecodeMemory(reinterpret_cast<const std::uint8_t*>(file.data()),
                                 static_cast<std::int64_t>(file.size()), bitmap, 32);
        });
        EXPECT_EQ(bitmap.AccessCount(), 0);
        return e ? std::to_string(e->Code()) + " " + e->Text() : "";
    }
    Pixels Read() const { // top row first
        Pixels pixels;
        for (int y = 0; y < bitmap.Height(); ++y)
            for (int x = 0; x < bitmap.Width(); ++x)
                pixels.push_back(bitmap.PixelAt(x, y));
        return pixels;
    }

    CAutoTypeDecoder autoDecoder;
    CDibBitmap bitmap; // 16 x 16 until a reader allocates it
};

// Pictures are always asked for at 32 bits: 8-bit results serve no caller.
struct Case {
    const char* name;
    BmpSpec spec;
    Pixels pixels;
};

TEST_F(BmpReaderTest, DecodesEveryEncoding) {
    BmpSpec bw = Paletted(1, 10, 2, BmpRows({"\xA5\x40", "\x0F\xC0"}));
    bw.palette = {0xFFFFFF, 0};
    const BmpSpec four = Paletted(4, 3, 1, BmpRows({"\x12\x30"}));
    const BmpSpec eight = Paletted(8, 2, 2, BmpRows({"\0\1"s, "\2\3"}));
    BmpSpec topDown = eight, early = eight, v4 = eight, v5 = eight, manyColours = eight;
    topDown.height = -2;
    early.offBits = 20;
    v4.infoSize = 108;
    v5.infoSize = 124;
    for (std::uint32_t i = 4; i < 300; ++i)
        manyColours.palette.push_back(i * 0x010101 & 0xFFFFFF);
    manyColours.pixels = BmpRows({"\xFF\x03", "\0\2"s});
    manyColours.offBits = 0;
    // Encoded run, odd absolute run with padding, end of line, even absolute run;
    // end of bitmap before the top row, which stays index 0.
    const BmpSpec rle8 = Paletted(8, 5, 3, "\2\1\0\3\2\3\0\0\0\0\0\4\3\2\1\0\1\3\0\0\0\1"s, 1);
    // Absolute run of 5 (3 bytes and padding), encoded run; absolute run of 4, end of bitmap.
    const BmpSpec rle4 =
        Paletted(4, 6, 3, "\0\5\x12\x31\x20\0\1\x30\0\0\0\4\x32\x10\2\x21\0\1"s, 2);
    // Runs past the row's end are dropped, not spilled into the next row; unwritten
    // pixels are index 0.
    const BmpSpec clipped8 = Paletted(8, 2, 2, "\0\3\2\2\2\0\5\1\0\0\0\1"s, 1);
    const BmpSpec clipped4 = Paletted(4, 3, 3, "\x09\x23\0\0\0\0\2\x31\0\1"s, 2);
    BmpSpec shortTable = Paletted(8, 2, 1, BmpRows({"\0\5"s}));
    shortTable.palette = {kTable[1]};
    BmpSpec blueGold = Paletted(1, 2, 1, BmpRows({"\x40"})), oneEntry = blueGold;
    blueGold.palette = {0x0000FF, 0xFFD700};
    oneEntry.palette = {0x123456};
    const std::vector<Case> cases = {
        {"1 bit (white, black)", bw, {W, W, W, W, K, K, K, K, K, K, K, W, K, W, W, K, W, K, W, K}},
        {"1 bit coloured", blueGold, {O(0x0000FF), O(0xFFD700)}},
        {"1 bit one-entry table", oneEntry, {O(0x123456), K}},
        {"4 bit odd width", four, {T1, T2, T3}},
        {"8 bit", eight, {T2, T3, T0, T1}},
        {"top-down", topDown, {T0, T1, T2, T3}},
        {"info header 108", v4, {T2, T3, T0, T1}},
        {"info header 124", v5, {T2, T3, T0, T1}},
        {"pixel offset inside headers", early, {T2, T3, T0, T1}},
        {"300 colours, offset 0", manyColours, {T0, T2, 0xFFFFFFFF, T3}},
        {"short table is black", shortTable, {T1, K}},
        {"RLE8", rle8, {T0, T0, T0, T0, T0, T3, T2, T1, T0, T3, T1, T1, T2, T3, T0}},
        {"RLE4", rle4, {T0, T0, T0, T0, T0, T0, T3, T2, T1, T0, T2, T1, T1, T2, T3, T1, T2, T3}},
        {"RLE8 clipped", clipped8, {T0, T0, T2, T2}},
        {"RLE4 clipped", clipped4, {T3, T1, T0, T0, T0, T0, T2, T3, T2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Decode(MakeBmp(c.spec)), "");
        EXPECT_EQ(bitmap.BitsPerPixel(), 32);
        EXPECT_EQ(bitmap.Height(), static_cast<int>(c.pixels.size()) / bitmap.Width());
        EXPECT_EQ(Read(), c.pixels);
    }
}

TEST_F(BmpReaderTest, DecodesTrueColour) {
    const std::vector<std::uint32_t> mask565 = {0xF800, 0x07E0, 0x001F};
    const BmpSpec plain16{.bitCount = 16, .pixels = BmpRows({"\x22\xFC"})};
    BmpSpec fields565{
        .bitCount = 16, .compression = 3, .masks = mask565, .pixels = BmpRows({"\x62\xF8"})};
    BmpSpec fields555 = plain16, inside = fields565;
    fields555.compression = 3;
    fields555.masks = {0x7C00, 0x03E0, 0x001F};
    inside.infoSize = 108;
    const BmpSpec alpha{.width = 2, .bitCount = 32, .pixels = "\1\2\3\0\4\5\6\7"s};
    BmpSpec noAlpha = alpha, v5Alpha = alpha, rgbOrder = alpha, v4Rgb = alpha;
    noAlpha.pixels = "\1\2\3\0\4\5\6\0"s;
    v4Rgb.infoSize = 108;
    v4Rgb.pixels = noAlpha.pixels;
    // Bit fields, each mask a different layout: where the masks sit (after a
    // 40-byte header, inside a longer one, four of them with the alpha variant),
    // channel order, widths from 1 to 10 bits, with and without alpha.
    v5Alpha.compression = 3;
    v5Alpha.infoSize = 124;
    v5Alpha.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    v5Alpha.pixels = std::string(8, '\0');
    rgbOrder.compression = 3;
    rgbOrder.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};
    rgbOrder.pixels = "\x11\x22\x33\x44\x11\x22\x33\0"s;
    const BmpSpec wide{.bitCount = 32,
                       .compression = 6,
                       .masks = {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000},
                       .pixels = "\0\0\xF8\xBF"s};
    const BmpSpec argb4444{.width = 2,
                           .bitCount = 16,
                           .compression = 3,
                           .infoSize = 108,
                           .masks = {0x0F00, 0x00F0, 0x000F, 0xF000},
                           .pixels = "\x3C\x8F\0\0"s};
    const BmpSpec argb1555{.width = 2,
                           .bitCount = 16,
                           .compression = 6,
                           .masks = {0x7C00, 0x03E0, 0x001F, 0x8000},
                           .pixels = "\x01\xFE\xFF\x7F"s};
    const BmpSpec rgb444{.bitCount = 16,
                         .compression = 3,
                         .masks = {0x0F00, 0x00F0, 0x000F},
                         .pixels = BmpRows({"\x5F\x0A"})};
    const std::vector<Case> cases = {
        {"16 bits 5-5-5, top bit ignored", plain16, {0xFFF80810}},
        {"bit fields 5-6-5", fields565, {0xFFF80810}},
        {"bit fields 5-5-5", fields555, {0xFFF80810}},
        {"masks inside a longer header", inside, {0xFFF80810}},
        {"32 bits keep their alpha", alpha, {0x00030201, 0x07060504}},
        {"32 bits, fourth bytes all 0, are opaque", noAlpha, {0xFF030201, 0xFF060504}},
        {"also with a longer header", v4Rgb, {0xFF030201, 0xFF060504}},
        {"given alpha mask is kept even when 0", v5Alpha, {0, 0}},
        {"32-bit masks in RGB order, opaque", rgbOrder, {0xFF112233, 0xFF112233}},
        {"10-10-10-2 with alpha", wide, {0xAAFF8000}},
        {"4-4-4-4 inside a 108-byte header", argb4444, {0x88FF33CC, 0}},
        {"1-5-5-5 with alpha", argb1555, {0xFFFF8408, 0x00FFFFFF}},
        {"4-4-4, opaque", rgb444, {0xFFAA55FF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Decode(MakeBmp(c.spec)), "");
        EXPECT_EQ(Read(), c.pixels);
    }
    for (int width = 1; width <= 4; ++width) { // every amount of row padding
        std::vector<std::string> rows(2);
        Pixels expected;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < width; ++x) {
                const char blue = static_cast<char>(10 * x + y);
                rows[1 - y] += {blue, 'g', 'r'};
                expected.push_back(0xFF000000 | 'r' << 16 | 'g' << 8 | std::uint8_t(blue));
            }
        ASSERT_EQ(Decode(MakeBmp({.width = width, .height = 2, .pixels = BmpRows(rows)})), "");
        EXPECT_EQ(Read(), expected) << width;
    }
}

TEST_F(BmpReaderTest, RefusesBadFilesCheaplyAndCleanly) {
    const std::string eof = "11 End of file reached while decoding.\n", error = "Decoder error: ";
    const std::string noPixels = "2 " + error +
                                 "Bitmap decoder: The picture has no pixels "
                                 "(width or height is 0).\n";
    const std::string delta = "6 " + error + "Encountered delta escape.\n";
    const BmpSpec rgb{.width = 2, .height = 2, .pixels = std::string(16, 'x')};
    BmpSpec tiny = rgb, huge = rgb, intMin = rgb;
    tiny.pixels = huge.pixels = intMin.pixels = "1234";
    huge.width = huge.height = 100000;
    intMin.height = INT_MIN;
    auto rle = [](std::uint16_t bits, int size, const std::string& data) {
        return Paletted(bits, size, size, data, bits == 8 ? 1u : 2u); // RLE8, RLE4
    };
    struct Failure {
        BmpSpec spec;
        std::string expected;
        bool allocates = false;
    };
    std::vector<Failure> cases = {
        {{.bitCount = 2}, "2 " + error + "Decoding bmp: Illegal bpp value.\n"},
        {{.width = 0}, noPixels},
        {{.height = 0}, noPixels},
        {{.width = -1}, "2 " + error + "Bitmap decoder: Negative picture width.\n"},
        {{.infoSize = 39}, "2 " + error + "Bitmap decoder: BITMAPINFOHEADER has wrong size.\n"},
        {tiny, eof},
        {huge, eof},
        {intMin, eof},
        {rle(8, 100000, "\0\1"s),
         "10 " + error +
             "Bitmap decoder: Compressed picture of 100000 x 100000 pixels is too large.\n"},
        {rle(8, 4, "\2\1\0\2\1\1"s), delta, true},
        {rle(4, 4, "\0\2"s), delta, true},
        {rle(8, 4, "\4\1\0\0"s), eof, true},
    };
    // Compressions the reader cannot decode, refused before anything is allocated.
    const std::string compression = "2 " + error + "Bitmap decoder: Unsupported compression ";
    const std::pair<std::uint16_t, std::uint32_t> refused[] = {
        {1, 3},                               // Huffman
        {24, 4},                              // RLE24, or JPEG
        {8, 4},                               // JPEG
        {24, 5},                              // PNG
        {32, 7}, {32, 11}, {16, 99},          // unknown
        {8, 2},  {4, 1},   {24, 1},  {16, 2}, // RLE at a depth it cannot have
        {24, 3}, {8, 3},   {1, 6},            // bit fields at a depth they cannot have
    };
    for (const auto& [bits, method] : refused)
        cases.push_back({Paletted(bits, 2, 2, std::string(16, '\x11'), method),
                         compression + std::to_string(method) + " at " + std::to_string(bits) +
                             " bits per pixel.\n"});
    const std::string badMasks =
        "2 " + error + "Bitmap decoder: Bit-field masks must be contiguous and within the pixel.\n";
    for (const std::vector<std::uint32_t>& masks :
         {std::vector<std::uint32_t>{0xF800, 0x07E0, 0x0F0F},
          {0x1F0000, 0x07E0, 0x001F},
          {0xF800, 0x07E0, 0x001F, 0x10000},
          {0x7C00, 0x03E0, 0x001F, 0x8001}})
        cases.push_back({{.bitCount = 16,
                          .compression = masks.size() == 4 ? 6u : 3u,
                          .masks = masks,
                          .pixels = std::string(4, '\0')},
                         badMasks});
    for (const Failure& c : cases) {
        bitmap.Allocate(16, 16, 8, false);
        EXPECT_EQ(Decode(MakeBmp(c.spec)), c.expected);
        EXPECT_EQ(bitmap.Width() != 16, c.allocates) << c.expected;
    }
    const std::string rgbFile = MakeBmp(rgb);
    std::string hugeHeader = rgbFile, farPixels = rgbFile;
    hugeHeader[17] = '\xFF';
    farPixels[11] = '\x10';
    for (const std::string& file : {rgbFile.substr(0, 60), "BMxx"s, hugeHeader, farPixels})
        EXPECT_EQ(Decode(file), eof);
    CBmpReader reader;
    EXPECT_EQ(Decode("MB" + rgbFile.substr(2), &reader),
              "1 " + error + "Bitmap decoder: This isn't a bitmap.\n");
}

} // namespace
