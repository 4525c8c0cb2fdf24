#include "codecs/JpegWriter.h"
#include "base/TextException.h"
#include "bitmaps/DibBitmap.h"
#include "io/ByteSink.h"

#include "../filters/Pictures.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace skimlet;

namespace {

using testsupport::ReadFile;
using testsupport::TempDir;

// A 32-bit bitmap whose pixel (x, y) is colour(x, y), a BGRA value.
template <typename Colour>
void Paint(CRasterBitmap& bitmap, int width, int height, Colour colour) {
    bitmap.Allocate(width, height, 32, false);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap.StorePixel(x, y, colour(x, y));
}

std::uint32_t Pattern(int x, int y) {
    return static_cast<std::uint32_t>(x * 7 + y) << 24 | ((x * 37 + y * 11) % 256) << 16 |
           ((x * y * 5) % 256) << 8 | ((255 - y * 9) & 0xFF);
}

std::string Encode(CJpegWriter& writer, CRasterBitmap& bitmap, const TempDir& dir) {
    writer.EncodeToFile(dir / "out.jpg", bitmap);
    return ReadFile(dir / "out.jpg");
}

TEST(JpegWriter, MatchesPlainLibjpegEncodeOfRgbIgnoringAlpha) {
    TempDir dir;
    CDibBitmap bitmap;
    Paint(bitmap, 37, 23, Pattern);
    CJpegWriter writer;
    const std::string encoded = Encode(writer, bitmap, dir);

    const auto rgb = [](int x, int y, std::uint8_t* c) {
        for (int i = 0; i < 3; ++i)
            c[i] = static_cast<std::uint8_t>(Pattern(x, y) >> (16 - 8 * i));
    };
    EXPECT_EQ(encoded,
              testsupport::MakeJpeg(
                  {.width = 37, .height = 23, .quality = 75, .floatDct = true, .pixel = rgb}));

    Paint(bitmap, 37, 23, [](int x, int y) { return (Pattern(x, y) & 0xFFFFFF) | 0x5A000000u; });
    EXPECT_EQ(Encode(writer, bitmap, dir), encoded);
    writer.UseQuality(0);
    EXPECT_EQ(Encode(writer, bitmap, dir), encoded);
    writer.UseQuality(30);
    EXPECT_NE(Encode(writer, bitmap, dir), encoded);

    // Lines handed over a band at a time; the integer DCT is libjpeg's default.
    writer.UseQuality(75);
    writer.UseIntegerDct(true);
    CMemorySink sink;
    ASSERT_EQ(sink.Open(1 << 16), 0);
    {
        BitmapAccess access(bitmap, true, false);
        writer.Begin(37, 23, sink);
        writer.WriteLines(bitmap.Lines(), 8);
        writer.WriteLines(bitmap.Lines() + 8, 15);
        writer.End();
    }
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(sink.Buffer()),
                          static_cast<std::size_t>(sink.Written())),
              testsupport::MakeJpeg({.width = 37, .height = 23, .quality = 75, .pixel = rgb}));
    writer.UseIntegerDct(false);
    writer.UseQuality(0);

    // A palette bitmap is written as its 32-bit conversion.
    CDibBitmap grey, grey32;
    grey.Allocate(16, 9, 8, false);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 16; ++x)
            grey.StorePixel(x, y, static_cast<std::uint32_t>(x * 16 + y));
    grey32.CopyFrom(grey, 32);
    EXPECT_EQ(Encode(writer, grey, dir), Encode(writer, grey32, dir));

    // The default JFIF header is pinned by the byte match above.
    writer.UseDensity(72, 72);
    EXPECT_EQ(Encode(writer, bitmap, dir).substr(13, 5), std::string("\1\0\x48\0\x48", 5));
}

TEST(JpegWriter, FailuresLeaveNoFileAndTheWriterReusable) {
    TempDir dir;
    CDibBitmap bitmap;
    Paint(bitmap, 64, 64, Pattern);
    CJpegWriter writer;
    const std::string missing = dir / "missing/out.jpg";
    EXPECT_EQ(FailureOf([&] { writer.EncodeToFile(missing, bitmap); }),
              "-1 Decoder error: Opening " + missing + " failed\n");

    testsupport::WriteFile(dir / "out.jpg", "old");
    { // too small a sink: its overflow passes through libjpeg
        CBufferedFileSink sink;
        ASSERT_EQ(sink.Open(dir / "out.jpg", 300), 0);
        EXPECT_THROW(writer.EncodeToSink(bitmap, sink), CTextException);
    }
    CDibBitmap empty;
    empty.Allocate(0, 5, 32, false);
    EXPECT_TRUE(FailureOf([&] {
                    writer.EncodeToFile(dir / "out.jpg", empty);
                }).starts_with("6 Decoder error: "));
    EXPECT_EQ(ReadFile(dir / "out.jpg"), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

    CJpegWriter fresh;
    EXPECT_EQ(Encode(writer, bitmap, dir), Encode(fresh, bitmap, dir));
}

} // namespace
