#include "skimlet/JPEGImage.h"

#include "ReportException.h"
#include "ThumbnailRules.h"
#include "base/TextException.h"
#include "base/Trace.h"
#include "bitmaps/DibBitmap.h"
#include "bitmaps/Orientation.h"
#include "codecs/AutoTypeDecoder.h"
#include "codecs/JpegRowReader.h"
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
    // A JPEG photo stays in its open file, its header read, until a thumbnail
    // decodes it row by row; other pictures are decoded whole into `photo`.
    std::unique_ptr<CFileSource> source;
    CJpegRowReader rowReader;
    std::unique_ptr<CDibBitmap> photo;
    bool fastThumbnails = false;
    // Set only by a decode that delivered a picture of at least 1 x 1.
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
std::string DecodeWarningOf(const CPictureDecoder& decoder) {
    if (decoder.WarningCount() == 0)
        return {};
    return "Decoder warning: " + decoder.FirstWarning() + "\n";
}

// Hands the resize filter the photo's rows straight from the decoder.
class DecodedRows : public CRowSource {
public:
    explicit DecodedRows(CJpegRowReader& reader) : reader_(reader) {}
    void ReadRows(std::uint8_t* const* rows, int count) override { reader_.Read(rows, count); }

private:
    CJpegRowReader& reader_;
};

// Drops a row decode that did not finish, with libjpeg's buffers for it.
class StopsDecode {
public:
    explicit StopsDecode(CJpegRowReader& reader) : reader_(reader) {}
    ~StopsDecode() { reader_.Stop(); }
    StopsDecode(const StopsDecode&) = delete;
    StopsDecode& operator=(const StopsDecode&) = delete;

private:
    CJpegRowReader& reader_;
};

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
        s.rowReader.Close();
        s.source.reset();
        if (path.empty())
            return;
        s.filePath = path;
        int width = 0;
        int height = 0;
        // Opened and recognised as the decoder's DecodeFile does, so that a
        // file that is no readable picture fails here with the same report.
        TraceLine(1, "--- Decoding file " + path + ". ---\n");
        auto source = std::make_unique<CFileSource>();
        if (const int code = source->Open(path))
            ThrowDecodeError(code, "Opening " + path + " failed");
        const PictureType type = CAutoTypeDecoder::DetectPictureType(
            source->PeekBytes(CAutoTypeDecoder::kSignatureBytes), source->Size());
        if (type == kPictureJpeg) {
            TraceLine(2, "JPEG file recognized.\n");
            s.rowReader.Open(*source);
            s.source = std::move(source);
            s.orientation = s.rowReader.PictureOrientation();
            width = s.rowReader.Width();
            height = s.rowReader.Height();
            s.decodeWarning = DecodeWarningOf(s.rowReader);
        } else {
            s.decoder.DecodeSource(*source, *s.photo, 32);
            source->Close();
            if (s.photo->BitsPerPixel() != 32) {
                auto converted = std::make_unique<CDibBitmap>();
                converted->CopyFrom(*s.photo, 32);
                s.photo = std::move(converted);
            }
            s.orientation = s.decoder.PictureOrientation();
            width = s.photo->Width();
            height = s.photo->Height();
            s.decodeWarning = DecodeWarningOf(s.decoder);
        }
        const bool swapped = SwapsAxes(s.orientation);
        s.shownWidth = swapped ? height : width;
        s.shownHeight = swapped ? width : height;
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

        CDibBitmap thumbnail;
        CTentResizeFilter filter(size.width, size.height);
        if (s.source) {
            // A fast thumbnail starts from libjpeg's reduced decode, kept at
            // least twice the thumbnail's size so the tent filter still
            // averages over every part of the picture.
            const bool swapped = SwapsAxes(s.orientation);
            const int eighths =
                s.fastThumbnails
                    ? CJpegRowReader::ScaleFor(s.rowReader.Width(), s.rowReader.Height(),
                                               2 * (swapped ? size.height : size.width),
                                               2 * (swapped ? size.width : size.height))
                    : 8;
            StopsDecode stops(s.rowReader);
            s.rowReader.Start(eighths);
            DecodedRows rows(s.rowReader);
            filter.RunStreamed(rows, s.rowReader.RowWidth(), s.rowReader.RowHeight(), s.orientation,
                               thumbnail);
            s.rowReader.Finish();
            // The damage is known only once the data has been decoded.
            s.decodeWarning = DecodeWarningOf(s.rowReader);
        } else if (s.orientation == Orientation::Normal)
            filter.Run(*s.photo, thumbnail);
        else
            filter.RunOriented(*s.photo, s.orientation, thumbnail);

        std::string path = ThumbnailPathFor(s.filePath, s.outputDirectory);
        if (!s.thumbnailName.empty()) // the usual path ends in "/" + its own name
            path = path.substr(0, path.rfind('/') + 1) + s.thumbnailName;
        CJpegWriter writer;
        writer.EncodeToFile(path, thumbnail);
    });
    return WithDecodeWarning(result, s.decodeWarning);
}

bool JPEGImage::NoThumbnailFor(std::int16_t maxWidth, std::int16_t maxHeight) {
    return maxWidth == maxHeight;
}

} // namespace skimlet
