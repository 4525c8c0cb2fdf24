#pragma once

#include "vantrel/Generator.h"

#include <string>
#include <vector>

// What each photo's outputs are called in the output folder.
namespace vantrel {

// The name less its last four characters: "beach.jpg" gives "beach".
inline std::string BaseName(const std::string& photo) {
    return photo.substr(0, photo.size() - 4);
}

// The thumbnail and page names a photo has without any clash: its name less the last
// four characters, then "_tn.jpg" or ".htm".
std::string PlainThumbnailName(const std::string& photo);
std::string PlainPageName(const std::string& photo);

// `name` with ASCII letters in lower case, for a folder that takes "A" and "a" for one.
std::string FoldedName(const std::string& name);

// Why `outputFilename` cannot be the navigation page beside the outputs of `photos`
// (a photo, or a thumbnail, page or copy name of one), or "" when it can.
std::string NavigationPageClash(const std::vector<std::string>& photos,
                                const std::string& outputFilename, bool photoPages,
                                bool foldCase = false);

// The record of what a gallery's runs made, a hidden file of the output folder; in a
// gallery made inside its photo folder it also tells the gallery's own files from photos.
inline constexpr const char* kOwnThumbnailsFile = ".tessary-thumbnails";

} // namespace vantrel
