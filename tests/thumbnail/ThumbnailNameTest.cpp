#include "skimlet/JPEGImage.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using namespace skimlet;
using namespace testsupport;

// A name given to the thumbnail replaces only its file name; the bytes stay those of the
// usual thumbnail, and "" brings the usual name back.
TEST(JPEGImage, ThumbnailNameOverridesOnlyTheFileName) {
    TempDir dir;
    WriteFile(dir / "a.jpg", MakeJpeg({.width = 24, .height = 12, .pixel = {}}));
    JPEGImage image;
    ASSERT_EQ(image.SetFilePath(dir / "a.jpg"), S_OK);
    ASSERT_EQ(image.GenerateThumbnail(8, 0), S_OK);
    const std::string usual = ReadFile(dir / "a_tn.jpg");
    fs::remove(dir / "a_tn.jpg");

    EXPECT_EQ(image.SetThumbnailName("a~2_tn.jpg"), S_OK);
    EXPECT_EQ(image.ThumbnailName(), "a~2_tn.jpg");
    ASSERT_EQ(image.GenerateThumbnail(8, 0), S_OK);
    EXPECT_EQ(ReadFile(dir / "a~2_tn.jpg"), usual);
    EXPECT_FALSE(fs::exists(dir / "a_tn.jpg"));

    for (const char* refused : {"sub/a_tn.jpg", "/a_tn.jpg", ".", ".."}) {
        EXPECT_EQ(image.SetThumbnailName(refused), E_INVALIDARG) << refused;
        EXPECT_EQ(image.ThumbnailName(), "a~2_tn.jpg");
    }
    EXPECT_EQ(image.SetThumbnailName(""), S_OK);
    ASSERT_EQ(image.GenerateThumbnail(8, 0), S_OK);
    EXPECT_EQ(ReadFile(dir / "a_tn.jpg"), usual);
}

} // namespace
