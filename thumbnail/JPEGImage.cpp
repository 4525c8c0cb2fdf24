#include "skimlet/JPEGImage.h"

#include "ReportException.h"
#include "ThumbnailRules.h"
#include "bitmaps/DibBitmap.h"
#include "bitmaps/Orientation.h"
#include "bitmaps/TextException.h"
#include "codecs/AutoTypeDecoder.h"
#include "codecs/JpegRowReader.h"
#include "codecs/JpegWriter.h"
#include "codecs/Trace.h"
#include "filters/ResizeFilter.h"
#include "io/ByteSource.h"

#include <algorithm>
#include <new>

struct JPEGImage::State {
    std::int16_t width = 0;
    std::int16_t height = 0;
    std::int16_t maxWidth = 0;
    std::int16_t maxHeight = 0;
    std::string filePath;
    std::string outputDirectory;
    CAutoTypeDecoder decoder;
    // A JPEG photo stays in its file, its header read, until a thumbnail
    // decodes it row by row; other pictures are decoded whole into `photo`.
    std::unique_ptr<CMappedFileSource> source;
    CJpegRowReader rowReader;
    std::unique_ptr<CDibBitmap> photo;
    bool fastThumbnails = false;
    // Set only by a decode that delivered a picture of at least 1 x 1.
    bool photoUsable = false;
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

// Hands the resize filter the photo's rows straight from the decoder.
class DecodedRows : public CRowSource {
public:
    explicit DecodedRows(CJpegRowReader& reader) : reader_(reader) {}
    void ReadRows(std::uint8_t* const* rows, int count) override { reader_.Read(rows, count); }

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
    return Guarded([&] {
        s.photo = std::make_unique<CDibBitmap>();
        s.source.reset();
        if (path.empty())
            return;
        s.filePath = path;
        int width = 0;
        int height = 0;
        // Opened and recognised as the decoder's DecodeFile does, so that a
        // file that is no readable picture fails here with the same report.
        TraceLine(1, "--- Decoding file " + path + ". ---\n");
        auto source = std::make_unique<CMappedFileSource>();
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
        }
        const bool swapped = SwapsAxes(s.orientation);
        s.shownWidth = swapped ? height : width;
        s.shownHeight = swapped ? width : height;
        s.width = ClampToInt16(s.shownWidth);
        s.height = ClampToInt16(s.shownHeight);
        s.photoUsable = s.shownWidth > 0 && s.shownHeight > 0;
    });
}

HRESULT JPEGImage::GenerateThumbnail(std::int16_t maxWidth, std::int16_t maxHeight) {
    State& s = *state_;
    s.maxWidth = maxWidth;
    s.maxHeight = maxHeight;
    if (maxWidth == maxHeight) {
        // Not an error: nothing to report, and nothing stale either.
        ClearErrorInfo();
        return S_FALSE;
    }
    return Guarded([&] {
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
            s.rowReader.Start(eighths);
            DecodedRows rows(s.rowReader);
            filter.RunStreamed(rows, s.rowReader.RowWidth(), s.rowReader.RowHeight(), s.orientation,
                               thumbnail);
            s.rowReader.Finish();
        } else if (s.orientation == Orientation::Normal)
            filter.Run(*s.photo, thumbnail);
        else
            filter.RunOriented(*s.photo, s.orientation, thumbnail);

        const std::string path = ThumbnailPathFor(s.filePath, s.outputDirectory);
        CJpegWriter writer;
        writer.EncodeToFile(path, thumbnail);
    });
}
