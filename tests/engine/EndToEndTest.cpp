#include "EngineFixture.h"

#include <regex>

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

    const std::regex reference("(href|src|window\\.location)='(?!/images/)([^']*)'");
    int checked = 0;
    for (const std::string& page : pages) {
        const std::string html = ReadFile(site + "/" + page);
        for (std::sregex_iterator it(html.begin(), html.end(), reference), end; it != end; ++it) {
            const fs::path file = site + "/" + (*it)[2].str();
            EXPECT_TRUE(fs::is_regular_file(file) && fs::file_size(file) > 0) << page << file;
            ++checked;
        }
    }
    // Table: 3 cells x (link + thumbnail); pages: photo + home + next/previous links.
    EXPECT_EQ(checked, 3 * 2 + 3 * 2 + 4);
}
