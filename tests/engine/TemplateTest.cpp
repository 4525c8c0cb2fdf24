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
    // each boolean are read by the hand-made template below.) The page style and the
    // stripping of locations follow the sixteen, written only when not their defaults
    // so that a classic template keeps its bytes.
    gallery.SetImgHeaderFilePath("/a & b/<h>.htm");
    gallery.SetImgFooterFilePath(" ");
    gallery.SetDescription("<p class=\"x\">Tom & Jerry > 1</p>\r\n ]]>");
    gallery.SetTargetFrameName("Main");
    Change([](auto& s) { s.pageStyle = vantrel::PageStyle::Modern, s.stripLocation = true; });
    gallery.SaveTemplate(dir / "t.cfg");
    EXPECT_TRUE(ReadFile(dir / "t.cfg")
                    .ends_with("<TargetFrame>Main</TargetFrame><PageStyle>modern</PageStyle>"
                               "<StripLocation>True</StripLocation></OrboTemplate>"));
    Generator loaded;
    loaded.LoadTemplate(dir / "t.cfg");
    loaded.SaveTemplate(dir / "again.cfg");
    EXPECT_EQ(ReadFile(dir / "again.cfg"), ReadFile(dir / "t.cfg"));
}

TEST_F(EngineTest, HandMadeTemplateLoadsWithItsValueForms) {
    WriteFile(dir / "t.cfg", HandMade());
    Change([](auto& s) {
        s.imgHeaderFilePath = "kept", s.pageStyle = vantrel::PageStyle::Modern;
        s.stripLocation = true;
    });
    gallery.LoadTemplate(dir / "t.cfg");
    // Without the two newer elements, their defaults.
    EXPECT_EQ(std::pair(gallery.Settings().pageStyle, gallery.Settings().stripLocation),
              std::pair(vantrel::PageStyle::Classic, false));
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

    // A modern gallery may go without a header and footer.
    std::string modern = HandMade(">h.htm<", "><");
    modern.erase(modern.find("<NavFooter>f.htm</NavFooter>"), 28);
    modern.replace(modern.find("</OrboTemplate>"), 0, "<PageStyle> Modern </PageStyle>");
    WriteFile(dir / "modern.cfg", modern);
    gallery.LoadTemplate(dir / "modern.cfg");
    EXPECT_EQ(gallery.NavHeaderFilePath() + gallery.NavFooterFilePath(), "");

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
        // Refused before a byte is read: a fifo would block, a sparse file is all zeros.
        {false, 0, "fifo", "The file cannot be read: it is not a regular file."},
        {false, 0, "sparse", "The file is larger than 16 MiB"},
    };
    const std::string path = dir / "bad.cfg";
    for (const auto& c : cases) {
        Generator g;
        fs::remove(path);
        if (c.content == "fifo") {
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        } else if (!c.content.empty()) {
            WriteFile(path, c.content == "sparse" ? "<OrboTemplate>" : c.content);
            if (c.content == "sparse")
                fs::resize_file(path, std::uintmax_t{50} << 30);
        }
        const std::string error = ErrorText([&] { g.LoadTemplate(path); });
        EXPECT_TRUE(error.starts_with("0x8004019A ") && Contains(error, "More Info: " + c.cause))
            << error;
        EXPECT_EQ(std::pair(g.UseFrames(), g.MaxWidth()), std::pair(c.useFrames, c.maxWidth));
    }
}

TEST_F(EngineTest, FailedSaveIsReported) {
    const std::string start =
        "0x8004019B Generator::SaveTemplate(): Error: Unable to save template file\r\nMore Info: ";
    // A folder and a read-only file (unless root writes it) are left as they were.
    fs::create_directory(dir / "folder.cfg");
    WriteFile(dir / "ro.cfg", "old");
    fs::permissions(dir / "ro.cfg", fs::perms::owner_read);
    for (const std::string& path : {dir / "missing/t.cfg", std::string(), dir / "folder.cfg",
                                    geteuid() == 0 ? std::string() : dir / "ro.cfg"}) {
        const std::string error = ErrorText([&] { gallery.SaveTemplate(path); });
        EXPECT_EQ(error.substr(0, start.size()), start) << path;
    }
    EXPECT_TRUE(fs::is_empty(dir / "folder.cfg"));
    EXPECT_EQ(ReadFile(dir / "ro.cfg"), "old");
    // A link the user keeps leads to the file rewritten.
    WriteFile(dir / "kept.cfg", "old");
    fs::create_symlink(dir / "kept.cfg", dir / "link.cfg");
    gallery.SaveTemplate(dir / "link.cfg");
    EXPECT_TRUE(fs::is_symlink(dir / "link.cfg"));
    EXPECT_TRUE(ReadFile(dir / "kept.cfg").starts_with("<OrboTemplate>"));
}

} // namespace
