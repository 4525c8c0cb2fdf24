#include "CommandLine.h"
#include "ProgressDisplay.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::string_literals;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

ParseResult Parse(std::vector<std::string> arguments) {
    return ParseCommandLine(arguments);
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), {}};
}

TEST(TessaryMakeOptions, ReadsValuesInBothFormsAndFlags) {
    std::vector<std::string> arguments =
        Words("--photo-dir /p --output-dir=/o --rows 3 --columns=7 "
              "--thumb-height 150 --frames --no-photo-pages -q "
              "--template t.cfg --save-template=s.cfg -j 3 "
              "--rebuild --fast --style modern --strip-location --description");
    arguments.push_back(""); // an empty value is a value
    const ParseResult r = Parse(arguments);
    ASSERT_EQ(r.error, "");
    const CommandLine& c = r.commandLine;
    const GallerySettings& v = c.values;
    EXPECT_EQ(std::tie(v.photoDirectory, v.outputDirectory, v.description, c.templateFile,
                       c.saveTemplateFile),
              std::make_tuple("/p", "/o", "", "t.cfg", "s.cfg"));
    EXPECT_EQ(std::tie(v.numberOfRows, v.numberOfCols, v.maxHeight, c.jobs, v.pageStyle),
              std::make_tuple(3, 7, 150, 3, vantrel::PageStyle::Modern));
    EXPECT_EQ(std::tie(v.useFrames, v.createPageForEachPhoto, c.quiet, c.rebuild, c.fast,
                       v.stripLocation),
              std::make_tuple(true, false, true, true, true, true));
    // Not given, so the template's stay.
    EXPECT_FALSE(c.Gives(&GallerySettings::maxWidth) || c.Gives(&GallerySettings::useNavButtons));
    EXPECT_EQ(Parse({"--help"}).commandLine.action, CommandLine::Action::Help);
    EXPECT_EQ(Parse({"--version"}).commandLine.action, CommandLine::Action::Version);
}

