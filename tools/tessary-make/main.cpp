// tessary-make: makes a gallery from the command line through the same
// Generator the wizard uses.

#include "CommandLine.h"
#include "ProgressDisplay.h"

#include "vantrel/Generator.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitProblems = 3;

// A description is a paragraph or a page of HTML, never this much.
constexpr std::size_t kMaxDescriptionBytes = 1 << 20;

// Names come from the file system: control characters (C0, DEL, C1) and bytes that are
// not UTF-8 are shown as \xNN, so that a file name cannot drive the terminal.
std::string Printable(const std::string& text) {
    std::string shown;
    const auto escape = [&](unsigned char byte) {
        char code[8];
        std::snprintf(code, sizeof code, "\\x%02X", byte);
        shown += code;
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            if (byte < 0x20 || byte == 0x7F)
                escape(byte);
            else
                shown += text[i];
            ++i;
            continue;
        }
        // The length of a well-formed UTF-8 sequence starting here, or 0.
        const std::size_t length = byte >= 0xC2 && byte <= 0xDF   ? 2
                                   : byte >= 0xE0 && byte <= 0xEF ? 3
                                   : byte >= 0xF0 && byte <= 0xF4 ? 4
                                                                  : 0;
        bool wellFormed = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; wellFormed && k < length; ++k)
            wellFormed = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        const bool c1 =
            wellFormed && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (!wellFormed || c1) {
            escape(byte);
            ++i;
            continue;
        }
        shown.append(text, i, length);
        i += length;
    }
    return shown;
}

int Complain(int status, const std::string& message) {
    std::fprintf(stderr, "tessary-make: %s\n", Printable(message).c_str());
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

// Opened without blocking, so that a fifo named as an input cannot hang the check.
bool Readable(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status {};
    const bool regular = fd >= 0 && ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    if (fd >= 0)
        ::close(fd);
    return regular;
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
    if (s.outputFilename == "." || s.outputFilename == "..")
        return "--output-file takes a file name, not '" + s.outputFilename + "'";
    return "";
}

// Why the template cannot be saved where asked, found before any work is done.
std::string CheckSaveTemplate(const std::string& file) {
    std::error_code error;
    const fs::path path = fs::absolute(file, error);
    if (fs::is_directory(path, error))
        return "--save-template names a folder: '" + file + "'";
    const fs::path folder = path.parent_path();
    if (!fs::is_directory(folder, error))
        return "the folder of the template '" + file + "' does not exist";
    if (fs::exists(fs::symlink_status(path, error)) ? ::access(path.c_str(), W_OK) != 0
                                                    : ::access(folder.c_str(), W_OK) != 0)
        return "cannot write the template '" + file + "'";
    return "";
}

// Reads an input the way the engine reads its own: opened without blocking (a fifo
// would wait for a writer for ever), a regular file only, and no more than `maxBytes`.
// Returns why it cannot be read, or "".
std::string ReadInput(const std::string& path, std::size_t maxBytes, std::string& text) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    const struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat status {};
    std::string problem;
    if (::fstat(fd, &status) != 0)
        problem = std::strerror(errno);
    else if (!S_ISREG(status.st_mode))
        problem = "not a regular file";
    else if (static_cast<std::uint64_t>(status.st_size) > maxBytes)
        problem = "larger than " + std::to_string(maxBytes >> 20) + " MiB";
    char chunk[65536];
    while (problem.empty()) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            problem = std::strerror(errno);
        else if (got == 0)
            break;
        else if (text.size() + static_cast<std::size_t>(got) > maxBytes)
            problem = "larger than " + std::to_string(maxBytes >> 20) + " MiB";
        else
            text.append(chunk, static_cast<std::size_t>(got));
    }
    return problem;
}

bool NavigationPageIncomplete(const std::vector<GenerationProblem>& problems) {
    return std::any_of(problems.begin(), problems.end(), [](const GenerationProblem& problem) {
        return problem.step == GenerationProblem::Step::NavigationPage;
    });
}

} // namespace

