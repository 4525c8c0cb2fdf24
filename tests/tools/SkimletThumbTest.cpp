#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/wait.h>

namespace {

using testsupport::ReadFile;
using testsupport::TempDir;

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

ToolRun Thumb(const TempDir& dir, const std::vector<std::string>& args) {
    std::string command = Quoted(std::string(TOOLS_DIR) + "/skimlet-thumb");
    for (const auto& a : args)
        command += " " + Quoted(a);
    command += " >" + Quoted(dir / "out.txt") + " 2>" + Quoted(dir / "err.txt");
    ToolRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadFile(dir / "out.txt");
    run.err = ReadFile(dir / "err.txt");
    return run;
}

TEST(SkimletThumb, RefusesWrongUsage) {
    TempDir dir;
    for (const auto& args :
         std::vector<std::vector<std::string>>{{},
                                               {"p.jpg", "120"},
                                               {"p.jpg", "12a", "0"},
                                               {"p.jpg", "40000", "0"},
                                               {"p.jpg", "120", "-32769"},
                                               {"p.jpg", "1", "2", "d", "extra"}}) {
        const ToolRun run = Thumb(dir, args);
        EXPECT_EQ(run.status, 2) << args.size();
        EXPECT_NE(run.err.find("usage: skimlet-thumb"), std::string::npos);
    }
}

TEST(SkimletThumb, MakesThumbnailOrSaysWhyNot) {
    TempDir dir;
    testsupport::JpegSpec spec;
    spec.width = 64;
    spec.height = 48;
    testsupport::WriteFile(dir / "p.jpg", testsupport::MakeJpeg(spec));
    std::filesystem::create_directory(dir.Path() / "site");

    ToolRun run = Thumb(dir, {dir / "p.jpg", "32", "0", dir / "site"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Width 64 Height 48 MaxWidth 32 MaxHeight 24\n");
    EXPECT_EQ(testsupport::DecodeJpegReference(ReadFile(dir / "site/p_tn.jpg")).height, 24);

    run = Thumb(dir, {dir / "p.jpg", "-5", "-5"});
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(run.err.empty());

    run = Thumb(dir, {"/no/such.jpg", "120", "0"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "skimlet-thumb: Decoder error: Opening /no/such.jpg failed\n");
}

} // namespace
