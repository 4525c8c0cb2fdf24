#include "EngineFixture.h"

#include <functional>
#include <tuple>
#include <unistd.h>

// That setters ignore "" and 0 is checked with validation; the defaults there and by the
// saved template.
TEST(GeneratorSettings, TheSettingsValueGoesInFieldByFieldUnderTheSetterRules) {
    vantrel::GallerySettings given{"nh", "nf", "ih", "if", "i.htm", "d",   "/p", "/o ",
                                   "T",  3,    4,    5,    6,       false, true, false};
    given.jobs = 3;
    Generator g;
    g.SetSettings(given);
    EXPECT_EQ(g.Settings(), given);
    g.SetMaxHeight(32767);
    g.SetMaxHeight(-3);
    EXPECT_EQ(std::make_tuple(g.OutputDirectory(), g.ImgFooterFilePath(), g.TargetFrameName(),
                              g.MaxHeight(), g.UseFrames()),
              std::make_tuple(std::string("/o "), std::string("if"), std::string("T"),
                              std::int16_t{32767}, true));
    // Blanks and numbers below 1 leave what is stored; flags are taken as they are.
    vantrel::GallerySettings blank;
    blank.targetFrameName.clear();
    blank.numberOfRows = blank.jobs = -2;
    g.SetSettings(blank);
    vantrel::GallerySettings expected = given;
    expected.maxHeight = 32767;
    expected.useNavButtons = true, expected.useFrames = false;
    expected.createPageForEachPhoto = true;
    EXPECT_EQ(g.Settings(), expected);
    blank.jobs = 0; // as many workers as the machine has
    g.SetSettings(blank);
    EXPECT_EQ(g.Settings().jobs, 0);
}

TEST_F(EngineTest, ValidationReportsTheFirstMissingSetting) {
    Generator g;
    // In the order of the checks, which is not the order of the numbers: the error while
    // the setting is missing, then the setting is given, then a value the setter ignores.
    const struct {
        std::function<void()> give;
        const char* number;
        const char* property;
    } checks[] = {
        {[&] { g.SetNavHeaderFilePath("h"), g.SetNavHeaderFilePath(""); }, "91",
         "NavHeaderFilePath"},
        {[&] { g.SetNavFooterFilePath("f"), g.SetNavFooterFilePath(""); }, "92",
         "NavFooterFilePath"},
        {[&] { g.SetOutputFilename("i.htm"), g.SetOutputFilename(""); }, "93", "OutputFilename"},
        {[&] { g.SetNumberOfCols(2), g.SetNumberOfCols(-3); }, "97", "NumberOfCols"},
        {[&] { g.SetNumberOfRows(2), g.SetNumberOfRows(0); }, "96", "NumberOfRows"},
        {[&] { g.SetOutputDirectory(out), g.SetOutputDirectory(""); }, "94", "OutputDirectory"},
        {[&] { g.SetPhotoDirectory(photos), g.SetPhotoDirectory(""); }, "95", "PhotoDirectory"},
    };
    for (const auto& check : checks) {
        const std::string error = ErrorText([&] { g.GenerateGallery(); });
        EXPECT_TRUE(error.starts_with("0x800401" + std::string(check.number) + " ") &&
                    Contains(error, std::string("[") + check.property + " Property] You must"))
            << error;
        check.give();
    }
    EXPECT_FALSE(fs::exists(out)); // nothing was created

    // The modern style does without the navigation header and footer.
    Generator modern;
    vantrel::GallerySettings settings;
    settings.outputFilename = "i.htm", settings.pageStyle = vantrel::PageStyle::Modern;
    modern.SetSettings(settings);
    EXPECT_TRUE(ErrorText([&] { modern.GenerateGallery(); }).starts_with("0x80040197 "));
}

