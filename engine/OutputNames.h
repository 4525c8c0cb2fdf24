#pragma once

#include <string>
#include <vector>

// What each photo's outputs are called in the output folder.
namespace vantrel {

// The names of one photo's outputs. Its copy always keeps the photo's own name.
struct PhotoNames {
    std::string thumbnail; // "beach_tn.jpg"; "beach~2_tn.jpg" when an earlier photo has the name
    std::string page;      // "beach.htm"; "beach~2.htm" likewise
    // The listed photo whose name the thumbnail would take; that thumbnail is not written.
    std::string thumbnailIsPhoto;
};

// The thumbnail and page names a photo has without any clash: its name less the last
// four characters, then "_tn.jpg" or ".htm".
std::string PlainThumbnailName(const std::string& photo);
std::string PlainPageName(const std::string& photo);

// Names for `photos` in list order. A photo whose plain names an earlier photo already
// took gets the first free "~2", "~3"... names, never the navigation page's name nor a
// photo's; every other photo keeps its plain names.
std::vector<PhotoNames> PlanNames(const std::vector<std::string>& photos,
                                  const std::string& navigationPage);

// Why `outputFilename` cannot be the navigation page beside the outputs of `photos`
// (a photo, or a thumbnail, page or copy name of one), or "" when it can.
std::string NavigationPageClash(const std::vector<std::string>& photos,
                                const std::string& outputFilename, bool photoPages);

// In a gallery made inside its own photo folder, this hidden file lists (NUL apart) the
// thumbnails the gallery wrote there, so that a later run does not take them for photos.
inline constexpr const char* kOwnThumbnailsFile = ".tessary-thumbnails";

} // namespace vantrel
