#include "base/TextException.h"
#include "bitmaps/DibBitmap.h"
#include "codecs/AutoTypeDecoder.h"
#include "io/ByteSource.h"

#include "../filters/Pictures.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace skimlet;

namespace {

using testsupport::JpegKind;

std::string Jpeg(int width, int height, JpegKind kind, bool progressive = false) {
    return testsupport::MakeJpeg(
        {.width = width, .height = height, .kind = kind, .progressive = progressive, .pixel = {}});
}

// The pixel values libjpeg's own decode calls for: grey levels as opaque grey;
// red, green, blue as opaque colours, from Adobe's inverted CMYK as C x K / 255
// and so on.
std::vector<std::uint32_t> Expected(const testsupport::DecodedJpeg& ref) {
    std::vector<std::uint32_t> pixels;
    for (std::size_t i = 0; i < ref.pixels.size(); i += ref.components) {
        const std::uint8_t* r = &ref.pixels[i];
        std::uint32_t rgb[3] = {r[0], r[0], r[0]};
        for (int c = 0; c < 3 && ref.components > 1; ++c)
            rgb[c] = ref.components == 4 ? (r[c] * r[3] + 127u) / 255u : r[c];
        pixels.push_back(0xFF000000u | rgb[0] << 16 | rgb[1] << 8 | rgb[2]);
    }
    return pixels;
}

class JpegReaderTest : public ::testing::Test {
protected:
    std::optional<CTextException> Decode(const std::string& jpeg) {
        return testsupport::Thrown<CTextException>([&] {
            decoder.DecodeMemory(reinterpret_cast<const std::uint8_t*>(jpeg.data()),
                                 static_cast<std::int64_t>(jpeg.size()), bitmap, 32);
        });
    }
    // Decodes and compares every pixel with libjpeg's own decode at the library's settings.
    void ExpectReferencePixels(const std::string& jpeg) {
        ASSERT_FALSE(Decode(jpeg));
        EXPECT_EQ(bitmap.BitsPerPixel(), 32);
        const testsupport::DecodedJpeg ref = testsupport::DecodeJpegReference(jpeg);
        EXPECT_EQ(bitmap.Width(), ref.width);
        EXPECT_EQ(PixelsOf(bitmap), Expected(ref));
    }

    CAutoTypeDecoder decoder;
    CDibBitmap bitmap;
};

TEST_F(JpegReaderTest, PixelsMatchLibjpegForEveryKind) {
    for (const JpegKind kind : {JpegKind::Colour, JpegKind::Cmyk, JpegKind::Ycck, JpegKind::Grey})
        ExpectReferencePixels(Jpeg(19, 11, kind));
    ExpectReferencePixels(Jpeg(64, 48, JpegKind::Colour, true));
}

// Damaged and hostile files fail; the decoder then decodes the next photo as ever.
TEST_F(JpegReaderTest, BadFilesAreRefusedAndTheDecoderRecovers) {
    const std::string progressive = Jpeg(64, 48, JpegKind::Colour, true);
    const std::string tooManyScans = "Decoder error: JPEG file has too many scans.\n";
    const std::string tooBig = "pixels is above the limit of 268435456 pixels.";
    struct Case {
        const char* name;
        std::string bytes;
        int code;
        std::string text; // a part of the message
    } cases[] = {
        {"not a JPEG", "\xFF\xD8\xFF this is not a JPEG at all, just text", 6, "Decoder error: "},
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
    ExpectReferencePixels(Jpeg(9, 7, JpegKind::Colour));
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
    EXPECT_EQ(FailureOf([&] { decoder.DecodeFile(path, bitmap, 32, &cutter); }),
              "11 Decoder error: " + path + " became shorter while it was being read.\n");
    EXPECT_TRUE(cutter.done);
    ExpectReferencePixels(Jpeg(9, 7, JpegKind::Colour));
}

} // namespace
