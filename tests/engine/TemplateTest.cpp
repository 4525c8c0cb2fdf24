#include "EngineFixture.h"

#include <unistd.h>

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

constexpr std::int32_t kLoadError = static_cast<std::int32_t>(0x8004019A);
constexpr std::int32_t kSaveError = static_cast<std::int32_t>(0x8004019B);

// A template as a person might write it, with `replace` substituted for `find`.
std::string HandMade(const std::string& find = "", const std::string& replace = "") {
    std::string text =
        "<?xml version=\"1.0\"?>\r\n<OrboTemplate>\r\n"
        "  <UseFrames>TRUE</UseFrames>\r\n  <NavHeader>h.htm</NavHeader>\r\n"
        "  <NavFooter>f.htm</NavFooter>\r\n"
        "  <OutputFilename>index.htm</OutputFilename>\r\n"
        "  <OutputDirectory>/o</OutputDirectory>\r\n"
        "  <PhotoDirectory>/p</PhotoDirectory>\r\n"
        "  <NumberOfRows>2.5</NumberOfRows>\r\n  <NumberOfCols>3.5</NumberOfCols>\r\n"
        "  <MaxWidth>-32768</MaxWidth>\r\n  <MaxHeight>0</MaxHeight>\r\n"
        "  <UseNavButtons>0</UseNavButtons>\r\n"
        "  <CreatePageForEachPhoto>false</CreatePageForEachPhoto>\r\n"
        "  <ImgHeader/>\r\n  <ImgFooter></ImgFooter>\r\n"
        "  <Description>Hello <b>you</b> &amp; me</Description>\r\n"
        "  <TargetFrame>Main</TargetFrame>\r\n</OrboTemplate>\r\n";
    if (!find.empty())
        text.replace(text.find(find), find.size(), replace);
    return text;
}

TEST_F(EngineTest, SavedTemplateHasTheFixedFormAndLoadsBackExactly) {
    Generator fresh;
    fresh.SetNavHeaderFilePath("h");
    fresh.SetNavFooterFilePath("f");
    fresh.SetOutputFilename("i.htm");
    fresh.SetOutputDirectory("/o");
    fresh.SetPhotoDirectory("/p");
    fresh.SetNumberOfRows(4);
    fresh.SetNumberOfCols(5);
    fresh.SaveTemplate(dir / "fresh.cfg");
    EXPECT_EQ(ReadFile(dir / "fresh.cfg"),
              "<OrboTemplate><UseFrames>False</UseFrames><NavHeader>h</NavHeader>"
              "<NavFooter>f</NavFooter><OutputFilename>i.htm</OutputFilename>"
              "<OutputDirectory>/o</OutputDirectory><PhotoDirectory>/p</PhotoDirectory>"
              "<NumberOfRows>4</NumberOfRows><NumberOfCols>5</NumberOfCols><MaxWidth>0</MaxWidth>"
              "<MaxHeight>0</MaxHeight><UseNavButtons>True</UseNavButtons>"
              "<CreatePageForEachPhoto>True</CreatePageForEachPhoto><ImgHeader/><ImgFooter/>"
              "<Description/><TargetFrame>Photos</TargetFrame></OrboTemplate>");

    // Every setting comes back: a second save writes the same bytes.
    gallery.SetImgHeaderFilePath("/a & b/<h>.htm");
    gallery.SetImgFooterFilePath(" ");
    gallery.SetDescription("<p class=\"x\">Tom & Jerry > 1</p>\r\n ]]>");
    gallery.SetTargetFrameName("Main");
    gallery.SetUseFrames(true);
    gallery.SetUseNavButtons(false);
    gallery.SetMaxHeight(32767);
    gallery.SetCreatePageForEachPhoto(false);
    gallery.SaveTemplate(dir / "t.cfg");
    Generator loaded;
    loaded.LoadTemplate(dir / "t.cfg");
    EXPECT_EQ(loaded.Description(), gallery.Description());
    loaded.SaveTemplate(dir / "again.cfg");
    EXPECT_EQ(ReadFile(dir / "again.cfg"), ReadFile(dir / "t.cfg"));
}

