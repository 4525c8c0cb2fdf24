#include "EngineFixture.h"

namespace {

const std::string kPrev = "<input type='image' src='/images/prevButton.gif' id='prevButton' "
                          "name='prevButton' onClick=\"window.location='";
const std::string kHome = "<input type='image' src='/images/homeButton.gif' id='homeButton' "
                          "name='homeButton' onClick=\"window.location='";
const std::string kNext = "<input type='image' src='/images/nextButton.gif' id='nextButton' "
                          "name='nextButton' onClick=\"window.location='";

std::string Button(const std::string& opening, const std::string& link) {
    return opening + link + "'\">\r\n";
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(EngineTest, NavigationTableWithMoreOrEqualPhotosThanCells) {
    AddPhotos({"p0.jpg", "p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg", "p5.jpg", "p6.jpg", "p7.jpg"});
    gallery.SetDescription("<b>Summer</b>");
    gallery.GenerateGallery();
    std::string table = "<table id='navTable' name='navTable'>\r\n";
    for (int row = 0; row < 2; ++row) {
        table += "<tr>\r\n";
        for (int col = 0; col < 3; ++col) {
            const std::string base = "p" + std::to_string(row * 3 + col);
            table += Cell(base + ".htm", base + "_tn.jpg");
        }
        table += "</tr>\r\n";
    }
    table += "</table>\r\n";
    const std::string expected =
        "<H><div name='Description' id='Description'><b>Summer</b></div>" + table + "<F>";
    EXPECT_EQ(Page("index.htm"), expected);
    EXPECT_EQ(Currents(GenEventAddThumbsToNav), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    // Photos beyond the table still get everything else.
    EXPECT_TRUE(Exists("p7.htm") && Exists("p7_tn.jpg") && Exists("p7.jpg"));

    // Equal: the same table, as the last two photos are gone.
    std::filesystem::remove(photos + "/p6.jpg");
    std::filesystem::remove(photos + "/p7.jpg");
    gallery.GenerateGallery();
    EXPECT_EQ(Page("index.htm"), expected);
}

TEST_F(EngineTest, PhotoPagesWithButtons) {
    AddPhotos({"a.jpg", "b.b.jpg", "c.jpg"});
    testsupport::WriteFile(photos + "/z.txt", "");
    gallery.SetDescription("D");
    gallery.GenerateGallery();
    EXPECT_EQ(Page("a.htm"), "<H><img src='a.jpg'><br>\r\n" + Button(kHome, "index.htm") +
                                 Button(kNext, "b.b.htm") + "<F>");
    EXPECT_EQ(Page("b.b.htm"), "<H><img src='b.b.jpg'><br>\r\n" + Button(kPrev, "a.htm") +
                                   Button(kHome, "index.htm") + Button(kNext, "c.htm") + "<F>");
    EXPECT_EQ(Page("c.htm"), "<H><img src='c.jpg'><br>\r\n" + Button(kPrev, "b.b.htm") +
                                 Button(kHome, "index.htm") + "<F>");
    EXPECT_EQ(Currents(GenEventMakePhotoPage), (std::vector<int>{0, 1, 2}));
}

TEST_F(EngineTest, PhotoPagesWithFramesOwnFragmentsAndNoButtons) {
    AddPhotos({"a.jpg"});
    testsupport::WriteFile(dir / "img-header.htm", "<h>\r\n");
    testsupport::WriteFile(dir / "img-footer.htm", "\r\n<f>");
    gallery.SetImgHeaderFilePath(dir / "img-header.htm");
    gallery.SetImgFooterFilePath(dir / "img-footer.htm");
    gallery.SetUseFrames(true);
    gallery.SetUseNavButtons(false);
    gallery.SetDescription("x & <i>y</i>");
    gallery.GenerateGallery();
    EXPECT_EQ(Page("a.htm"), "<h>\r\n<div name='Description' id='Description'>x & <i>y</i></div>"
                             "<img src='a.jpg'><br>\r\n\r\n<f>");
    // The navigation page loses the description and its links name the frame.
    EXPECT_EQ(Page("index.htm"), "<H><table id='navTable' name='navTable'>\r\n<tr>\r\n" +
                                     Cell("a.htm", "a_tn.jpg", "Photos") +
                                     "<td></td>\r\n<td></td>\r\n</tr>\r\n</table>\r\n<F>");
}

TEST_F(EngineTest, HostileNamesAreEncodedForEachContext) {
    AddPhotos({"x' onmouseover='alert(1)'.jpg", "Bob's.jpg", "my photo.jpg", "100%.jpg", "#1.jpg",
               "\xC3\xA9t\xC3\xA9.jpg", "javascript:alert(2).jpg"});
    gallery.SetNumberOfRows(3);
    gallery.SetUseFrames(true);
    gallery.SetTargetFrameName("a'b\"<c>&");
    gallery.SetOutputFilename("my index.htm");
    gallery.GenerateGallery();

    const std::string nav = Page("my index.htm");
    const std::string target = "a&#39;b&quot;&lt;c&gt;&amp;";
    for (const auto& [link, thumb] : std::vector<std::pair<std::string, std::string>>{
             {"%231.htm", "%231_tn.jpg"},
             {"100%25.htm", "100%25_tn.jpg"},
             {"Bob%27s.htm", "Bob%27s_tn.jpg"},
             {"javascript%3Aalert(2).htm", "javascript%3Aalert(2)_tn.jpg"},
             {"my%20photo.htm", "my%20photo_tn.jpg"},
             {"x%27%20onmouseover=%27alert(1)%27.htm", "x%27%20onmouseover=%27alert(1)%27_tn.jpg"},
             {"%C3%A9t%C3%A9.htm", "%C3%A9t%C3%A9_tn.jpg"}})
        EXPECT_TRUE(Contains(nav, Cell(link, thumb, target))) << link;
    EXPECT_FALSE(Contains(nav, "' onmouseover"));

    // Files keep their own names; the links in the pages are encoded.
    const std::string page = Page("Bob's.htm");
    EXPECT_TRUE(Contains(page, "<img src='Bob%27s.jpg'><br>\r\n"));
    EXPECT_TRUE(Contains(page, Button(kPrev, "100%25.htm")));
    EXPECT_TRUE(Contains(page, Button(kHome, "my%20index.htm")));
    EXPECT_TRUE(Contains(page, Button(kNext, "javascript%3Aalert(2).htm")));
    for (const char* name : {"Bob's.jpg", "Bob's_tn.jpg", "x' onmouseover='alert(1)'.htm",
                             "\xC3\xA9t\xC3\xA9.htm", "#1.jpg"})
        EXPECT_TRUE(Exists(name)) << name;
}

} // namespace
