#include "EngineFixture.h"

namespace {

namespace fs = std::filesystem;

// A gallery made from real photos is complete: every link and image reference of
// its pages names a file in the output folder (the site's own button images aside).
TEST_F(EngineTest, GalleryFromSamplePhotosIsComplete) {
    const std::vector<std::string> names = {"astronaut.jpg", "brick.jpg", "coffee.jpg"};
    for (const std::string& name : names)
        fs::copy_file(testsupport::SamplePhoto(name), photos + "/" + name);
    gallery.SetOutputDirectory(dir / "site"); // missing: made by the run
    gallery.SetMaxWidth(120);
    gallery.SetNumberOfRows(1);
    gallery.SetNumberOfCols(2);
    gallery.GenerateGallery();
    EXPECT_TRUE(gallery.Problems().empty());

    std::vector<std::string> pages = {"index.htm"};
    for (const std::string& name : names) {
        const std::string base = name.substr(0, name.size() - 4);
        pages.push_back(base + ".htm");
        for (const std::string& file : {name, base + "_tn.jpg", base + ".htm"})
            EXPECT_TRUE(fs::is_regular_file(dir / ("site/" + file))) << file;
        EXPECT_GT(fs::file_size(dir / ("site/" + base + "_tn.jpg")), 0u);
    }
    int checked = 0;
    for (const std::string& page : pages) {
        const std::string html = testsupport::ReadFile(dir / ("site/" + page));
        for (const std::string opening : {"href='", "src='", "window.location='"}) {
            for (std::size_t at = html.find(opening); at != std::string::npos;
                 at = html.find(opening, at + 1)) {
                const std::size_t start = at + opening.size();
                const std::string target = html.substr(start, html.find('\'', start) - start);
                if (target.rfind("/images/", 0) == 0)
                    continue;
                EXPECT_TRUE(fs::is_regular_file(dir / ("site/" + target)))
                    << page << ": " << target;
                ++checked;
            }
        }
    }
    // Table: 2 cells x (link + thumbnail); pages: photo + home + next/previous links.
    EXPECT_EQ(checked, 4 + 3 * 2 + 4);
}

} // namespace
