// tessary-make: makes a gallery from the command line through the same
// Generator the wizard uses.

#include "CommandLine.h"
#include "ProgressDisplay.h"

#include "vantrel/Generator.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitProblems = 3;

int Complain(int status, const std::string& message) {
    std::fprintf(stderr, "tessary-make: %s\n", message.c_str());
    return status;
}

// Engine descriptions may span lines (CR LF); a terminal message is one line.
std::string OneLine(std::string text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            while (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n'))
                ++i;
            if (i + 1 < text.size())
                result += "; ";
        } else {
            result += text[i];
        }
    }
    return result;
}

GallerySettings SettingsOf(const Generator& g) {
    GallerySettings s;
    s.navHeaderFilePath = g.NavHeaderFilePath();
    s.navFooterFilePath = g.NavFooterFilePath();
    s.imgHeaderFilePath = g.ImgHeaderFilePath();
    s.imgFooterFilePath = g.ImgFooterFilePath();
    s.outputFilename = g.OutputFilename();
    s.description = g.Description();
    s.photoDirectory = g.PhotoDirectory();
    s.outputDirectory = g.OutputDirectory();
    s.targetFrameName = g.TargetFrameName();
    s.numberOfRows = g.NumberOfRows();
    s.numberOfCols = g.NumberOfCols();
    s.maxWidth = g.MaxWidth();
    s.maxHeight = g.MaxHeight();
    s.useNavButtons = g.UseNavButtons();
    s.useFrames = g.UseFrames();
    s.createPageForEachPhoto = g.CreatePageForEachPhoto();
    return s;
}

void Assign(const GallerySettings& s, Generator& g) {
    g.SetNavHeaderFilePath(s.navHeaderFilePath);
    g.SetNavFooterFilePath(s.navFooterFilePath);
    g.SetImgHeaderFilePath(s.imgHeaderFilePath);
    g.SetImgFooterFilePath(s.imgFooterFilePath);
    g.SetOutputFilename(s.outputFilename);
    g.SetDescription(s.description);
    g.SetPhotoDirectory(s.photoDirectory);
    g.SetOutputDirectory(s.outputDirectory);
    g.SetTargetFrameName(s.targetFrameName);
    g.SetNumberOfRows(s.numberOfRows);
    g.SetNumberOfCols(s.numberOfCols);
    g.SetMaxWidth(s.maxWidth);
    g.SetMaxHeight(s.maxHeight);
    g.SetUseNavButtons(s.useNavButtons);
    g.SetUseFrames(s.useFrames);
    g.SetCreatePageForEachPhoto(s.createPageForEachPhoto);
}

bool Readable(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && std::ifstream(path).good();
}

// Photos as the engine picks them: files whose names end in "jpg" or "JPG".
int CountPhotos(const std::string& folder) {
    int count = 0;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() >= 4 && it->is_regular_file(error) &&
            (name.ends_with("jpg") || name.ends_with("JPG")))
            ++count;
    }
    return count;
}

