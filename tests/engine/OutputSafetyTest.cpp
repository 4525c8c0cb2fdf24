#include "EngineFixture.h"

#include <algorithm>
#include <csignal>
#include <functional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST_F(EngineTest, NavigationPageNamedAfterAPhotoAnOutputOrAnInputIsRefusedBeforeAnyWrite) {
    AddPhotos({"cell.jpg", "z.jpg"});
    // Photo, thumbnail and page names are refused by tessary-make's tests too.
    const struct {
        std::string folder, name, clash;
    } cases[] = {
        {photos, "cell.jpg", "'cell.jpg' is a photo of the gallery"},
        {out, "z.htm", "'z.htm' is the page name of the photo 'z.jpg'"},
        {dir.Path().string(), "header.htm", "'header.htm' is a file this run reads"},
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
    EXPECT_EQ(ReadFile(dir / "header.htm"), "<H>");

    // Without photo pages, a page name is free to use.
    gallery.SetOutputDirectory(out);
    gallery.SetOutputFilename("z.htm");
    gallery.SetCreatePageForEachPhoto(false);
    EXPECT_EQ(gallery.NavigationPageClash(), "");
    gallery.GenerateGallery();
    EXPECT_TRUE(gallery.Problems().empty());
    EXPECT_TRUE(Contains(Page("z.htm"), "<td><a href='z.jpg'><img src='z_tn.jpg'></a></td>"));
}

