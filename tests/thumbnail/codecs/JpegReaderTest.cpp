#include "base/TextException.h"
#include "bitmaps/DibBitmap.h"
#include "codecs/AutoTypeDecoder.h"
#include "io/ByteSource.h"
#include "io/ModuleResources.h"

#include "../filters/Pictures.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <unistd.h>

using namespace skimlet;

namespace {

using testsupport::JpegKind;

std::string Jpeg(int width, int height, JpegKind kind, bool progressive = false) {
    return testsupport::MakeJpeg(
        {.width = width, .height = height, .kind = kind, .progressive = progressive, .pixel = {}});
}

// The pixel values libjpeg's own decode calls for: grey levels as 8-bit indexes
// or opaque grey; red, green, blue as opaque colours, from Adobe's inverted
// CMYK as C x K / 255 and so on.
std::vector<std::uint32_t> Expected(const testsupport::DecodedJpeg& ref, int bpp) {
    std::vector<std::uint32_t> pixels;
    for (std::size_t i = 0; i < ref.pixels.size(); i += ref.components) {
        const std::uint8_t* r = &ref.pixels[i];
        std::uint32_t rgb[3] = {r[0], r[0], r[0]};
        for (int c = 0; c < 3 && ref.components > 1; ++c)
            rgb[c] = ref.components == 4 ? (r[c] * r[3] + 127u) / 255u : r[c];
        pixels.push_back(bpp == 8 ? r[0] : 0xFF000000u | rgb[0] << 16 | rgb[1] << 8 | rgb[2]);
    }
    return pixels;
}

class JpegReaderTest : public ::testing::Test {
protected:
    std::optional<CTextException> Decode(const std::string& jpeg, int bpp = 32) {
        return testsupport::Thrown<CTextException>([&] {
            decoder.DecodeMemory(reinterpret_cast<const std::uint8_t*>(jpeg.data()),
                                 static_cast<std::int64_t>(jpeg.size()), bitmap, bpp);
        });
    }
    int FailureCode(const std::string& jpeg, int bpp = 32) {
        const auto e = Decode(jpeg, bpp);
        return e ? e->Code() : 0;
    }
    // Decodes and compares every pixel with libjpeg's own decode at the library's settings.
    void ExpectReferencePixels(const std::string& jpeg, int bpp, int expectedBpp) {
        ASSERT_FALSE(Decode(jpeg, bpp));
        EXPECT_EQ(bitmap.BitsPerPixel(), expectedBpp);
        const testsupport::DecodedJpeg ref = testsupport::DecodeJpegReference(jpeg);
        EXPECT_EQ(bitmap.Width(), ref.width);
        EXPECT_EQ(PixelsOf(bitmap), Expected(ref, expectedBpp));
    }

    CAutoTypeDecoder decoder;
    CDibBitmap bitmap;
};

TEST_F(JpegReaderTest, PixelsMatchLibjpegForEveryKindAndRequest) {
    for (int bpp : {32, 0, 8})
        ExpectReferencePixels(Jpeg(37, 23, JpegKind::Colour), bpp, 32);
    ExpectReferencePixels(Jpeg(64, 48, JpegKind::Colour, true), 32, 32);
    ExpectReferencePixels(Jpeg(19, 11, JpegKind::Cmyk), 32, 32);
    ExpectReferencePixels(Jpeg(19, 11, JpegKind::Ycck), 0, 32);
    ExpectReferencePixels(Jpeg(21, 13, JpegKind::Grey), 32, 32);
    ExpectReferencePixels(Jpeg(21, 13, JpegKind::Grey), 0, 8);
    EXPECT_EQ(bitmap.Palette()[77], (PaletteEntry{77, 77, 77, 255}));
    EXPECT_EQ(FailureCode(Jpeg(8, 8, JpegKind::Grey), 16), 6);

    ASSERT_FALSE(Decode(testsupport::MakeJpeg(
        {.pixel = [](int, int, std::uint8_t* c) { c[0] = 255, c[1] = c[2] = 0; }})));
    EXPECT_GE(bitmap.Lines()[3][4 * 3 + 2], 250); // red in byte 2
    EXPECT_LE(bitmap.Lines()[3][4 * 3], 5);
}

TEST_F(JpegReaderTest, ProgressiveReportsItsPasses) {
    struct Observer : CProgressObserver {
        void ProgressChanged(double f) override { seen.push_back(f); }
        std::vector<double> seen;
    } observer;
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "p.jpg", Jpeg(64, 48, JpegKind::Colour, true));
    decoder.DecodeFile(dir / "p.jpg", bitmap, 32, &observer);
    EXPECT_GT(observer.seen.size(), 2u);
    EXPECT_TRUE(std::is_sorted(observer.seen.begin(), observer.seen.end()));
    EXPECT_EQ(observer.seen.back(), 1.0);
}

TEST_F(JpegReaderTest, TruncatedDataEndsThePictureInsteadOfFailing) {
    for (bool progressive : {false, true}) {
        const std::string jpeg = Jpeg(40, 40, JpegKind::Colour, progressive);
        const std::size_t scanData = jpeg.find("\xFF\xDA") + 14; // after the first scan header
        for (std::size_t cut = 3; cut < jpeg.size(); cut += 7) {
            // An exactly sized copy, so that the sanitizers catch any read past it.
            const std::vector<std::uint8_t> part(jpeg.begin(),
                                                 jpeg.begin() + static_cast<long>(cut));
            const auto e = testsupport::Thrown<CTextException>([&] {
                decoder.DecodeMemory(part.data(), static_cast<std::int64_t>(cut), bitmap, 32);
            });
            // A cut inside a marker segment (before the scan, or between the
            // scans of a progressive file) leaves libjpeg a damaged table.
            const int code = e ? e->Code() : 0;
            if (!progressive && cut >= scanData)
                EXPECT_EQ(code, 0) << cut;
            else
                EXPECT_TRUE(code == 0 || code == 6) << cut;
        }
    }
}

