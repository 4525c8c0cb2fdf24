#include "ThumbnailRules.h"

#include <gtest/gtest.h>

using namespace skimlet;

namespace {

// The usual shapes are checked through JPEGImage; these are the arithmetic's edges.
TEST(ThumbnailRules, SizesAreTruncatedAndNeverZero) {
    auto size = [](int w, int h, std::int16_t mw, std::int16_t mh) {
        const ThumbnailSize s = ComputeThumbnailSize(w, h, mw, mh);
        return std::make_pair(s.width, s.height);
    };
    EXPECT_EQ(size(1000, 333, 150, 100), std::make_pair(150, 49));
    EXPECT_EQ(size(1, 1000, 50, 100), std::make_pair(1, 100));
    EXPECT_EQ(size(100, 70000, 0, 32767), std::make_pair(46, 32767)); // product beyond 32 bits
}

TEST(ThumbnailRules, PathsAndTheStoredDirectory) {
    // The first photo's folder is kept (checked through JPEGImage); its slash is doubled.
    std::string directory;
    EXPECT_EQ(ThumbnailPathFor("/A/b.jpg", directory), "/A//b_tn.jpg");
    directory = "/site";
    EXPECT_EQ(ThumbnailPathFor("/A/b.jpg", directory), "/site/b_tn.jpg");
    // A bare name is taken to be in the current folder.
    directory.clear();
    EXPECT_EQ(ThumbnailPathFor("b.jpg", directory), ".//b_tn.jpg");
    EXPECT_EQ(directory, "./");
    directory.clear();
    EXPECT_EQ(ThumbnailPathFor("/A/ab", directory), "/A//_tn.jpg");
    directory.clear();
    ThumbnailPathFor("/Fotos/\xC3\xA9t\xC3\xA9/p.jpg", directory);
    EXPECT_EQ(directory, "/Fotos/\xC3\xA9t\xC3\xA9/");
}

} // namespace