// A usage problem with the settings that the engine would only pass over.
std::string CheckInputs(const GallerySettings& s) {
    std::error_code error;
    if (!fs::is_directory(s.photoDirectory, error))
        return "the photo folder '" + s.photoDirectory + "' does not exist or is not a folder";
    const std::pair<const std::string*, const char*> fragments[] = {
        {&s.navHeaderFilePath, "navigation header"},
        {&s.navFooterFilePath, "navigation footer"},
        {&s.imgHeaderFilePath, "photo header"},
        {&s.imgFooterFilePath, "photo footer"}};
    for (const auto& [path, what] : fragments)
        if (!path->empty() && !Readable(*path))
            return std::string("cannot read the ") + what + " file '" + *path + "'";
    if (fs::exists(s.outputDirectory, error) && !fs::is_directory(s.outputDirectory, error))
        return "the output folder '" + s.outputDirectory + "' is a file, not a folder";
    if (s.outputFilename.find('/') != std::string::npos)
        return "--output-file takes a file name, not a path: '" + s.outputFilename + "'";
    return "";
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ParseResult parsed = ParseCommandLine(arguments);
    if (!parsed.error.empty())
        return Complain(kExitUsage, parsed.error);
    const CommandLine& line = parsed.commandLine;
    if (line.action == CommandLine::Action::Help) {
        std::fputs(UsageText().c_str(), stdout);
        return kExitDone;
    }
    if (line.action == CommandLine::Action::Version) {
        std::printf("tessary-make %s\n", TESSARY_VERSION);
        return kExitDone;
    }

    GallerySettings base;
    if (!line.templateFile.empty()) {
        try {
            Generator loader;
            loader.LoadTemplate(line.templateFile);
            base = SettingsOf(loader);
        } catch (const GeneratorError& e) {
            return Complain(kExitFailed, "cannot load the template '" + line.templateFile +
                                             "': " + OneLine(e.Description()));
        }
    }
    std::string descriptionText = line.description.value_or("");
    if (line.descriptionFile) {
        std::ifstream in(*line.descriptionFile, std::ios::binary);
        std::ostringstream content;
        if (!(in && content << in.rdbuf()))
            return Complain(kExitUsage,
                            "cannot read the description file '" + *line.descriptionFile + "'");
        descriptionText = content.str();
    }
    const GallerySettings settings = ApplyOptions(line, base, descriptionText);
    if (const std::string option = MissingRequiredOption(settings); !option.empty())
        return Complain(kExitUsage, "missing " + option +
                                        " (give it, or a --template that sets it; see --help)");
    if (const std::string problem = CheckInputs(settings); !problem.empty())
        return Complain(kExitUsage, problem);
    if (!line.saveTemplateFile.empty()) {
        std::error_code error;
        const fs::path folder = fs::absolute(line.saveTemplateFile).parent_path();
        if (!fs::is_directory(folder, error))
            return Complain(kExitUsage, "the folder of the template '" + line.saveTemplateFile +
                                            "' does not exist");
    }

    Generator generator;
    Assign(settings, generator);
    const int photos = CountPhotos(settings.photoDirectory);
    const int cells = std::min(photos, std::max(0, int{settings.numberOfRows}) *
                                           std::max(0, int{settings.numberOfCols}));
    ProgressDisplay display(stderr, isatty(fileno(stderr)) != 0, photos, cells);
    if (!line.quiet)
        generator.SetProgressHandler(
            [&](GenEventTypeEnum type, const std::int16_t&, const std::int16_t& current) {
                display.Update(type, current);
            });
    try {
        generator.GenerateGallery();
    } catch (const GeneratorError& e) {
        display.Finish();
        return Complain(kExitFailed, e.Source() + ": " + OneLine(e.Description()));
    }
    display.Finish();

    if (!line.saveTemplateFile.empty()) {
        try {
            generator.SaveTemplate(line.saveTemplateFile);
        } catch (const GeneratorError& e) {
            return Complain(kExitFailed, "cannot save the template '" + line.saveTemplateFile +
                                             "': " + OneLine(e.Description()));
        }
    }

    const std::string page = (fs::absolute(settings.outputDirectory) / settings.outputFilename)
                                 .lexically_normal()
                                 .string();
    const auto& problems = generator.Problems();
    if (!problems.empty()) {
        std::fprintf(stderr, "tessary-make: the gallery was made, but %zu problem%s came up:\n",
                     problems.size(), problems.size() == 1 ? "" : "s");
        for (const GenerationProblem& problem : problems)
            std::fprintf(stderr, "  %s\n", OneLine(problem.Text()).c_str());
        std::fprintf(stderr, "Navigation page: %s\n", page.c_str());
        return kExitProblems;
    }
    if (!line.quiet)
        std::printf("Navigation page: %s\n", page.c_str());
    return kExitDone;
}
