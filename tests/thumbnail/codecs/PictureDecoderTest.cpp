#include "bitmaps/DibBitmap.h"
#include "bitmaps/TextException.h"
#include "codecs/AutoTypeDecoder.h"
#include "codecs/Trace.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace std::string_literals;
using testsupport::Thrown;

int CodeOf(const std::optional<CTextException>& e) {
    return e ? e->Code() : 0;
}

// `prefix` followed by zeros, as long as the type test looks.
std::vector<std::uint8_t> Head(const std::string& prefix) {
    std::vector<std::uint8_t> bytes(CAutoTypeDecoder::kSignatureBytes, 0);
    std::copy(prefix.begin(), prefix.end(), bytes.begin());
    return bytes;
}

PictureType Detect(const std::string& prefix, std::int64_t size = 1000) {
    return CAutoTypeDecoder::DetectPictureType(Head(prefix).data(), size);
}

TEST(PictureType, RecognisedByFirstBytesInBindingOrder) {
    EXPECT_EQ(Detect("BM"), kPictureBmp);
    EXPECT_EQ(Detect(std::string("\x00\x01\x0A\x00\x00\x00\x00\x18\0\0\0\0\0\0\0\0\x20", 17)),
              kPictureTarga);
    EXPECT_EQ(Detect("GIF89a"), kPictureGif);
    EXPECT_EQ(Detect(std::string("II*\0", 4)), kPictureTiff);
    EXPECT_EQ(Detect(std::string("MM\0*", 4)), kPictureTiff);
    EXPECT_EQ(Detect("\xFF\xD8\xFF\xE0"), kPictureJpeg);
    EXPECT_EQ(Detect("\x89PNG"), kPicturePng);
    EXPECT_EQ(Detect("\n\x05\x01"), kPicturePcx);
    EXPECT_EQ(Detect("P5\n"), kPicturePgm);
    EXPECT_EQ(Detect("Hello, world"), kPictureUnknown);

    std::string eps = "\xC5\xD0\xD3\xC6" + std::string(16, 'x') + "\x01\0\0\0\x01"s;
    EXPECT_EQ(Detect(eps), kPictureEpsTiff);
    eps[24] = 0;
    EXPECT_EQ(Detect(eps), kPictureUnknown);

    // PICT is recognised at offset 522 only in data longer than 540 bytes.
    const std::string pict = std::string(522, 'x') + std::string("\0\x11\x02\xFF", 4);
    EXPECT_EQ(Detect(pict, 541), kPicturePict);
    EXPECT_EQ(Detect(pict, 540), kPictureUnknown);
    // The loose Targa test comes first: an old PCX header (version 0) passes it.
    EXPECT_EQ(Detect("\n\0\x01"s + std::string(13, '\0') + "\x08"), kPictureTarga);
}

class DecodeFileTest : public ::testing::Test {
protected:
    ~DecodeFileTest() override { ConfigureTrace(0, ""); }

    std::optional<CTextException> DecodeBytes(const std::string& name, const std::string& bytes) {
        testsupport::WriteFile(dir / name, bytes);
        return Thrown<CTextException>([&] { decoder.DecodeFile(dir / name, bitmap, 32); });
    }

    testsupport::TempDir dir;
    CAutoTypeDecoder decoder;
    CDibBitmap bitmap;
};

TEST_F(DecodeFileTest, TypeComesFromContentNotName) {
    EXPECT_FALSE(
        DecodeBytes("photo.bmp", testsupport::MakeJpeg({.width = 5, .height = 3, .pixel = {}})));
    EXPECT_EQ(bitmap.Width(), 5);

    const std::string noReader = "Decoder error: Library not compiled for this file type.\n";
    for (const std::string& bytes :
         {"GIF89a"s, "\x89PNG\r\n"s, "MM\0*"s, "\n\x05\x01"s, "P5 1"s, "BMxx"s}) {
        const auto e = DecodeBytes("photo.jpg", bytes);
        ASSERT_TRUE(e) << bytes;
        EXPECT_EQ(e->Code(), 6);
        EXPECT_EQ(e->Text(), noReader);
    }
    const auto text = DecodeBytes("notes.jpg", "Just some words in a file, nothing more.\n");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->Code(), 8);
    EXPECT_EQ(text->Text(), "Decoder error: Unknown file type.\n");
    std::string targa(40, 'q');
    targa[1] = 1, targa[2] = 9, targa[7] = 16, targa[16] = 24;
    EXPECT_EQ(CodeOf(DecodeBytes("noise.jpg", targa)), 6);
}

TEST_F(DecodeFileTest, OpenFailuresNameThePath) {
    const auto missing =
        Thrown<CTextException>([&] { decoder.DecodeFile("/no/such.jpg", bitmap, 32); });
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->Code(), 3);
    EXPECT_EQ(missing->Text(), "Decoder error: Opening /no/such.jpg failed\n");
    EXPECT_EQ(CodeOf(DecodeBytes("empty.jpg", "")), 5);
}

TEST_F(DecodeFileTest, TraceFileFollowsLevelAndIsReleasedWithTheDecoder) {
    const std::string trace = dir / "trace.txt";
    const std::string jpeg = testsupport::MakeJpeg({});
    testsupport::WriteFile(trace, "old content");
    ConfigureTrace(2, trace);
    EXPECT_FALSE(std::filesystem::exists(trace));
    ASSERT_FALSE(DecodeBytes("a.jpg", jpeg));
    EXPECT_EQ(testsupport::ReadFile(trace),
              "--- Decoding file " + dir / "a.jpg" + ". ---\nJPEG file recognized.\n");

    ConfigureTrace(0, trace);
    ASSERT_FALSE(DecodeBytes("a.jpg", jpeg));
    ASSERT_TRUE(DecodeBytes("b.jpg", "plain words, no picture"));
    EXPECT_EQ(testsupport::ReadFile(trace), "Decoder error: Unknown file type.\n");

    { CAutoTypeDecoder another; }
    EXPECT_EQ(TraceFilePath(), "");
}

} // namespace
