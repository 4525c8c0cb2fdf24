#include "OutputNames.h"

#include <unordered_set>

namespace vantrel {

std::string PlainThumbnailName(const std::string& photo) {
    return BaseName(photo) + "_tn.jpg";
}

std::string PlainPageName(const std::string& photo) {
    return BaseName(photo) + ".htm";
}

std::vector<PhotoNames> PlanNames(const std::vector<std::string>& photos,
                                  const std::string& navigationPage) {
    const std::unordered_set<std::string> photoNames(photos.begin(), photos.end());
    std::unordered_set<std::string> taken; // thumbnails and pages given out so far
    std::vector<PhotoNames> plan;
    plan.reserve(photos.size());
    for (const std::string& photo : photos) {
        PhotoNames names{PlainThumbnailName(photo), PlainPageName(photo), photo, {}};
        if (taken.contains(names.thumbnail) || taken.contains(names.page)) {
            const std::string base = BaseName(photo);
            const auto free = [&](const std::string& name) {
                return !taken.contains(name) && !photoNames.contains(name) &&
                       name != navigationPage && name != kOwnThumbnailsFile;
            };
            for (std::size_t n = 2;; ++n) {
                const std::string stem = base + "~" + std::to_string(n);
                if (free(stem + "_tn.jpg") && free(stem + ".htm")) {
                    names.thumbnail = stem + "_tn.jpg";
                    names.page = stem + ".htm";
                    break;
                }
            }
        } else if (photoNames.contains(names.thumbnail)) {
            names.thumbnailIsPhoto = names.thumbnail;
        }
        taken.insert(names.thumbnail);
        taken.insert(names.page);
        plan.push_back(std::move(names));
    }
    return plan;
}

std::string NavigationPageClash(const std::vector<std::string>& photos,
                                const std::string& outputFilename, bool photoPages) {
    const std::string quoted = "'" + outputFilename + "'";
    if (outputFilename == kOwnThumbnailsFile)
        return quoted + " is the gallery's own list of thumbnails";
    for (const std::string& photo : photos) {
        if (outputFilename == photo)
            return quoted + " is a photo of the gallery";
        if (outputFilename == PlainThumbnailName(photo))
            return quoted + " is the thumbnail name of the photo '" + photo + "'";
        if (photoPages && outputFilename == PlainPageName(photo))
            return quoted + " is the page name of the photo '" + photo + "'";
    }
    return "";
}

} // namespace vantrel
