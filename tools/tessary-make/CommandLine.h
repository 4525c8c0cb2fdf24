#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The sixteen gallery settings as the command line assembles them before they
// go into a Generator.
struct GallerySettings {
    std::string navHeaderFilePath;
    std::string navFooterFilePath;
    std::string imgHeaderFilePath;
    std::string imgFooterFilePath;
    std::string outputFilename = "Default.htm";
    std::string description;
    std::string photoDirectory;
    std::string outputDirectory;
    std::string targetFrameName = "Photos";
    std::int16_t numberOfRows = 5;
    std::int16_t numberOfCols = 5;
    std::int16_t maxWidth = 120;
    std::int16_t maxHeight = 0;
    bool useNavButtons = true;
    bool useFrames = false;
    bool createPageForEachPhoto = true;

    friend bool operator==(const GallerySettings&, const GallerySettings&) = default;
};

// What the user asked for. Unset options leave the template's (or the
// default) value in place.
struct CommandLine {
    enum class Action { Run, Help, Version };
    Action action = Action::Run;
    bool quiet = false;
    std::string templateFile;
    std::string saveTemplateFile;

    std::optional<std::string> navHeader, navFooter, photoHeader, photoFooter;
    std::optional<std::string> outputFile, photoDir, outputDir, targetFrame;
    std::optional<std::string> description, descriptionFile;
    std::optional<std::int16_t> rows, columns, thumbWidth, thumbHeight;
    std::optional<bool> frames, photoPages, buttons;
};

struct ParseResult {
    CommandLine commandLine;
    std::string error; // non-empty: a usage error, one line, for the user
};

ParseResult ParseCommandLine(std::span<const std::string> arguments);

// `base` with the command line's options applied. A thumbnail width clears the
// height and the other way round, so the option given is the one that decides.
GallerySettings ApplyOptions(const CommandLine& commandLine, GallerySettings base,
                             const std::string& descriptionText);

// The option a required setting comes from, or "" when all are present.
std::string MissingRequiredOption(const GallerySettings& settings);

std::string UsageText();
