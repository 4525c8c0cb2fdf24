#include "skimlet/Pictures.h"

#include "TestSupport.h"
#include "filters/Pictures.h"
#include "skimlet/JPEGImage.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace skimlet;

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

// The job for `photo` into dir/out, its descriptors closed again afterwards.
PhotoResult MakeInto(const TempDir& dir, const std::string& photo,
                     std::vector<PictureRequest> pictures) {
    const int photoFd = ::open(photo.c_str(), O_RDONLY),
              folder = ::open((dir / "out").c_str(), O_RDONLY);
    PhotoResult made = MakePictures({.photo = photoFd,
                                     .photoPath = photo,
                                     .outputFolder = folder,
                                     .pictures = std::move(pictures)});
    ::close(photoFd);
    ::close(folder);
    return made;
}

std::vector<PictureRequest> EveryPicture() {
    return {{.name = "p_tn.jpg", .maxWidth = 120},
            {.name = "p_tn2x.jpg", .maxWidth = 120, .scale = 2},
            {.name = "p_1280.jpg", .longSide = 1280, .quality = kDisplayCopyQuality},
            {.name = "p_2560.jpg", .longSide = 2560, .quality = kDisplayCopyQuality}};
}

// Quarters: red, green over blue, white.
std::string Quarters(int width, int height) {
    const auto pixel = [=](int x, int y, std::uint8_t* p) {
        const bool right = 2 * x >= width, bottom = 2 * y >= height;
        p[0] = right == bottom ? 255 : 0;
        p[1] = right ? 255 : 0;
        p[2] = bottom ? 255 : 0;
    };
    return MakeJpeg({.width = width, .height = height, .pixel = pixel});
}