// Names are planned before anything is written: plain names for every photo first, "~N"
// names only for what must move, and never a name a photo, the gallery or the user holds.
TEST(NamingTest, EachOutputGetsAFreeNameAndPlainNamesStayPlain) {
    using vantrel::NamingRules;
    using vantrel::PhotoNames;
    const auto stems = [](const std::vector<PhotoNames>& plan) {
        std::vector<std::string> names;
        for (const PhotoNames& p : plan)
            names.push_back(p.thumbnail + " " + p.page + " " + p.copy);
        return names;
    };
    NamingRules plain;
    plain.galleryFiles = {"index.htm"};
    NamingRules folding = plain, userFiles = plain, modern = plain;
    folding.foldCase = true;
    userFiles.taken = [](const std::string& name) { return name == "b_tn.jpg" || name == "b.jpg"; };
    modern.modern = true;
    modern.galleryFiles = {"index.htm", "index-2.htm", "tessary.css"};
    const struct {
        const char* what;
        std::vector<std::string> photos;
        NamingRules rules;
        std::vector<std::string> expected;
    } cases[] = {
        {"coinciding names; a later photo keeps its plain names",
         {"a.JPG", "a.jpg", "a~2.jpg"},
         plain,
         {"a_tn.jpg a.htm a.JPG", "a~3_tn.jpg a~3.htm a.jpg", "a~2_tn.jpg a~2.htm a~2.jpg"}},
        {"a thumbnail name that is a photo",
         {"x.jpg", "x_tn.jpg"},
         plain,
         {"x~2_tn.jpg x~2.htm x.jpg", "x_tn_tn.jpg x_tn.htm x_tn.jpg"}},
        {"a folder that ignores case",
         {"A.jpg", "a.JPG"},
         folding,
         {"A_tn.jpg A.htm A.jpg", "a~2_tn.jpg a~2.htm a~2.JPG"}},
        {"files of the user's move only their own outputs",
         {"b.jpg"},
         userFiles,
         {"b~2_tn.jpg b.htm b~2.jpg"}},
        {"the modern style's index pages",
         {"index-2.jpg"},
         modern,
         {"index-2~2_tn.jpg index-2~2.htm index-2.jpg"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(stems(vantrel::PlanNames(c.photos, c.rules)), c.expected) << c.what;
    const PhotoNames names = vantrel::PlanNames({"c.jpg"}, modern).front();
    EXPECT_EQ(names.twin, "c_tn2x.jpg");
    EXPECT_EQ(names.display, (std::vector<std::string>{"c_1280.jpg", "c_2560.jpg"}));
}

// A folder as a hostile or merely unlucky user leaves it: the run never replaces the
// user's files, never follows the folder elsewhere, and never reads what is not its own.
TEST_F(EngineTest, AFileOfTheUsersAtARecordedOutputNameIsKept) {
    AddPhotos({"beach.jpg"});
    gallery.SetOutputDirectory(photos);
    gallery.GenerateGallery();
    const std::string own = Picture(3, 40, 30);
    WriteFile(photos + "/beach_tn.jpg", own);
    gallery.GenerateGallery();
    EXPECT_EQ(ReadFile(photos + "/beach_tn.jpg"), own);
    EXPECT_TRUE(fs::exists(photos + "/beach~2_tn.jpg") && fs::exists(photos + "/beach.htm"));
    EXPECT_EQ(ProblemHeads(),
              std::vector<std::string>{"Earlier output " + photos + "/beach_tn.jpg: "});
    // Its namesake gone, it is a photo again; the gone photo's outputs go too.
    fs::remove(photos + "/beach.jpg");
    gallery.GenerateGallery();
    EXPECT_EQ(gallery.Photos(), std::vector<std::string>{"beach_tn.jpg"});
    EXPECT_EQ(Names(photos),
              (std::vector<std::string>{".tessary-thumbnails", "beach_tn.htm", "beach_tn.jpg",
                                        "beach_tn_tn.jpg", "index.htm"}));
}

TEST_F(EngineTest, AFragmentBesideAPhotoOfItsNameIsKept) {
    AddPhotos({"header.jpg"});
    gallery.SetOutputDirectory(dir.Path().string());
    for (int run = 0; run < 2; ++run)
        gallery.GenerateGallery();
    EXPECT_EQ(ReadFile(dir / "header.htm"), "<H>");
    EXPECT_TRUE(Contains(ReadFile(dir / "header~2.htm"), "<img src='header.jpg'>"));
}

TEST_F(EngineTest, HugeSparseRecordAndHeaderAreNotRead) {
    AddPhotos({"a.jpg"});
    fs::create_directory(out);
    for (const std::string& path : {Out(".tessary-thumbnails"), dir / "header.htm"}) {
        WriteFile(path, "");
        fs::resize_file(path, std::uintmax_t(50) << 30);
    }
    gallery.GenerateGallery();
    ASSERT_EQ(ProblemTexts().size(), 2u); // the photo pages' header too
    EXPECT_EQ(ProblemTexts()[0], "Fragment " + dir / "header.htm" +
                                     ": cannot be read, taken as empty: larger than 16 MiB");
    EXPECT_TRUE(Exists("a_tn.jpg"));
    EXPECT_LT(fs::file_size(Out(".tessary-thumbnails")), 4096u);
}

TEST_F(EngineTest, AnotherRunWritingTheGalleryRefusesThisOne) {
    AddPhotos({"a.jpg"});
    fs::create_directory(out);
    const int held = ::open(out.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    EXPECT_EQ(ErrorText([&] { gallery.GenerateGallery(); }),
              kCannotCreate + "\r\nMore Info: another run is writing the gallery in '" + out +
                  "'; run again when it has finished");
    ::close(held);
    EXPECT_TRUE(fs::is_empty(out));
    gallery.GenerateGallery();
    EXPECT_TRUE(Exists("a_tn.jpg"));
}

TEST_F(EngineTest, AnOutputFolderSwappedForALinkIsNotFollowed) {
    AddPhotos({"a.jpg", "b.jpg"});
    fs::create_directories(dir / "elsewhere");
    Change([](auto& settings) { settings.jobs = 1; });
    gallery.SetProgressHandler([&](auto type, auto&, auto& current) {
        if (type == GenEventMakeThumbnail && current == 0) {
            fs::rename(out, dir / "moved");
            fs::create_directory_symlink(dir / "elsewhere", out);
        }
    });
    gallery.GenerateGallery();
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
    EXPECT_EQ(Names(dir / "moved"),
              (std::vector<std::string>{".tessary-thumbnails", "a.htm", "a.jpg", "a_tn.jpg",
                                        "b.htm", "b.jpg", "b_tn.jpg", "index.htm"}));
}

TEST_F(EngineTest, AnOlderGallerysThumbnailIsNoPhotoButALookAlikeIs) {
    WriteFile(photos + "/x.jpg", Picture(1, 40, 30));
    WriteFile(photos + "/x_tn.jpg", Picture(1, 4, 3)); // plainly x's thumbnail
    WriteFile(photos + "/y.jpg", Picture(2, 40, 30));
    WriteFile(photos + "/y_tn.jpg", Picture(2, 16, 16)); // not y's proportions
    gallery.SetOutputDirectory(photos);
    for (const bool rebuild : {false, false, true}) {
        Change([&](auto& settings) { settings.rebuild = rebuild; });
        gallery.GenerateGallery();
        EXPECT_EQ(gallery.Photos(), (std::vector<std::string>{"x.jpg", "y.jpg", "y_tn.jpg"}));
        EXPECT_TRUE(gallery.Problems().empty());
        EXPECT_EQ(Currents(GenEventMakeThumbnail).size(), 3u);
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
    EXPECT_EQ(ProblemHeads(), (std::vector<std::string>{
                                  "Thumbnail of " + p + "b.jpg: ", "Thumbnail of " + p + "c.jpg: ",
                                  "Copy of " + p + "b.jpg: ", "Copy of " + p + "c.jpg: "}));
    EXPECT_EQ(gallery.Problems().at(1).reason, "cannot be read: No such file or directory");
    EXPECT_EQ(gallery.Problems().at(2).reason, "cannot be read: not a regular file");
    // The fifo at a's page name is left alone: a's page takes a name of its own.
    EXPECT_TRUE(fs::is_fifo(Out("a.htm")) && Exists("a~2.htm"));
    EXPECT_EQ(Currents(GenEventFileCopy), (std::vector<int>{0, 3}));
    // The copy keeps its photo's time.
    EXPECT_EQ(fs::last_write_time(Out("d.jpg")), past);
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
    EXPECT_EQ(FolderBytes(out), before);
}

TEST_F(EngineTest, KilledRunLeavesTheEarlierGalleryAndTheNextRunRemovesItsTemporaries) {
    AddPhotos({"a.jpg", "b.jpg"});
    gallery.GenerateGallery();
    const auto before = FolderBytes(out);
    gallery.SetDescription("new");
    Change([](auto& settings) { settings.rebuild = true; });
    const int status = testsupport::RunInChild([&] {
        gallery.SetProgressHandler([](auto type, auto&, auto&) {
            if (type == GenEventMakePhotoPage)
                std::raise(SIGKILL);
        });
        gallery.GenerateGallery();
        return 0;
    });
    EXPECT_EQ(status, -1);
    auto after = FolderBytes(out);
    std::vector<std::string> left;
    std::erase_if(after, [&](const auto& file) {
        return file.first.ends_with(".tmp") && (left.push_back(file.first), true);
    });
    // The thumbnails and copies made anew took their places; pages and the navigation
    // page did not.
    EXPECT_EQ(after, before);
    EXPECT_TRUE(std::any_of(left.begin(), left.end(), [](const std::string& name) {
        return name.starts_with(".index.htm.");
    })) << ::testing::PrintToString(left);

    // The next run knows the files the killed one placed as its own, and removes the
    // temporaries of its outputs, whatever photo they were for; none other.
    WriteFile(Out(".gone.jpg.0123456789ab.tmp"), "ours");
    WriteFile(Out(".notes.txt.0123456789ab.tmp"), "not ours");
    WriteFile(Out(".a.jpg.tmp"), "not ours");
    gallery.SetProgressHandler(nullptr);
    Change([](auto& settings) { settings.rebuild = false; });
    gallery.GenerateGallery();
    EXPECT_TRUE(gallery.Problems().empty());
    EXPECT_EQ(Names(out),
              (std::vector<std::string>{".a.jpg.tmp", ".notes.txt.0123456789ab.tmp",
                                        ".tessary-thumbnails", "a.htm", "a.jpg", "a_tn.jpg",
                                        "b.htm", "b.jpg", "b_tn.jpg", "index.htm"}));
    EXPECT_TRUE(Contains(Page("index.htm"), "new"));
}
