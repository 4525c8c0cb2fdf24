#include "BmpBuilder.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>

namespace {

using testsupport::ReadFile;
using testsupport::TempDir;

struct ToolRun {
    int status = -1;
    std::string out, err;
};

ToolRun Thumb(const TempDir& dir, const std::vector<std::string>& args) {
    auto quoted = [](const std::string& s) {
        std::string q = "'";
        for (char c : s)
            q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
    std::string command = quoted(std::string(TOOLS_DIR) + "/skimlet-thumb");
    for (const auto& a : args)
        command += " " + quoted(a);
    command += " >" + quoted(dir / "out.txt") + " 2>" + quoted(dir / "err.txt");
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(dir / "out.txt"),
            ReadFile(dir / "err.txt")};
}

TEST(SkimletThumb, RefusesWrongUsage) {
    TempDir dir;
    for (const auto& args : std::vector<std::vector<std::string>>{{},
                                                                  {"p.jpg", "12a", "0"},
                                                                  {"p.jpg", "120", "-32769"},
                                                                  {"p", "1", "2", "d", "extra"}}) {
        const ToolRun run = Thumb(dir, args);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("usage: skimlet-thumb"), std::string::npos);
    }
}

TEST(SkimletThumb, MakesThumbnailOrSaysWhyNot) {
    TempDir dir;
    testsupport::JpegSpec spec;
    spec.width = 64;
    spec.height = 48;
    testsupport::WriteFile(dir / "p.jpg", testsupport::MakeJpeg(spec));

    ToolRun run = Thumb(dir, {dir / "p.jpg", "32", "0", dir.Path().string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Width 64 Height 48 MaxWidth 32 MaxHeight 24\n");
    EXPECT_EQ(testsupport::DecodeJpegReference(ReadFile(dir / "p_tn.jpg")).height, 24);

    // A bitmap photo: one colour (red 200, green 40, blue 90) all over.
    std::string row;
    for (int x = 0; x < 64; ++x)
        row += "\x5A\x28\xC8";
    testsupport::WriteFile(
        dir / "b.bmp",
        testsupport::MakeBmp({.width = 64,
                              .height = 48,
                              .pixels = testsupport::BmpRows(std::vector<std::string>(48, row))}));
    run = Thumb(dir, {dir / "b.bmp", "32", "0", dir.Path().string()});
    EXPECT_EQ(run.out, "Width 64 Height 48 MaxWidth 32 MaxHeight 24\n") << run.err;
    const testsupport::DecodedJpeg thumb =
        testsupport::DecodeJpegReference(ReadFile(dir / "b_tn.jpg"));
    ASSERT_EQ(thumb.height, 24);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(thumb.pixels[c], (std::array{200, 40, 90}[c]), 6);

    run = Thumb(dir, {dir / "p.jpg", "-5", "-5"});
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(run.err.empty());
    run = Thumb(dir, {"/no/such.jpg", "120", "0"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "skimlet-thumb: Decoder error: Opening /no/such.jpg failed\n");
}

} // namespace
