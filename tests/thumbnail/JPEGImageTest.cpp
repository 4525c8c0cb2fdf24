#include "skimlet/JPEGImage.h"
#include "bitmaps/DibBitmap.h"
#include "bitmaps/Orientation.h"
#include "codecs/AutoTypeDecoder.h"
#include "codecs/JpegWriter.h"
#include "filters/ResizeFilter.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

std::string Photo(int width, int height, JpegKind kind = JpegKind::Colour,
                  bool progressive = false) {
    JpegSpec spec;
    spec.width = width;
    spec.height = height;
    spec.kind = kind;
    spec.progressive = progressive;
    spec.pixel = [kind](int x, int y, std::uint8_t* c) {
        const int n = kind == JpegKind::Colour ? 3 : kind == JpegKind::Grey ? 1 : 4;
        for (int i = 0; i < n; ++i)
            c[i] = static_cast<std::uint8_t>(
                128 + 100 * std::sin(x * (0.05 + 0.03 * i) + y * 0.07 * (i + 1)));
    };
    return MakeJpeg(spec);
}

std::pair<int, int> SizeOf(const std::string& jpegPath) {
    const DecodedJpeg d = DecodeJpegReference(ReadFile(jpegPath));
    return {d.width, d.height};
}

// One pass of the tent resampler, written from its formulas: `lines` lines of
// `in` RGB samples become lines of `out` samples; the lines are the rows of the
// picture (alongLines) or its columns.
std::vector<std::uint8_t> TentPass(const std::vector<std::uint8_t>& src, int lines, int in, int out,
                                   bool alongLines) {
    const double scale = static_cast<double>(out) / in;
    const double width = scale < 1 ? 1.0 / scale : 1.0, kernelScale = scale < 1 ? scale : 1.0;
    const int window = 2 * static_cast<int>(std::ceil(width)) + 1;
    std::vector<std::uint8_t> dst(static_cast<std::size_t>(lines) * out * 3);
    for (int u = 0; u < out; ++u) {
        const double center = u / scale;
        int left = std::max(0, static_cast<int>(std::floor(center - width)));
        const int right = std::min(in - 1, static_cast<int>(std::ceil(center + width)));
        if (right - left + 1 > window)
            ++left;
        std::vector<double> w;
        double total = 0;
        for (int k = left; k <= right; ++k) {
            const double x = std::abs(kernelScale * (center - k));
            w.push_back(kernelScale * (x < 1 ? 1 - x : 0));
            total += w.back();
        }
        for (double& v : w)
            v = total > 0 ? v / total : v;
        for (int line = 0; line < lines; ++line)
            for (int c = 0; c < 3; ++c) {
                auto at = [&](int i, int n) {
                    return alongLines ? (line * n + i) * 3 + c : (i * lines + line) * 3 + c;
                };
                double sum = 0;
                for (int k = left; k <= right; ++k)
                    sum += w[k - left] * src[at(k, in)];
                dst[at(u, out)] = static_cast<std::uint8_t>(sum + 0.5);
            }
    }
    return dst;
}

// The thumbnail made independently: libjpeg decode, the resampler above, libjpeg encode.
std::string ReferenceThumbnail(const std::string& jpeg, int width, int height) {
    const DecodedJpeg d = DecodeJpegReference(jpeg);
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(d.width) * d.height * 3);
    for (std::size_t i = 0; i < rgb.size() / 3; ++i)
        for (int c = 0; c < 3; ++c) // grey repeats; CMYK's first three count as RGB
            rgb[i * 3 + c] = d.pixels[i * d.components + (d.components == 1 ? 0 : c)];
    const auto across = TentPass(rgb, d.height, d.width, width, true);
    const auto done = TentPass(across, width, d.height, height, false);
    JpegSpec spec;
    spec.width = width;
    spec.height = height;
    spec.quality = 75;
    spec.floatDct = true;
    spec.pixel = [&](int x, int y, std::uint8_t* c) {
        std::copy_n(&done[(static_cast<std::size_t>(y) * width + x) * 3], 3, c);
    };
    return MakeJpeg(spec);
}

