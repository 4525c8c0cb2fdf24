#include "OutputNames.h"

#include <unordered_set>

namespace vantrel {

namespace {

// How each output's name follows from a stem; the copy keeps the photo's extension.
struct Pattern {
    std::string PhotoNames::*single = nullptr;
    std::size_t display = 0;
    std::string suffix;
};

std::vector<Pattern> Patterns(const NamingRules& rules, const std::string& photo) {
    std::vector<Pattern> patterns{{&PhotoNames::thumbnail, 0, "_tn.jpg"}};
    if (rules.photoPages)
        patterns.push_back({&PhotoNames::page, 0, ".htm"});
    if (rules.modern) {
        patterns.push_back({&PhotoNames::twin, 0, "_tn2x.jpg"});
        for (std::size_t k = 0; k < std::size(kDisplaySides); ++k)
            patterns.push_back({nullptr, k, "_" + std::to_string(kDisplaySides[k]) + ".jpg"});
    }
    if (!rules.copiesArePhotos)
        patterns.push_back({&PhotoNames::copy, 0, photo.substr(photo.size() - 4)});
    return patterns;
}

std::string& Slot(PhotoNames& names, const Pattern& pattern) {
    return pattern.single ? names.*pattern.single : names.display[pattern.display];
}

} // namespace

std::string PlainThumbnailName(const std::string& photo) {
    return BaseName(photo) + "_tn.jpg";
}

std::string PlainPageName(const std::string& photo) {
    return BaseName(photo) + ".htm";
}

std::string FoldedName(const std::string& name) {
    std::string folded = name;
    for (char& c : folded)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return folded;
}

std::vector<PhotoNames> PlanNames(const std::vector<std::string>& photos,
                                  const NamingRules& rules) {
    const auto key = [&](const std::string& name) {
        return rules.foldCase ? FoldedName(name) : name;
    };
    std::unordered_set<std::string> photoKeys;
    std::unordered_set<std::string> reserved; // no "~N" name may take these
    std::unordered_set<std::string> used;     // given out so far
    for (const std::string& photo : photos) {
        photoKeys.insert(key(photo));
        reserved.insert(key(photo));
        for (const Pattern& pattern : Patterns(rules, photo))
            if (pattern.single != &PhotoNames::copy)
                reserved.insert(key(BaseName(photo) + pattern.suffix));
    }
    for (const std::string& name : rules.galleryFiles) {
        used.insert(key(name));
        reserved.insert(key(name));
    }

    std::vector<PhotoNames> plan;
    plan.reserve(photos.size());
    for (const std::string& photo : photos) {
        const std::vector<Pattern> patterns = Patterns(rules, photo);
        // Free of other photos and of the gallery; a copy may be its own photo's name.
        const auto clear = [&](const std::string& name, const Pattern& pattern, bool plain) {
            const bool ownName = pattern.single == &PhotoNames::copy && name == photo;
            return !used.contains(key(name)) && (ownName || !photoKeys.contains(key(name))) &&
                   (plain || !reserved.contains(key(name)));
        };
        // One stem for all the photo's outputs, so that photos whose names coincide get
        // names that go together. The copy keeps the photo's name where it can.
        const auto isCopy = [](const Pattern& pattern) {
            return pattern.single == &PhotoNames::copy;
        };
        std::string stem = BaseName(photo);
        for (std::size_t n = 2;; ++n) {
            bool all = true;
            for (const Pattern& pattern : patterns)
                all = all && (isCopy(pattern) || clear(stem + pattern.suffix, pattern, n == 2));
            if (all)
                break;
            stem = BaseName(photo) + "~" + std::to_string(n);
        }
        PhotoNames names;
        names.display.resize(rules.modern ? std::size(kDisplaySides) : 0);
        names.copy = photo;
        for (const Pattern& pattern : patterns) {
            std::string name = isCopy(pattern) ? photo : stem + pattern.suffix;
            // A file of the user's (or, for a copy, another copy) moves this output alone
            // to a name of its own.
            const auto available = [&](const std::string& candidate, bool plain) {
                return !(rules.taken && rules.taken(candidate)) && clear(candidate, pattern, plain);
            };
            if (!available(name, name == photo || !isCopy(pattern))) {
                // A moved copy first follows its photo's other outputs to the stem.
                name = stem + pattern.suffix;
                for (std::size_t k = 2; name == photo || !available(name, false);)
                    name = stem + "~" + std::to_string(k++) + pattern.suffix;
            }
            Slot(names, pattern) = name;
            used.insert(key(name));
        }
        if (rules.copiesArePhotos)
            used.insert(key(photo));
        plan.push_back(std::move(names));
    }
    return plan;
}

std::string NavigationPageClash(const std::vector<std::string>& photos,
                                const std::string& outputFilename, bool photoPages, bool foldCase) {
    const auto key = [&](const std::string& name) { return foldCase ? FoldedName(name) : name; };
    const std::string page = key(outputFilename);
    const std::string quoted = "'" + outputFilename + "'";
    if (page == key(kOwnThumbnailsFile))
        return quoted + " is the gallery's own record";
    for (const std::string& photo : photos) {
        if (page == key(photo))
            return quoted + " is a photo of the gallery";
        if (page == key(PlainThumbnailName(photo)))
            return quoted + " is the thumbnail name of the photo '" + photo + "'";
        if (photoPages && page == key(PlainPageName(photo)))
            return quoted + " is the page name of the photo '" + photo + "'";
    }
    return "";
}

} // namespace vantrel
