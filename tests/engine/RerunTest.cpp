#include "EngineFixture.h"
#include "RunRecord.h"

#include <functional>
#include <map>
#include <set>
#include <sys/stat.h>
#include <thread>

using vantrel::GallerySettings;
using vantrel::RunRecord;

namespace {

constexpr const char* kRecord = ".tessary-thumbnails";

std::string Photo(int seed) {
    return Picture(seed, 40, 30);
}

// The file's status; all zeros when it is missing.
struct stat StatusOf(const std::string& path) {
    struct stat status {};
    ::stat(path.c_str(), &status);
    return status;
}

// Waits until a file written now gets a later change time than `path` has: a photo
// changed within the same tick of a coarse file system clock keeps its size and times.
void AfterClockTick(const std::string& path) {
    const std::string probe = path + ".tick";
    for (int tries = 0; tries < 2000; ++tries) {
        WriteFile(probe, "");
        const timespec probed = StatusOf(probe).st_ctim, photo = StatusOf(path).st_ctim;
        if (probed.tv_sec != photo.tv_sec || probed.tv_nsec != photo.tv_nsec)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    fs::remove(probe);
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
    // The thumbnails, copies and photo pages with their inodes: a file replaced by a run
    // changes its inode; removed ones are told by the comparison with a run from scratch.
    std::map<std::string, std::uint64_t> Inodes() const {
        std::map<std::string, std::uint64_t> inodes;
        for (const auto& entry : fs::directory_iterator(out)) {
            const std::string name = entry.path().filename().string();
            if (name.ends_with(".jpg") || (name.ends_with(".htm") && name != "index.htm"))
                inodes[name] = StatusOf(entry.path().string()).st_ino;
        }
        return inodes;
    }
    // The same gallery made from scratch in a folder of its own.
    std::map<std::string, std::string> FromScratch() {
        const GallerySettings kept = gallery.Settings();
        fs::remove_all(dir / "scratch");
        gallery.SetOutputDirectory(dir / "scratch");
        gallery.GenerateGallery();
        gallery.SetSettings(kept);
        return FolderBytes(dir / "scratch");
    }
};

// Each change redoes exactly the outputs it makes different, and the gallery then is
// the one a run from scratch makes.
TEST_F(RerunTest, RedoesOnlyWhatChangedAndMatchesARunFromScratch) {
    struct Case {
        const char* what;
        std::function<void()> change;
        std::set<std::string> rewritten;
    };
    // Another picture of the same size given the same time, through a new file or, where
    // only the change time tells, rewritten in place.
    const auto sameSizeAndTime = [this](const std::string& name, bool inPlace) {
        const std::string path = photos + "/" + name, written = inPlace ? path : path + ".new";
        const auto time = fs::last_write_time(path);
        AfterClockTick(path);
        std::string bytes = ReadFile(path);
        bytes[bytes.size() - 20] ^= 0x33;
        std::FILE* file = std::fopen(written.c_str(), inPlace ? "r+b" : "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
        fs::last_write_time(written, time);
        fs::rename(written, path);
    };
    const Case cases[] = {
        {"nothing", [] {}, {}},
        {"changed photo",
         [this] {
             AfterClockTick(photos + "/p1.jpg");
             WriteFile(photos + "/p1.jpg", Photo(9));
         },
         {"p1.jpg", "p1_tn.jpg"}},
        {"added photo", [this] { WriteFile(photos + "/p4.jpg", Photo(4)); }, {"p3.htm"}},
        {"removed photo", [this] { fs::remove(photos + "/p3.jpg"); }, {"p2.htm"}},
        {"thumbnail size",
         [this] { gallery.SetMaxWidth(10); },
         {"p0_tn.jpg", "p1_tn.jpg", "p2_tn.jpg", "p3_tn.jpg"}},
        // Moved away rather than removed, so that its inode number cannot come back.
        {"thumbnail deleted",
         [this] { fs::rename(Out("p0_tn.jpg"), dir / "away.jpg"); },
         {"p0_tn.jpg"}},
        {"same size and time, new file",
         [&] { sameSizeAndTime("p2.jpg", false); },
         {"p2.jpg", "p2_tn.jpg"}},
        {"same size, time and file, new bytes",
         [&] { sameSizeAndTime("p1.jpg", true); },
         {"p1.jpg", "p1_tn.jpg"}},
        {"rebuild",
         [this] { Change([](auto& settings) { settings.rebuild = true; }); },
         {"p0.jpg", "p0_tn.jpg", "p0.htm", "p1.jpg", "p1_tn.jpg", "p1.htm", "p2.jpg", "p2_tn.jpg",
          "p2.htm", "p3.jpg", "p3_tn.jpg", "p3.htm"}},
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
        std::set<std::string> rewritten;
        for (const auto& [name, inode] : Inodes())
            if (before.contains(name) && before.at(name) != inode)
                rewritten.insert(name);
        EXPECT_EQ(rewritten, c.rewritten);
        if (c.rewritten.empty()) {
            EXPECT_EQ(events, firstEvents);
        }

        const auto rerun = events;
        const auto made = FolderBytes(out);
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
    const std::string whole = Picture(5, 64, 30);
    WriteFile(photos + "/p1.jpg", whole.substr(0, whole.size() - 40)); // cut short
    gallery.GenerateGallery();
    ASSERT_EQ(ProblemHeads(), std::vector<std::string>{"Thumbnail of " + photos + "/p1.jpg: "});
    const std::string warning = gallery.Problems()[0].reason;
    EXPECT_TRUE(Contains(warning, "Premature end of JPEG file")) << warning;
    EXPECT_TRUE(Exists("p1_tn.jpg")); // the decoder's warning keeps the thumbnail
    const auto thumbnail = StatusOf(Out("p1_tn.jpg")).st_ino;
    gallery.GenerateGallery();
    ASSERT_EQ(gallery.Problems().size(), 1u);
    EXPECT_EQ(gallery.Problems()[0].reason, warning);
    EXPECT_EQ(StatusOf(Out("p1_tn.jpg")).st_ino, thumbnail);

    // A gallery in its photo folder, its thumbnails recorded in the first layout.
    gallery.SetOutputDirectory(photos);
    gallery.GenerateGallery();
    ASSERT_EQ(gallery.Photos().size(), 4u);
    WriteFile(photos + "/" + kRecord,
              std::string("p0_tn.jpg\0p1_tn.jpg\0p2_tn.jpg\0p3_tn.jpg\0", 40));
    EXPECT_EQ(gallery.Photos().size(), 4u);
    gallery.GenerateGallery();
    EXPECT_TRUE(ReadFile(photos + "/" + kRecord).starts_with("Tessary record 3\n"));
    EXPECT_EQ(gallery.Photos().size(), 4u);
}

TEST(RunRecordTest, TrustsOnlyItsOwnKeyFolderAndWholeLines) {
    const vantrel::RecordKey key({1, 2, 3, 4});
    const vantrel::FileIdentity folder{7, 8, true};
    RunRecord record;
    record.KeepOwnName("tab\there%_tn.jpg");
    const std::map<std::string, std::string> facts{{"size", "4x3"}, {"a b=c", "d%e f"}};
    vantrel::RecordedOutput thumbnail{
        "thumbnail", "odd\nname_tn.jpg", "odd\nname.jpg", "s1", "m1", "end\tof data", facts};
    record.Add(thumbnail);
    record.Add({"copy", "b.jpg", "b.jpg", "s2", "m2", "", {}});
    const std::string text = record.Serialize(key, folder);

    const RunRecord back = RunRecord::Parse(text, key, folder);
    EXPECT_TRUE(back.Trusted());
    EXPECT_EQ(back.OwnNames(), record.OwnNames());
    ASSERT_NE(back.Find("thumbnail", "odd\nname.jpg"), nullptr);
    const vantrel::RecordedOutput& read = *back.Find("thumbnail", "odd\nname.jpg");
    EXPECT_EQ(std::tie(read.name, read.source, read.made, read.warning, read.facts),
              std::tie(thumbnail.name, thumbnail.source, thumbnail.made, thumbnail.warning,
                       thumbnail.facts));
    // A journal line names a file placed after the record was written.
    EXPECT_FALSE(back.MadeHere("c.jpg", "m3"));
    EXPECT_TRUE(RunRecord::Parse(text + RunRecord::PlacedLine("c.jpg", "m3"), key, folder)
                    .MadeHere("c.jpg", "m3"));

    const std::pair<std::string, RunRecord> untrusted[] = {
        {"another key", RunRecord::Parse(text, vantrel::RecordKey({1, 2, 3, 5}), folder)},
        {"another folder", RunRecord::Parse(text, key, {7, 9, true})},
        {"a bad escape", RunRecord::Parse(text + "placed\t%zz\tm\n", key, folder)},
        {"too few fields", RunRecord::Parse(text + "output\tcopy\tx.jpg\n", key, folder)},
        {"an older layout", RunRecord::Parse("Tessary record 2\nown\ta_tn.jpg\n", key, folder)},
    };
    for (const auto& [why, read] : untrusted) {
        EXPECT_FALSE(read.Trusted()) << why;
        EXPECT_EQ(read.Find("copy", "b.jpg"), nullptr) << why;
    }
    // Whatever the record, its names stay the gallery's own.
    EXPECT_TRUE(untrusted[0].second.OwnNames().contains("b.jpg"));
    EXPECT_TRUE(untrusted[4].second.OwnNames().contains("a_tn.jpg"));
    // A line cut short by a killed run drops that line only.
    EXPECT_TRUE(RunRecord::Parse(text + "placed\tc.j", key, folder).Trusted());
    // The key's digest is SipHash-2-4's (its published test vector, key 0..15, 15 bytes).
    const std::uint64_t low = 0x0706050403020100ull, high = 0x0F0E0D0C0B0A0908ull;
    EXPECT_EQ(vantrel::RecordKey({low, high, low, high})
                  .Digest(std::string("\0\1\2\3\4\5\6\7\10\11\12\13\14\15\16", 15)),
              "a129ca6149be45e5a129ca6149be45e5");
}
