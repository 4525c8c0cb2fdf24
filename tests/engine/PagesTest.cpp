#include "EngineFixture.h"

// Fewer photos than cells: see the run over photos and other files, and the frames case.
TEST_F(EngineTest, NavigationTableWithMoreOrEqualPhotosThanCells) {
    AddPhotos({"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"});
    gallery.SetNumberOfRows(2);
    gallery.SetNumberOfCols(2);
    gallery.SetDescription("<b>Summer</b>");
    gallery.GenerateGallery();
    const std::string expected = "<H>" + kDescription + "<b>Summer</b></div>" + kTable +
                                 "<tr>\r\n" + Cell("a") + Cell("b") + "</tr>\r\n<tr>\r\n" +
                                 Cell("c") + Cell("d") + "</tr>\r\n</table>\r\n<F>";
    EXPECT_EQ(Page("index.htm"), expected);
    EXPECT_EQ(Currents(GenEventAddThumbsToNav), (std::vector<int>{0, 1, 2, 3}));
    // A photo beyond the table still gets everything else.
    EXPECT_TRUE(Exists("e.htm") && Exists("e_tn.jpg") && Exists("e.jpg"));

    fs::remove(photos + "/e.jpg");
    gallery.GenerateGallery();
    EXPECT_EQ(Page("index.htm"), expected);
}

TEST_F(EngineTest, PhotoPagesWithFramesOwnFragmentsAndNoButtons) {
    AddPhotos({"a.jpg"});
    WriteFile(dir / "img-header.htm", "<h>\r\n");
    WriteFile(dir / "img-footer.htm", "\r\n<f>");
    gallery.SetImgHeaderFilePath(dir / "img-header.htm");
    gallery.SetImgFooterFilePath(dir / "img-footer.htm");
    gallery.SetUseFrames(true);
    gallery.SetUseNavButtons(false);
    gallery.SetDescription("x & <i>y</i>");
    gallery.GenerateGallery();
    EXPECT_EQ(Page("a.htm"),
              "<h>\r\n" + kDescription + "x & <i>y</i></div><img src='a.jpg'><br>\r\n\r\n<f>");
    // The navigation page loses the description and its links name the frame.
    EXPECT_EQ(Page("index.htm"), "<H>" + kTable + "<tr>\r\n" + Cell("a", "Photos") +
                                     "<td></td>\r\n<td></td>\r\n</tr>\r\n</table>\r\n<F>");
}

TEST_F(EngineTest, HostileNamesAreEncodedForEachContext) {
    AddPhotos({"x' onmouseover='alert(1)'.jpg", "Bob's.jpg", "my photo.jpg", "100%.jpg", "#1.jpg",
               "\xC3\xA9t\xC3\xA9.jpg", "javascript:alert(2).jpg", "R&D.jpg"});
    gallery.SetNumberOfRows(3);
    gallery.SetUseFrames(true);
    gallery.SetTargetFrameName("a'b\"<c>&");
    gallery.SetOutputFilename("my index.htm");
    gallery.GenerateGallery();

    const std::string nav = Page("my index.htm");
    for (const char* base : {"%231", "100%25", "Bob%27s", "javascript%3Aalert(2)", "my%20photo",
                             "x%27%20onmouseover=%27alert(1)%27", "%C3%A9t%C3%A9", "R&amp;D"})
        EXPECT_TRUE(Contains(nav, Cell(base, "a&#39;b&quot;&lt;c&gt;&amp;"))) << base;
    EXPECT_FALSE(Contains(nav, "' onmouseover"));

    // Files keep their own names; the links in the pages are encoded.
    const std::string page = Page("Bob's.htm");
    EXPECT_TRUE(Contains(page, "<img src='Bob%27s.jpg'><br>\r\n" + Button("prev", "100%25.htm") +
                                   Button("home", "my%20index.htm") +
                                   Button("next", "javascript%3Aalert(2).htm")));
    EXPECT_TRUE(Exists("Bob's.jpg") && Exists("Bob's_tn.jpg") && Exists("\xC3\xA9t\xC3\xA9.htm"));
}
