#include "EngineFixture.h"

TEST_F(EngineTest, RunOverPhotosAndOtherFiles) {
    AddPhotos({"d.jpg", "B.b.JPG", "a.jpg"});
    WriteFile(photos + "/c.Jpg", "not a photo by its name");
    WriteFile(photos + "/notes.txt", "x");
    WriteFile(photos + "/jpg", "");             // too short to name a page: left out
    fs::create_directory(photos + "/more.jpg"); // folders take no slot
    gallery.SetNumberOfCols(2);
    gallery.SetNumberOfRows(3);
    gallery.SetDescription("D");
    gallery.GenerateGallery();

    std::vector<std::array<int, 3>> expected;
    for (int type :
         {GenEventMakeThumbnail, GenEventFileCopy, GenEventMakePhotoPage, GenEventAddThumbsToNav}) {
        for (int i = 0; i < 3; ++i)
            expected.push_back({type, 5, i}); // six files: TotalValue 5
    }
    EXPECT_EQ(events, expected);
    EXPECT_EQ(ProblemHeads(), std::vector<std::string>{"Photo folder: " + photos + "/jpg: "});
    // Sorted by name regardless of case; the row of the last photo is completed.
    EXPECT_EQ(Page("index.htm"), "<H>" + kDescription + "D</div>" + kTable + "<tr>\r\n" +
                                     Cell("a") + Cell("B.b") + "</tr>\r\n<tr>\r\n" + Cell("d") +
                                     "<td></td>\r\n</tr>\r\n</table>\r\n<F>");
    // Buttons lead to the neighbouring photos only; the description stays off.
    EXPECT_EQ(Page("B.b.htm"), "<H><img src='B.b.JPG'><br>\r\n" + Button("prev", "a.htm") +
                                   Button("home", "index.htm") + Button("next", "d.htm") + "<F>");
    EXPECT_FALSE(Contains(Page("a.htm"), "prevButton") || Contains(Page("d.htm"), "nextButton"));
    EXPECT_TRUE(Exists("B.b.JPG") && Exists("B.b_tn.jpg"));
    EXPECT_FALSE(Exists("c.Jpg") || Exists("notes.txt") || Exists("jpg"));

    // A gallery inside the photo folder: copying a photo onto itself must not empty it.
    gallery.SetOutputDirectory(photos);
    gallery.GenerateGallery();
    EXPECT_EQ(ReadFile(photos + "/a.jpg"), testsupport::MakeJpeg({}));
}

// A photo folder that cannot be read must not empty an earlier gallery; an empty one (an
// unmounted card) makes an empty gallery, said plainly.
TEST_F(EngineTest, PhotoFolderThatCannotBeListedWritesNothing) {
    gallery.SetPhotoDirectory(dir / "none");
    EXPECT_EQ(ErrorText([&] { gallery.GenerateGallery(); }),
              "0x8004019C Generator::GenerateGallery(): Error: Unable to list photo directory\r\n"
              "More Info: '" +
                  dir / "none" +
                  "' cannot be opened: No such file or directory; nothing was written");
    EXPECT_FALSE(fs::exists(out));
    gallery.SetPhotoDirectory(photos);
    gallery.GenerateGallery();
    EXPECT_EQ(Page("index.htm"), "<H>" + kDescription + "</div>" + kTable + "</table>\r\n<F>");
    EXPECT_EQ(ProblemTexts(), std::vector<std::string>{"Photo folder: " + photos +
                                                       ": no photos in it (files ending in jpg or "
                                                       "JPG that are JPEGs)"});
    EXPECT_TRUE(events.empty());
}

