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

// What the user asked for. The gallery's settings come from the engine's list of
// settings, one option each; unset options leave the template's (or the default)
// value in place.
struct CommandLine {
    enum class Action { Run, Help, Version };
    Action action = Action::Run;
    bool quiet = false;
    std::string templateFile;
    std::string saveTemplateFile;

    GallerySettings values;                     // what the options say
    std::vector<const vantrel::Setting*> given; // which of `values` they said
    std::optional<std::string> descriptionFile;
    std::optional<std::int16_t> jobs;
    std::optional<bool> rebuild, fast;

    // Whether an option gave that field.
    bool Gives(const vantrel::Setting::Field& field) const;
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

// The option a required setting comes from, or "" when all are present. The
// navigation header and footer are required in the classic style only.
std::string MissingRequiredOption(const GallerySettings& settings);

// Why the settings can never make a gallery, wherever they came from (a number out of
// its range, no thumbnail size that decides), or "".
std::string UnusableSetting(const GallerySettings& settings);

std::string UsageText();
