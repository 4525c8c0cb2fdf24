#pragma once

#include "skimlet/Export.h"

#include <cstdint>
#include <string>
#include <vector>

// Every picture of one photo from a single streamed decode, with the results
// as values: no error information, no HRESULT.
//
//     skimlet::PhotoJob job;
//     job.photo = photoFd;                 // open, regular, read with pread
//     job.photoPath = "/photos/beach.jpg"; // for messages only
//     job.outputFolder = folderFd;
//     job.pictures = {{.name = "beach_tn.jpg", .maxWidth = 120},
//                     {.name = "beach_tn2x.jpg", .maxWidth = 120, .scale = 2},
//                     {.name = "beach_1280.jpg", .longSide = 1280,
//                      .quality = skimlet::kDisplayCopyQuality}};
//     skimlet::PhotoResult made = skimlet::MakePictures(job);
//     // Made: rename each made.pictures[i].temporaryName to .name, or remove it.

namespace skimlet {

// A JPEG quality for display copies: a 1280-pixel copy of a 12-24 megapixel
// photo stays well under 400 KB and sharp.
inline constexpr int kDisplayCopyQuality = 80;

// One picture to make of the photo. Exactly one way decides its size:
// maxWidth/maxHeight (longSide 0), or longSide (maxWidth and maxHeight 0).
struct PictureRequest {
    // Its file name in the output folder: no "/", not "." or "..".
    std::string name;
    // The thumbnail rule of JPEGImage::GenerateThumbnail: the larger argument
    // fixes that side, the photo's aspect ratio gives the other. Equal
    // arguments make nothing (see PhotoResult::Outcome::NotMadeByRule, which
    // only the first picture may give); a larger argument below 1 is refused.
    std::int16_t maxWidth = 0;
    std::int16_t maxHeight = 0;
    // A display copy: the longer side in pixels, the other in proportion
    // (rounded, at least 1), never larger than the photo itself.
    int longSide = 0;
    // 2 with maxWidth/maxHeight: the same picture at twice its size each way
    // (a 2x twin), made from a display copy at least twice its size where
    // one is requested, otherwise from the photo's rows. 1 otherwise.
    int scale = 1;
    // 0: the encoder's defaults as thumbnails have them (libjpeg's quality 75,
    // standard tables). 1 to 100: that quality, standard Huffman tables and
    // libjpeg's integer DCT. Two requests of the same size and quality (the
    // display copies of a small photo) get the same bytes, encoded once.
    int quality = 0;
};

struct PhotoJob {
    // An open descriptor of a regular file, read from offset 0 with pread
    // (its offset does not move); not closed.
    int photo = -1;
    // How messages name the photo.
    std::string photoPath;
    // An open descriptor of the output folder: every file is created relative
    // to it, none by path.
    int outputFolder = -1;
    // Permission bits (0777 at most) of the files made; the umask applies.
    unsigned mode = 0644;
    // A JPEG photo decoded at a reduced scale, the smallest that still gives
    // every requested picture at least twice its size each way: faster, as
    // sharp, other bytes. With the thumbnail alone, the bytes of JPEGImage's
    // fast thumbnails.
    bool fast = false;
    // The first is the thumbnail.
    std::vector<PictureRequest> pictures;
};

struct PictureMade {
    std::string name;          // as requested
    std::string temporaryName; // the file that holds it, in the output folder
    int width = 0;
    int height = 0;
};

struct PhotoResult {
    enum class Outcome {
        Made,          // every picture is in its temporary file
        NotMadeByRule, // the thumbnail's maxima are equal: nothing written, no error
        Failed,        // nothing left behind; `error` says why
    };
    Outcome outcome = Outcome::Failed;
    // The photo as a viewer shows it (Exif orientation applied); 0 when its
    // header could not be read.
    int photoWidth = 0;
    int photoHeight = 0;
    // One per request, in order, when Made.
    std::vector<PictureMade> pictures;
    // Damage the decoder passed over, "Decoder warning: ..."; "" when clean
    // (or not known, when the decode failed).
    std::string warning;
    // Why nothing was made: "Decoder error: ..." for the photo, "Writing NAME
    // failed: ..." for an output, or what was wrong with the job.
    std::string error;
};

// Makes every requested picture of the photo from one decode of its rows,
// each a JPEG (a plain JFIF file, no metadata) of the photo as shown, written
// to a new temporary file in the output folder named "." + the first 200
// bytes of its name + "." + 12 lowercase hex digits + ".tmp", created with
// O_EXCL and never renamed: the caller renames each into place or removes it.
// The thumbnail (scale 1, quality 0) has exactly the bytes that
// JPEGImage::GenerateThumbnail writes for the same photo and arguments.
// No full-size bitmap of a JPEG photo is made; other pictures the library
// reads are decoded whole first. Of an upright photo, every picture but the
// thumbnail is encoded as its lines are made, never held whole. Besides the
// thumbnail, a picture is made from the rows of the smallest larger display
// copy at least twice its size each way where there is one, so the photo's
// own rows are resized as seldom as can be. On failure no temporary is left.
// Never throws.
SKIMLET_API PhotoResult MakePictures(const PhotoJob& job);

} // namespace skimlet
