#pragma once

#include "skimlet/ErrorInfo.h"
#include "skimlet/Export.h"
#include "skimlet/HResult.h"

#include <cstdint>
#include <memory>
#include <string>

namespace skimlet {

// Makes JPEG thumbnails of photos.
//
//     JPEGImage image;
//     image.SetFilePath("/photos/beach.jpg");       // decodes the photo
//     image.SetOutputDirectory("/site");           // optional
//     image.GenerateThumbnail(120, 0);             // writes /site/beach_tn.jpg
//
// A photo or thumbnail that cannot be handled is not a failure of the call:
// the operation returns S_FALSE and leaves this thread's error information
// (GetErrorInfo) describing the problem.
class SKIMLET_API JPEGImage {
public:
    // Identifies this component's interface in error information.
    static constexpr const char* kInterfaceId = "{7D1F3C52-6A0B-4E8E-9C4D-2B57A9E1F0C3}";

    JPEGImage();
    ~JPEGImage();
    JPEGImage(const JPEGImage&) = delete;
    JPEGImage& operator=(const JPEGImage&) = delete;

    // The photo's path; empty until one is set.
    std::string FilePath() const;
    // Decodes the photo at `path` (any picture the library reads) whole, at 32
    // bits per pixel; GenerateThumbnail works on the decoded picture. S_OK when
    // loaded, with error information naming any damage the decoder passed over;
    // S_FALSE with error information when the photo cannot be read or its data is
    // broken, in which case Width and Height keep their previous values. An empty
    // path loads nothing. (With fast thumbnails, see SetFastThumbnails.)
    HRESULT SetFilePath(const std::string& path);

    // Folder for thumbnails; empty until set, or until the first thumbnail fills it
    // with the photo's folder (with its trailing "/").
    std::string OutputDirectory() const;
    // An empty value changes nothing.
    HRESULT SetOutputDirectory(const std::string& directory);

    // The thumbnail's file name when it is not to follow the photo's name (two photos
    // whose names give one thumbnail name); empty, as it starts, for the usual name.
    std::string ThumbnailName() const;
    // Takes a plain file name, or "" for the usual name; a name holding "/", or that is
    // "." or "..", is refused with E_INVALIDARG and changes nothing.
    HRESULT SetThumbnailName(const std::string& name);

    // Writes the thumbnail of the loaded photo as <OutputDirectory>/<base>_tn.jpg, where
    // base is the photo's file name less its last four characters (or under
    // ThumbnailName when one is set). The larger
    // argument decides: MaxWidth > MaxHeight fixes the width, MaxWidth < MaxHeight
    // the height, and the photo's aspect ratio gives the other side. Equal
    // arguments write nothing and return S_FALSE.
    HRESULT GenerateThumbnail(std::int16_t maxWidth, std::int16_t maxHeight);
    // True when GenerateThumbnail(maxWidth, maxHeight) writes nothing by rule and
    // leaves no error information, whatever the photo: the arguments are equal.
    static bool NoThumbnailFor(std::int16_t maxWidth, std::int16_t maxHeight);

    // Fast thumbnails (off by default) of JPEG photos start from a decode at
    // a fraction of the full size, still at least twice the thumbnail's size
    // each way: several times faster, and as sharp, but not the same bytes.
    // Taken into account by the next SetFilePath, which then reads only a JPEG
    // photo's header and keeps its file open: GenerateThumbnail decodes it and
    // reports damage found there, and fails when the file was cut or rewritten
    // in between. MakePictures (Pictures.h) does the same with `fast`.
    void SetFastThumbnails(bool fast);
    bool FastThumbnails() const;

    // The loaded photo's size as a viewer shows it.
    std::int16_t Width() const;
    std::int16_t Height() const;
    // The size of the thumbnail last made (after GenerateThumbnail).
    std::int16_t MaxWidth() const;
    std::int16_t MaxHeight() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace skimlet
