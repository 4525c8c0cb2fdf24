#include "EngineFixture.h"

#include <unistd.h>

namespace {

TEST(GeneratorSettings, DefaultsAndSetterRules) {
    Generator g;
    EXPECT_EQ(g.TargetFrameName(), "Photos");
    EXPECT_TRUE(g.UseNavButtons() && !g.UseFrames() && g.CreatePageForEachPhoto());
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
    const struct {
        std::string
            set; // the required settings given: Header, Footer, Name, Cols, Rows, Out, Photos
        std::uint32_t number;
        const char* source;
        const char* description;
    } cases[] = {
        {"H", 0x80040192, "Generator::ValidateInputs()",
         "[NavFooterFilePath Property] You must specify the location of the footer file to use "
         "for the navigation page before proceeding"},
        {"FNCROP", 0x80040191, "Generator::ValidateInputs()",
         "[NavHeaderFilePath Property] You must specify the location of the header file to use "
         "for the navigation page before proceeding"},
        {"HFCROP", 0x80040193, "Generator::ValidateInputs()",
         "[OutputFilename Property] You must specify a name for the navigation page before "
         "proceeding"},
        {"HFNOP", 0x80040197, "Generator:: ValidateInputs()",
         "[NumberOfCols Property] You must specify the number of columns in the navigation "
         "table before proceeding"},
        {"HFNCOP", 0x80040196, "Generator:: ValidateInputs()",
         "[NumberOfRows Property] You must specify the number of rows in the navigation table "
         "before proceeding"},
        {"HFNCR", 0x80040194, "Generator:: ValidateInputs()",
         "[OutputDirectory Property] You must specify the directory, which will accept the "
         "gallery, before proceeding"},
        {"HFNCRO", 0x80040195, "Generator::ValidateInputs()",
         "[PhotoDirectory Property] You must specify the directory, which contains the photos, "
         "before proceeding"},
    };
    for (const auto& c : cases) {
        Generator g;
        const auto given = [&](char setting) { return c.set.find(setting) != std::string::npos; };
        g.SetNavHeaderFilePath(given('H') ? "h" : "");
        g.SetNavFooterFilePath(given('F') ? "f" : "");
        g.SetOutputFilename(given('N') ? "i.htm" : "");
        g.SetNumberOfCols(given('C') ? 2 : 0);
        g.SetNumberOfRows(given('R') ? 2 : 0);
        g.SetOutputDirectory(given('O') ? out : "");
        g.SetPhotoDirectory(given('P') ? photos : "");
        const GeneratorError error = ErrorOf([&] { g.GenerateGallery(); });
        EXPECT_EQ(error.Number(), static_cast<std::int32_t>(c.number));
        EXPECT_EQ(error.Source(), c.source);
        EXPECT_EQ(error.Description(), c.description);
    }
    EXPECT_FALSE(std::filesystem::exists(out)); // nothing was created
}

TEST_F(EngineTest, OutputFolderAndNavigationPageErrorsComeBeforeAnyFileIsMade) {
    AddPhoto("a.jpg");
    const auto expectError = [&](std::uint32_t number, const std::string& description) {
        const GeneratorError error = ErrorOf([&] { gallery.GenerateGallery(); });
        EXPECT_EQ(error.Number(), static_cast<std::int32_t>(number));
        EXPECT_EQ(error.Source(), "Generator::GenerateGallery()");
        EXPECT_EQ(error.Description(), description);
        EXPECT_TRUE(events.empty());
    };
    // The output folder is made one level deep only.
    gallery.SetOutputDirectory(dir / "no/site");
    expectError(0x80040198, "Error: Unable to create output directory");
    EXPECT_FALSE(std::filesystem::exists(dir / "no"));

    // The output folder path is a file; the navigation page's name is a folder.
    gallery.SetOutputDirectory(out);
    testsupport::WriteFile(out, "not a folder");
    expectError(0x80040199, "Error: Unable to create output file");
    EXPECT_EQ(testsupport::ReadFile(out), "not a folder");
    std::filesystem::remove(out);
    std::filesystem::create_directories(Out("index.htm"));
    expectError(0x80040199, "Error: Unable to create output file");
    EXPECT_FALSE(Exists("a.jpg") || Exists("a_tn.jpg"));

    if (geteuid() != 0) { // A read-only navigation page is left as it is.
        std::filesystem::remove(Out("index.htm"));
        testsupport::WriteFile(Out("index.htm"), "old");
        std::filesystem::permissions(Out("index.htm"), std::filesystem::perms::owner_read);
        expectError(0x80040199, "Error: Unable to create output file");
        EXPECT_EQ(Page("index.htm"), "old");
        EXPECT_FALSE(Exists("a.jpg"));
    }
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
