#include "skimlet/JPEGImage.h"

#include "TestSupport.h"
#include "base/TextException.h"
#include "bitmaps/PlainBitmap.h"
#include "codecs/AutoTypeDecoder.h"
#include "codecs/JpegRowReader.h"
#include "filters/Pictures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace skimlet;

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

std::string Photo(int width, int height, JpegKind kind = JpegKind::Colour, bool progr = false) {
    return MakeJpeg(
        {.width = width, .height = height, .kind = kind, .progressive = progr, .pixel = {}});
}

std::pair<int, int> SizeOf(const std::string& jpegPath) {
    const DecodedJpeg d = DecodeJpegReference(ReadFile(jpegPath));
    return {d.width, d.height};
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
        EXPECT_EQ(ReadFile(dir / (c.name + "_tn.jpg")),
                  ThumbnailBytes(Reference(shown, 120, c.height)))
            << c.name;
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
    EXPECT_EQ(image.GenerateThumbnail(0, 0), S_FALSE);
    EXPECT_FALSE(GetErrorInfo().has_value());
    EXPECT_EQ(image.MaxWidth(), 0);
    EXPECT_EQ(image.GenerateThumbnail(-5, -10), S_FALSE);
    EXPECT_TRUE(GetErrorInfo().has_value());
    EXPECT_FALSE(fs::exists(dir.Path() / "site/c._tn.jpg"));
    image.SetOutputDirectory(dir / "missing");
    EXPECT_EQ(image.GenerateThumbnail(120, 0), S_FALSE);
    EXPECT_EQ(GetErrorInfo()->description,
              "Decoder error: Opening " + (dir / "missing") + "/c._tn.jpg failed\n");
}

// Sides beyond 16 bits read as 32767 while the thumbnail follows the real size.
TEST(JPEGImage, SidesBeyond16Bits) {
    TempDir dir;
    WriteFile(dir / "wide.jpg", Photo(40000, 16));
    JPEGImage image;
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

    // Damage is no failure, but named in the error information after the photo
    // is loaded and after each thumbnail of it; a clean photo clears it.
    const std::string full = Photo(64, 48);
    const std::size_t scan = full.find("\xFF\xDA");
    WriteFile(dir / "cut.jpg", full.substr(0, full.size() / 2));
    WriteFile(dir / "junk.jpg", full.substr(0, scan) + "abc" + full.substr(scan));
    WriteFile(dir / "good.jpg", full);
    const std::pair<std::string, std::string> damaged[] = {
        {"cut.jpg", "Premature end of JPEG file"},
        {"junk.jpg", "Corrupt JPEG data: 3 extraneous bytes before marker 0xda"},
    };
    for (const auto& [name, warning] : damaged) {
        ASSERT_EQ(image.SetFilePath(dir / name), S_OK);
        for (int call = 0; call < 3; ++call) {
            const auto info = GetErrorInfo();
            ASSERT_TRUE(info.has_value()) << name << call;
            EXPECT_EQ(info->source + " " + info->description,
                      "Skimlet Decoder warning: " + warning + "\n");
            EXPECT_TRUE(call == 2 || image.GenerateThumbnail(32, 0) == S_OK);
        }
    }
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
        EXPECT_EQ(info->source + " " + info->description, "Skimlet " + description);
        EXPECT_EQ(image.Width(), 64); // still the last good photo
        EXPECT_EQ(image.GenerateThumbnail(32, 0), S_FALSE);
        EXPECT_TRUE(GetErrorInfo().has_value());
    }
    EXPECT_FALSE(fs::exists(dir.Path() / "text_tn.jpg") || fs::exists(dir.Path() / "empty_tn.jpg"));
}

