#pragma once

#include <cstdint>
#include <string>

// Size and name of a thumbnail, apart from any picture.

namespace skimlet {

struct ThumbnailSize {
    int width;
    int height;
};

// The thumbnail of a photo shown as photoWidth x photoHeight (both at least 1)
// for the arguments maxWidth != maxHeight, the larger of which must be at least 1:
// the larger argument fixes its side, and the other side is the photo's other side
// scaled by the same ratio (product first, truncated). A side that comes out as 0
// becomes 1.
ThumbnailSize ComputeThumbnailSize(int photoWidth, int photoHeight, std::int16_t maxWidth,
                                   std::int16_t maxHeight);

// The thumbnail path of the photo at `filePath`: outputDirectory + "/" + the file
// name less the last four characters of the path + "_tn.jpg". An empty
// outputDirectory is first set to the photo's folder with its trailing "/" ("./"
// for a path that names no folder).
std::string ThumbnailPathFor(const std::string& filePath, std::string& outputDirectory);

// A 32-bit size as a 16-bit property: larger values read as the largest one.
std::int16_t ClampToInt16(std::int64_t value);

} // namespace skimlet
