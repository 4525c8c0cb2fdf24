#include "PhotoList.h"

#include <algorithm>
#include <filesystem>

namespace vantrel {

namespace fs = std::filesystem;

namespace {

unsigned char FoldCase(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// The order a file manager shows: letters compared without case, ties byte-wise.
bool ListingOrder(const std::string& a, const std::string& b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned char x = FoldCase(static_cast<unsigned char>(a[i]));
        const unsigned char y = FoldCase(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

} // namespace

bool IsPhotoName(std::string_view name) {
    if (name.size() < 4)
        return false;
    const std::string_view suffix = name.substr(name.size() - 3);
    return suffix == "jpg" || suffix == "JPG";
}

PhotoList ListPhotos(const std::string& folder, std::vector<GenerationProblem>& problems,
                     const std::unordered_set<std::string>& ownOutputs) {
    using Step = GenerationProblem::Step;
    PhotoList list;
    std::vector<std::string> files;
    std::vector<std::string> photos;
    std::vector<std::string> specialFiles; // fifos, sockets, dangling links

    std::error_code error;
    fs::directory_iterator entries(fs::path(folder), error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        std::error_code typeError;
        if (entries->is_directory(typeError))
            continue;
        std::string name = entries->path().filename().string();
        if (ownOutputs.contains(name))
            continue;
        files.push_back(std::move(name));
        // Reading a fifo would wait forever: only regular files are photos.
        if (!entries->is_regular_file(typeError))
            specialFiles.push_back(files.back());
    }
    if (error) {
        problems.push_back({Step::ListPhotos, folder, "cannot be listed: " + error.message()});
        return list;
    }

    std::sort(files.begin(), files.end(), ListingOrder);
    std::sort(specialFiles.begin(), specialFiles.end());
    for (std::string& name : files) {
        const bool special = std::binary_search(specialFiles.begin(), specialFiles.end(), name);
        if (special && IsPhotoName(name)) {
            problems.push_back(
                {Step::ListPhotos, folder + "/" + name, "not a regular file; left out"});
        } else if (IsPhotoName(name)) {
            photos.push_back(std::move(name));
        } else if (name == "jpg" || name == "JPG") {
            problems.push_back({Step::ListPhotos, folder + "/" + name,
                                "the name is too short to name a page and a thumbnail; left out"});
        }
    }

    if (photos.size() > kMaxListSlots) {
        problems.push_back({Step::ListPhotos, folder,
                            std::to_string(photos.size() - kMaxListSlots) +
                                " photos after the first " + std::to_string(kMaxListSlots) +
                                " were left out, from " + photos[kMaxListSlots] + " on"});
        photos.resize(kMaxListSlots);
    }
    list.photos = std::move(photos);
    const std::size_t slots = std::min(files.size(), kMaxListSlots);
    list.highestIndex = static_cast<std::int16_t>(static_cast<int>(slots) - 1);
    return list;
}

} // namespace vantrel
