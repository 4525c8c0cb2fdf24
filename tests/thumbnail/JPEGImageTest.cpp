#include "skimlet/JPEGImage.h"

#include "TestSupport.h"
#include "filters/Pictures.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace skimlet;

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

std::string Photo(int width, int height, JpegKind kind = JpegKind::Colour,
                  bool progressive = false) {
    return MakeJpeg(
        {.width = width, .height = height, .kind = kind, .progressive = progressive, .pixel = {}});
}

std::pair<int, int> SizeOf(const std::string& jpegPath) {
    const DecodedJpeg d = DecodeJpegReference(ReadFile(jpegPath));
    return {d.width, d.height};
}

// The photo as shown, decoded by libjpeg: grey repeats, Adobe CMYK (inverted)
// becomes C x K / 255 and so on.
Picture Shown(const std::string& jpeg, Orientation orientation) {
    const DecodedJpeg d = DecodeJpegReference(jpeg);
    Picture stored{d.width, d.height, {}};
    for (std::size_t i = 0; i < d.pixels.size(); i += d.components) {
        const std::uint8_t* p = &d.pixels[i];
        for (int c = 0; c < 3; ++c)
            stored.bytes.push_back(d.components == 1   ? p[0]
                                   : d.components == 3 ? p[c]
                                                       : (p[c] * p[3] + 127) / 255);
        stored.bytes.push_back(255);
    }
    return Turned(stored, orientation);
}

// The thumbnail made independently: libjpeg decode, the reference resampler, libjpeg encode.
TEST(JPEGImage, ThumbnailsMatchAnIndependentPipeline) {
    TempDir dir;
    struct Case {
        std::string name, bytes;
        int orientation, height;
    };
    std::vector<Case> cases = {
        {"colour", Photo(203, 157), 1, 92},
        {"grey", Photo(90, 70, JpegKind::Grey), 1, 93},
        {"cmyk", Photo(64, 80, JpegKind::Cmyk), 1, 150},
        {"progressive", Photo(150, 100, JpegKind::Colour, true), 1, 80},
        {"ycck", Photo(64, 80, JpegKind::Ycck), 1, 150},
        {"truncated", Photo(203, 157).substr(0, 1500), 1, 92},
        {"chelsea", ReadFile(SamplePhoto("chelsea.jpg")), 1, 79},
        {"camera", ReadFile(SamplePhoto("camera.jpg")), 1, 120},
    };
    // A turned photo's thumbnail is that of the photo as shown.
    for (int o = 1; o <= 8; ++o)
        cases.push_back({"o" + std::to_string(o), WithExifOrientation(Photo(48, 32), o, o % 2 == 0),
                         o, o >= 5 ? 180 : 80});
    JPEGImage image;
    for (const Case& c : cases) {
        WriteFile(dir / (c.name + ".jpg"), c.bytes);
        ASSERT_EQ(image.SetFilePath(dir / (c.name + ".jpg")), S_OK) << c.name;
        const Picture shown = Shown(c.bytes, static_cast<Orientation>(c.orientation));
        EXPECT_EQ(image.Width(), shown.width) << c.name;
        EXPECT_EQ(image.Height(), shown.height) << c.name;
        ASSERT_EQ(image.GenerateThumbnail(120, 0), S_OK) << c.name;
        EXPECT_EQ(image.MaxHeight(), c.height) << c.name;
        Picture expected = Reference(shown, 120, c.height);
        const auto rgb = [&](int x, int y, std::uint8_t* p) {
            std::copy_n(&expected.At(x, y, 0), 3, p);
        };
        const JpegSpec spec{
            .width = 120, .height = c.height, .quality = 75, .floatDct = true, .pixel = rgb};
        EXPECT_EQ(ReadFile(dir / (c.name + "_tn.jpg")), MakeJpeg(spec)) << c.name;
    }
}