TEST(Pictures, OneDecodeMakesTheThumbnailItsTwinAndDisplayCopies) {
    TempDir dir;
    for (const char* folder : {"out", "ref"})
        fs::create_directories(dir.Path() / folder);
    WriteFile(dir / "wide.jpg", Quarters(3000, 2000));
    WriteFile(dir / "turned.jpg", WithExifOrientation(Quarters(3000, 2000), 6));
    // Display copies are never larger than the photo.
    const struct Case {
        std::string photo;
        std::pair<int, int> display[2];
    } cases[] = {
        {SamplePhoto("astronaut.jpg"), {{512, 512}, {512, 512}}},
        {dir / "wide.jpg", {{1280, 853}, {2560, 1707}}},
        {dir / "turned.jpg", {{853, 1280}, {1707, 2560}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.photo);
        const PhotoResult made = MakeInto(dir, c.photo, EveryPicture());
        ASSERT_EQ(made.outcome, PhotoResult::Outcome::Made) << made.error;
        ASSERT_EQ(made.pictures.size(), 4u);
        for (const PictureMade& p : made.pictures) {
            EXPECT_TRUE(p.temporaryName.starts_with("." + p.name + ".")) << p.temporaryName;
            fs::rename(dir.Path() / "out" / p.temporaryName, dir.Path() / "out" / p.name);
        }
        JPEGImage image;
        image.SetOutputDirectory(dir / "ref/");
        ASSERT_EQ(image.SetFilePath(c.photo), S_OK);
        ASSERT_EQ(image.GenerateThumbnail(120, 0), S_OK);
        EXPECT_EQ(ReadFile(dir / "out/p_tn.jpg"),
                  ReadFile(dir / ("ref/" + fs::path(c.photo).stem().string() + "_tn.jpg")));
        EXPECT_EQ(made.photoWidth, image.Width());
        EXPECT_EQ(made.photoHeight, image.Height());

        const auto decoded = [&](const std::string& name) {
            return DecodeJpegReference(ReadFile(dir / ("out/" + name)));
        };
        const DecodedJpeg twin = decoded("p_tn2x.jpg");
        EXPECT_EQ(std::pair(twin.width, twin.height),
                  std::pair(2 * image.MaxWidth(), 2 * image.MaxHeight()));
        for (int k = 0; k < 2; ++k) {
            const PictureMade& p = made.pictures[2 + k];
            const DecodedJpeg copy = decoded(p.name);
            EXPECT_EQ(std::make_pair(copy.width, copy.height), c.display[k]);
            EXPECT_EQ(std::make_pair(p.width, p.height), std::make_pair(copy.width, copy.height));
            // No metadata: the turned photo's Exif segment is not carried over.
            EXPECT_EQ(ReadFile(dir / ("out/" + p.name)).find("Exif"), std::string::npos);
        }
        // Copies of one size are one picture.
        EXPECT_EQ(ReadFile(dir / "out/p_1280.jpg") == ReadFile(dir / "out/p_2560.jpg"),
                  c.display[0] == c.display[1]);
        if (c.photo != dir / "turned.jpg")
            continue;
        // Turned a quarter clockwise: blue, red over white, green; the smaller
        // pictures are made from the 2560 copy's rows, turned likewise.
        for (const char* name : {"p_2560.jpg", "p_1280.jpg", "p_tn2x.jpg"}) {
            const DecodedJpeg copy = decoded(name);
            const std::uint8_t expected[4][3] = {
                {0, 0, 255}, {255, 0, 0}, {255, 255, 255}, {0, 255, 0}};
            for (int q = 0; q < 4; ++q) {
                const int x = copy.width / 4 + (q % 2) * copy.width / 2;
                const int y = copy.height / 4 + (q / 2) * copy.height / 2;
                for (int ch = 0; ch < 3; ++ch)
                    EXPECT_NEAR(copy.pixels[3 * (std::size_t(y) * copy.width + x) + ch],
                                expected[q][ch], 8)
                        << name << q << ch;
            }
        }
    }
}

// Whatever fails, before or while writing, no temporary is left behind.
TEST(Pictures, AFailedJobLeavesNothing) {
    TempDir dir;
    fs::create_directories(dir.Path() / "out");
    WriteFile(dir / "good.jpg", ReadFile(SamplePhoto("astronaut.jpg")));
    WriteFile(dir / "bomb.jpg",
              WithFrameSize(MakeJpeg({.width = 16, .height = 16, .progressive = true, .pixel = {}}),
                            23000, 23000));
    WriteFile(dir / "text.jpg", "not a picture at all");
    struct Case {
        const char* photo;
        std::vector<PictureRequest> pictures;
        rlim_t fileSizeLimit;
        PhotoResult::Outcome outcome;
        std::string error;
    } cases[] = {
        {"good.jpg", EveryPicture(), 32768, PhotoResult::Outcome::Failed,
         "Writing p_1280.jpg failed: File too large"},
        {"bomb.jpg", EveryPicture(), RLIM_INFINITY, PhotoResult::Outcome::Failed,
         "Decoder error: JPEG picture"},
        {"text.jpg", EveryPicture(), RLIM_INFINITY, PhotoResult::Outcome::Failed,
         "Decoder error: Unknown file type."},
        {"good.jpg",
         {{.name = "p_tn.jpg", .maxWidth = 120, .maxHeight = 120}},
         RLIM_INFINITY,
         PhotoResult::Outcome::NotMadeByRule,
         ""},
        {"good.jpg",
         {{.name = "../p_tn.jpg", .maxWidth = 120}},
         RLIM_INFINITY,
         PhotoResult::Outcome::Failed,
         "picture 1 (\"../p_tn.jpg\"): not a plain file name"},
    };
    // Writes beyond the limit fail with EFBIG instead of ending the process.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.photo + c.error);
        rlimit lowered = limit;
        lowered.rlim_cur = std::min(c.fileSizeLimit, limit.rlim_max);
        ::setrlimit(RLIMIT_FSIZE, &lowered);
        const PhotoResult result = MakeInto(dir, dir / c.photo, c.pictures);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_EQ(result.error.substr(0, c.error.size()), c.error) << result.error;
        EXPECT_TRUE(result.pictures.empty());
        EXPECT_TRUE(fs::is_empty(dir / "out"));
    }
    std::signal(SIGXFSZ, oldHandler);
}

} // namespace