TEST(TessaryMakeOptions, RefusesBadUsageWithAOneLineReason) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--colour"}, "unknown option '--colour'"},
        {{"photos"}, "unexpected argument 'photos'"},
        {{"--photo-dir"}, "option --photo-dir needs a value"},
        {{"--rows"}, "option --rows needs a number"},
        {{"--columns", "32768"},
         "the number of columns must be a whole number from 1 to 32767, not '32768'"},
        {{"--thumb-width", "12px"}, "not '12px'"},
        {{"--jobs", "0"}, "the number of jobs must be a whole number from 1 to 1024, not '0'"},
        {{"--frames=yes"}, "option --frames takes no value"},
        {{"--template", ""}, "option --template needs a file name"},
        {{"--thumb-width", "100", "--thumb-height", "100"}, "not both"},
        {{"--style", "fancy"}, "the page style must be classic or modern, not 'fancy'"},
        {{"--strip-location=yes"}, "option --strip-location takes no value"},
    };
    for (const auto& [arguments, expected] : cases) {
        const std::string error = Parse(arguments).error;
        EXPECT_NE(error.find(expected), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

TEST(TessaryMakeOptions, OptionsOverrideTheTemplateAndTheGivenThumbSideDecides) {
    GallerySettings base;
    base.photoDirectory = "/from/template", base.outputFilename = "g.htm";
    base.maxWidth = 120, base.numberOfRows = 9;
    const GallerySettings s = ApplyOptions(
        Parse({"--thumb-height", "80", "--output-dir", "/o", "--jobs=2"}).commandLine, base, "");
    EXPECT_EQ(std::tie(s.jobs, s.rebuild, s.fastThumbnails), std::make_tuple(2, false, false));
    const GallerySettings fresh =
        ApplyOptions(Parse({"--rebuild", "--fast"}).commandLine, base, "");
    EXPECT_TRUE(fresh.rebuild && fresh.fastThumbnails);
    EXPECT_EQ(ApplyOptions(Parse({}).commandLine, base, "").jobs, 0); // one per core
    EXPECT_EQ(std::tie(s.photoDirectory, s.outputDirectory),
              std::make_tuple("/from/template", "/o"));
    EXPECT_EQ(std::tie(s.numberOfRows, s.maxHeight, s.maxWidth), std::make_tuple(9, 80, 0));
    GallerySettings wide = ApplyOptions(Parse({"--thumb-width", "64"}).commandLine, s, "");
    EXPECT_EQ(std::tie(wide.maxWidth, wide.maxHeight), std::make_tuple(64, 0));
    EXPECT_EQ(MissingRequiredOption(s), "--nav-header");
    wide.navHeaderFilePath = "head.htm";
    EXPECT_EQ(MissingRequiredOption(wide), "--nav-footer");
    EXPECT_EQ(MissingRequiredOption(GallerySettings{}), "--output-file");
    // The modern style brings its own header and footer.
    const GallerySettings modern = ApplyOptions(Parse({"--style", "modern"}).commandLine, s, "");
    EXPECT_EQ(MissingRequiredOption(modern), "");
}

TEST(TessaryMakeProgress, DrawsABarWithTheCount) {
    EXPECT_EQ(ProgressDisplay::Line("Copies", 3, 12, 12), "Copies       [###---------] 3 of 12");
    EXPECT_EQ(ProgressDisplay::Line("Table cells", 0, 0, 4), "Table cells  [####] 0 of 0");
}

// The program itself, run the way a user runs it.
class TessaryMake : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(dir.Path() / "photos");
        for (const char* name : {"astronaut.jpg", "chelsea.jpg", "coffee.jpg"})
            fs::copy_file(testsupport::SamplePhoto(name), dir.Path() / "photos" / name);
        WriteFile(dir / "head.htm", "<html><body>\n");
        WriteFile(dir / "foot.htm", "</body></html>\n");
    }

    // A gallery of the photos in "site", 2 by 2, then `more` (a later option wins).
    std::vector<std::string> Basic(const std::vector<std::string>& more = {}) const {
        std::vector<std::string> arguments{"--photo-dir",  dir / "photos",
                                           "--output-dir", dir / "site",
                                           "--nav-header", dir / "head.htm",
                                           "--nav-footer", dir / "foot.htm",
                                           "--rows",       "2",
                                           "--columns",    "2"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return arguments;
    }

    // A template of the Basic() settings with `find` replaced, as a person might edit it.
    std::string SavedWith(const std::string& find, const std::string& replace) {
        Generator generator;
        generator.SetSettings(ApplyOptions(Parse(Basic()).commandLine, DefaultSettings(), ""));
        const std::string path = dir / ("edited" + std::to_string(++edited) + ".cfg");
        generator.SaveTemplate(path);
        std::string text = ReadFile(path);
        text.replace(text.find(find), find.size(), replace);
        WriteFile(path, text);
        return path;
    }

    testsupport::ProgramResult Run(std::vector<std::string> arguments) const {
        return testsupport::RunProgram(std::string(TOOLS_DIR) + "/tessary-make", arguments);
    }

    TempDir dir;
    int edited = 0;
};

TEST_F(TessaryMake, MakesAGalleryAndSaysWhereItIs) {
    const auto result = Run(Basic({"--save-template", dir / "used.cfg"}));
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("Navigation page: " + dir / "site/Default.htm"), std::string::npos);
    // Standard error is not a terminal here: one plain line per step.
    EXPECT_NE(result.err.find("Table cells: 3 of 3\n"), std::string::npos) << result.err;

    // The saved template reproduces the run, and options still override it.
    const auto again = Run({"--template", dir / "used.cfg", "--output-dir", dir / "again", "-q"});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out + again.err, ""); // quiet
    EXPECT_EQ(ReadFile(dir / "again/Default.htm"), ReadFile(dir / "site/Default.htm"));
}

// --fast makes each thumbnail as the component's fast path does (and skimlet-thumb --fast
// alike, full sizes reported); a rerun without it makes the exact ones again.
TEST_F(TessaryMake, FastThumbnailsComeFromTheReducedDecode) {
    ASSERT_EQ(Run(Basic({"--fast", "-q"})).status, 0);
    const std::string fast = ReadFile(dir / "site/astronaut_tn.jpg");
    const auto thumb = testsupport::RunProgram(
        std::string(TOOLS_DIR) + "/skimlet-thumb",
        {"--fast", dir / "photos/astronaut.jpg", "120", "0", dir.Path().string()});
    ASSERT_EQ(thumb.status, 0) << thumb.err;
    EXPECT_EQ(thumb.out, "Width 512 Height 512 MaxWidth 120 MaxHeight 120\n");
    EXPECT_EQ(fast, ReadFile(dir / "astronaut_tn.jpg"));

    ASSERT_EQ(Run(Basic({"-q"})).status, 0);
    EXPECT_NE(ReadFile(dir / "site/astronaut_tn.jpg"), fast);
}

