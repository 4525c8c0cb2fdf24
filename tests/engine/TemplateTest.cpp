#include "EngineFixture.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A template as a person might write it, with `replace` substituted for `find`.
std::string HandMade(const std::string& find = "", const std::string& replace = "") {
    std::string text =
        "<?xml version=\"1.0\"?>\r\n<OrboTemplate>\r\n  <UseFrames>TRUE</UseFrames>\r\n"
        "  <NavHeader>h.htm</NavHeader>\r\n  <NavFooter>f.htm</NavFooter>\r\n"
        "  <OutputFilename>index.htm</OutputFilename>\r\n"
        "  <OutputDirectory>/o</OutputDirectory>\r\n  <PhotoDirectory>/p</PhotoDirectory>\r\n"
        "  <NumberOfRows>2.5</NumberOfRows>\r\n  <NumberOfCols>3.5</NumberOfCols>\r\n"
        "  <MaxWidth>-32768</MaxWidth>\r\n  <MaxHeight>0</MaxHeight>\r\n"
        "  <UseNavButtons>0</UseNavButtons>\r\n"
        "  <CreatePageForEachPhoto>false</CreatePageForEachPhoto>\r\n  <ImgHeader/>\r\n"
        "  <ImgFooter></ImgFooter>\r\n  <Description>Hello <b>you</b> &amp; me</Description>\r\n"
        "  <TargetFrame>Main</TargetFrame>\r\n</OrboTemplate>\r\n";
    if (!find.empty())
        text.replace(text.find(find), find.size(), replace);
    return text;
}

TEST_F(EngineTest, SavedTemplateHasTheFixedFormAndLoadsBackExactly) {
    gallery.SaveTemplate(dir / "first.cfg"); // the defaults besides the gallery's settings
    EXPECT_EQ(
        ReadFile(dir / "first.cfg"),
        "<OrboTemplate><UseFrames>False</UseFrames><NavHeader>" + dir / "header.htm" +
            "</NavHeader><NavFooter>" + dir / "footer.htm" +
            "</NavFooter><OutputFilename>index.htm</OutputFilename><OutputDirectory>" + out +
            "</OutputDirectory><PhotoDirectory>" + photos +
            "</PhotoDirectory><NumberOfRows>2</NumberOfRows><NumberOfCols>3</NumberOfCols>"
            "<MaxWidth>4</MaxWidth><MaxHeight>0</MaxHeight><UseNavButtons>True</UseNavButtons>"
            "<CreatePageForEachPhoto>True</CreatePageForEachPhoto><ImgHeader/><ImgFooter/>"
            "<Description/><TargetFrame>Photos</TargetFrame></OrboTemplate>");

    // Every setting comes back: a second save writes the same bytes. (Both forms of
    // each boolean are read by the hand-made template below.)
    gallery.SetImgHeaderFilePath("/a & b/<h>.htm");
    gallery.SetImgFooterFilePath(" ");
    gallery.SetDescription("<p class=\"x\">Tom & Jerry > 1</p>\r\n ]]>");
    gallery.SetTargetFrameName("Main");
    gallery.SaveTemplate(dir / "t.cfg");
    Generator loaded;
    loaded.LoadTemplate(dir / "t.cfg");
    loaded.SaveTemplate(dir / "again.cfg");
    EXPECT_EQ(ReadFile(dir / "again.cfg"), ReadFile(dir / "t.cfg"));
}

// Written only when not their defaults, so that a classic template keeps its bytes.
TEST_F(EngineTest, PageStyleAndStripLocationAreKeptAfterTheSixteen) {
    Change([](vantrel::GallerySettings& s) {
        s.pageStyle = vantrel::PageStyle::Modern;
        s.stripLocation = true;
    });
    gallery.SaveTemplate(dir / "modern.cfg");
    const std::string saved = ReadFile(dir / "modern.cfg");
    EXPECT_TRUE(saved.ends_with("<TargetFrame>Photos</TargetFrame><PageStyle>modern</PageStyle>"
                                "<StripLocation>True</StripLocation></OrboTemplate>"))
        << saved;
    Generator loaded;
    loaded.LoadTemplate(dir / "modern.cfg");
    EXPECT_EQ(loaded.Settings(), gallery.Settings());

    // Without them, their defaults; a modern gallery may go without a header and footer.
    std::string hand = HandMade(">h.htm<", "><");
    hand.erase(hand.find("<NavFooter>f.htm</NavFooter>"), 28);
    WriteFile(dir / "hand.cfg", hand);
    EXPECT_NE(ErrorText([&] { loaded.LoadTemplate(dir / "hand.cfg"); }), "none");
    hand.replace(hand.find("</OrboTemplate>"), 0, "<PageStyle> Modern </PageStyle>");
    WriteFile(dir / "hand.cfg", hand);
    loaded.LoadTemplate(dir / "hand.cfg");
    EXPECT_EQ(loaded.NavHeaderFilePath() + loaded.NavFooterFilePath(), "");
    WriteFile(dir / "classic.cfg", HandMade());
    loaded.LoadTemplate(dir / "classic.cfg");
    EXPECT_EQ(std::pair(loaded.Settings().pageStyle, loaded.Settings().stripLocation),
              std::pair(vantrel::PageStyle::Classic, false));
}

