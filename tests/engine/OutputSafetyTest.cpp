#include "EngineFixture.h"

#include <algorithm>

#include <csignal>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every file of a folder with its bytes (links and fifos as markers), by name.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const auto status = entry.symlink_status();
        const std::string name = entry.path().filename().string();
        files[name] = fs::is_regular_file(status) ? ReadFile(entry.path()) : "(not a file)";
    }
    return files;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : Snapshot(folder))
        names.push_back(name);
    return names;
}

} // namespace

TEST_F(EngineTest, NavigationPageNamedAfterAPhotoOrItsOutputIsRefusedBeforeAnyWrite) {
    AddPhotos({"cell.jpg", "z.jpg"});
    const struct {
        std::string folder, name, clash;
    } cases[] = {
        {photos, "cell.jpg", "'cell.jpg' is a photo of the gallery"},
        {out, "cell.jpg", "'cell.jpg' is a photo of the gallery"},
        {out, "cell_tn.jpg", "'cell_tn.jpg' is the thumbnail name of the photo 'cell.jpg'"},
        {out, "z.htm", "'z.htm' is the page name of the photo 'z.jpg'"},
    };
    for (const auto& c : cases) {
        gallery.SetOutputDirectory(c.folder);
        gallery.SetOutputFilename(c.name);
        EXPECT_EQ(gallery.NavigationPageClash(), c.clash);
        EXPECT_EQ(ErrorText([&] { gallery.GenerateGallery(); }),
                  kCannotCreate + "\r\nMore Info: " + c.clash);
    }
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(Names(photos), (std::vector<std::string>{"cell.jpg", "z.jpg"}));
    EXPECT_EQ(ReadFile(photos + "/cell.jpg"), ReadFile(photos + "/z.jpg"));

    // Without photo pages, a page name is free to use.
    gallery.SetOutputDirectory(out);
    gallery.SetCreatePageForEachPhoto(false);
    EXPECT_EQ(gallery.NavigationPageClash(), "");
    gallery.GenerateGallery();
    EXPECT_TRUE(gallery.Problems().empty());
    EXPECT_TRUE(Contains(Page("z.htm"), "<td><a href='z.jpg'><img src='z_tn.jpg'></a></td>"));
}

TEST_F(EngineTest, PhotosWhoseOutputNamesCoincideGetDistinctNames) {
    AddPhotos({"a.jpg", "a.JPG", "a_jpg", "b.jpg"}); // listed a.JPG, a.jpg, a_jpg, b.jpg
    gallery.SetOutputFilename("a~2.htm"); // a renamed page steps over the navigation page
    gallery.SetNumberOfCols(4);
    gallery.GenerateGallery();
    EXPECT_TRUE(gallery.Problems().empty());
    EXPECT_EQ(Page("a~2.htm"), "<H>" + kDescription + "</div>" + kTable + "<tr>\r\n" + Cell("a") +
                                   Cell("a~3") + Cell("a~4") + Cell("b") +
                                   "</tr>\r\n</table>\r\n<F>");
    EXPECT_EQ(Page("a~3.htm"), "<H><img src='a.jpg'><br>\r\n" + Button("prev", "a.htm") +
                                   Button("home", "a~2.htm") + Button("next", "a~4.htm") + "<F>");
    EXPECT_EQ(Page("b.htm"), "<H><img src='b.jpg'><br>\r\n" + Button("prev", "a~4.htm") +
                                 Button("home", "a~2.htm") + "<F>");
    EXPECT_EQ(Names(out),
              (std::vector<std::string>{".tessary-thumbnails", "a.JPG", "a.htm", "a.jpg", "a_jpg",
                                        "a_tn.jpg", "a~2.htm", "a~3.htm", "a~3_tn.jpg", "a~4.htm",
                                        "a~4_tn.jpg", "b.htm", "b.jpg", "b_tn.jpg"}));
}

TEST_F(EngineTest, GalleryInItsPhotoFolderKeepsItsPhotosAndAddsNothingOnARerun) {
    AddPhotos({"x.jpg"});
    const std::string own =
        Picture(1, 16, 16); // a photo of its own that only looks like a thumbnail
    WriteFile(photos + "/x_tn.jpg", own);
    gallery.SetOutputDirectory(photos);
    for (int run = 0; run < 3; ++run) {
        gallery.GenerateGallery();
        EXPECT_EQ(ReadFile(photos + "/x_tn.jpg"), own);
        EXPECT_EQ(ProblemHeads(), std::vector<std::string>{"Thumbnail of " + photos + "/x.jpg: "});
        EXPECT_EQ(Names(photos),
                  (std::vector<std::string>{".tessary-thumbnails", "index.htm", "x.htm", "x.jpg",
                                            "x_tn.htm", "x_tn.jpg", "x_tn_tn.jpg"}));
        EXPECT_EQ(Currents(GenEventMakeThumbnail), (std::vector<int>{0, 1}));
        events.clear();
    }
}

