#include "CommandLine.h"

#include <charconv>
#include <functional>
#include <map>

namespace {

using StringSlot = std::optional<std::string> CommandLine::*;
using NumberSlot = std::optional<std::int16_t> CommandLine::*;

struct NumberOption {
    NumberSlot slot;
    int maximum;
    const char* what;
};

const std::map<std::string, StringSlot, std::less<>> kStringOptions = {
    {"--photo-dir", &CommandLine::photoDir},
    {"--output-dir", &CommandLine::outputDir},
    {"--output-file", &CommandLine::outputFile},
    {"--nav-header", &CommandLine::navHeader},
    {"--nav-footer", &CommandLine::navFooter},
    {"--photo-header", &CommandLine::photoHeader},
    {"--photo-footer", &CommandLine::photoFooter},
    {"--description", &CommandLine::description},
    {"--description-file", &CommandLine::descriptionFile},
    {"--target-frame", &CommandLine::targetFrame},
};

const std::map<std::string, NumberOption, std::less<>> kNumberOptions = {
    {"--rows", {&CommandLine::rows, 32767, "number of rows"}},
    {"--columns", {&CommandLine::columns, 32767, "number of columns"}},
    {"--thumb-width", {&CommandLine::thumbWidth, 32767, "thumbnail width"}},
    {"--thumb-height", {&CommandLine::thumbHeight, 32767, "thumbnail height"}},
    {"--jobs", {&CommandLine::jobs, 1024, "number of jobs"}},
};

using FlagSlot = std::optional<bool> CommandLine::*;
const std::map<std::string, std::pair<FlagSlot, bool>, std::less<>> kFlagOptions = {
    {"--frames", {&CommandLine::frames, true}},
    {"--no-frames", {&CommandLine::frames, false}},
    {"--photo-pages", {&CommandLine::photoPages, true}},
    {"--no-photo-pages", {&CommandLine::photoPages, false}},
    {"--buttons", {&CommandLine::buttons, true}},
    {"--no-buttons", {&CommandLine::buttons, false}},
    {"--rebuild", {&CommandLine::rebuild, true}},
    {"--fast", {&CommandLine::fast, true}},
};

std::optional<std::int16_t> ParseNumber(const std::string& text, int maximum) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || last != end || value < 1 || value > maximum)
        return std::nullopt;
    return static_cast<std::int16_t>(value);
}

} // namespace

ParseResult ParseCommandLine(std::span<const std::string> arguments) {
    ParseResult result;
    CommandLine& line = result.commandLine;
    auto fail = [&](std::string message) {
        result.error = std::move(message) + " (see --help)";
        return result;
    };

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> inlineValue;
        if (const auto equals = name.find('=');
            name.starts_with("--") && equals != std::string::npos) {
            inlineValue = name.substr(equals + 1);
            name.resize(equals);
        }
        if (name == "-j")
            name = "--jobs";
        auto takeValue = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < arguments.size())
                return arguments[++i];
            return std::nullopt;
        };

        if (name == "-h" || name == "--help") {
            line.action = CommandLine::Action::Help;
        } else if (name == "--version") {
            line.action = CommandLine::Action::Version;
        } else if (name == "-q" || name == "--quiet") {
            line.quiet = true;
        } else if (name == "-t" || name == "--template" || name == "--save-template") {
            const auto value = takeValue();
            if (!value || value->empty())
                return fail("option " + name + " needs a file name");
            (name == "--save-template" ? line.saveTemplateFile : line.templateFile) = *value;
        } else if (const auto s = kStringOptions.find(name); s != kStringOptions.end()) {
            const auto value = takeValue();
            if (!value)
                return fail("option " + name + " needs a value");
            line.*(s->second) = *value;
        } else if (const auto n = kNumberOptions.find(name); n != kNumberOptions.end()) {
            const auto value = takeValue();
            if (!value)
                return fail("option " + name + " needs a number");
            const auto number = ParseNumber(*value, n->second.maximum);
            if (!number)
                return fail(std::string("the ") + n->second.what +
                            " must be a whole number from 1 to " +
                            std::to_string(n->second.maximum) + ", not '" + *value + "'");
            line.*(n->second.slot) = number;
        } else if (const auto f = kFlagOptions.find(name); f != kFlagOptions.end()) {
            if (inlineValue)
                return fail("option " + name + " takes no value");
            line.*(f->second.first) = f->second.second;
        } else if (name.starts_with("-")) {
            return fail("unknown option '" + name + "'");
        } else {
            return fail("unexpected argument '" + name + "'");
        }
    }

    if (line.thumbWidth && line.thumbHeight)
        return fail("give either --thumb-width or --thumb-height, not both");
    if (line.description && line.descriptionFile)
        return fail("give either --description or --description-file, not both");
    return result;
}

