#include "bitmaps/DibBitmap.h"
#include "bitmaps/TextException.h"
#include "codecs/AutoTypeDecoder.h"
#include "io/ByteSource.h"
#include "io/ModuleResources.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

using testsupport::JpegKind;
using testsupport::Thrown;

const std::uint8_t* Bytes(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

// Every pixel as libjpeg decodes it with the library's settings: red, green,
// blue into bytes 2, 1, 0 (CMYK's first three components likewise), grey into
// all three at 32 bits or into the index at 8.
void ExpectReferencePixels(const CRasterBitmap& bitmap, const std::string& jpeg) {
    const testsupport::DecodedJpeg ref = testsupport::DecodeJpegReference(jpeg);
    ASSERT_EQ(bitmap.Width(), ref.width);
    ASSERT_EQ(bitmap.Height(), ref.height);
    const bool grey8 = bitmap.BitsPerPixel() == 8;
    ASSERT_TRUE(grey8 ? ref.components == 1 : bitmap.BitsPerPixel() == 32);
    int mismatches = 0;
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x) {
            const std::uint8_t* r = ref.pixels.data() + (y * ref.width + x) * ref.components;
            const std::uint8_t* p = bitmap.Lines()[y] + (grey8 ? x : 4 * x);
            const bool same = grey8 ? p[0] == r[0]
                              : ref.components == 1
                                  ? p[0] == r[0] && p[1] == r[0] && p[2] == r[0] && p[3] == 255
                                  : p[0] == r[2] && p[1] == r[1] && p[2] == r[0];
            mismatches += !same;
        }
    EXPECT_EQ(mismatches, 0);
}

std::string Gradient(int width, int height, JpegKind kind, bool progressive = false) {
    return testsupport::MakeJpeg(
        {.width = width,
         .height = height,
         .kind = kind,
         .progressive = progressive,
         .pixel = [kind](int x, int y, std::uint8_t* c) {
             const int n = kind == JpegKind::Colour ? 3 : kind == JpegKind::Grey ? 1 : 4;
             for (int i = 0; i < n; ++i)
                 c[i] = static_cast<std::uint8_t>(x * 7 + y * (3 + i * 5) + i * 60);
         }});
}

class JpegReaderTest : public ::testing::Test {
protected:
    void Decode(const std::string& jpeg, int bpp = 32) {
        decoder.DecodeMemory(Bytes(jpeg), static_cast<std::int64_t>(jpeg.size()), bitmap, bpp);
    }
    std::optional<CTextException> Failure(const std::string& jpeg, int bpp = 32) {
        return Thrown<CTextException>([&] { Decode(jpeg, bpp); });
    }

    CAutoTypeDecoder decoder;
    CDibBitmap bitmap;
};

TEST_F(JpegReaderTest, ColourAndCmykGiveLibjpegsPixelsAt32Bits) {
    const std::string colour = Gradient(37, 23, JpegKind::Colour);
    for (int bpp : {32, 0, 8}) {
        Decode(colour, bpp);
        EXPECT_EQ(bitmap.BitsPerPixel(), 32);
        EXPECT_FALSE(bitmap.HasAlpha());
        ExpectReferencePixels(bitmap, colour);
    }
    Decode(testsupport::MakeJpeg(
        {.pixel = [](int, int, std::uint8_t* c) { c[0] = 255, c[1] = c[2] = 0; }}));
    EXPECT_GE(bitmap.Lines()[3][12 + 2], 250); // red in byte 2
    EXPECT_LE(bitmap.Lines()[3][12 + 0], 5);

    const std::string cmyk = Gradient(19, 11, JpegKind::Cmyk);
    Decode(cmyk);
    ExpectReferencePixels(bitmap, cmyk);
}

TEST_F(JpegReaderTest, GreyGives8BitsUnless32AreRequested) {
    const std::string grey = Gradient(21, 13, JpegKind::Grey);
    Decode(grey, 32);
    EXPECT_EQ(bitmap.BitsPerPixel(), 32);
    ExpectReferencePixels(bitmap, grey);
    Decode(grey, 0);
    EXPECT_EQ(bitmap.BitsPerPixel(), 8);
    ExpectReferencePixels(bitmap, grey);
    EXPECT_EQ(bitmap.Palette()[77], (PaletteEntry{77, 77, 77, 255}));
    const auto e = Failure(grey, 16);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Code(), 6);
}

