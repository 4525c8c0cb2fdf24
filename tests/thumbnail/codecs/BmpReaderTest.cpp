#include "codecs/BmpReader.h"
#include "bitmaps/DibBitmap.h"
#include "codecs/AutoTypeDecoder.h"

#include "../filters/Pictures.h"
#include "BmpBuilder.h"

#include <gtest/gtest.h>

#include <climits>

using namespace skimlet;

namespace {

using namespace std::string_literals;
using testsupport::BmpRows;
using testsupport::BmpSpec;
using testsupport::MakeBmp;
using Pixels = std::vector<std::uint32_t>;

const Pixels kTable = {0x112233, 0x445566, 0x778899, 0xAABBCC};
constexpr std::uint32_t K = 0xFF000000;
// Colour-table entries as opaque 32-bit pixels.
const std::uint32_t T0 = K | kTable[0], T1 = K | kTable[1], T2 = K | kTable[2], T3 = K | kTable[3];

BmpSpec Paletted(std::uint16_t bits, int width, int height, std::string pixels,
                 std::uint32_t compression = 0) {
    return {.width = width,
            .height = height,
            .bitCount = bits,
            .compression = compression,
            .palette = kTable,
            .pixels = std::move(pixels)};
}

// Bit fields; an alpha mask comes with the alpha variant of the compression
// after a 40-byte header, inside a longer one.
BmpSpec Fields(std::uint16_t bits, Pixels masks, std::string pixels, int width = 1,
               std::uint32_t infoSize = 40) {
    return {.width = width,
            .bitCount = bits,
            .compression = masks.size() == 4 && infoSize < 56 ? 6u : 3u,
            .infoSize = infoSize,
            .masks = std::move(masks),
            .pixels = std::move(pixels)};
}

class BmpReaderTest : public ::testing::Test {
protected:
    // "none" on success, else "code text"; pictures are always asked for at 32 bits.
    std::string Decode(const std::string& file, CPictureDecoder* with = nullptr) {
        const std::string failure = FailureOf([&] {
            (with ? *with : autoDecoder)
                .DecodeMemory(reinterpret_cast<const std::uint8_t*>(file.data()),
                              static_cast<std::int64_t>(file.size()), bitmap, 32);
        });
        EXPECT_EQ(bitmap.AccessCount(), 0);
        return failure;
    }

