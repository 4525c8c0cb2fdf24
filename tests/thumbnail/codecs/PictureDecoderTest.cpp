#include "base/TextException.h"
#include "bitmaps/DibBitmap.h"
#include "codecs/AutoTypeDecoder.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace skimlet;

namespace {

using namespace std::string_literals;

class DecodeFileTest : public ::testing::Test {
protected:
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
}

} // namespace
