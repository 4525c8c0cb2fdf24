#pragma once

// Module Common: the settings record shared by the pages and the engine, and
// the procedures the pages share.

#include <cstdint>
#include <string>

class Generator;
class QWidget;
class Wizard;

// One field per Generator property, in the order of the properties.
struct WizardSettings {
    std::string NavHeaderFilePath;
    std::string NavFooterFilePath;
    std::string ImgHeaderFilePath;
    std::string ImgFooterFilePath;
    std::string OutputFilename;
    std::string Description;
    std::string PhotoDirectory;
    std::string OutputDirectory;
    std::string TargetFrameName;
    std::int16_t NumberOfRows = 0;
    std::int16_t NumberOfCols = 0;
    std::int16_t MaxWidth = 0;
    std::int16_t MaxHeight = 0;
    bool UseNavButtons = false;
    bool UseFrames = false;
    bool CreatePageForEachPhoto = false;
};

// Asks whether to quit; true when the user answers No (the quit is cancelled).
bool CancelQuit(Wizard& wizard, QWidget* parent);

// Copies the settings into the generator (TargetFrameName always "Photos") and
// runs it. Errors pass to the caller unchanged.
void GenerateWithSettings(WizardSettings& settings, Generator& generator);

// Loads a template through the generator into the settings and the
// configuration page. Reports its own errors and always returns normally.
void LoadTemplateSettings(Wizard& wizard, Generator& generator, const std::string& path);

// Shows an error the way every failure of an operation is shown: the
// description as text, the source as caption, a critical icon and OK.
void ShowError(Wizard& wizard, QWidget* parent, const std::string& source,
               const std::string& description);