TEST_F(EngineTest, RunWouldReplaceNamesEveryFileTheRunReadsOrWrites) {
    AddPhotos({"a.jpg", "b.JPG"});
    WriteFile(dir / "elsewhere.cfg", "x");
    fs::create_symlink(photos + "/a.jpg", dir / "link.cfg");
    const auto check = [&](const std::string& path, const std::string& why) {
        const std::string said = gallery.RunWouldReplace(path);
        EXPECT_TRUE(why.empty() ? said.empty() : Contains(said, "' is " + why)) << path << said;
    };
    // Before the first run the outputs are known by their folder and name.
    const std::pair<std::string, std::string> cases[] = {
        {photos + "/a.jpg", "a photo of the gallery"},
        {dir / "link.cfg", "a photo of the gallery"},
        {dir / "header.htm", "the navigation header"},
        {out + "/../out/index.htm", "the navigation page"},
        {Out(".tessary-thumbnails"), "the record"},
        {Out("a_tn.jpg"), "the thumbnail of the photo 'a.jpg'"},
        {Out("b.htm"), "the page of the photo 'b.JPG'"},
        {Out("b.JPG"), "the copy of the photo 'b.JPG'"},
        {Out("b.jpg"), ""},
        {Out("other.cfg"), ""},
        {photos + "/a_tn.jpg", ""},
        {dir / "elsewhere.cfg", ""},
    };
    for (const auto& [path, why] : cases)
        check(path, why);
    // Once made, by their identity: a link to one is that file.
    gallery.GenerateGallery();
    fs::create_symlink(Out("a_tn.jpg"), dir / "thumb.cfg");
    check(dir / "thumb.cfg", "the thumbnail of the photo 'a.jpg'");
    check(Out("b.htm"), "the page of the photo 'b.JPG'");
    check(dir / "elsewhere.cfg", "");
}

TEST_F(EngineTest, OutputFolderAndNavigationPageErrorsComeBeforeAnyFileIsMade) {
    AddPhotos({"a.jpg"});
    // The output folder is made one level deep only.
    gallery.SetOutputDirectory(dir / "no/site");
    EXPECT_EQ(ErrorText([&] { gallery.GenerateGallery(); }),
              "0x80040198 Generator::GenerateGallery(): Error: Unable to create output directory");
    EXPECT_FALSE(fs::exists(dir / "no"));

    // The output folder path is a file; the navigation page's name is a folder.
    gallery.SetOutputDirectory(out);
    WriteFile(out, "not a folder");
    EXPECT_EQ(ErrorText([&] { gallery.GenerateGallery(); }), kCannotCreate);
    EXPECT_EQ(ReadFile(out), "not a folder");
    fs::remove(out);
    fs::create_directories(Out("index.htm"));
    EXPECT_EQ(ErrorText([&] { gallery.GenerateGallery(); }),
              kCannotCreate + "\r\nMore Info: 'index.htm' is a folder");
    EXPECT_FALSE(Exists("a.jpg") || Exists("a_tn.jpg"));
    EXPECT_TRUE(events.empty());

    if (geteuid() != 0) { // A read-only navigation page is left as it is.
        fs::remove(Out("index.htm"));
        WriteFile(Out("index.htm"), "old");
        fs::permissions(Out("index.htm"), fs::perms::owner_read);
        EXPECT_EQ(ErrorText([&] { gallery.GenerateGallery(); }), kCannotCreate);
        EXPECT_EQ(Page("index.htm"), "old");
        EXPECT_FALSE(Exists("a.jpg"));
    }
}

TEST_F(EngineTest, HandlerMayReplaceOrClearItselfDuringAnEvent) {
    AddPhotos({"a.jpg"}); // four events
    int calls = 0;
    // Each handler destroys its own stored copy, then still uses its captures.
    gallery.SetProgressHandler([&](auto, auto&, auto&) {
        gallery.SetProgressHandler([&](auto, auto&, auto&) {
            if (calls == 2)
                gallery.SetProgressHandler(nullptr);
            ++calls;
        });
        ++calls;
    });
    gallery.GenerateGallery();
    EXPECT_EQ(calls, 3);
}
