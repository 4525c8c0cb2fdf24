#include "EngineFixture.h"
#include "RunRecord.h"

#include <functional>
#include <map>
#include <set>
#include <sys/stat.h>

using vantrel::FileStamp;
using vantrel::GallerySettings;
using vantrel::OutputMade;
using vantrel::RunRecord;

namespace {

constexpr const char* kRecord = ".tessary-thumbnails";

std::string Photo(int seed, int width = 40) {
    return Picture(seed, width, 30);
}

std::uint64_t Inode(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

} // namespace

class RerunTest : public EngineTest {
protected:
    RerunTest() {
        gallery.SetMaxWidth(12);
        WritePhotos();
    }
    void WritePhotos() {
        for (int i = 0; i < 4; ++i)
            WriteFile(photos + "/p" + std::to_string(i) + ".jpg", Photo(i));
    }
    // The thumbnails, copies and photo pages that the last run wrote anew (their files
    // were replaced).
    std::set<std::string> Rewritten(const std::map<std::string, std::uint64_t>& before) const {
        std::set<std::string> rewritten;
        for (const auto& [name, inode] : before) {
            if (Inode(Out(name)) != inode)
                rewritten.insert(name);
        }
        return rewritten;
    }
    std::map<std::string, std::uint64_t> Inodes() const {
        std::map<std::string, std::uint64_t> inodes;
        for (const auto& entry : fs::directory_iterator(out)) {
            const std::string name = entry.path().filename().string();
            if (name.ends_with(".jpg") || (name.ends_with(".htm") && name != "index.htm"))
                inodes[name] = Inode(entry.path().string());
        }
        return inodes;
    }
    // The same gallery made from scratch in a folder of its own.
    std::map<std::string, std::string> FromScratch() {
        GallerySettings settings = gallery.Settings();
        const GallerySettings kept = settings;
        settings.outputDirectory = dir / "scratch";
        fs::remove_all(settings.outputDirectory);
        gallery.SetSettings(settings);
        gallery.GenerateGallery();
        gallery.SetSettings(kept);
        return FolderBytes(settings.outputDirectory);
    }
};

// Each change redoes exactly the outputs it makes different, and the gallery then is
// the one a run from scratch makes.
TEST_F(RerunTest, RedoesOnlyWhatChangedAndMatchesARunFromScratch) {
    struct Case {
        const char* what;
        std::function<void()> change;
        std::set<std::string> rewritten;
        std::set<std::string> leftOver; // outputs of a removed photo, which stay
    };
    const auto replaceKeepingSizeAndTime = [this] {
        // Another picture of the same size, given the same time, through a new file.
        const std::string path = photos + "/p2.jpg";
        std::string bytes = ReadFile(path);
        const std::size_t at = bytes.size() - 20;
        bytes[at] = static_cast<char>(bytes[at] == 0x11 ? 0x22 : 0x11);
        const auto time = fs::last_write_time(path);
        WriteFile(path + ".new", bytes);
        fs::last_write_time(path + ".new", time);
        fs::rename(path + ".new", path);
    };
    const Case cases[] = {
        {"nothing", [] {}, {}, {}},
        {"changed photo",
         [this] { WriteFile(photos + "/p1.jpg", Photo(9)); },
         {"p1.jpg", "p1_tn.jpg"},
         {}},
        {"added photo", [this] { WriteFile(photos + "/p4.jpg", Photo(4)); }, {"p3.htm"}, {}},
        {"removed photo",
         [this] { fs::remove(photos + "/p3.jpg"); },
         {"p2.htm"},
         {"p3.jpg", "p3_tn.jpg", "p3.htm"}},
        {"thumbnail size",
         [this] { gallery.SetMaxWidth(10); },
         {"p0_tn.jpg", "p1_tn.jpg", "p2_tn.jpg", "p3_tn.jpg"},
         {}},
        {"thumbnail deleted", [this] { fs::remove(Out("p0_tn.jpg")); }, {"p0_tn.jpg"}, {}},
        {"thumbnail edited",
         [this] { WriteFile(Out("p3_tn.jpg"), "scribble"); },
         {"p3_tn.jpg"},
         {}},
        {"same size and time, new file", replaceKeepingSizeAndTime, {"p2.jpg", "p2_tn.jpg"}, {}},
        {"rebuild",
         [this] { Change([](auto& settings) { settings.rebuild = true; }); },
         {"p0.jpg", "p0_tn.jpg", "p0.htm", "p1.jpg", "p1_tn.jpg", "p1.htm", "p2.jpg", "p2_tn.jpg",
          "p2.htm", "p3.jpg", "p3_tn.jpg", "p3.htm"},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(out);
        fs::remove(photos + "/p4.jpg");
        Change([](auto& settings) { settings.rebuild = false, settings.maxWidth = 12; });
        WritePhotos();
        gallery.GenerateGallery();
        const auto firstEvents = events;
        const auto before = Inodes();

        c.change();
        events.clear();
        gallery.GenerateGallery();
        const auto problems = ProblemTexts();
        EXPECT_EQ(Rewritten(before), c.rewritten);
        if (c.what == std::string("nothing")) {
            EXPECT_EQ(events, firstEvents);
        }

        const auto rerun = events;
        auto made = FolderBytes(out);
        for (const std::string& name : c.leftOver)
            EXPECT_EQ(made.erase(name), 1u) << name;
        events.clear();
        EXPECT_EQ(made, FromScratch());
        EXPECT_EQ(rerun, events); // kept outputs still raise their events
        EXPECT_EQ(problems, ProblemTexts());
    }
}

// A photo with damage the decoder passed over is reported again when its thumbnail is
// kept, and a record from before the record had versions still keeps a gallery's own
// thumbnails from being taken for photos.
TEST_F(RerunTest, KeptThumbnailsRepeatTheirWarningsAndOldRecordsStillCount) {
    const std::string whole = Photo(5, 64);
    WriteFile(photos + "/p1.jpg", whole.substr(0, whole.size() - 40)); // cut short
    gallery.GenerateGallery();
    ASSERT_EQ(ProblemHeads(), std::vector<std::string>{"Thumbnail of " + photos + "/p1.jpg: "});
    const std::string warning = gallery.Problems()[0].reason;
    EXPECT_TRUE(Contains(warning, "Premature end of JPEG file")) << warning;
    EXPECT_TRUE(Exists("p1_tn.jpg")); // the decoder's warning keeps the thumbnail
    const auto thumbnail = Inode(Out("p1_tn.jpg"));
    gallery.GenerateGallery();
    ASSERT_EQ(gallery.Problems().size(), 1u);
    EXPECT_EQ(gallery.Problems()[0].reason, warning);
    EXPECT_EQ(Inode(Out("p1_tn.jpg")), thumbnail);

    // A photo that is a link is kept by the file it leads to.
    WriteFile(dir / "elsewhere-a.jpg", Photo(7));
    WriteFile(dir / "elsewhere-b.jpg", Photo(8));
    fs::remove(photos + "/p2.jpg");
    fs::create_symlink(dir / "elsewhere-a.jpg", photos + "/p2.jpg");
    gallery.GenerateGallery();
    const auto linked = Inode(Out("p2_tn.jpg"));
    gallery.GenerateGallery();
    EXPECT_EQ(Inode(Out("p2_tn.jpg")), linked);
    fs::remove(photos + "/p2.jpg");
    fs::create_symlink(dir / "elsewhere-b.jpg", photos + "/p2.jpg");
    gallery.GenerateGallery();
    EXPECT_NE(Inode(Out("p2_tn.jpg")), linked);
    EXPECT_EQ(ReadFile(Out("p2.jpg")), ReadFile(dir / "elsewhere-b.jpg"));

    // A gallery in its photo folder, its thumbnails recorded in the first layout.
    gallery.SetOutputDirectory(photos);
    gallery.GenerateGallery();
    ASSERT_EQ(gallery.Photos().size(), 4u);
    WriteFile(photos + "/" + kRecord,
              std::string("p0_tn.jpg\0p1_tn.jpg\0p2_tn.jpg\0p3_tn.jpg\0", 40));
    EXPECT_EQ(gallery.Photos().size(), 4u);
    gallery.GenerateGallery();
    EXPECT_TRUE(ReadFile(photos + "/" + kRecord).starts_with("Tessary record 2\n"));
    EXPECT_EQ(gallery.Photos().size(), 4u);
}

TEST(RunRecordTest, ReadsBackWhatItWroteAndTrustsNoDamagedOutputs) {
    RunRecord record;
    record.ownThumbnails = {"a_tn.jpg", "tab\there%_tn.jpg"};
    const OutputMade made{FileStamp{10, -5, 3, 4}, "width 1 height 0 exact", "odd\nname_tn.jpg",
                          FileStamp{1, 2, 3, 18446744073709551615ull}, "Premature end\tof data"};
    record.SetThumbnail("odd\nname.jpg", made);
    record.SetCopy("b.jpg",
                   OutputMade{FileStamp{1, 2, 3, 4}, "", "b.jpg", FileStamp{1, 2, 5, 6}, ""});
    const std::string text = record.Serialize();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5); // header, 2 own, 2 outputs

    const RunRecord back = RunRecord::Parse(text);
    EXPECT_EQ(back.ownThumbnails, record.ownThumbnails);
    ASSERT_NE(back.Thumbnail("odd\nname.jpg"), nullptr);
    const OutputMade& thumbnail = *back.Thumbnail("odd\nname.jpg");
    EXPECT_EQ(std::tie(thumbnail.photo, thumbnail.settings, thumbnail.name, thumbnail.made,
                       thumbnail.warning),
              std::tie(made.photo, made.settings, made.name, made.made, made.warning));
    EXPECT_EQ(back.Copy("odd\nname.jpg"), nullptr);
    ASSERT_NE(back.Copy("b.jpg"), nullptr);
    EXPECT_EQ(back.Copy("b.jpg")->made, (FileStamp{1, 2, 5, 6}));

    const std::string damaged[] = {
        text.substr(0, text.size() - 1),                             // last line cut short
        text + "thumbnail\tx.jpg\tw\tx_tn.jpg\t1\n",                 // too few fields
        text + "copy\tx.jpg\t\tx.jpg\t1\t2\t3\t4\t5\t6\t7\tz\t\n",   // a number that is none
        text + "copy\t%zz.jpg\t\tx.jpg\t1\t2\t3\t4\t5\t6\t7\t8\t\n", // a bad escape
    };
    for (const std::string& bad : damaged) {
        const RunRecord read = RunRecord::Parse(bad);
        EXPECT_EQ(read.Thumbnail("odd\nname.jpg"), nullptr) << bad;
        EXPECT_EQ(read.Copy("b.jpg"), nullptr) << bad;
        EXPECT_EQ(read.ownThumbnails, record.ownThumbnails) << bad;
    }
    // Another version's outputs are not read.
    std::string older = text;
    older.replace(older.find('2'), 1, "1");
    EXPECT_EQ(RunRecord::Parse(older).Copy("b.jpg"), nullptr);
}
