#include "skimlet/JPEGImage.h"

#include "PictureMaker.h"
#include "ReportException.h"
#include "ThumbnailRules.h"
#include "base/TextException.h"
#include "base/Trace.h"
#include "bitmaps/DibBitmap.h"
#include "bitmaps/Orientation.h"
#include "codecs/AutoTypeDecoder.h"
#include "codecs/JpegWriter.h"
#include "filters/ResizeFilter.h"
#include "io/ByteSource.h"

#include <algorithm>
#include <new>

namespace skimlet {

struct JPEGImage::State {
    std::int16_t width = 0;
    std::int16_t height = 0;
    std::int16_t maxWidth = 0;
    std::int16_t maxHeight = 0;
    std::string filePath;
    std::string outputDirectory;
    std::string thumbnailName; // empty: named after the photo
    CAutoTypeDecoder decoder;
    // The photo decoded whole, as loaded.
    std::unique_ptr<CDibBitmap> photo;
    // For fast thumbnails: the photo's file stays open, its header read,
    // until a thumbnail decodes it at a reduced scale.
    std::unique_ptr<CFileSource> source;
    CPictureMaker maker;
    bool fastThumbnails = false;
    // Set only by a load that delivered a picture of at least 1 x 1.
    bool photoUsable = false;
    // What the decoder said about damage in the loaded photo; empty when clean.
    std::string decodeWarning;
    Orientation orientation = Orientation::Normal;
    // The photo as a viewer shows it, at full size.
    int shownWidth = 0;
    int shownHeight = 0;
};

namespace {

// Runs `step`, turning the image library's exceptions into error information.
template <typename Step>
HRESULT Guarded(Step&& step) {
    try {
        step();
        return S_OK;
    } catch (const CTextException& exception) {
        ReportException(exception, JPEGImage::kInterfaceId);
    } catch (const std::bad_alloc&) {
        ReportException(CTextException(SkimletCode::kOutOfMemory, "Out of memory.\n"),
                        JPEGImage::kInterfaceId);
    }
    return S_FALSE;
}

// A photo decoded despite damage still succeeds, but leaves error information
// that names the damage; a clean success leaves none.
HRESULT WithDecodeWarning(HRESULT result, const std::string& warning) {
    if (result != S_OK)
        return result;
    if (warning.empty())
        ClearErrorInfo();
    else
        SetErrorInfo(ErrorInfo{JPEGImage::kInterfaceId, "Skimlet", warning});
    return S_OK;
}

// The first warning names the damage; those after it mostly follow from it.
std::string DecodeWarningOf(const std::string& firstWarning) {
    return firstWarning.empty() ? std::string() : "Decoder warning: " + firstWarning + "\n";
}

} // namespace

JPEGImage::JPEGImage() : state_(std::make_unique<State>()) {}

JPEGImage::~JPEGImage() = default;

std::string JPEGImage::FilePath() const {
    return state_->filePath;
}

std::string JPEGImage::OutputDirectory() const {
    return state_->outputDirectory;
}

HRESULT JPEGImage::SetOutputDirectory(const std::string& directory) {
    if (!directory.empty())
        state_->outputDirectory = directory;
    return S_OK;
}

std::string JPEGImage::ThumbnailName() const {
    return state_->thumbnailName;
}

HRESULT JPEGImage::SetThumbnailName(const std::string& name) {
    if (name.find('/') != std::string::npos || name == "." || name == "..")
        return E_INVALIDARG;
    state_->thumbnailName = name;
    return S_OK;
}

std::int16_t JPEGImage::Width() const {
    return state_->width;
}
std::int16_t JPEGImage::Height() const {
    return state_->height;
}
std::int16_t JPEGImage::MaxWidth() const {
    return state_->maxWidth;
}
std::int16_t JPEGImage::MaxHeight() const {
    return state_->maxHeight;
}

void JPEGImage::SetFastThumbnails(bool fast) {
    state_->fastThumbnails = fast;
}

bool JPEGImage::FastThumbnails() const {
    return state_->fastThumbnails;
}

HRESULT JPEGImage::SetFilePath(const std::string& path) {
    State& s = *state_;
    s.photoUsable = false;
    s.decodeWarning.clear();
    const HRESULT result = Guarded([&] {
        s.photo = std::make_unique<CDibBitmap>();
        s.maker.Close();
        s.source.reset();
        if (path.empty())
            return;
        s.filePath = path;
        int width = 0;
        int height = 0;
        if (s.fastThumbnails) {
            // Opened as the decoder's DecodeFile opens, so that a file that is
            // no readable picture fails here with the same report.
            TraceLine(1, "--- Decoding file " + path + ". ---\n");
            auto source = std::make_unique<CFileSource>();
            if (const int code = source->Open(path))
                ThrowDecodeError(code, "Opening " + path + " failed");
            s.maker.Open(*source);
            s.source = std::move(source);
            s.shownWidth = s.maker.ShownWidth();
            s.shownHeight = s.maker.ShownHeight();
            s.decodeWarning = DecodeWarningOf(s.maker.FirstWarning());
        } else {
            s.decoder.DecodeFile(path, *s.photo, 32);
            if (s.photo->BitsPerPixel() != 32) {
                auto converted = std::make_unique<CDibBitmap>();
                converted->CopyFrom(*s.photo, 32);
                s.photo = std::move(converted);
            }
            s.orientation = s.decoder.PictureOrientation();
            width = s.photo->Width();
            height = s.photo->Height();
            const bool swapped = SwapsAxes(s.orientation);
            s.shownWidth = swapped ? height : width;
            s.shownHeight = swapped ? width : height;
            s.decodeWarning = DecodeWarningOf(
                s.decoder.WarningCount() > 0 ? s.decoder.FirstWarning() : std::string());
        }
        s.width = ClampToInt16(s.shownWidth);
        s.height = ClampToInt16(s.shownHeight);
        s.photoUsable = s.shownWidth > 0 && s.shownHeight > 0;
    });
    return WithDecodeWarning(result, s.decodeWarning);
}

HRESULT JPEGImage::GenerateThumbnail(std::int16_t maxWidth, std::int16_t maxHeight) {
    State& s = *state_;
    s.maxWidth = maxWidth;
    s.maxHeight = maxHeight;
    if (NoThumbnailFor(maxWidth, maxHeight)) {
        // Not an error: nothing to report, and nothing stale either.
        ClearErrorInfo();
        return S_FALSE;
    }
    const HRESULT result = Guarded([&] {
        if (!s.photoUsable)
            throw CTextException(SkimletCode::kUnsupported,
                                 "No photo loaded: FilePath must name a readable picture first.\n");
        if (std::max(maxWidth, maxHeight) < 1)
            throw CTextException(SkimletCode::kUnsupported,
                                 "Invalid thumbnail size: MaxWidth " + std::to_string(maxWidth) +
                                     ", MaxHeight " + std::to_string(maxHeight) + ".\n");
        const ThumbnailSize size =
            ComputeThumbnailSize(s.shownWidth, s.shownHeight, maxWidth, maxHeight);
        s.maxWidth = ClampToInt16(size.width);
        s.maxHeight = ClampToInt16(size.height);

        std::unique_ptr<CRasterBitmap> thumbnail;
        if (s.source) {
            auto made = s.maker.Make({{size.width, size.height, true}}, true);
            thumbnail = std::move(made.front());
            // The damage is known only once the data has been decoded.
            s.decodeWarning = DecodeWarningOf(s.maker.FirstWarning());
        } else {
            thumbnail = std::make_unique<CDibBitmap>();
            CTentResizeFilter(size.width, size.height)
                .RunOriented(*s.photo, s.orientation, *thumbnail);
        }

        std::string path = ThumbnailPathFor(s.filePath, s.outputDirectory);
        if (!s.thumbnailName.empty()) // the usual path ends in "/" + its own name
            path = path.substr(0, path.rfind('/') + 1) + s.thumbnailName;
        CJpegWriter writer;
        writer.EncodeToFile(path, *thumbnail);
    });
    return WithDecodeWarning(result, s.decodeWarning);
}

bool JPEGImage::NoThumbnailFor(std::int16_t maxWidth, std::int16_t maxHeight) {
    return maxWidth == maxHeight;
}

} // namespace skimlet
