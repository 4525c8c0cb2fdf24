#include "codecs/JpegWriter.h"
#include "bitmaps/DibBitmap.h"
#include "bitmaps/TextException.h"
#include "io/ByteSink.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using testsupport::ReadFile;
using testsupport::TempDir;

// A 32-bit bitmap whose pixel (x, y) is colour(x, y) as 0xAARRGGBB.
template <typename Colour>
void Paint(CRasterBitmap& bitmap, int width, int height, Colour colour) {
    bitmap.Allocate(width, height, 32, false);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            StorePixel32(bitmap.Lines()[y] + 4 * x, colour(x, y));
}

std::uint32_t Pattern(int x, int y) {
    return 0x01000000u * static_cast<std::uint32_t>(x * 7 + y) |
           static_cast<std::uint32_t>((x * 37 + y * 11) % 256) << 16 |
           static_cast<std::uint32_t>((x * y * 5) % 256) << 8 |
           static_cast<std::uint32_t>((255 - y * 9) & 0xFF);
}

std::string Encode(CJpegWriter& writer, CRasterBitmap& bitmap, const TempDir& dir) {
    const std::string path = dir / "out.jpg";
    writer.EncodeToFile(path, bitmap);
    return ReadFile(path);
}

TEST(JpegWriter, MatchesPlainLibjpegEncodeOfRgbIgnoringAlpha) {
    TempDir dir;
    CDibBitmap bitmap;
    Paint(bitmap, 37, 23, Pattern);
    CJpegWriter writer;
    const std::string encoded = Encode(writer, bitmap, dir);

    testsupport::JpegSpec spec;
    spec.width = 37;
    spec.height = 23;
    spec.quality = 75;
    spec.floatDct = true;
    spec.pixel = [](int x, int y, std::uint8_t* rgb) {
        const std::uint32_t p = Pattern(x, y);
        rgb[0] = static_cast<std::uint8_t>(p >> 16);
        rgb[1] = static_cast<std::uint8_t>(p >> 8);
        rgb[2] = static_cast<std::uint8_t>(p);
    };
    EXPECT_EQ(encoded, testsupport::MakeJpeg(spec));

    Paint(bitmap, 37, 23, [](int x, int y) { return (Pattern(x, y) & 0xFFFFFF) | 0x5A000000u; });
    EXPECT_EQ(Encode(writer, bitmap, dir), encoded);
    writer.UseQuality(0);
    EXPECT_EQ(Encode(writer, bitmap, dir), encoded);
    writer.UseQuality(30);
    EXPECT_NE(Encode(writer, bitmap, dir), encoded);

    // A palette bitmap is written as its 32-bit conversion.
    CDibBitmap grey;
    grey.Allocate(16, 9, 8, false);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 16; ++x)
            grey.StorePixel(x, y, static_cast<std::uint32_t>(x * 16 + y));
    CDibBitmap grey32;
    grey32.CopyFrom(grey, 32);
    EXPECT_EQ(Encode(writer, grey, dir), Encode(writer, grey32, dir));
}

TEST(JpegWriter, WhiteBaselineFileAndDensityMarker) {
    TempDir dir;
    CDibBitmap white;
    Paint(white, 8, 8, [](int, int) { return 0xFFFFFFFFu; });
    CJpegWriter writer;
    const std::string plain = Encode(writer, white, dir);
    ASSERT_GT(plain.size(), 20u);
    EXPECT_EQ(plain.substr(0, 11), std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\0", 11));
    EXPECT_EQ(plain.substr(13, 5), std::string("\x00\x00\x01\x00\x01", 5)); // unit 0, 1:1
    EXPECT_NE(plain.find("\xFF\xC0"), std::string::npos);                   // baseline frame
    const auto decoded = testsupport::DecodeJpegReference(plain);
    ASSERT_EQ(decoded.width, 8);
    for (std::uint8_t v : decoded.pixels)
        EXPECT_GE(v, 254);

    writer.UseDensity(72, 72);
    const std::string dense = Encode(writer, white, dir);
    EXPECT_EQ(dense.substr(13, 5), std::string("\x01\x00\x48\x00\x48", 5));
}

TEST(JpegWriter, FailuresLeaveNoFileAndTheWriterReusable) {
    TempDir dir;
    CDibBitmap bitmap;
    Paint(bitmap, 64, 64, Pattern);
    CJpegWriter writer;
    const std::string missing = dir / "missing/out.jpg";
    try {
        writer.EncodeToFile(missing, bitmap);
        FAIL();
    } catch (const CTextException& e) {
        EXPECT_EQ(e.Code(), -1);
        EXPECT_EQ(e.Text(), "Decoder error: Opening " + missing + " failed\n");
    }

    // Too small a sink: its overflow passes through libjpeg; nothing reaches the file.
    testsupport::WriteFile(dir / "out.jpg", "old");
    {
        CBufferedFileSink sink;
        ASSERT_EQ(sink.Open(dir / "out.jpg", 300), 0);
        try {
            writer.EncodeToSink(bitmap, sink);
            FAIL();
        } catch (const CTextException& e) {
            EXPECT_EQ(e.Code(), 11);
        }
    }

    CDibBitmap empty;
    empty.Allocate(0, 5, 32, false);
    try {
        writer.EncodeToFile(dir / "out.jpg", empty);
        FAIL();
    } catch (const CTextException& e) {
        EXPECT_EQ(e.Code(), 6);
        EXPECT_EQ(e.Text().rfind("Decoder error: ", 0), 0u);
        EXPECT_EQ(e.Text().substr(e.Text().size() - 2), "\n\n");
    }
    EXPECT_EQ(ReadFile(dir / "out.jpg"), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

    CJpegWriter fresh;
    EXPECT_EQ(Encode(writer, bitmap, dir), Encode(fresh, bitmap, dir));
}

} // namespace