TEST_F(TessaryMake, EngineFailuresExitOneOnOneLine) {
    WriteFile(dir / "broken.cfg", "<OrboTemplate><UseFrames>Yes</UseFrames>");
    for (const auto& [arguments, expected] :
         {std::pair{std::vector<std::string>{"--template", dir / "broken.cfg"},
                    std::string("tessary-make: cannot load the template")},
          std::pair{Basic({"--output-dir", dir / "no/such/site"}),
                    std::string("tessary-make: Generator::GenerateGallery(): Error: "
                                "Unable to create output directory\n")}}) {
        const auto result = Run(arguments);
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(result.err.starts_with(expected)) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
}

TEST_F(TessaryMake, UsageErrorsAndNameClashesAreFoundBeforeAnyWork) {
    WriteFile(dir / "file", "x");
    WriteFile(dir / "about.htm", "<p>About</p>");
    WriteFile(dir / "large.htm", "");
    fs::resize_file(dir / "large.htm", (1 << 20) + 1);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--photo-dir", dir / "photos"}, "missing --"},
        {Basic({"--photo-dir", dir / "nowhere"}),
         "the photo folder '" + dir / "nowhere" + "' does not exist"},
        {Basic({"--nav-header", dir / "missing.htm"}), "cannot read the navigation header file"},
        // The engine's clashes of names, each refused before any work.
        {Basic({"--output-file", "coffee.htm"}),
         "'coffee.htm' is the page name of the photo 'coffee.jpg'"},
        {Basic({"--output-file", "sub/x.htm"}), "--output-file takes a file name, not a path"},
        {Basic({"--output-file", "."}), "--output-file takes a file name, not '.'"},
        {Basic({"--output-file", ".."}), "--output-file takes a file name, not '..'"},
        {Basic({"--save-template", dir / "photos"}), "--save-template names a folder"},
        {Basic({"--save-template", dir / "file/t.cfg"}), "does not exist"},
        {Basic({"--template", dir / "missing.cfg"}), "cannot read the template"},
        {{"--template", SavedWith("<NumberOfRows>2<", "<NumberOfRows>0<")},
         "the number of rows must be a whole number from 1 to 32767, not '0'"},
        {{"--template", SavedWith("<MaxHeight>0<", "<MaxHeight>120<")},
         "the thumbnail width and height are both 120"},
        {Basic({"--save-template", dir / "photos/chelsea.jpg"}), "chelsea.jpg' is a photo"},
        {Basic({"--save-template", dir / "head.htm"}), "is the navigation header"},
        {Basic({"--output-dir", dir / "photos", "--save-template", dir / "photos/coffee_tn.jpg"}),
         "is the thumbnail of the photo 'coffee.jpg'"},
        {Basic({"--description-file", dir / "about.htm", "--save-template", dir / "about.htm"}),
         "is the description file"},
        {Basic({"--description-file", dir / "fifo"}), "fifo': not a regular file"},
        {Basic({"--description-file", dir / "large.htm"}), "large.htm': larger than 1 MiB"},
    };
    for (const auto& [arguments, expected] : cases) {
        const auto result = Run(arguments);
        EXPECT_EQ(result.status, 2) << expected;
        EXPECT_TRUE(result.err.starts_with("tessary-make: ")) << result.err;
        EXPECT_NE(result.err.find(expected), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_FALSE(fs::exists(dir.Path() / "site"));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path() / "photos"), {}), 3);
    EXPECT_EQ(ReadFile(dir / "photos/chelsea.jpg"),
              ReadFile(testsupport::SamplePhoto("chelsea.jpg")));
    EXPECT_EQ(ReadFile(dir / "about.htm"), "<p>About</p>");
    if (geteuid() != 0) { // root may write anywhere
        fs::create_directory(dir.Path() / "locked");
        fs::permissions(dir.Path() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        const auto result = Run(Basic({"--save-template", dir / "locked/t.cfg"}));
        EXPECT_EQ(result.status, 2);
        EXPECT_NE(result.err.find("cannot write the template"), std::string::npos) << result.err;
        fs::permissions(dir.Path() / "locked", fs::perms::owner_all);
    }
}

TEST_F(TessaryMake, NavigationPageNotWrittenExitsOneAndKeepsTheEarlierPage) {
    ASSERT_EQ(Run(Basic()).status, 0);
    const std::string earlier = ReadFile(dir / "site/Default.htm");
    WriteFile(dir / "head.htm", std::string(300000, 'h')); // more than the disk takes
    const int status = testsupport::RunInChild([&] { return Run(Basic()).status; }, 200000);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(ReadFile(dir / "site/Default.htm"), earlier);
}

// A photo that cannot be read is listed, escaped, and the rest of the gallery is made.
TEST_F(TessaryMake, ListsProblemsExitsThreeAndEscapesNamesPrinted) {
    WriteFile(dir / "photos/\x1b]0;PWNED\a\x1b[2J\xc2\x9b\xff\x7f.jpg", "not a photo");
    const auto result = Run(Basic({"--output-dir", dir / "site\r"}));
    EXPECT_EQ(result.status, 3);
    EXPECT_TRUE(fs::exists(dir.Path() / "site\r/Default.htm"));
    for (const std::string& part :
         {"1 problem came up"s, "\\x1B]0;PWNED\\x07\\x1B[2J\\xC2\\x9B\\xFF\\x7F.jpg"s,
          "Navigation page: " + dir / "site\\x0D/Default.htm"})
        EXPECT_NE(result.err.find(part), std::string::npos) << result.err;
    for (const char raw : {'\x1b', '\a', '\r', '\xff', '\x7f'})
        EXPECT_EQ(result.err.find(raw), std::string::npos) << int(raw);
}

} // namespace