    CAutoTypeDecoder autoDecoder;
    CDibBitmap bitmap; // 16 x 16 until a reader allocates it
};

TEST_F(BmpReaderTest, DecodesEveryEncoding) {
    const BmpSpec eight = Paletted(8, 2, 2, BmpRows({"\0\1"s, "\2\3"}));
    BmpSpec topDown = eight, early = eight, v5 = eight, manyColours = eight;
    topDown.height = -2;
    early.offBits = 20;
    v5.infoSize = 124;
    for (std::uint32_t i = 4; i < 300; ++i)
        manyColours.palette.push_back(i * 0x010101 & 0xFFFFFF);
    manyColours.pixels = BmpRows({"\xFF\x03", "\0\2"s});
    manyColours.offBits = 0;
    BmpSpec shortTable = Paletted(8, 2, 1, BmpRows({"\0\5"s}));
    shortTable.palette = {kTable[1]};
    const Pixels mask565 = {0xF800, 0x07E0, 0x001F};
    const struct {
        const char* name;
        BmpSpec spec;
        Pixels pixels;
    } cases[] = {
        {"1 bit",
         Paletted(1, 10, 2, BmpRows({"\xA5\x40", "\x0F\xC0"})),
         {T0, T0, T0, T0, T1, T1, T1, T1, T1, T1, T1, T0, T1, T0, T0, T1, T0, T1, T0, T1}},
        {"4 bit odd width", Paletted(4, 3, 1, BmpRows({"\x12\x30"})), {T1, T2, T3}},
        {"8 bit", eight, {T2, T3, T0, T1}},
        {"top-down", topDown, {T0, T1, T2, T3}},
        {"info header 124", v5, {T2, T3, T0, T1}},
        {"pixel offset inside headers", early, {T2, T3, T0, T1}},
        {"300 colours, offset 0", manyColours, {T0, T2, 0xFFFFFFFF, T3}},
        {"short table is black", shortTable, {T1, K}},
        // Encoded run, odd absolute run with padding, end of line, even absolute
        // run; end of bitmap before the top row, which stays index 0.
        {"RLE8",
         Paletted(8, 5, 3, "\2\1\0\3\2\3\0\0\0\0\0\4\3\2\1\0\1\3\0\0\0\1"s, 1),
         {T0, T0, T0, T0, T0, T3, T2, T1, T0, T3, T1, T1, T2, T3, T0}},
        // Absolute run of 5 (3 bytes and padding), encoded run; absolute run of 4, end of bitmap.
        {"RLE4",
         Paletted(4, 6, 3, "\0\5\x12\x31\x20\0\1\x30\0\0\0\4\x32\x10\2\x21\0\1"s, 2),
         {T0, T0, T0, T0, T0, T0, T3, T2, T1, T0, T2, T1, T1, T2, T3, T1, T2, T3}},
        // Runs past the row's end are dropped, not spilled into the next row.
        {"RLE8 clipped", Paletted(8, 2, 2, "\0\3\2\2\2\0\5\1\0\0\0\1"s, 1), {T0, T0, T2, T2}},
        {"RLE4 clipped",
         Paletted(4, 3, 3, "\x09\x23\0\0\0\0\2\x31\0\1"s, 2),
         {T3, T1, T0, T0, T0, T0, T2, T3, T2}},
        {"16 bits 5-5-5, top bit ignored",
         {.bitCount = 16, .pixels = BmpRows({"\x22\xFC"})},
         {0xFFF80810}},
        {"bit fields 5-6-5", Fields(16, mask565, BmpRows({"\x62\xF8"})), {0xFFF80810}},
        {"bit fields 5-5-5",
         Fields(16, {0x7C00, 0x03E0, 0x1F}, BmpRows({"\x22\xFC"})),
         {0xFFF80810}},
        {"masks inside a longer header",
         Fields(16, mask565, BmpRows({"\x62\xF8"}), 1, 108),
         {0xFFF80810}},
        {"32 bits keep their alpha",
         {.width = 2, .bitCount = 32, .pixels = "\1\2\3\0\4\5\6\7"s},
         {0x00030201, 0x07060504}},
        {"32 bits, fourth bytes all 0, are opaque",
         {.width = 2, .bitCount = 32, .infoSize = 108, .pixels = "\1\2\3\0\4\5\6\0"s},
         {0xFF030201, 0xFF060504}},
        {"given alpha mask is kept even when 0",
         Fields(32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, std::string(8, '\0'), 2, 124),
         {0, 0}},
        {"32-bit masks in RGB order, opaque",
         Fields(32, {0xFF, 0xFF00, 0xFF0000}, "\x11\x22\x33\x44\x11\x22\x33\0"s, 2),
         {0xFF112233, 0xFF112233}},
        {"10-10-10-2 with alpha",
         Fields(32, {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000}, "\0\0\xF8\xBF"s),
         {0xAAFF8000}},
        {"4-4-4-4 inside a 108-byte header",
         Fields(16, {0x0F00, 0x00F0, 0x000F, 0xF000}, "\x3C\x8F\0\0"s, 2, 108),
         {0x88FF33CC, 0}},
        {"1-5-5-5 with alpha",
         Fields(16, {0x7C00, 0x03E0, 0x001F, 0x8000}, "\x01\xFE\xFF\x7F"s, 2),
         {0xFFFF8408, 0x00FFFFFF}},
        {"4-4-4, opaque",
         Fields(16, {0x0F00, 0x00F0, 0x000F}, BmpRows({"\x5F\x0A"})),
         {0xFFAA55FF}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Decode(MakeBmp(c.spec)), "none");
        EXPECT_EQ(bitmap.BitsPerPixel(), 32);
        EXPECT_EQ(bitmap.Height(), static_cast<int>(c.pixels.size()) / bitmap.Width());
        EXPECT_EQ(PixelsOf(bitmap), c.pixels);
    }
    for (int width = 1; width <= 4; ++width) { // 24 bits, every amount of row padding
        std::vector<std::string> rows(2);
        Pixels expected;
        for (int i = 0; i < 2 * width; ++i) { // blue counts up from the top left
            rows[1 - i / width] += {static_cast<char>(i), 'g', 'r'};
            expected.push_back(K | 'r' << 16 | 'g' << 8 | i);
        }
        ASSERT_EQ(Decode(MakeBmp({.width = width, .height = 2, .pixels = BmpRows(rows)})), "none");
        EXPECT_EQ(PixelsOf(bitmap), expected) << width;
    }
}

TEST_F(BmpReaderTest, RefusesBadFilesCheaplyAndCleanly) {
    const std::string eof = "11 End of file reached while decoding.\n";
    const auto refused = [](const std::string& text, int code = 2) {
        return std::to_string(code) + " Decoder error: " + text + ".\n";
    };
    const std::string noPixels = refused("Bitmap decoder: The picture has no pixels "
                                         "(width or height is 0)"),
                      delta = refused("Encountered delta escape", 6);
    const BmpSpec rgb{.width = 2, .height = 2, .pixels = std::string(16, 'x')};
    BmpSpec tiny = rgb, huge = rgb, intMin = rgb;
    tiny.pixels = huge.pixels = intMin.pixels = "1234";
    huge.width = huge.height = 100000;
    intMin.height = INT_MIN;
    const auto rle = [](std::uint16_t bits, int size, const std::string& data) {
        return Paletted(bits, size, size, data, bits == 8 ? 1u : 2u); // RLE8, RLE4
    };
    struct Failure {
        BmpSpec spec;
        std::string expected;
        bool allocates = false;
    };
    std::vector<Failure> cases = {
        {{.bitCount = 2}, refused("Decoding bmp: Illegal bpp value")},
        {{.width = 0}, noPixels},
        {{.height = 0}, noPixels},
        {{.width = -1}, refused("Bitmap decoder: Negative picture width")},
        {{.infoSize = 39}, refused("Bitmap decoder: BITMAPINFOHEADER has wrong size")},
        {tiny, eof},
        {huge, eof},
        {intMin, eof},
        {rle(8, 100000, "\0\1"s),
         refused("Bitmap decoder: Compressed picture of 100000 x 100000 pixels is too large", 10)},
        {rle(8, 4, "\2\1\0\2\1\1"s), delta, true},
        {rle(4, 4, "\0\2"s), delta, true},
        {rle(8, 4, "\4\1\0\0"s), eof, true},
    };
    // Compressions the reader cannot decode, refused before anything is allocated.
    const std::pair<std::uint16_t, std::uint32_t> unsupported[] = {
        {1, 3},                               // Huffman
        {24, 4},                              // RLE24, or JPEG
        {8, 4},                               // JPEG
        {24, 5},                              // PNG
        {32, 7}, {32, 11}, {16, 99},          // unknown
        {8, 2},  {4, 1},   {24, 1},  {16, 2}, // RLE at a depth it cannot have
        {24, 3}, {8, 3},   {1, 6},            // bit fields at a depth they cannot have
    };
    for (const auto& [bits, method] : unsupported)
        cases.push_back(
            {Paletted(bits, 2, 2, std::string(16, '\x11'), method),
             refused("Bitmap decoder: Unsupported compression " + std::to_string(method) + " at " +
                     std::to_string(bits) + " bits per pixel")});
    for (const Pixels& masks : {Pixels{0xF800, 0x07E0, 0x0F0F},
                                {0x1F0000, 0x07E0, 0x001F},
                                {0xF800, 0x07E0, 0x001F, 0x10000},
                                {0x7C00, 0x03E0, 0x001F, 0x8001}})
        cases.push_back({Fields(16, masks, std::string(4, '\0')),
                         refused("Bitmap decoder: Bit-field masks must be contiguous and within "
                                 "the pixel")});
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
              refused("Bitmap decoder: This isn't a bitmap", 1));
}

} // namespace