TEST(JPEGImage, SizesNamesAndTheStoredDirectory) {
    TempDir dir;
    for (const char* folder : {"A", "B", "site"})
        fs::create_directory(dir.Path() / folder);
    WriteFile(dir / "A/b.jpg", Photo(300, 400));
    WriteFile(dir / "B/c.jpeg", Photo(640, 480));
    WriteFile(dir / "A/b_tn.jpg", "old");
    JPEGImage image;
    ASSERT_EQ(image.SetFilePath(dir / "A/b.jpg"), S_OK);
    ASSERT_EQ(image.GenerateThumbnail(200, 150), S_OK);
    EXPECT_EQ(image.MaxWidth(), 200);
    EXPECT_EQ(image.MaxHeight(), 266);
    EXPECT_EQ(SizeOf(dir / "A/b_tn.jpg"), std::make_pair(200, 266)); // replaced
    EXPECT_EQ(image.OutputDirectory(), dir / "A/");

    ASSERT_EQ(image.SetFilePath(dir / "B/c.jpeg"), S_OK);
    ASSERT_EQ(image.GenerateThumbnail(0, 120), S_OK);
    EXPECT_EQ(SizeOf(dir / "A/c._tn.jpg"), std::make_pair(160, 120));
    image.SetOutputDirectory(dir / "site");
    image.SetOutputDirectory("");
    ASSERT_EQ(image.GenerateThumbnail(120, 0), S_OK);
    EXPECT_EQ(SizeOf(dir / "site/c._tn.jpg"), std::make_pair(120, 90));

    fs::remove(dir.Path() / "site/c._tn.jpg");
    EXPECT_EQ(image.GenerateThumbnail(100, 100), S_FALSE);
    EXPECT_FALSE(GetErrorInfo().has_value());
    EXPECT_EQ(image.MaxWidth(), 100);
    EXPECT_EQ(image.GenerateThumbnail(-5, -10), S_FALSE);
    EXPECT_TRUE(GetErrorInfo().has_value());
    // The published rule names the quiet case only.
    EXPECT_TRUE(JPEGImage::NoThumbnailFor(100, 100));
    EXPECT_TRUE(JPEGImage::NoThumbnailFor(0, 0));
    EXPECT_FALSE(JPEGImage::NoThumbnailFor(-5, -10));
    EXPECT_FALSE(JPEGImage::NoThumbnailFor(120, 0));
    EXPECT_FALSE(fs::exists(dir.Path() / "site/c._tn.jpg"));
    image.SetOutputDirectory(dir / "missing");
    EXPECT_EQ(image.GenerateThumbnail(120, 0), S_FALSE);
    EXPECT_EQ(GetErrorInfo()->description,
              "Decoder error: Opening " + (dir / "missing") + "/c._tn.jpg failed\n");
}

// A side computed as 0 becomes 1; sides beyond 16 bits read as 32767 while the
// thumbnail follows the real size.
TEST(JPEGImage, ExtremeShapes) {
    TempDir dir;
    WriteFile(dir / "line.jpg", Photo(1000, 1));
    WriteFile(dir / "wide.jpg", Photo(40000, 16));
    JPEGImage image;
    ASSERT_EQ(image.SetFilePath(dir / "line.jpg"), S_OK);
    ASSERT_EQ(image.GenerateThumbnail(100, 50), S_OK);
    EXPECT_EQ(SizeOf(dir / "line_tn.jpg"), std::make_pair(100, 1));
    ASSERT_EQ(image.SetFilePath(dir / "wide.jpg"), S_OK);
    EXPECT_EQ(image.Width(), 32767);
    ASSERT_EQ(image.GenerateThumbnail(0, 4), S_OK);
    EXPECT_EQ(SizeOf(dir / "wide_tn.jpg"), std::make_pair(10000, 4));
}

TEST(JPEGImage, BadPhotosAreRefusedWithErrorInfo) {
    TempDir dir;
    JPEGImage image;
    EXPECT_EQ(image.GenerateThumbnail(120, 0), S_FALSE); // nothing loaded yet
    ASSERT_TRUE(GetErrorInfo().has_value());

    // Damage is no failure, but named in the error information; a clean photo clears it.
    const std::string full = Photo(64, 48);
    WriteFile(dir / "cut.jpg", full.substr(0, full.size() / 2));
    WriteFile(dir / "good.jpg", full);
    ASSERT_EQ(image.SetFilePath(dir / "cut.jpg"), S_OK);
    for (int call = 0; call < 2; ++call) {
        const auto warning = GetErrorInfo();
        ASSERT_TRUE(warning.has_value()) << call;
        EXPECT_EQ(warning->description, "Decoder warning: Premature end of JPEG file\n");
        EXPECT_EQ(warning->source, "Skimlet");
        if (call == 0) {
            EXPECT_EQ(image.GenerateThumbnail(32, 0), S_OK);
        }
    }
    ASSERT_EQ(image.SetFilePath(dir / "cut.jpg"), S_OK);
    ASSERT_EQ(image.SetFilePath(dir / "good.jpg"), S_OK);
    EXPECT_FALSE(GetErrorInfo().has_value());
    SetErrorInfo({"x", "y", "stale"});
    EXPECT_EQ(image.GenerateThumbnail(32, 0), S_OK);
    EXPECT_FALSE(GetErrorInfo().has_value());

    WriteFile(dir / "text.jpg", "just some words, not a picture at all");
    WriteFile(dir / "empty.jpg", "");
    const std::pair<std::string, std::string> bad[] = {
        {"/no/such.jpg", "Decoder error: Opening /no/such.jpg failed\n"},
        {dir / "text.jpg", "Decoder error: Unknown file type.\n"},
        {dir / "empty.jpg", "Decoder error: Opening " + (dir / "empty.jpg") + " failed\n"},
    };
    for (const auto& [path, description] : bad) {
        EXPECT_EQ(image.SetFilePath(path), S_FALSE) << path;
        const auto info = GetErrorInfo();
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(info->description, description);
        EXPECT_EQ(info->source, "Skimlet");
        EXPECT_EQ(image.Width(), 64); // still the last good photo
        EXPECT_EQ(image.GenerateThumbnail(32, 0), S_FALSE);
        EXPECT_TRUE(GetErrorInfo().has_value());
    }
    EXPECT_FALSE(fs::exists(dir.Path() / "text_tn.jpg"));
    EXPECT_FALSE(fs::exists(dir.Path() / "empty_tn.jpg"));
}

} // namespace
