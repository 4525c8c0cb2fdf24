#include "BmpBuilder.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

testsupport::ProgramResult SkimletDecode(const std::vector<std::string>& paths) {
    return testsupport::RunProgram(std::string(TOOLS_DIR) + "/skimlet-decode", paths);
}

TEST(SkimletDecode, WritesThePixelsAsRgbAlphaPamOrSaysWhyNot) {
    testsupport::TempDir dir;
    const std::string jpeg = testsupport::MakeJpeg({.width = 5, .height = 3, .pixel = {}});
    testsupport::WriteFile(dir / "in.bmp", jpeg); // the content decides, not the name
    auto run = SkimletDecode({dir / "in.bmp", dir / "out.pam"});
    EXPECT_EQ(std::make_pair(run.status, run.err), std::make_pair(0, std::string()));

    std::string expected =
        "P7\nWIDTH 5\nHEIGHT 3\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    const std::vector<std::uint8_t> rgb = testsupport::DecodeJpegReference(jpeg).pixels;
    for (std::size_t i = 0; i < rgb.size(); i += 3)
        expected += {static_cast<char>(rgb[i]), static_cast<char>(rgb[i + 1]),
                     static_cast<char>(rgb[i + 2]), '\xFF'};
    EXPECT_EQ(testsupport::ReadFile(dir / "out.pam"), expected);

    // Failures are told through the exit code and one line.
    run = SkimletDecode({dir / "none.jpg", dir / "o.pam"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "skimlet-decode: error 4: Decoder error: Opening " + dir / "none.jpg" + " failed\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "o.pam"));

    testsupport::WriteFile(dir / "in.jpg", testsupport::MakeJpeg({}));
    run = SkimletDecode({dir / "in.jpg", dir / "no/such/out.pam"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("no/such/out.pam"), std::string::npos) << run.err;
    // A write cut short (here by the file size limit) leaves no half-written picture.
    EXPECT_EQ(testsupport::RunInChild(
                  [&] {
                      return SkimletDecode({dir / "in.jpg", dir / "cut.pam"}).status;
                  },
                  100),
              1);
    EXPECT_FALSE(std::filesystem::exists(dir / "cut.pam"));
    EXPECT_EQ(SkimletDecode({dir / "in.jpg"}).status, 2);
}

} // namespace