TEST_F(EngineTest, HandMadeTemplateLoadsWithItsValueForms) {
    WriteFile(dir / "t.cfg", HandMade());
    gallery.SetImgHeaderFilePath("kept");
    gallery.LoadTemplate(dir / "t.cfg");
    EXPECT_TRUE(gallery.UseFrames());
    EXPECT_EQ(gallery.NumberOfRows(), 2); // halves go to the even neighbour
    EXPECT_EQ(gallery.NumberOfCols(), 4);
    EXPECT_EQ(gallery.MaxWidth(), -32768); // stored although the setter would refuse it
    EXPECT_FALSE(gallery.UseNavButtons() || gallery.CreatePageForEachPhoto());
    EXPECT_EQ(gallery.ImgHeaderFilePath(), "kept");
    EXPECT_EQ(gallery.Description(), "Hello <b>you</b> &amp; me");
    EXPECT_EQ(gallery.TargetFrameName(), "Main");

    // Blanks alone in an indented template are no value: the settings keep theirs.
    std::string blank = HandMade("<ImgHeader/>", "<ImgHeader>  </ImgHeader>");
    blank.replace(blank.find("Hello <b>you</b> &amp; me"), 25, "\r\n  ");
    WriteFile(dir / "blank.cfg", blank);
    gallery.LoadTemplate(dir / "blank.cfg");
    EXPECT_EQ(gallery.ImgHeaderFilePath(), "kept");
    EXPECT_EQ(gallery.Description(), "Hello <b>you</b> &amp; me");

    // The bundled sample template: its Description is HTML markup.
    gallery.LoadTemplate(std::string(TESSARY_SOURCE_DIR) + "/samples/sample.cfg");
    EXPECT_EQ(gallery.Description().rfind("<p>Ten free photos", 0), 0u) << gallery.Description();
}

TEST_F(EngineTest, EachLoadFailureIsReportedWithItsReason) {
    // The elements before the failing one are applied: UseFrames first, MaxWidth ninth.
    const struct {
        bool useFrames;
        std::int16_t maxWidth;
        std::string content; // empty: the file does not exist
        std::string cause;   // how it begins
    } cases[] = {
        {false, 0, "", "The file does not exist"},
        {false, 0, "x", "The file is not well-formed"},
        {false, 0, "<Other><UseFrames>True</UseFrames></Other>", "The root element is 'Other'"},
        {true, -32768, HandMade("  <ImgHeader/>\r\n", ""), "The element ImgHeader is missing"},
        {false, 0, HandMade(">TRUE<", ">Yes<"), "The element UseFrames holds 'Yes'"},
        {true, 0, HandMade(">2.5<", ">40000<"), "The element NumberOfRows holds '40000'"},
        {true, 0, HandMade(">h.htm<", "><"), "The element NavHeader is empty"},
        {true, 0, HandMade(">h.htm<", "> \t <"), "The element NavHeader is empty"},
        {true, -32768, HandMade("</Orbo", "<PageStyle>fancy</PageStyle></Orbo"),
         "The element PageStyle holds 'fancy'"},
        {true, -32768, HandMade("</Orbo", "<StripLocation/></Orbo"),
         "The element StripLocation is empty"},
    };
    const std::string path = dir / "bad.cfg";
    for (const auto& c : cases) {
        Generator g;
        fs::remove(path);
        if (!c.content.empty())
            WriteFile(path, c.content);
        const std::string error = ErrorText([&] { g.LoadTemplate(path); });
        EXPECT_TRUE(error.starts_with("0x8004019A ") && Contains(error, "More Info: " + c.cause))
            << error;
        EXPECT_EQ(std::pair(g.UseFrames(), g.MaxWidth()), std::pair(c.useFrames, c.maxWidth));
    }
}

// Refused at once, before a byte is read: a fifo would block, a sparse file is all zeros.
TEST_F(EngineTest, TemplateThatIsNoFileOrTooLargeIsRefusedUnread) {
    const std::string fifo = dir / "fifo.cfg", large = dir / "large.cfg";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    WriteFile(large, "<OrboTemplate>");
    fs::resize_file(large, std::uintmax_t{50} << 30);
    EXPECT_TRUE(Contains(ErrorText([&] { gallery.LoadTemplate(fifo); }),
                         "More Info: The file cannot be read: it is not a regular file."));
    EXPECT_TRUE(Contains(ErrorText([&] { gallery.LoadTemplate(large); }),
                         "More Info: The file is larger than 16 MiB"));
    EXPECT_EQ(gallery.MaxWidth(), 4);
}

TEST_F(EngineTest, FailedSaveIsReported) {
    const std::string start =
        "0x8004019B Generator::SaveTemplate(): Error: Unable to save template file\r\nMore Info: ";
    const auto saveError = [&](const std::string& path) {
        return ErrorText([&] { gallery.SaveTemplate(path); }).substr(0, start.size());
    };
    EXPECT_EQ(saveError(dir / "missing/t.cfg"), start);
    EXPECT_EQ(saveError(""), start);
    // A folder is never replaced; a link the user keeps leads to the file rewritten.
    fs::create_directory(dir / "folder.cfg");
    EXPECT_EQ(saveError(dir / "folder.cfg"), start);
    EXPECT_TRUE(fs::is_empty(dir / "folder.cfg"));
    WriteFile(dir / "kept.cfg", "old");
    fs::create_symlink(dir / "kept.cfg", dir / "link.cfg");
    gallery.SaveTemplate(dir / "link.cfg");
    EXPECT_TRUE(fs::is_symlink(dir / "link.cfg"));
    EXPECT_TRUE(ReadFile(dir / "kept.cfg").starts_with("<OrboTemplate>"))
        << ReadFile(dir / "kept.cfg");
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes read-only files";
    WriteFile(dir / "ro.cfg", "old");
    fs::permissions(dir / "ro.cfg", fs::perms::owner_read);
    EXPECT_EQ(saveError(dir / "ro.cfg"), start);
    EXPECT_EQ(ReadFile(dir / "ro.cfg"), "old");
}

} // namespace
