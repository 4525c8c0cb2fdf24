#pragma once

#include "vantrel/Generator.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

using vantrel::GallerySettings;

// The settings a run starts from when no template gives them.
GallerySettings DefaultSettings();

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
    std::optional<std::int16_t> rows, columns, thumbWidth, thumbHeight, jobs;
    std::optional<bool> frames, photoPages, buttons, rebuild, fast;
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