TEST_F(JpegReaderTest, DamagedFilesFailWithCode6AndTheDecoderRecovers) {
    const auto garbage = Decode("\xFF\xD8\xFF this is not a JPEG at all, just text");
    ASSERT_TRUE(garbage);
    EXPECT_EQ(garbage->Code(), 6);
    EXPECT_EQ(garbage->Text().rfind("Decoder error: ", 0), 0u);
    // A frame claiming 65500 x 65500 pixels is refused before anything big is allocated.
    std::string huge = Jpeg(16, 16, JpegKind::Colour);
    huge.replace(huge.find("\xFF\xC0") + 5, 4, "\xFF\xDC\xFF\xDC");
    EXPECT_EQ(FailureCode(huge), 10);
    ExpectReferencePixels(Jpeg(9, 7, JpegKind::Colour), 32, 32);
}

TEST_F(JpegReaderTest, HostileFilesAreRefusedAndTheDecoderRecovers) {
    const std::string progressive = Jpeg(64, 48, JpegKind::Colour, true);
    const std::string tooManyScans = "Decoder error: JPEG file has too many scans.\n";
    const std::string tooBig = "pixels is above the limit of 268435456 pixels.";
    struct Case {
        const char* name;
        std::string bytes;
        int code;
        std::string text; // a part of the message
    } cases[] = {
        {"a scan repeated 1200 times", testsupport::WithRepeatedScan(progressive, 1200), 6,
         tooManyScans},
        {"scans passing over it 150 times", testsupport::WithRepeatedScan(progressive, 150), 6,
         tooManyScans},
        {"progressive 23000 x 23000", testsupport::WithFrameSize(progressive, 23000, 23000), 10,
         tooBig},
        {"baseline 23000 x 23000",
         testsupport::WithFrameSize(Jpeg(16, 16, JpegKind::Colour), 23000, 23000), 10, tooBig},
        {"progressive 12000 x 12000 in 40 KB",
         testsupport::WithPadding(testsupport::WithFrameSize(progressive, 12000, 12000), 40000), 6,
         "MiB of decoder memory, more than the 384 MiB allowed for a file of"},
        {"a scan repeated 40 times", testsupport::WithRepeatedScan(progressive, 40), 0, ""},
    };
    for (const Case& c : cases) {
        const auto e = Decode(c.bytes);
        EXPECT_EQ(e ? e->Code() : 0, c.code) << c.name;
        if (e) {
            EXPECT_NE(e->Text().find(c.text), std::string::npos) << c.name << ": " << e->Text();
        }
    }
    ExpectReferencePixels(Jpeg(9, 7, JpegKind::Colour), 32, 32);
}

TEST_F(JpegReaderTest, PhotoShortenedWhileReadIsAFailure) {
    // Noise keeps the file above the reader's 64 KiB piece, so that a second
    // piece is read after the file has been cut.
    const std::string jpeg = testsupport::MakeJpeg(
        {.width = 400, .height = 400, .pixel = [](int x, int y, std::uint8_t* c) {
             for (int i = 0; i < 3; ++i)
                 c[i] = static_cast<std::uint8_t>((x * 7919 + y * 104729 + i * 31) * 2654435761u >>
                                                  24);
         }});
    ASSERT_GT(jpeg.size(), 2u * 65536);
    testsupport::TempDir dir;
    const std::string path = dir / "cut.jpg";
    testsupport::WriteFile(path, jpeg);
    struct Cutter : CProgressObserver {
        void ProgressChanged(double) override {
            if (!done)
                done = ::truncate(path.c_str(), 100000) == 0;
        }
        std::string path;
        bool done = false;
    } cutter;
    cutter.path = path;
    const auto e =
        testsupport::Thrown<CTextException>([&] { decoder.DecodeFile(path, bitmap, 32, &cutter); });
    ASSERT_TRUE(cutter.done);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Code(), 11);
    EXPECT_EQ(e->Text(), "Decoder error: " + path + " became shorter while it was being read.\n");
    ExpectReferencePixels(Jpeg(9, 7, JpegKind::Colour), 32, 32);
}

TEST_F(JpegReaderTest, ResourcesDecodeAndExifOrientationIsReported) {
    const std::string jpeg = testsupport::WithExifOrientation(Jpeg(12, 8, JpegKind::Colour), 6);
    const ResourceEntry entry{42, nullptr, reinterpret_cast<const std::uint8_t*>(jpeg.data()),
                              jpeg.size()};
    decoder.DecodeResource(ResourceModule{&entry, 1}, 42, bitmap, 32);
    EXPECT_EQ(PixelsOf(bitmap), Expected(testsupport::DecodeJpegReference(jpeg), 32)); // as stored
    EXPECT_EQ(decoder.PictureOrientation(), Orientation::Rotate90);

    const auto missing = testsupport::Thrown<CTextException>([&] {
        decoder.DecodeResource(ResourceModule{&entry, 1}, 43, bitmap, 32);
    });
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->Text(), "Decoder error: Opening resource 43 failed\n");
    EXPECT_EQ(missing->Code(), 4);
    EXPECT_EQ(decoder.PictureOrientation(), Orientation::Normal);
}

} // namespace
