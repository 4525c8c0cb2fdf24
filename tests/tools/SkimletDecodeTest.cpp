#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

namespace {

struct ToolRun {
    int exitCode = -1;
    std::string errors;
};

// Runs skimlet-decode with `arguments` (already quoted), capturing standard error.
ToolRun SkimletDecode(const testsupport::TempDir& dir, const std::string& arguments) {
    const std::string errors = dir / "stderr.txt";
    const int status = std::system(
        (std::string(TOOLS_DIR) + "/skimlet-decode " + arguments + " 2>'" + errors + "'").c_str());
    ToolRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.errors = testsupport::ReadFile(errors);
    return run;
}

std::string Quoted(const std::string& path) {
    return "'" + path + "'";
}

TEST(SkimletDecode, WritesThePixelsAsRgbAlphaPam) {
    testsupport::TempDir dir;
    const std::string jpeg = testsupport::MakeJpeg({.width = 5, .height = 3, .pixel = {}});
    testsupport::WriteFile(dir / "in.bmp", jpeg); // the content decides, not the name
    const ToolRun run = SkimletDecode(dir, Quoted(dir / "in.bmp") + " " + Quoted(dir / "out.pam"));
    ASSERT_EQ(run.exitCode, 0) << run.errors;

    const std::string header =
        "P7\nWIDTH 5\nHEIGHT 3\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    const testsupport::DecodedJpeg ref = testsupport::DecodeJpegReference(jpeg);
    std::string expected = header;
    for (std::size_t i = 0; i < ref.pixels.size(); i += 3)
        expected += std::string(ref.pixels.begin() + static_cast<long>(i),
                                ref.pixels.begin() + static_cast<long>(i) + 3) +
                    '\xFF';
    EXPECT_EQ(testsupport::ReadFile(dir / "out.pam"), expected);
}

TEST(SkimletDecode, ReportsFailuresThroughExitCodes) {
    testsupport::TempDir dir;
    const ToolRun missing =
        SkimletDecode(dir, Quoted(dir / "none.jpg") + " " + Quoted(dir / "o.pam"));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.errors,
              "skimlet-decode: error 4: Decoder error: Opening " + dir / "none.jpg" + " failed\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "o.pam"));

    testsupport::WriteFile(dir / "in.jpg", testsupport::MakeJpeg({}));
    const ToolRun unwritable =
        SkimletDecode(dir, Quoted(dir / "in.jpg") + " " + Quoted(dir / "no/such/out.pam"));
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_NE(unwritable.errors.find("no/such/out.pam"), std::string::npos) << unwritable.errors;

    const ToolRun usage = SkimletDecode(dir, Quoted(dir / "in.jpg"));
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_EQ(usage.errors.rfind("usage: skimlet-decode", 0), 0u);
}

} // namespace
