#pragma once

// Module Common: what the wizard's pages share, the settings record and the way
// every failure of an operation is shown.

#include <cstdint>
#include <string>

class Dialogs;
class QWidget;

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

// Shows an error the way every failure of an operation is shown: the
// description as text, the source as caption, a critical icon and OK.
void ShowError(Dialogs& dialogs, QWidget* parent, const std::string& source,
               const std::string& description);