TEST_F(EngineTest, LinksAtOutputNamesAreReplacedNeverWrittenThrough) {
    AddPhotos({"cell.jpg"});
    fs::create_directory(out);
    const std::vector<std::string> outputs{"cell_tn.jpg", "index.htm", "cell.htm", "cell.jpg"};
    for (const std::string& name : outputs) {
        WriteFile(dir / ("outside-" + name), "outside");
        fs::create_symlink(dir / ("outside-" + name), Out(name));
    }
    gallery.GenerateGallery();
    EXPECT_TRUE(gallery.Problems().empty());
    for (const std::string& name : outputs) {
        EXPECT_EQ(ReadFile(dir / ("outside-" + name)), "outside") << name;
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Out(name)))) << name;
    }
    EXPECT_EQ(Page("cell.jpg"), ReadFile(photos + "/cell.jpg"));
    EXPECT_TRUE(Page("index.htm").starts_with("<H>"));
}

TEST_F(EngineTest, FifosAndChangingPhotosCostOnlyTheirOwnOutputs) {
    AddPhotos({"a.jpg", "b.jpg", "c.jpg", "d.jpg"});
    fs::create_directory(out);
    ASSERT_EQ(mkfifo(Out("a.htm").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(Out("a.jpg").c_str(), 0600), 0);
    const auto past = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    fs::last_write_time(photos + "/d.jpg", past);
    // After the first thumbnail, b turns into a fifo and c vanishes: on one worker, so
    // that no later photo is worked on before the first one's event.
    Change([](auto& settings) { settings.jobs = 1; });
    gallery.SetProgressHandler([&](auto type, auto&, auto& current) {
        events.push_back({type, 0, current});
        if (type == GenEventMakeThumbnail && current == 0) {
            fs::remove(photos + "/b.jpg");
            mkfifo((photos + "/b.jpg").c_str(), 0600);
            fs::remove(photos + "/c.jpg");
        }
    });
    gallery.GenerateGallery();
    const std::string p = photos + "/";
    EXPECT_EQ(ProblemHeads(),
              (std::vector<std::string>{
                  "Thumbnail of " + p + "b.jpg: ", "Thumbnail of " + p + "c.jpg: ",
                  "Copy of " + p + "a.jpg: ", "Copy of " + p + "b.jpg: ",
                  "Copy of " + p + "c.jpg: ", "Photo pages: " + Out("a.htm") + ": "}));
    EXPECT_EQ(gallery.Problems().at(1).reason, "cannot be read: No such file or directory");
    EXPECT_EQ(gallery.Problems().at(3).reason, "cannot be copied: not a regular file");
    EXPECT_TRUE(fs::is_fifo(Out("a.htm")) && fs::is_fifo(Out("a.jpg")));
    EXPECT_EQ(Currents(GenEventFileCopy), std::vector<int>{3});
    EXPECT_EQ(Currents(GenEventMakePhotoPage), (std::vector<int>{1, 2, 3}));
    // The copy keeps its photo's time.
    EXPECT_EQ(fs::last_write_time(Out("d.jpg")), past);

    // A fifo as the navigation page or as a fragment.
    fs::remove(Out("index.htm"));
    ASSERT_EQ(mkfifo(Out("index.htm").c_str(), 0600), 0);
    EXPECT_EQ(ErrorText([&] { gallery.GenerateGallery(); }), kCannotCreate);
    fs::remove(Out("index.htm"));
    fs::remove(photos + "/b.jpg");
    fs::remove(dir / "footer.htm");
    ASSERT_EQ(mkfifo((dir / "footer.htm").c_str(), 0600), 0);
    gallery.GenerateGallery();
    EXPECT_EQ(gallery.Problems().at(0).Text(),
              "Fragment " + dir / "footer.htm" +
                  ": cannot be read, taken as empty: not a regular file");
}

// A kernel file claims 4096 bytes and holds fewer: read, it looks like a photo that
// shrank while it was copied.
TEST_F(EngineTest, PhotoShorterThanItsSizeIsACopyProblem) {
    const std::string kernelFile = "/sys/kernel/profiling";
    std::error_code error;
    if (fs::file_size(kernelFile, error) <= ReadFile(kernelFile).size() || error)
        GTEST_SKIP() << "no file in /sys that holds less than its size";
    fs::create_symlink(kernelFile, photos + "/shrinking.jpg");
    gallery.GenerateGallery();
    ASSERT_EQ(gallery.Problems().size(), 2u); // it has no thumbnail either
    EXPECT_EQ(gallery.Problems()[1].Text(),
              "Copy of " + photos + "/shrinking.jpg: cannot be copied: shrank while it was read");
    EXPECT_FALSE(Exists("shrinking.jpg"));
}

TEST_F(EngineTest, PhotoPageThatIsTheNavigationPageIsPassedOver) {
    AddPhotos({"a.jpg", "b.jpg"});
    gallery.GenerateGallery();
    fs::remove(Out("a.htm"));
    fs::create_hard_link(Out("index.htm"), Out("a.htm"));
    events.clear();
    gallery.GenerateGallery();
    EXPECT_EQ(ProblemHeads(), std::vector<std::string>{"Photo pages: " + Out("a.htm") + ": "});
    EXPECT_EQ(Currents(GenEventMakePhotoPage), std::vector<int>{1});
    EXPECT_TRUE(Contains(Page("index.htm"), kTable));
}

TEST_F(EngineTest, FullDiskLeavesTheEarlierGalleryWholeAndNoPartialFile) {
    AddPhotos({"a.jpg"});
    WriteFile(photos + "/big.jpg", testsupport::MakeJpeg({}) + std::string(300000, '\0'));
    gallery.GenerateGallery();
    ASSERT_TRUE(gallery.Problems().empty());
    const auto before = FolderBytes(out);

    WriteFile(dir / "header.htm", std::string(300000, 'h')); // pages now outgrow the disk
    Change([](auto& settings) { settings.rebuild = true; }); // copies too are written anew
    const int steps = testsupport::RunInChild(
        [&] {
            gallery.GenerateGallery();
            int failed = 0;
            for (const GenerationProblem& problem : gallery.Problems())
                failed |= 1 << static_cast<int>(problem.step);
            return failed;
        },
        200000);
    using Step = GenerationProblem::Step;
    EXPECT_EQ(steps, (1 << static_cast<int>(Step::NavigationPage)) |
                         (1 << static_cast<int>(Step::CopyFile)) |
                         (1 << static_cast<int>(Step::MakePhotoPage)));
    // The record of what was made names the new thumbnails' files: compared apart.
    EXPECT_TRUE(fs::is_regular_file(Out(".tessary-thumbnails")));
    EXPECT_EQ(FolderBytes(out), before);
}

TEST_F(EngineTest, KilledRunLeavesTheEarlierGalleryAndTheNextRunRemovesItsTemporaries) {
    AddPhotos({"a.jpg", "b.jpg"});
    gallery.GenerateGallery();
    const auto before = Snapshot(out);
    gallery.SetDescription("new");
    const int status = testsupport::RunInChild([&] {
        gallery.SetProgressHandler([](auto type, auto&, auto&) {
            if (type == GenEventMakePhotoPage)
                std::raise(SIGKILL);
        });
        gallery.GenerateGallery();
        return 0;
    });
    EXPECT_EQ(status, -1);
    auto after = Snapshot(out);
    std::vector<std::string> left;
    std::erase_if(after, [&](const auto& file) {
        return file.first.ends_with(".tmp") && (left.push_back(file.first), true);
    });
    EXPECT_EQ(after, before);
    // The navigation page's, and a later photo page's when a worker was writing it.
    ASSERT_GE(left.size(), 1u);
    EXPECT_TRUE(std::any_of(left.begin(), left.end(), [](const std::string& name) {
        return name.starts_with(".index.htm.");
    })) << ::testing::PrintToString(left);
    for (const std::string& name : left)
        EXPECT_TRUE(name.starts_with(".index.htm.") || name.starts_with(".b.htm.")) << name;

    // The next run removes the temporary; one ended by its handler leaves none behind.
    gallery.SetProgressHandler([](auto type, auto&, auto&) {
        if (type == GenEventMakePhotoPage)
            throw std::runtime_error("stop");
    });
    EXPECT_THROW(gallery.GenerateGallery(), std::runtime_error);
    EXPECT_EQ(Snapshot(out), before);

    // Only temporaries of this gallery's outputs are removed.
    WriteFile(Out(".a.jpg.0123456789ab.tmp"), "ours");
    WriteFile(Out(".notes.txt.0123456789ab.tmp"), "not ours");
    WriteFile(Out(".a.jpg.tmp"), "not ours");
    gallery.SetProgressHandler(nullptr);
    gallery.GenerateGallery();
    EXPECT_EQ(Names(out),
              (std::vector<std::string>{".a.jpg.tmp", ".notes.txt.0123456789ab.tmp",
                                        ".tessary-thumbnails", "a.htm", "a.jpg", "a_tn.jpg",
                                        "b.htm", "b.jpg", "b_tn.jpg", "index.htm"}));
    EXPECT_TRUE(Contains(Page("index.htm"), "new"));
}
