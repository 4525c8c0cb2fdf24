#include "EngineFixture.h"
#include "MetadataSegments.h"

#include "../../engine/PhotoMetadata.h"

#include <fcntl.h>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

// A folder with removed photos, files that are not photos, a private photo and a located
// one: the output folder holds what the user means to publish and no more.
TEST_F(EngineTest, OutputFolderHoldsOnlyWhatIsMeantToBePublished) {
    AddPhotos({"keep.jpg", "gone.jpg", "edited.jpg", "private.jpg"});
    WriteFile(photos + "/located.jpg", testsupport::LocatedPhoto(Picture(3, 16, 12)));
    fs::permissions(photos + "/private.jpg", fs::perms::owner_read | fs::perms::owner_write);
    WriteFile(dir / "secret.txt", "password=hunter2");
    fs::create_symlink(dir / "secret.txt", photos + "/shadow.jpg");
    fs::create_symlink("/proc/self/environ", photos + "/env.jpg");
    gallery.GenerateGallery();
    EXPECT_EQ(std::pair(gallery.Summary().withLocation, gallery.Summary().ownerOnly),
              (std::pair<std::size_t, std::size_t>(1, 1)));
    EXPECT_EQ(fs::status(Out("private.jpg")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    for (const char* name : {"shadow.jpg", "shadow_tn.jpg", "shadow.htm", "env.jpg", "env.htm"})
        EXPECT_FALSE(Exists(name)) << name;
    EXPECT_FALSE(Contains(Page("index.htm"), "shadow")) << Page("index.htm");
    EXPECT_TRUE(Contains(ProblemTexts().front(), "not a JPEG photo"));

    // The record names no inode, size or time of the user's files.
    struct stat status {};
    ASSERT_EQ(::stat((photos + "/keep.jpg").c_str(), &status), 0);
    const std::string record = ReadFile(Out(".tessary-thumbnails"));
    // As a whole number: its digits may well occur inside a digest.
    for (const auto& number : {std::to_string(status.st_ino), std::to_string(status.st_size),
                               std::to_string(status.st_mtim.tv_sec)})
        EXPECT_FALSE(
            std::regex_search(record, std::regex("(^|[^0-9a-zA-Z])" + number + "($|[^0-9a-zA-Z])")))
            << number;

    // Removed photos take their outputs along, except one edited by hand since.
    fs::remove(photos + "/gone.jpg");
    fs::remove(photos + "/edited.jpg");
    WriteFile(Out("edited.htm"), "my own notes");
    Change([](vantrel::GallerySettings& s) { s.stripLocation = true; });
    gallery.GenerateGallery();
    for (const char* name : {"gone.jpg", "gone_tn.jpg", "gone.htm", "edited.jpg"})
        EXPECT_FALSE(Exists(name)) << name;
    EXPECT_EQ(Page("edited.htm"), "my own notes");
    EXPECT_TRUE(Contains(ProblemTexts().back(), "edited.htm"));

    // Stripped (how, the metadata tests tell).
    EXPECT_EQ(std::tuple(gallery.Summary().withLocation, gallery.Summary().locationsRemoved,
                         gallery.Summary().removed.size()),
              (std::tuple<std::size_t, std::size_t, std::size_t>(0, 1, 5)));
    const int copy = ::open(Out("located.jpg").c_str(), O_RDONLY);
    const auto copied = vantrel::ReadPhotoMetadata(copy);
    ::close(copy);
    EXPECT_TRUE(copied && !copied->hasLocation);
}