GallerySettings DefaultSettings() {
    GallerySettings settings;
    settings.outputFilename = "Default.htm";
    settings.numberOfRows = 5;
    settings.numberOfCols = 5;
    settings.maxWidth = 120;
    return settings;
}

GallerySettings ApplyOptions(const CommandLine& line, GallerySettings settings,
                             const std::string& descriptionText) {
    auto apply = [](std::string& field, const std::optional<std::string>& value) {
        if (value)
            field = *value;
    };
    apply(settings.navHeaderFilePath, line.navHeader);
    apply(settings.navFooterFilePath, line.navFooter);
    apply(settings.imgHeaderFilePath, line.photoHeader);
    apply(settings.imgFooterFilePath, line.photoFooter);
    apply(settings.outputFilename, line.outputFile);
    apply(settings.photoDirectory, line.photoDir);
    apply(settings.outputDirectory, line.outputDir);
    apply(settings.targetFrameName, line.targetFrame);
    if (line.description || line.descriptionFile)
        settings.description = descriptionText;
    if (line.rows)
        settings.numberOfRows = *line.rows;
    if (line.columns)
        settings.numberOfCols = *line.columns;
    if (line.thumbWidth) {
        settings.maxWidth = *line.thumbWidth;
        settings.maxHeight = 0;
    }
    if (line.thumbHeight) {
        settings.maxHeight = *line.thumbHeight;
        settings.maxWidth = 0;
    }
    if (line.frames)
        settings.useFrames = *line.frames;
    if (line.photoPages)
        settings.createPageForEachPhoto = *line.photoPages;
    if (line.buttons)
        settings.useNavButtons = *line.buttons;
    if (line.jobs)
        settings.jobs = *line.jobs;
    if (line.rebuild)
        settings.rebuild = *line.rebuild;
    if (line.fast)
        settings.fastThumbnails = *line.fast;
    return settings;
}

std::string MissingRequiredOption(const GallerySettings& s) {
    if (s.photoDirectory.empty())
        return "--photo-dir";
    if (s.outputDirectory.empty())
        return "--output-dir";
    if (s.navHeaderFilePath.empty())
        return "--nav-header";
    if (s.navFooterFilePath.empty())
        return "--nav-footer";
    if (s.outputFilename.empty())
        return "--output-file";
    return "";
}

std::string UsageText() {
    return R"(Usage: tessary-make [OPTIONS]
Makes a photo gallery web site from a folder of JPEG photos: a navigation page
with a table of thumbnails between your header and footer, a copy and a
thumbnail of every photo, and one page per photo.

Settings (options override a template's values):
  -t, --template FILE        start from the settings saved in a template file
      --photo-dir DIR        folder holding the photos (*.jpg, *.JPG)      required
      --output-dir DIR       folder that receives the gallery; created if its
                             parent exists                                 required
      --output-file NAME     file name of the navigation page   [Default.htm]
      --nav-header FILE      HTML put before the thumbnail table           required
      --nav-footer FILE      HTML put after the thumbnail table            required
      --photo-header FILE    HTML before each photo    [the navigation header]
      --photo-footer FILE    HTML after each photo     [the navigation footer]
      --rows N               rows of the thumbnail table            [5]
      --columns N            columns of the thumbnail table         [5]
      --thumb-width PX       thumbnail width; the height follows the photo [120]
      --thumb-height PX      thumbnail height; the width follows the photo
      --description HTML     text shown above the table (or on photo pages with --frames)
      --description-file FILE   the same, read from a file
      --frames               links open in the frame named by --target-frame
      --target-frame NAME    [Photos]
      --no-photo-pages       link the thumbnails to the photos themselves
      --no-buttons           no previous/home/next buttons on photo pages
      (--no-frames, --photo-pages and --buttons undo those)

Other options:
  -j, --jobs N               photos worked on at once       [one per core]
      --rebuild              make every output anew; by default a rerun keeps
                             the thumbnails and copies that would not change
      --fast                 quicker thumbnails decoded at a reduced scale;
                             close to the exact ones, not the same bytes
      --save-template FILE   save the settings used to a template file
  -q, --quiet                no progress display
  -h, --help                 this text
      --version              the program's version

Exit status: 0 done; 1 the gallery (or its navigation page) could not be made;
2 wrong usage, checked before anything is written;
3 made, but some photos lack a thumbnail, copy or page (they are listed).

Example:
  tessary-make --photo-dir ~/photos/trip --output-dir ~/site/trip \
      --nav-header header.htm --nav-footer footer.htm --rows 4 --columns 6
)";
}
