#include "EngineFixture.h"

#include <functional>
#include <tuple>
#include <unistd.h>

// That setters ignore "" and 0 is checked with validation; the defaults there and by the
// saved template.
TEST(GeneratorSettings, TheSettingsValueGoesInFieldByFieldUnderTheSetterRules) {
    const vantrel::GallerySettings given{"nh", "nf", "ih", "if", "i.htm", "d",   "/p", "/o ",
                                         "T",  3,    4,    5,    6,       false, true, false};
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
    vantrel::GallerySettings blank{};
    blank.targetFrameName.clear();
    blank.numberOfRows = -2;
    blank.useNavButtons = true;
    g.SetSettings(blank);
    vantrel::GallerySettings expected = given;
    expected.useNavButtons = true;
    expected.maxHeight = 32767;
    expected.useFrames = false;
    expected.createPageForEachPhoto = true;
    EXPECT_EQ(g.Settings(), expected);
}

TEST_F(EngineTest, ValidationReportsTheFirstMissingSettingExactly) {
    Generator g;
    // In the order of the checks, which is not the order of the numbers: the error while
    // the setting is missing, then the setting is given, then a value the setter ignores.
    const struct {
        std::function<void()> give;
        const char* error;
    } checks[] = {
        {[&] { g.SetNavHeaderFilePath("h"), g.SetNavHeaderFilePath(""); },
         "0x80040191 Generator::ValidateInputs(): [NavHeaderFilePath Property] You must specify "
         "the location of the header file to use for the navigation page before proceeding"},
        {[&] { g.SetNavFooterFilePath("f"), g.SetNavFooterFilePath(""); },
         "0x80040192 Generator::ValidateInputs(): [NavFooterFilePath Property] You must specify "
         "the location of the footer file to use for the navigation page before proceeding"},
        {[&] { g.SetOutputFilename("i.htm"), g.SetOutputFilename(""); },
         "0x80040193 Generator::ValidateInputs(): [OutputFilename Property] You must specify a "
         "name for the navigation page before proceeding"},
        {[&] { g.SetNumberOfCols(2), g.SetNumberOfCols(-3); },
         "0x80040197 Generator:: ValidateInputs(): [NumberOfCols Property] You must specify the "
         "number of columns in the navigation table before proceeding"},
        {[&] { g.SetNumberOfRows(2), g.SetNumberOfRows(0); },
         "0x80040196 Generator:: ValidateInputs(): [NumberOfRows Property] You must specify the "
         "number of rows in the navigation table before proceeding"},
        {[&] { g.SetOutputDirectory(out), g.SetOutputDirectory(""); },
         "0x80040194 Generator:: ValidateInputs(): [OutputDirectory Property] You must specify "
         "the directory, which will accept the gallery, before proceeding"},
        {[&] { g.SetPhotoDirectory(photos), g.SetPhotoDirectory(""); },
         "0x80040195 Generator::ValidateInputs(): [PhotoDirectory Property] You must specify the "
         "directory, which contains the photos, before proceeding"},
    };
    for (const auto& check : checks) {
        EXPECT_EQ(ErrorText([&] { g.GenerateGallery(); }), check.error);
        check.give();
    }
    EXPECT_FALSE(fs::exists(out)); // nothing was created
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
    EXPECT_TRUE(Exists("index.htm"));
}
