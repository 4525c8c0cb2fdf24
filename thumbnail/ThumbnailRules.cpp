#include "ThumbnailRules.h"

#include <algorithm>
#include <limits>

namespace skimlet {

namespace {

// The product in 64 bits gives the 32-bit result wherever that does not overflow,
// and a sane one where it would (pictures taller than 65535 lines).
int ScaledSide(int side, int newSide, int oldSide) {
    const std::int64_t scaled = std::int64_t{side} * newSide / oldSide;
    return static_cast<int>(std::clamp<std::int64_t>(scaled, 1, std::numeric_limits<int>::max()));
}

} // namespace

ThumbnailSize ComputeThumbnailSize(int photoWidth, int photoHeight, std::int16_t maxWidth,
                                   std::int16_t maxHeight) {
    if (maxWidth > maxHeight)
        return {maxWidth, ScaledSide(photoHeight, maxWidth, photoWidth)};
    return {ScaledSide(photoWidth, maxHeight, photoHeight), maxHeight};
}

std::string ThumbnailPathFor(const std::string& filePath, std::string& outputDirectory) {
    const auto slash = filePath.rfind('/');
    // A bare file name lives in the current folder; taking its first character as
    // the folder would write somewhere the caller never named.
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (outputDirectory.empty())
        outputDirectory =
            slash == std::string::npos ? std::string("./") : filePath.substr(0, nameStart);
    const std::size_t nameEnd = filePath.size() >= 4 ? filePath.size() - 4 : 0;
    const std::string base =
        nameEnd > nameStart ? filePath.substr(nameStart, nameEnd - nameStart) : std::string();
    return outputDirectory + "/" + base + "_tn.jpg";
}

std::int16_t ClampToInt16(std::int64_t value) {
    return static_cast<std::int16_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()));
}

} // namespace skimlet
