#include "EngineFixture.h"

#include <string_view>

// A gallery made from real photos is complete: every link and image reference of
// its pages names a file in the output folder (the site's own button images aside).
TEST_F(EngineTest, GalleryFromSamplePhotosIsComplete) {
    const std::string site = dir / "site"; // missing: made by the run
    std::vector<std::string> pages = {"index.htm"};
    for (const std::string base : {"astronaut", "brick", "coffee"}) {
        fs::copy_file(testsupport::SamplePhoto(base + ".jpg"), photos + "/" + base + ".jpg");
        pages.push_back(base + ".htm");
    }
    gallery.SetOutputDirectory(site);
    gallery.SetMaxWidth(120);
    gallery.SetNumberOfRows(1);
    gallery.SetNumberOfCols(3);
    gallery.GenerateGallery();
    EXPECT_TRUE(gallery.Problems().empty());

    int checked = 0;
    for (const std::string& page : pages) {
        const std::string html = ReadFile(site + "/" + page);
        for (const std::string_view attribute : {"href='", "src='", "window.location='"}) {
            for (auto at = html.find(attribute); at != std::string::npos;
                 at = html.find(attribute, at + 1)) {
                const auto begin = at + attribute.size();
                const std::string target = html.substr(begin, html.find('\'', begin) - begin);
                if (target.starts_with("/images/"))
                    continue;
                const fs::path file = site + "/" + target;
                EXPECT_TRUE(fs::is_regular_file(file) && fs::file_size(file) > 0) << page << file;
                ++checked;
            }
        }
    }
    // Table: 3 cells x (link + thumbnail); pages: photo + home + next/previous links.
    EXPECT_EQ(checked, 3 * 2 + 3 * 2 + 4);
}
