#include "base/TextException.h"
#include "base/Trace.h"
#include "bitmaps/DibBitmap.h"
#include "codecs/AutoTypeDecoder.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace skimlet;

namespace {

using namespace std::string_literals;

PictureType Detect(const std::string& prefix, std::int64_t size = 1000) {
    std::vector<std::uint8_t> bytes(CAutoTypeDecoder::kSignatureBytes, 0);
    std::copy(prefix.begin(), prefix.end(), bytes.begin());
    return CAutoTypeDecoder::DetectPictureType(bytes.data(), size);
}

TEST(PictureType, RecognisedByFirstBytesInBindingOrder) {
    const std::pair<std::string, PictureType> cases[] = {
        {"BM", kPictureBmp},
        {"\0\x01\x0A\0\0\0\0\x18"s + std::string(8, '\0') + "\x20", kPictureTarga},
        // The loose Targa test comes early: an old PCX header (version 0) passes it.
        {"\n\0\x01"s + std::string(13, '\0') + "\x08", kPictureTarga},
        {"GIF89a", kPictureGif},
        {"II*\0"s, kPictureTiff},
        {"MM\0*"s, kPictureTiff},
        {"\xFF\xD8\xFF\xE0", kPictureJpeg},
        {"\x89PNG", kPicturePng},
        {"\xC5\xD0\xD3\xC6" + std::string(16, 'x') + "\x01\0\0\0\x01"s, kPictureEpsTiff},
        {"\xC5\xD0\xD3\xC6" + std::string(16, 'x') + "\x01\0\0\0\0"s, kPictureUnknown},
        {"\n\x05\x01", kPicturePcx},
        {"P5\n", kPicturePgm},
        {"Hello, world", kPictureUnknown},
    };
    for (const auto& [bytes, type] : cases)
        EXPECT_EQ(Detect(bytes), type) << bytes;
    // PICT is recognised at offset 522, and only in data longer than 540 bytes.
    const std::string pict = std::string(522, 'x') + "\0\x11\x02\xFF"s;
    EXPECT_EQ(Detect(pict, 541), kPicturePict);
    EXPECT_EQ(Detect(pict, 540), kPictureUnknown);
}

class DecodeFileTest : public ::testing::Test {
protected:
    ~DecodeFileTest() override { ConfigureTrace(0, ""); }

    // The failure of decoding `bytes` stored as `name`: "code text", or "" on success.
    std::string Failure(const std::string& name, const std::string& bytes) {
        testsupport::WriteFile(dir / name, bytes);
        const auto e = testsupport::Thrown<CTextException>(
            [&] { decoder.DecodeFile(dir / name, bitmap, 32); });
        return e ? std::to_string(e->Code()) + " " + e->Text() : "";
    }

    testsupport::TempDir dir;
    CAutoTypeDecoder decoder;
    CDibBitmap bitmap;
};

TEST_F(DecodeFileTest, TypeComesFromContentNotName) {
    EXPECT_EQ(Failure("photo.bmp", testsupport::MakeJpeg({.width = 5, .height = 3, .pixel = {}})),
              "");
    EXPECT_EQ(bitmap.Width(), 5);
    for (const std::string& bytes : {"GIF89a"s, "\x89PNG\r\n"s, "MM\0*"s, "\n\x05\x01"s, "P5 1"s})
        EXPECT_EQ(Failure("photo.jpg", bytes),
                  "6 Decoder error: Library not compiled for this file type.\n");
    EXPECT_EQ(Failure("photo.jpg", "BMxx"), "11 End of file reached while decoding.\n");
    EXPECT_EQ(Failure("notes.jpg", "Just some words in a file, nothing more.\n"),
              "8 Decoder error: Unknown file type.\n");
    std::string targa(40, 'q');
    targa[1] = 1, targa[2] = 9, targa[7] = 16, targa[16] = 24;
    EXPECT_EQ(Failure("noise.jpg", targa).substr(0, 2), "6 ");
    EXPECT_EQ(Failure("empty.jpg", "").substr(0, 2), "5 ");
    const auto missing = testsupport::Thrown<CTextException>(
        [&] { decoder.DecodeFile("/no/such.jpg", bitmap, 32); });
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->Text(), "Decoder error: Opening /no/such.jpg failed\n");
}

TEST_F(DecodeFileTest, TraceFileFollowsLevelAndIsReleasedWithTheDecoder) {
    const std::string trace = dir / "trace.txt";
    testsupport::WriteFile(trace, "old content");
    ConfigureTrace(2, trace);
    EXPECT_FALSE(std::filesystem::exists(trace));
    EXPECT_EQ(Failure("a.jpg", testsupport::MakeJpeg({})), "");
    EXPECT_EQ(testsupport::ReadFile(trace),
              "--- Decoding file " + dir / "a.jpg" + ". ---\nJPEG file recognized.\n");

    ConfigureTrace(0, trace);
    EXPECT_EQ(Failure("a.jpg", testsupport::MakeJpeg({})), "");
    EXPECT_NE(Failure("b.jpg", "plain words, no picture"), "");
    EXPECT_EQ(testsupport::ReadFile(trace), "Decoder error: Unknown file type.\n");
    { CAutoTypeDecoder another; }
    EXPECT_EQ(TraceFilePath(), "");
}

} // namespace