TEST_F(EngineTest, ProblemsOfARunAreListedAndTheRunGoesOn) {
    AddPhotos({"a.jpg", "c.jpg"});
    WriteFile(photos + "/b.jpg", "\xFF\xD8\xFF but no picture");
    fs::remove(dir / "footer.htm");
    gallery.GenerateGallery();
    // The photo pages fall back on the unreadable footer: none is written.
    EXPECT_EQ(ProblemHeads(),
              (std::vector<std::string>{"Fragment " + dir / "footer.htm" + ": ",
                                        "Thumbnail of " + photos + "/b.jpg: ",
                                        "Photo pages: " + dir / "footer.htm" + ": "}));
    EXPECT_FALSE(gallery.Problems().at(1).reason.empty()); // the component's own reason
    EXPECT_FALSE(Exists("a.htm"));
    // Every photo is still requested and copied; the footer counts as empty.
    EXPECT_EQ(Currents(GenEventMakeThumbnail), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(Currents(GenEventFileCopy), (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(Page("index.htm").ends_with("</table>\r\n"));

    // A folder at a copy's name moves that copy alone to a name of its own.
    WriteFile(dir / "footer.htm", "<F>");
    AddPhotos({"b.jpg"});
    fs::remove(Out("b.jpg"));
    fs::create_directory(Out("b.jpg"));
    events.clear();
    gallery.GenerateGallery();
    EXPECT_TRUE(gallery.Problems().empty());
    EXPECT_EQ(Currents(GenEventFileCopy), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(Page("b~2.jpg"), ReadFile(photos + "/b.jpg"));
    EXPECT_TRUE(Contains(Page("b.htm"), "<img src='b~2.jpg'>"));
}

// Without photo pages, which also keeps this run short.
TEST_F(EngineTest, MoreThan32767FilesWithoutPhotoPages) {
    for (int i = 100000; i < 132770; ++i) // bare "photos": no thumbnail, quickly copied
        WriteFile(photos + "/p" + std::to_string(i) + ".jpg", "\xFF\xD8\xFF");
    gallery.SetCreatePageForEachPhoto(false);
    EXPECT_EQ(gallery.Photos().size(), 32767u);
    gallery.SetNumberOfRows(1);
    gallery.SetNumberOfCols(1);
    gallery.GenerateGallery();
    for (const auto& [type, total, current] : events)
        ASSERT_TRUE(total == 32766 && current <= 32766) << current;
    EXPECT_EQ(Currents(GenEventFileCopy).size(), 32767u);
    EXPECT_TRUE(Currents(GenEventMakePhotoPage).empty());
    EXPECT_TRUE(Exists("p132766.jpg") && !Exists("p132767.jpg") && !Exists("p100000.htm"));
    // The links go to the copies.
    EXPECT_EQ(Page("index.htm"), "<H>" + kDescription + "</div>" + kTable +
                                     "<tr>\r\n<td><a href='p100000.jpg'><img src='p100000_tn.jpg'>"
                                     "</a></td>\r\n</tr>\r\n</table>\r\n<F>");
    const GenerationProblem& first = gallery.Problems().front();
    EXPECT_EQ(first.Text().rfind("Photo folder: " + photos + ": 3 photos", 0), 0u) << first.reason;
    EXPECT_NE(first.reason.find("p132767.jpg"), std::string::npos) << first.reason;
}

// A modern gallery over more photos than one index page holds, with Tessary's own header:
// every picture made, and a rerun over fewer photos removes what it no longer needs.
TEST_F(EngineTest, ModernGalleryOverSeveralIndexPagesShrinksOnARerun) {
    AddPhotos({"a.jpg", "b.jpg", "c.jpg"});
    vantrel::GallerySettings settings = gallery.Settings();
    std::tie(settings.pageStyle, settings.numberOfRows, settings.numberOfCols) =
        std::tuple(vantrel::PageStyle::Modern, 1, 2);
    settings.navHeaderFilePath = settings.navFooterFilePath = ""; // a new Generator's
    Generator modern;
    modern.SetSettings(settings);
    modern.GenerateGallery();
    EXPECT_TRUE(modern.Problems().empty());
    for (const char* name : {"index-2.htm", "tessary.css", "c_tn.jpg", "c_tn2x.jpg", "c_1280.jpg"})
        EXPECT_TRUE(Exists(name)) << name;
    EXPECT_TRUE(Contains(Page("index.htm"), "<title>photos, page 1 of 2</title>"))
        << Page("index.htm");
    fs::remove(photos + "/c.jpg");
    modern.GenerateGallery();
    for (const char* name : {"index-2.htm", "c.htm", "c_tn2x.jpg", "c_1280.jpg"})
        EXPECT_FALSE(Exists(name)) << name;
    EXPECT_EQ(modern.Summary().removed.size(), 6u);
}