TEST(JPEGImage, FastThumbnailsStartFromTheSmallestScaleTwiceTheirSize) {
    EXPECT_EQ(CJpegRowReader::ScaleFor(4000, 3000, 240, 180), 1);
    EXPECT_EQ(CJpegRowReader::ScaleFor(961, 640, 240, 160), 2);  // 241 x 160, rounded up
    EXPECT_EQ(CJpegRowReader::ScaleFor(500, 400, 240, 180), 4);  // 3/8 gives only 188 wide
    EXPECT_EQ(CJpegRowReader::ScaleFor(1000, 300, 240, 180), 5); // the shorter side decides
    EXPECT_EQ(CJpegRowReader::ScaleFor(300, 200, 240, 180), 8);

    TempDir dir;
    // Fine detail over a gradient, so that every scale gives other bytes.
    const auto detail = [](int x, int y, std::uint8_t* p) {
        p[0] = static_cast<std::uint8_t>((x / 3 + y / 5) % 2 ? 230 : 20);
        p[1] = static_cast<std::uint8_t>(x / 4);
        p[2] = static_cast<std::uint8_t>(y / 3);
    };
    const std::string wide = MakeJpeg({.width = 960, .height = 400, .pixel = detail});
    struct Case {
        std::string name, bytes;
        int orientation, eighths, thumbHeight;
    };
    const Case cases[] = {
        {"plain", wide, 1, 2, 50},
        // Turned, the stored width must cover twice the thumbnail's height.
        {"turned", WithExifOrientation(wide, 6), 6, 5, 288},
        {"small", MakeJpeg({.width = 200, .height = 150, .pixel = detail}), 1, 8, 90},
    };
    JPEGImage image;
    EXPECT_FALSE(image.FastThumbnails());
    for (const Case& c : cases) {
        WriteFile(dir / (c.name + ".jpg"), c.bytes);
        std::string made[2];
        for (const bool fast : {false, true}) {
            image.SetFastThumbnails(fast);
            ASSERT_EQ(image.SetFilePath(dir / (c.name + ".jpg")), S_OK) << c.name;
            ASSERT_EQ(image.GenerateThumbnail(120, 0), S_OK) << c.name;
            made[fast] = ReadFile(dir / (c.name + "_tn.jpg"));
        }
        EXPECT_EQ(image.MaxHeight(), c.thumbHeight) << c.name;
        const Picture scaled =
            Turned(DecodedAtScale(c.bytes, c.eighths), static_cast<Orientation>(c.orientation));
        EXPECT_EQ(made[1], ThumbnailBytes(Reference(scaled, 120, c.thumbHeight))) << c.name;
        EXPECT_EQ(made[1] == made[0], c.eighths == 8) << c.name;
    }
}

// Broken data fails the load, which keeps the earlier photo's size; the loaded
// picture no longer depends on its file. A fast thumbnail decodes the file
// only then: damage, and a file rewritten since the load, fail it.
TEST(JPEGImage, BrokenPhotosAndFilesChangedAfterLoading) {
    TempDir dir;
    const std::string path = dir / "p.jpg";
    // Without its quantisation table a picture's header still reads, but its
    // data cannot be decoded.
    std::string damaged = Photo(64, 48);
    const std::size_t table = damaged.find("\xFF\xDB");
    ASSERT_NE(table, std::string::npos);
    damaged.erase(table, 2 + (static_cast<unsigned char>(damaged[table + 2]) << 8 |
                              static_cast<unsigned char>(damaged[table + 3])));
    WriteFile(path, damaged);
    CPlainBitmap bitmap; // reported as the full decode reports it
    const auto thrown =
        Thrown<CTextException>([&] { CAutoTypeDecoder().DecodeFile(path, bitmap, 32); });
    const std::string fullDecode = thrown ? thrown->Text() : "";
    ASSERT_NE(fullDecode.find("Quantization table"), std::string::npos) << fullDecode;
    struct Case {
        const char* name;
        bool fast;
        std::string original, replacement, description;
    } cases[] = {
        {"damaged", false, damaged, "", fullDecode},
        {"rewritten", false, Photo(64, 48), Photo(96, 48), ""},
        {"damaged", true, damaged, "", fullDecode},
        {"rewritten", true, Photo(64, 48), Photo(96, 48),
         "Decoder error: " + path + " changed while it was being read.\n"},
    };
    JPEGImage image;
    for (const Case& c : cases) {
        WriteFile(dir / "earlier.jpg", Photo(30, 20));
        image.SetFastThumbnails(c.fast);
        ASSERT_EQ(image.SetFilePath(dir / "earlier.jpg"), S_OK);
        fs::remove(dir.Path() / "p_tn.jpg");
        WriteFile(path, c.original);
        const HRESULT load = image.SetFilePath(path);
        const bool loadFails = c.original == damaged && !c.fast;
        EXPECT_EQ(load, loadFails ? S_FALSE : S_OK) << c.name;
        EXPECT_EQ(image.Width(), loadFails ? 30 : 64) << c.name;
        if (loadFails) {
            EXPECT_EQ(GetErrorInfo()->description, c.description);
            EXPECT_EQ(image.GenerateThumbnail(32, 0), S_FALSE);
            continue;
        }
        // In place: the open file sees the new contents.
        if (!c.replacement.empty())
            std::ofstream(path, std::ios::binary | std::ios::in | std::ios::trunc) << c.replacement;
        EXPECT_EQ(image.GenerateThumbnail(32, 0), c.description.empty() ? S_OK : S_FALSE) << c.name;
        EXPECT_EQ(fs::exists(dir.Path() / "p_tn.jpg"), c.description.empty()) << c.name;
        const auto info = GetErrorInfo();
        EXPECT_EQ(info ? info->description : "", c.description) << c.name << c.fast;
    }
}

} // namespace
