#include "BmpBuilder.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

namespace {

// Runs skimlet-decode with the given paths; returns its exit code and standard error.
std::pair<int, std::string> SkimletDecode(const testsupport::TempDir& dir,
                                          std::vector<std::string> paths) {
    std::string command = std::string(TOOLS_DIR) + "/skimlet-decode";
    for (const std::string& path : paths)
        command += " '" + path + "'";
    const int status = std::system((command + " 2>'" + dir / "stderr.txt" + "'").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            testsupport::ReadFile(dir / "stderr.txt")};
}

TEST(SkimletDecode, WritesThePixelsAsRgbAlphaPam) {
    testsupport::TempDir dir;
    const std::string jpeg = testsupport::MakeJpeg({.width = 5, .height = 3, .pixel = {}});
    testsupport::WriteFile(dir / "in.bmp", jpeg); // the content decides, not the name
    EXPECT_EQ(SkimletDecode(dir, {dir / "in.bmp", dir / "out.pam"}),
              std::make_pair(0, std::string()));

    std::string expected =
        "P7\nWIDTH 5\nHEIGHT 3\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    const std::vector<std::uint8_t> rgb = testsupport::DecodeJpegReference(jpeg).pixels;
    for (std::size_t i = 0; i < rgb.size(); i += 3)
        expected += {static_cast<char>(rgb[i]), static_cast<char>(rgb[i + 1]),
                     static_cast<char>(rgb[i + 2]), '\xFF'};
    EXPECT_EQ(testsupport::ReadFile(dir / "out.pam"), expected);
}

TEST(SkimletDecode, DecodesBitmapsToo) {
    testsupport::TempDir dir;
    // 2 x 2, 24 bits, bottom row stored first.
    testsupport::WriteFile(dir / "in.jpg",
                           testsupport::MakeBmp({.width = 2,
                                                 .height = 2,
                                                 .pixels = testsupport::BmpRows(
                                                     {"\1\2\3\4\5\6", "\7\x08\x09\x0A\x0B\x0C"})}));
    EXPECT_EQ(SkimletDecode(dir, {dir / "in.jpg", dir / "out.pam"}),
              std::make_pair(0, std::string()));
    EXPECT_EQ(testsupport::ReadFile(dir / "out.pam"),
              "P7\nWIDTH 2\nHEIGHT 2\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n"
              "\x09\x08\7\xFF\x0C\x0B\x0A\xFF\3\2\1\xFF\6\5\4\xFF");
}

TEST(SkimletDecode, ReportsFailuresThroughExitCodes) {
    testsupport::TempDir dir;
    EXPECT_EQ(SkimletDecode(dir, {dir / "none.jpg", dir / "o.pam"}),
              std::make_pair(1, "skimlet-decode: error 4: Decoder error: Opening " +
                                    dir / "none.jpg" + " failed\n"));
    EXPECT_FALSE(std::filesystem::exists(dir / "o.pam"));

    testsupport::WriteFile(dir / "in.jpg", testsupport::MakeJpeg({}));
    const auto unwritable = SkimletDecode(dir, {dir / "in.jpg", dir / "no/such/out.pam"});
    EXPECT_EQ(unwritable.first, 1);
    EXPECT_NE(unwritable.second.find("no/such/out.pam"), std::string::npos) << unwritable.second;
    EXPECT_EQ(SkimletDecode(dir, {dir / "in.jpg"}).first, 2);
}

} // namespace