TEST_F(EngineTest, HandMadeTemplateLoadsWithItsValueForms) {
    WriteFile(dir / "t.cfg", HandMade());
    gallery.SetImgHeaderFilePath("kept");
    gallery.LoadTemplate(dir / "t.cfg");
    EXPECT_TRUE(gallery.UseFrames());
    EXPECT_EQ(gallery.NumberOfRows(), 2); // halves go to the even neighbour
    EXPECT_EQ(gallery.NumberOfCols(), 4);
    EXPECT_EQ(gallery.MaxWidth(), -32768);
    EXPECT_EQ(gallery.MaxHeight(), 0); // stored although the setter would refuse it
    EXPECT_FALSE(gallery.UseNavButtons());
    EXPECT_FALSE(gallery.CreatePageForEachPhoto());
    EXPECT_EQ(gallery.ImgHeaderFilePath(), "kept");
    EXPECT_EQ(gallery.Description(), "Hello <b>you</b> &amp; me");
    EXPECT_EQ(gallery.TargetFrameName(), "Main");

    // The bundled sample template: its Description is HTML markup.
    gallery.LoadTemplate(std::string(TESSARY_SOURCE_DIR) + "/samples/sample.cfg");
    EXPECT_EQ(gallery.Description().rfind("<p>Ten free photos", 0), 0u) << gallery.Description();
    EXPECT_EQ(gallery.Description().substr(gallery.Description().size() - 4), "</p>");
    EXPECT_EQ(gallery.NumberOfCols(), 4);

    WriteFile(dir / "t.cfg", HandMade("2.5", "0"));
    gallery.LoadTemplate(dir / "t.cfg");
    EXPECT_EQ(ErrorOf([&] { gallery.GenerateGallery(); }).Number(),
              static_cast<std::int32_t>(0x80040196));
}

TEST_F(EngineTest, EachLoadFailureIsReportedWithItsReason) {
    struct Case {
        std::string content; // empty: the file does not exist
        std::string xmlError;
        std::string cause;
        bool useFrames;        // the first element, applied before a later failure
        std::int16_t maxWidth; // the ninth
    };
    const Case cases[] = {
        {"", "File was not found at offset 0", "does not exist", false, 0},
        {"not xml", "No document element found at offset 7", "not well-formed", false, 0},
        {"<OrboTemplate><a></OrboTemplate>", "Start-end tags mismatch at offset 19",
         "not well-formed", false, 0},
        {"<Other><UseFrames>True</UseFrames></Other>", "", "'Other'", false, 0},
        {HandMade("  <ImgHeader/>\r\n", ""), "", "ImgHeader is missing", true, -32768},
        {HandMade(">TRUE<", ">Yes<"), "", "'Yes'", false, 0},
        {HandMade(">2.5<", ">40000<"), "", "'40000'", true, 0},
        {HandMade(">h.htm<", "><"), "", "NavHeader is empty", true, 0},
    };
    for (const Case& c : cases) {
        Generator g;
        const std::string path = dir / "bad.cfg";
        std::filesystem::remove(path);
        if (!c.content.empty())
            WriteFile(path, c.content);
        const GeneratorError error = ErrorOf([&] { g.LoadTemplate(path); });
        EXPECT_EQ(error.Number(), kLoadError);
        EXPECT_EQ(error.Source(), "Generator::LoadTemplate()");
        const std::string start =
            "Error: Unable to load template file\r\nXML Error: " + c.xmlError + "\r\nMore Info: ";
        EXPECT_EQ(error.Description().substr(0, start.size()), start) << error.Description();
        EXPECT_NE(error.Description().find(c.cause, start.size()), std::string::npos)
            << error.Description();
        EXPECT_EQ(g.UseFrames(), c.useFrames) << c.cause;
        EXPECT_EQ(g.MaxWidth(), c.maxWidth) << c.cause;
    }
}

TEST_F(EngineTest, FailedSaveIsReportedAndChangesNothing) {
    const auto expectSaveError = [&](const std::string& path) {
        const GeneratorError error = ErrorOf([&] { gallery.SaveTemplate(path); });
        EXPECT_EQ(error.Number(), kSaveError);
        EXPECT_EQ(error.Source(), "Generator::SaveTemplate()");
        EXPECT_EQ(
            error.Description().rfind("Error: Unable to save template file\r\nMore Info: ", 0), 0u)
            << error.Description();
        EXPECT_EQ(gallery.OutputFilename(), "index.htm");
    };
    expectSaveError(dir / "missing/t.cfg");
    expectSaveError("");
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes read-only files";
    WriteFile(dir / "ro.cfg", "old");
    std::filesystem::permissions(dir / "ro.cfg", std::filesystem::perms::owner_read);
    expectSaveError(dir / "ro.cfg");
    EXPECT_EQ(ReadFile(dir / "ro.cfg"), "old");
}

} // namespace
