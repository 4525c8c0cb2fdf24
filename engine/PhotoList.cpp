#include "PhotoList.h"

#include <algorithm>
#include <unistd.h>

namespace vantrel {

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

bool ReadAt(int fd, std::uint64_t offset, unsigned char* bytes, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = ::pread(fd, bytes + got, count - got, static_cast<off_t>(offset + got));
        if (n <= 0)
            return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool IsPhotoName(std::string_view name) {
    if (name.size() < 4)
        return false;
    const std::string_view suffix = name.substr(name.size() - 3);
    return suffix == "jpg" || suffix == "JPG";
}

bool BeginsAsJpeg(int fd) {
    unsigned char start[3];
    return ReadAt(fd, 0, start, 3) && start[0] == 0xFF && start[1] == 0xD8 && start[2] == 0xFF;
}

PictureSize JpegFrameSize(int fd) {
    // Marker segments up to the frame header; a megabyte of them is more than any photo has.
    constexpr std::uint64_t kMaxScan = 1 << 20;
    std::uint64_t at = 2;
    unsigned char marker[4];
    while (at < kMaxScan && ReadAt(fd, at, marker, 4) && marker[0] == 0xFF) {
        const int type = marker[1];
        const std::uint64_t length = (marker[2] << 8) | marker[3];
        const bool frame =
            type >= 0xC0 && type <= 0xCF && type != 0xC4 && type != 0xC8 && type != 0xCC;
        if (frame) {
            unsigned char header[5];
            if (!ReadAt(fd, at + 4, header, 5))
                break;
            return {(header[3] << 8) | header[4], (header[1] << 8) | header[2]};
        }
        if (type == 0xD9 || type == 0xDA || length < 2)
            break;
        at += 2 + length;
    }
    return {};
}

bool ListPhotos(const Folder& folder, std::vector<GenerationProblem>& problems,
                const std::function<FileRole(const std::string&)>& role, PhotoList& list,
                std::error_code& error) {
    using Step = GenerationProblem::Step;
    list = PhotoList{};
    std::vector<FolderEntry> entries;
    if (!folder.List(entries, error))
        return false;
    std::vector<std::string> files;
    std::vector<std::string> photos;
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
        return ListingOrder(a.name, b.name);
    });
    for (FolderEntry& entry : entries) {
        if (entry.isFolder || role(entry.name) == FileRole::Own)
            continue;
        files.push_back(entry.name);
        if (!IsPhotoName(entry.name)) {
            if (entry.name == "jpg" || entry.name == "JPG")
                problems.push_back(
                    {Step::ListPhotos, folder.PathOf(entry.name),
                     "the name is too short to name a page and a thumbnail; left out"});
            continue;
        }
        // Reading a fifo would wait forever, and what is not a JPEG is not published:
        // a link to a private file or to the system's own data is no photo.
        struct stat status {};
        std::error_code openError;
        const int fd = folder.OpenInput(entry.name, status, openError);
        if (fd < 0) {
            problems.push_back({Step::ListPhotos, folder.PathOf(entry.name),
                                (openError == MakeErrorCode(FileError::NotRegular)
                                     ? std::string("not a regular file")
                                     : "cannot be read: " + openError.message()) +
                                    "; left out"});
            continue;
        }
        const bool jpeg = BeginsAsJpeg(fd);
        ::close(fd);
        if (!jpeg) {
            problems.push_back(
                {Step::ListPhotos, folder.PathOf(entry.name), "not a JPEG photo; left out"});
            continue;
        }
        photos.push_back(std::move(entry.name));
    }
    if (photos.empty())
        problems.push_back({Step::ListPhotos, folder.Path(),
                            "no photos in it (files ending in jpg or JPG that are JPEGs)"});
    if (photos.size() > kMaxListSlots) {
        problems.push_back({Step::ListPhotos, folder.Path(),
                            std::to_string(photos.size() - kMaxListSlots) +
                                " photos after the first " + std::to_string(kMaxListSlots) +
                                " were left out, from " + photos[kMaxListSlots] + " on"});
        photos.resize(kMaxListSlots);
    }
    list.photos = std::move(photos);
    const std::size_t slots = std::min(files.size(), kMaxListSlots);
    list.highestIndex = static_cast<std::int16_t>(static_cast<int>(slots) - 1);
    return true;
}

} // namespace vantrel
