#include "EngineFixture.h"

#include <functional>
#include <unistd.h>

namespace {

TEST(GeneratorSettings, DefaultsAndSetterRules) {
    Generator g;
    EXPECT_EQ(g.TargetFrameName(), "Photos");
    EXPECT_TRUE(g.UseNavButtons());
    EXPECT_FALSE(g.UseFrames());
    EXPECT_TRUE(g.CreatePageForEachPhoto());
    EXPECT_EQ(g.NumberOfRows() + g.NumberOfCols() + g.MaxWidth() + g.MaxHeight(), 0);
    EXPECT_EQ(g.NavHeaderFilePath() + g.NavFooterFilePath() + g.ImgHeaderFilePath() +
                  g.ImgFooterFilePath() + g.OutputFilename() + g.Description() +
                  g.PhotoDirectory() + g.OutputDirectory(),
              "");

    g.SetOutputFilename("index.htm");
    g.SetOutputFilename("");
    EXPECT_EQ(g.OutputFilename(), "index.htm");
    g.SetOutputDirectory("/site/ ");
    EXPECT_EQ(g.OutputDirectory(), "/site/ "); // stored as given
    g.SetNumberOfRows(4);
    g.SetNumberOfRows(0);
    g.SetNumberOfRows(-3);
    EXPECT_EQ(g.NumberOfRows(), 4);
    g.SetMaxHeight(32767);
    EXPECT_EQ(g.MaxHeight(), 32767);
    g.SetUseNavButtons(false);
    EXPECT_FALSE(g.UseNavButtons());
}

TEST_F(EngineTest, ValidationErrorsInOrderWithExactTexts) {
    struct Case {
        std::function<void(Generator&)> unset; // applied to a fresh Generator
        std::int32_t number;
        const char* source;
        const char* description;
    };
    const auto fill = [this](Generator& g, bool header, bool footer, bool file, bool counts,
                             bool output, bool photo) {
        if (header)
            g.SetNavHeaderFilePath("h");
        if (footer)
            g.SetNavFooterFilePath("f");
        if (file)
            g.SetOutputFilename("i.htm");
        if (counts) {
            g.SetNumberOfRows(2);
            g.SetNumberOfCols(2);
        }
        if (output)
            g.SetOutputDirectory(out);
        if (photo)
            g.SetPhotoDirectory(photos);
    };
    const Case cases[] = {
        {[&](Generator& g) { fill(g, true, false, false, false, false, false); },
         static_cast<std::int32_t>(0x80040192), "Generator::ValidateInputs()",
         "[NavFooterFilePath Property] You must specify the location of the footer file to use "
         "for the navigation page before proceeding"},
        {[&](Generator& g) { fill(g, false, true, true, true, true, true); },
         static_cast<std::int32_t>(0x80040191), "Generator::ValidateInputs()",
         "[NavHeaderFilePath Property] You must specify the location of the header file to use "
         "for the navigation page before proceeding"},
        {[&](Generator& g) { fill(g, true, true, false, true, true, true); },
         static_cast<std::int32_t>(0x80040193), "Generator::ValidateInputs()",
         "[OutputFilename Property] You must specify a name for the navigation page before "
         "proceeding"},
        {[&](Generator& g) { fill(g, true, true, true, false, true, true); },
         static_cast<std::int32_t>(0x80040197), "Generator:: ValidateInputs()",
         "[NumberOfCols Property] You must specify the number of columns in the navigation "
         "table before proceeding"},
        {[&](Generator& g) {
             fill(g, true, true, true, false, true, true);
             g.SetNumberOfCols(3);
         },
         static_cast<std::int32_t>(0x80040196), "Generator:: ValidateInputs()",
         "[NumberOfRows Property] You must specify the number of rows in the navigation table "
         "before proceeding"},
        {[&](Generator& g) { fill(g, true, true, true, true, false, false); },
         static_cast<std::int32_t>(0x80040194), "Generator:: ValidateInputs()",
         "[OutputDirectory Property] You must specify the directory, which will accept the "
         "gallery, before proceeding"},
        {[&](Generator& g) { fill(g, true, true, true, true, true, false); },
         static_cast<std::int32_t>(0x80040195), "Generator::ValidateInputs()",
         "[PhotoDirectory Property] You must specify the directory, which contains the photos, "
         "before proceeding"},
    };
    for (const Case& c : cases) {
        Generator g;
        c.unset(g);
        const GeneratorError error = ErrorOf([&] { g.GenerateGallery(); });
        EXPECT_EQ(error.Number(), c.number);
        EXPECT_EQ(error.Source(), c.source);
        EXPECT_EQ(error.Description(), c.description);
    }
    EXPECT_FALSE(std::filesystem::exists(out)); // nothing was created
}

TEST_F(EngineTest, MissingOutputFolderIsCreatedOneLevelOnly) {
    AddPhoto("a.jpg");
    gallery.SetOutputDirectory(dir / "no/site");
    GeneratorError error = ErrorOf([&] { gallery.GenerateGallery(); });
    EXPECT_EQ(error.Number(), static_cast<std::int32_t>(0x80040198));
    EXPECT_EQ(error.Source(), "Generator::GenerateGallery()");
    EXPECT_EQ(error.Description(), "Error: Unable to create output directory");
    EXPECT_FALSE(std::filesystem::exists(dir / "no"));
    EXPECT_TRUE(events.empty());

    gallery.SetOutputDirectory(dir / "site");
    gallery.GenerateGallery();
    EXPECT_TRUE(std::filesystem::exists(dir / "site/index.htm"));
}

TEST_F(EngineTest, NavigationPageThatCannotBeCreatedEndsTheRunBeforeAnyFileIsMade) {
    AddPhoto("a.jpg");
    const auto expectUnableToCreateFile = [&] {
        const GeneratorError error = ErrorOf([&] { gallery.GenerateGallery(); });
        EXPECT_EQ(error.Number(), static_cast<std::int32_t>(0x80040199));
        EXPECT_EQ(error.Source(), "Generator::GenerateGallery()");
        EXPECT_EQ(error.Description(), "Error: Unable to create output file");
        EXPECT_TRUE(events.empty());
    };
    // The output folder path is a file.
    testsupport::WriteFile(out, "not a folder");
    expectUnableToCreateFile();
    EXPECT_EQ(testsupport::ReadFile(out), "not a folder");

    // The navigation page's name is taken by a folder.
    std::filesystem::remove(out);
    std::filesystem::create_directories(Out("index.htm"));
    expectUnableToCreateFile();
    EXPECT_FALSE(Exists("a.jpg"));
    EXPECT_FALSE(Exists("a_tn.jpg"));

    if (geteuid() == 0)
        GTEST_SKIP() << "root writes read-only files";
    // A read-only navigation page is left as it is.
    std::filesystem::remove(Out("index.htm"));
    testsupport::WriteFile(Out("index.htm"), "old");
    std::filesystem::permissions(Out("index.htm"), std::filesystem::perms::owner_read);
    expectUnableToCreateFile();
    EXPECT_EQ(Page("index.htm"), "old");
    EXPECT_FALSE(Exists("a.jpg"));
}

TEST_F(EngineTest, HandlerMayReplaceOrClearItselfDuringAnEvent) {
    AddPhotos({"a.jpg", "b.jpg"});
    int replacementCalls = 0;
    gallery.SetProgressHandler([&](GenEventTypeEnum, const std::int16_t&, const std::int16_t&) {
        // Destroys the running handler's stored copy: the call must survive it.
        gallery.SetProgressHandler([&](GenEventTypeEnum, const std::int16_t&, const std::int16_t&) {
            if (++replacementCalls == 3)
                gallery.SetProgressHandler(nullptr);
        });
    });
    gallery.GenerateGallery();
    EXPECT_EQ(replacementCalls, 3);
    EXPECT_TRUE(Exists("index.htm"));
}

} // namespace
