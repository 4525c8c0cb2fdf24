#include "EngineFixture.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Step = GenerationProblem::Step;

TEST_F(EngineTest, RunOverPhotosAndOtherFilesRaisesEventsInStepOrder) {
    AddPhotos({"d.jpg", "b.JPG", "a.jpg"});
    testsupport::WriteFile(photos + "/c.Jpg", "not a photo by its name");
    testsupport::WriteFile(photos + "/notes.txt", "x");
    fs::create_directory(photos + "/more.jpg"); // folders take no slot
    gallery.SetNumberOfCols(2);
    gallery.SetNumberOfRows(3);
    gallery.GenerateGallery();

    std::vector<Event> expected;
    for (GenEventTypeEnum type :
         {GenEventMakeThumbnail, GenEventFileCopy, GenEventMakePhotoPage, GenEventAddThumbsToNav}) {
        for (int i = 0; i < 3; ++i)
            expected.push_back({type, 4, i}); // five files: TotalValue 4
    }
    EXPECT_EQ(events, expected);
    EXPECT_TRUE(gallery.Problems().empty());
    // Sorted by name regardless of case; the row of the last photo is completed.
    EXPECT_EQ(Page("index.htm"), "<H><div name='Description' id='Description'></div>"
                                 "<table id='navTable' name='navTable'>\r\n<tr>\r\n" +
                                     Cell("a.htm", "a_tn.jpg") + Cell("b.htm", "b_tn.jpg") +
                                     "</tr>\r\n<tr>\r\n" + Cell("d.htm", "d_tn.jpg") +
                                     "<td></td>\r\n</tr>\r\n</table>\r\n<F>");
    for (const char* name : {"a.jpg", "b.JPG", "d.jpg", "a_tn.jpg", "b_tn.jpg", "d.htm"})
        EXPECT_TRUE(Exists(name)) << name;
    EXPECT_FALSE(Exists("c.Jpg") || Exists("notes.txt"));

    // Without photo pages: no page events, and the links go to the copies.
    events.clear();
    gallery.SetCreatePageForEachPhoto(false);
    fs::remove(Out("a.htm"));
    gallery.GenerateGallery();
    EXPECT_TRUE(Currents(GenEventMakePhotoPage).empty());
    EXPECT_FALSE(Exists("a.htm"));
    EXPECT_NE(Page("index.htm").find(Cell("a.jpg", "a_tn.jpg")), std::string::npos);
}

TEST_F(EngineTest, EmptyFolderAndShortNames) {
    testsupport::WriteFile(photos + "/jpg", "");
    gallery.GenerateGallery();
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(Page("index.htm"), "<H><div name='Description' id='Description'></div>"
                                 "<table id='navTable' name='navTable'>\r\n</table>\r\n<F>");
    ASSERT_EQ(gallery.Problems().size(), 1u);
    EXPECT_EQ(gallery.Problems()[0].step, Step::ListPhotos);
    EXPECT_FALSE(Exists("jpg"));
}

TEST_F(EngineTest, ProblemsOfARunAreListedAndTheRunGoesOn) {
    AddPhotos({"a.jpg", "c.jpg"});
    testsupport::WriteFile(photos + "/b.jpg", "not a JPEG");
    fs::remove(dir / "footer.htm");
    gallery.GenerateGallery();
    const std::vector<GenerationProblem>& problems = gallery.Problems();
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_EQ(problems[0].step, Step::ReadFragment);
    EXPECT_EQ(problems[0].file, dir / "footer.htm");
    EXPECT_EQ(problems[1].step, Step::MakeThumbnail);
    EXPECT_FALSE(problems[1].reason.empty()); // the component's description
    EXPECT_EQ(problems[1].Text().rfind("Thumbnail of " + photos + "/b.jpg: ", 0), 0u);
    // The photo pages fall back on the unreadable footer: none is written.
    EXPECT_EQ(problems[2].step, Step::MakePhotoPage);
    EXPECT_FALSE(Exists("a.htm"));
    // Every photo is still requested and copied; the footer counts as empty.
    EXPECT_EQ(Currents(GenEventMakeThumbnail), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(Currents(GenEventFileCopy), (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(Page("index.htm").ends_with("</table>\r\n"));

    // A photo folder that does not exist: an empty table and one problem.
    testsupport::WriteFile(dir / "footer.htm", "<F>");
    gallery.SetPhotoDirectory(dir / "none");
    gallery.GenerateGallery();
    ASSERT_EQ(gallery.Problems().size(), 1u);
    EXPECT_EQ(gallery.Problems()[0].step, Step::ListPhotos);

    gallery.SetPhotoDirectory(photos);
    fs::remove(photos + "/b.jpg");
    gallery.GenerateGallery();
    EXPECT_TRUE(gallery.Problems().empty());

    if (geteuid() == 0)
        GTEST_SKIP() << "root writes read-only files";
    // A read-only copy in the output folder ends the copy step there, and only that step.
    AddPhoto("b.jpg");
    fs::remove(Out("c.jpg"));
    testsupport::WriteFile(Out("b.jpg"), "kept");
    fs::permissions(Out("b.jpg"), fs::perms::owner_read);
    events.clear();
    gallery.GenerateGallery();
    EXPECT_EQ(Currents(GenEventFileCopy), (std::vector<int>{0}));
    EXPECT_EQ(Page("b.jpg"), "kept");
    EXPECT_FALSE(Exists("c.jpg"));
    EXPECT_EQ(Currents(GenEventMakePhotoPage), (std::vector<int>{0, 1, 2}));
    ASSERT_EQ(gallery.Problems().size(), 1u);
    EXPECT_EQ(gallery.Problems()[0].step, Step::CopyFile);
    EXPECT_EQ(gallery.Problems()[0].file, photos + "/b.jpg");
}

TEST_F(EngineTest, CopiesReplaceTargetsAndSurviveAGalleryInsideThePhotoFolder) {
    AddPhoto("a.jpg");
    const std::string photo = testsupport::ReadFile(photos + "/a.jpg");
    fs::create_directory(out);
    testsupport::WriteFile(Out("a.jpg"), "an older, longer copy of the photo than the photo");
    gallery.GenerateGallery();
    EXPECT_EQ(Page("a.jpg"), photo);
    // Output folder = photo folder: copying a photo onto itself must not empty it.
    gallery.SetOutputDirectory(photos);
    gallery.GenerateGallery();
    EXPECT_EQ(testsupport::ReadFile(photos + "/a.jpg"), photo);
    EXPECT_TRUE(gallery.Problems().empty());
}

TEST_F(EngineTest, MoreThan32767FilesKeepTheProgressValuesIn16Bits) {
    for (int i = 0; i < 32770; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "p%05d.jpg", i);
        const int fd = ::open((photos + "/" + name).c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    gallery.SetCreatePageForEachPhoto(false);
    gallery.SetNumberOfRows(1);
    gallery.SetNumberOfCols(1);
    gallery.GenerateGallery();
    for (const Event& event : events)
        ASSERT_TRUE(event.total == 32766 && event.current <= 32766) << event.current;
    EXPECT_EQ(Currents(GenEventFileCopy).size(), 32767u);
    EXPECT_TRUE(Exists("p32766.jpg"));
    EXPECT_FALSE(Exists("p32767.jpg"));
    const GenerationProblem& first = gallery.Problems().front();
    EXPECT_EQ(first.step, Step::ListPhotos);
    EXPECT_NE(first.reason.find("3 photos"), std::string::npos) << first.reason;
    EXPECT_NE(first.reason.find("p32767.jpg"), std::string::npos) << first.reason;
}

} // namespace