TEST(JPEGImage, ThumbnailsMatchAnIndependentPipeline) {
    TempDir dir;
    struct Case {
        std::string name, bytes;
        int width, height;
    } cases[] = {
        {"colour.jpg", Photo(203, 157), 120, 92},
        {"grey.jpg", Photo(90, 70, JpegKind::Grey), 120, 93},
        {"cmyk.jpg", Photo(64, 80, JpegKind::Cmyk), 120, 150},
        {"progressive.jpg", Photo(150, 100, JpegKind::Colour, true), 120, 80},
        {"chelsea.jpg", ReadFile(SamplePhoto("chelsea.jpg")), 120, 79},
        {"camera.jpg", ReadFile(SamplePhoto("camera.jpg")), 120, 120},
    };
    JPEGImage image;
    for (const Case& c : cases) {
        WriteFile(dir / c.name, c.bytes);
        ASSERT_EQ(image.SetFilePath(dir / c.name), S_OK) << c.name;
        ASSERT_EQ(image.GenerateThumbnail(120, 0), S_OK) << c.name;
        EXPECT_EQ(image.MaxHeight(), c.height);
        const std::string made = ReadFile(dir / (c.name.substr(0, c.name.size() - 4) + "_tn.jpg"));
        EXPECT_EQ(made, ReferenceThumbnail(c.bytes, c.width, c.height)) << c.name;
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

    WriteFile(dir / "good.jpg", Photo(64, 48));
    ASSERT_EQ(image.SetFilePath(dir / "good.jpg"), S_OK);
    const std::string full = Photo(64, 48);
    WriteFile(dir / "cut.jpg", full.substr(0, full.size() / 2));
    ASSERT_EQ(image.SetFilePath(dir / "cut.jpg"), S_OK);
    EXPECT_EQ(image.GenerateThumbnail(32, 0), S_OK);

    WriteFile(dir / "text.jpg", "just some words, not a picture at all");
    WriteFile(dir / "anim.gif", "GIF89a" + std::string(40, '\0'));
    WriteFile(dir / "pic.png", "\x89PNG\r\n\x1a\n" + std::string(40, '\0'));
    WriteFile(dir / "empty.jpg", "");
    const std::pair<std::string, std::string> bad[] = {
        {"/no/such.jpg", "Decoder error: Opening /no/such.jpg failed\n"},
        {dir / "text.jpg", "Decoder error: Unknown file type.\n"},
        {dir / "anim.gif", "Decoder error: Library not compiled for this file type.\n"},
        {dir / "pic.png", "Decoder error: Library not compiled for this file type.\n"},
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

// A turned photo's thumbnail is that of the photo as shown.
TEST(JPEGImage, ExifOrientationTurnsTheThumbnail) {
    TempDir dir;
    const std::string stored = Photo(48, 32);
    WriteFile(dir / "plain.jpg", stored);
    CDibBitmap photo;
    CAutoTypeDecoder().DecodeFile(dir / "plain.jpg", photo, 32);
    for (int o = 1; o <= 8; ++o) {
        const auto orientation = static_cast<Orientation>(o);
        const int shownWidth = SwapsAxes(orientation) ? 32 : 48;
        const int shownHeight = SwapsAxes(orientation) ? 48 : 32;
        CDibBitmap turned;
        turned.Allocate(shownWidth, shownHeight, 32, false);
        for (int y = 0; y < shownHeight; ++y)
            for (int x = 0; x < shownWidth; ++x) {
                const StoredPosition p = StoredPositionOf(orientation, x, y, 48, 32);
                turned.StorePixel(x, y, photo.PixelAt(p.x, p.y));
            }
        CDibBitmap expected;
        CTentResizeFilter(20, shownHeight * 20 / shownWidth).Run(turned, expected);
        CJpegWriter().EncodeToFile(dir / "expected.jpg", expected);

        const std::string name = "o" + std::to_string(o);
        WriteFile(dir / (name + ".jpg"), WithExifOrientation(stored, o, o % 2 == 0));
        JPEGImage image;
        ASSERT_EQ(image.SetFilePath(dir / (name + ".jpg")), S_OK);
        EXPECT_EQ(image.Width(), shownWidth);
        EXPECT_EQ(image.Height(), shownHeight);
        ASSERT_EQ(image.GenerateThumbnail(20, 0), S_OK);
        EXPECT_EQ(ReadFile(dir / (name + "_tn.jpg")), ReadFile(dir / "expected.jpg")) << o;
    }
}

} // namespace
