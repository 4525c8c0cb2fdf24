#include "BmpBuilder.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <tuple>

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

testsupport::ProgramResult Thumb(const std::vector<std::string>& args) {
    return testsupport::RunProgram(std::string(TOOLS_DIR) + "/skimlet-thumb", args);
}

TEST(SkimletThumb, MakesThumbnailOrSaysWhyNot) {
    const std::vector<std::string> cases[] = {{},
                                              {"p.jpg", "12a", "0"},
                                              {"p.jpg", "120", "-32769"},
                                              {"p.jpg", "32768", "0"},
                                              {"--fast", "p.jpg", "120"}};
    for (const auto& args : cases) {
        const auto run = Thumb(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("usage: skimlet-thumb"), std::string::npos);
    }
    testsupport::TempDir dir;
    WriteFile(dir / "p.jpg", testsupport::MakeJpeg({.width = 64, .height = 48, .pixel = {}}));
    auto run = Thumb({dir / "p.jpg", "32", "0", dir.Path().string()});
    EXPECT_EQ(std::tie(run.status, run.out, run.err),
              std::make_tuple(0, "Width 64 Height 48 MaxWidth 32 MaxHeight 24\n", ""));
    EXPECT_EQ(testsupport::DecodeJpegReference(ReadFile(dir / "p_tn.jpg")).height, 24);

    // A photo cut short still gets its thumbnail, and the damage is named.
    const std::string whole = ReadFile(dir / "p.jpg");
    WriteFile(dir / "cut.jpg", whole.substr(0, whole.size() / 2));
    run = Thumb({dir / "cut.jpg", "32", "0", dir.Path().string()});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("Decoder warning: "), std::string::npos) << run.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "cut_tn.jpg"));

    // A bitmap photo: one colour (red 200, green 40, blue 90) all over.
    std::string row;
    for (int x = 0; x < 64; ++x)
        row += "\x5A\x28\xC8";
    WriteFile(
        dir / "b.bmp",
        testsupport::MakeBmp({.width = 64,
                              .height = 48,
                              .pixels = testsupport::BmpRows(std::vector<std::string>(48, row))}));
    run = Thumb({dir / "b.bmp", "32", "0", dir.Path().string()});
    EXPECT_EQ(run.out, "Width 64 Height 48 MaxWidth 32 MaxHeight 24\n") << run.err;
    const testsupport::DecodedJpeg thumb =
        testsupport::DecodeJpegReference(ReadFile(dir / "b_tn.jpg"));
    ASSERT_EQ(thumb.height, 24);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(thumb.pixels[c], (std::array{200, 40, 90}[c]), 6);

    run = Thumb({"/no/such.jpg", "120", "0"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "skimlet-thumb: Decoder error: Opening /no/such.jpg failed\n");
}

} // namespace