TEST_F(JpegReaderTest, ProgressiveDecodesLikeBaselineAndReportsItsPasses) {
    struct Observer : CProgressObserver {
        void ProgressChanged(double f) override { seen.push_back(f); }
        std::vector<double> seen;
    } observer;
    const std::string baseline = Gradient(64, 48, JpegKind::Colour);
    const std::string progressive = Gradient(64, 48, JpegKind::Colour, true);
    ASSERT_NE(baseline, progressive);
    Decode(baseline);
    CDibBitmap fromBaseline;
    fromBaseline.CopyFrom(bitmap, 0);

    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "p.jpg", progressive);
    decoder.DecodeFile(dir / "p.jpg", bitmap, 32, &observer);
    ExpectReferencePixels(bitmap, progressive);
    ExpectReferencePixels(fromBaseline, baseline);
    for (int y = 0; y < 48; ++y)
        ASSERT_EQ(0, std::memcmp(bitmap.Lines()[y], fromBaseline.Lines()[y], 64 * 4)) << y;
    EXPECT_GT(observer.seen.size(), 2u);
    EXPECT_TRUE(std::is_sorted(observer.seen.begin(), observer.seen.end()));
    EXPECT_EQ(observer.seen.back(), 1.0);
}

TEST_F(JpegReaderTest, TruncatedDataEndsThePictureInsteadOfFailing) {
    for (bool progressive : {false, true}) {
        const std::string jpeg = Gradient(40, 40, JpegKind::Colour, progressive);
        const std::size_t scanData = jpeg.find("\xFF\xDA") + 14; // after the first scan header
        for (std::size_t cut = 3; cut < jpeg.size(); cut += 7) {
            // An exactly sized copy, so that the sanitizers catch any read past it.
            const std::vector<std::uint8_t> part(jpeg.begin(),
                                                 jpeg.begin() + static_cast<long>(cut));
            const auto e = Thrown<CTextException>([&] {
                decoder.DecodeMemory(part.data(), static_cast<std::int64_t>(cut), bitmap, 32);
            });
            // A cut inside a marker segment (before the scan, or between the
            // scans of a progressive file) leaves libjpeg a damaged table.
            if (!progressive && cut >= scanData) {
                EXPECT_FALSE(e) << cut;
            } else if (e) {
                EXPECT_EQ(e->Code(), 6) << cut;
            }
        }
    }
}

TEST_F(JpegReaderTest, DamagedFilesFailWithCode6AndTheDecoderRecovers) {
    const auto garbage = Failure("\xFF\xD8\xFF this is not a JPEG at all, just text");
    ASSERT_TRUE(garbage);
    EXPECT_EQ(garbage->Code(), 6);
    EXPECT_EQ(garbage->Text().rfind("Decoder error: ", 0), 0u);

    // A frame header claiming 65500 x 65500 pixels is refused before anything big is allocated.
    std::string huge = Gradient(16, 16, JpegKind::Colour);
    const std::size_t frame = huge.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    huge.replace(frame + 5, 4, "\xFF\xDC\xFF\xDC");
    const auto tooBig = Failure(huge);
    ASSERT_TRUE(tooBig);
    EXPECT_EQ(tooBig->Code(), 10);

    const std::string good = Gradient(9, 7, JpegKind::Colour);
    Decode(good);
    ExpectReferencePixels(bitmap, good);
}

TEST_F(JpegReaderTest, ResourcesDecodeAndExifOrientationIsReported) {
    const std::string jpeg = testsupport::WithExifOrientation(Gradient(12, 8, JpegKind::Colour), 6);
    const ResourceEntry entry{42, nullptr, Bytes(jpeg), jpeg.size()};
    const ResourceModule module{&entry, 1};
    decoder.DecodeResource(module, 42, bitmap, 32);
    ExpectReferencePixels(bitmap, jpeg); // pixels as stored, not turned
    EXPECT_EQ(decoder.PictureOrientation(), Orientation::Rotate90);

    const auto missing =
        Thrown<CTextException>([&] { decoder.DecodeResource(module, 43, bitmap, 32); });
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->Code(), 4);
    EXPECT_EQ(missing->Text(), "Decoder error: Opening resource 43 failed\n");
    EXPECT_EQ(decoder.PictureOrientation(), Orientation::Normal);
}

} // namespace
