#pragma once

#include "FileIo.h"
#include "OutputNames.h"

#include "vantrel/Generator.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vantrel {

// Progress values are 16-bit: a run covers at most this many files of the folder.
inline constexpr std::size_t kMaxListSlots = 32767;

// The photos of a folder in listing order. Every file of the folder takes a slot,
// photos first; only the photos are kept, the other slots would be empty.
struct PhotoList {
    std::vector<std::string> photos;
    // The names of each photo's outputs, once planned for the run.
    std::vector<PhotoNames> names;
    // The highest slot index: the number of files less one (TotalValue of Progress).
    std::int16_t highestIndex = -1;
};

// What a file of the photo folder is to the listing.
enum class FileRole {
    Candidate, // a photo when its name and content say so
    Own,       // one of the gallery's own outputs in its photo folder: no file of the list
};

// Lists `folder` sorted by name (ASCII case folded, then byte-wise). `role` tells the
// gallery's own files apart; a file named as a photo whose content does not begin as a
// JPEG is left out and reported, as are special files. A folder that cannot be listed
// gives false and `error`; a folder without photos is reported.
bool ListPhotos(const Folder& folder, std::vector<GenerationProblem>& problems,
                const std::function<FileRole(const std::string&)>& role, PhotoList& list,
                std::error_code& error);

// Whether the regular file open at `fd` begins as a JPEG (FF D8 FF).
bool BeginsAsJpeg(int fd);

// The width and height a JPEG's frame header declares, or {0, 0}.
struct PictureSize {
    int width = 0;
    int height = 0;
};
PictureSize JpegFrameSize(int fd);

} // namespace vantrel