// What a run did that the user should hear of before publishing the folder.
static void PrintSummary(const RunSummary& summary) {
    if (!summary.removed.empty()) {
        std::printf("Removed %zu earlier output%s no longer part of the gallery:",
                    summary.removed.size(), summary.removed.size() == 1 ? "" : "s");
        constexpr std::size_t kNamed = 8;
        for (std::size_t i = 0; i < summary.removed.size() && i < kNamed; ++i)
            std::printf(" %s", Printable(summary.removed[i]).c_str());
        std::printf("%s\n", summary.removed.size() > kNamed ? " ..." : "");
    }
    if (summary.withLocation > 0)
        std::printf("%zu of %zu published photo%s carry a GPS position "
                    "(--strip-location publishes copies without it)\n",
                    summary.withLocation, summary.published, summary.published == 1 ? "" : "s");
    if (summary.locationsRemoved > 0)
        std::printf("Location removed from %zu cop%s\n", summary.locationsRemoved,
                    summary.locationsRemoved == 1 ? "y" : "ies");
    if (summary.ownerOnly > 0)
        std::printf("%zu photo%s can be read only by %s owner, and so can %s copies: a web "
                    "server will not serve them\n",
                    summary.ownerOnly, summary.ownerOnly == 1 ? "" : "s",
                    summary.ownerOnly == 1 ? "its" : "their",
                    summary.ownerOnly == 1 ? "its" : "their");
}

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

    GallerySettings base = DefaultSettings();
    if (!line.templateFile.empty()) {
        if (!Readable(line.templateFile))
            return Complain(kExitUsage, "cannot read the template '" + line.templateFile + "'");
        try {
            Generator loader;
            loader.LoadTemplate(line.templateFile);
            base = loader.Settings();
        } catch (const GeneratorError& e) {
            return Complain(kExitFailed, "cannot load the template '" + line.templateFile +
                                             "': " + OneLine(e.Description()));
        }
    }
    std::string descriptionText;
    if (line.descriptionFile) {
        if (const std::string problem =
                ReadInput(*line.descriptionFile, kMaxDescriptionBytes, descriptionText);
            !problem.empty())
            return Complain(kExitUsage, "cannot read the description file '" +
                                            *line.descriptionFile + "': " + problem);
    }
    const GallerySettings settings = ApplyOptions(line, base, descriptionText);
    if (const std::string option = MissingRequiredOption(settings); !option.empty())
        return Complain(kExitUsage, "missing " + option +
                                        " (give it, or a --template that sets it; see --help)");
    if (const std::string problem = UnusableSetting(settings); !problem.empty())
        return Complain(kExitUsage, problem);
    if (const std::string problem = CheckInputs(settings); !problem.empty())
        return Complain(kExitUsage, problem);
    if (!line.saveTemplateFile.empty()) {
        if (const std::string problem = CheckSaveTemplate(line.saveTemplateFile); !problem.empty())
            return Complain(kExitUsage, problem);
    }

    Generator generator;
    generator.SetSettings(settings);
    std::vector<std::string> inputs;
    if (!line.templateFile.empty())
        inputs.push_back(line.templateFile);
    if (line.descriptionFile)
        inputs.push_back(*line.descriptionFile);
    generator.SetOtherInputs(std::move(inputs));
    if (const std::string clash = generator.NavigationPageClash(); !clash.empty())
        return Complain(kExitUsage, "--output-file cannot name the navigation page: " + clash);
    if (!line.saveTemplateFile.empty()) {
        std::error_code error;
        std::string replaced = line.descriptionFile && fs::equivalent(line.saveTemplateFile,
                                                                      *line.descriptionFile, error)
                                   ? "'" + line.saveTemplateFile + "' is the description file"
                                   : generator.RunWouldReplace(line.saveTemplateFile);
        if (!replaced.empty())
            return Complain(kExitUsage, "--save-template cannot name a file the run reads or "
                                        "writes: " +
                                            replaced);
    }
    const int photos = static_cast<int>(generator.Photos().size());
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
    if (!line.quiet)
        PrintSummary(generator.Summary());
    const auto& problems = generator.Problems();
    if (!problems.empty()) {
        const bool failed = NavigationPageIncomplete(problems);
        std::fprintf(stderr, "tessary-make: the gallery was %s%zu problem%s came up:\n",
                     failed ? "not made; " : "made, but ", problems.size(),
                     problems.size() == 1 ? "" : "s");
        for (const GenerationProblem& problem : problems) {
            const std::string text = problem.Text();
            const std::string head = text.substr(0, text.size() - problem.reason.size());
            std::fprintf(stderr, "  %s%s\n", Printable(head).c_str(),
                         Printable(OneLine(problem.reason)).c_str());
        }
        if (!failed)
            std::fprintf(stderr, "Navigation page: %s\n", Printable(page).c_str());
        return failed ? kExitFailed : kExitProblems;
    }
    if (!line.quiet)
        std::printf("Navigation page: %s\n", Printable(page).c_str());
    return kExitDone;
}
