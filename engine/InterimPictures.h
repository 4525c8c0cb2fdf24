#pragma once

// Until the thumbnail library's own call lands: the same contract over JPEGImage.
#include <cstdint>
#include <string>
#include <vector>

namespace skimlet {

struct PictureRequest {
    std::string name;
    std::int16_t maxWidth = 0, maxHeight = 0;
    int longSide = 0;
    int scale = 1;
    int quality = 0;
};
struct PhotoJob {
    int photo = -1;
    std::string photoPath;
    int outputFolder = -1;
    unsigned mode = 0644;
    bool fast = false;
    std::vector<PictureRequest> pictures;
};
struct PictureMade {
    std::string name;
    std::string temporaryName;
    int width = 0, height = 0;
};
struct PhotoResult {
    enum class Outcome { Made, NotMadeByRule, Failed };
    Outcome outcome = Outcome::Failed;
    int photoWidth = 0, photoHeight = 0;
    std::vector<PictureMade> pictures;
    std::string warning;
    std::string error;
};
PhotoResult MakePictures(const PhotoJob& job);

} // namespace skimlet
