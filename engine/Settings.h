#pragma once

#include <cstdint>
#include <string>

namespace vantrel {

// The sixteen settings of a gallery, with a new Generator's defaults.
struct GallerySettings {
    std::string navHeaderFilePath;
    std::string navFooterFilePath;
    std::string imgHeaderFilePath;
    std::string imgFooterFilePath;
    std::string outputFilename;
    std::string description;
    std::string photoDirectory;
    std::string outputDirectory;
    std::string targetFrameName = "Photos";
    std::int16_t numberOfRows = 0;
    std::int16_t numberOfCols = 0;
    std::int16_t maxWidth = 0;
    std::int16_t maxHeight = 0;
    bool useNavButtons = true;
    bool useFrames = false;
    bool createPageForEachPhoto = true;
};

} // namespace vantrel
