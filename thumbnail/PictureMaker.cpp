#include "PictureMaker.h"

#include "base/TextException.h"
#include "base/Trace.h"
#include "io/ByteSource.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace skimlet {

namespace {

// Hands the consumers the photo's rows straight from the decoder.
class DecodedRows : public CRowSource {
public:
    explicit DecodedRows(CJpegRowReader& reader) : reader_(reader) {}
    void ReadRows(std::uint8_t* const* rows, int count) override { reader_.Read(rows, count); }

private:
    CJpegRowReader& reader_;
};

// The rows of a picture decoded whole.
class BitmapRows : public CRowSource {
public:
    explicit BitmapRows(const CRasterBitmap& bitmap) : bitmap_(bitmap) {}
    void ReadRows(std::uint8_t* const* rows, int count) override {
        const std::size_t bytes = 4 * static_cast<std::size_t>(bitmap_.Width());
        for (int i = 0; i < count; ++i, ++next_)
            std::memcpy(rows[i], bitmap_.Lines()[next_], bytes);
    }

private:
    const CRasterBitmap& bitmap_;
    int next_ = 0;
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

void CPictureMaker::Open(CByteSource& source) {
    Close();
    const PictureType type = CAutoTypeDecoder::DetectPictureType(
        source.PeekBytes(CAutoTypeDecoder::kSignatureBytes), source.Size());
    int width = 0;
    int height = 0;
    if (type == kPictureJpeg) {
        TraceLine(2, "JPEG file recognized.\n");
        reader_.Open(source);
        jpeg_ = true;
        orientation_ = reader_.PictureOrientation();
        width = reader_.Width();
        height = reader_.Height();
    } else {
        // The decoder reports the unknown and unsupported types.
        auto whole = std::make_unique<CDibBitmap>();
        decoder_.DecodeSource(source, *whole, 32);
        if (whole->BitsPerPixel() != 32) {
            auto converted = std::make_unique<CDibBitmap>();
            converted->CopyFrom(*whole, 32);
            whole = std::move(converted);
        }
        whole_ = std::move(whole);
        orientation_ = decoder_.PictureOrientation();
        width = whole_->Width();
        height = whole_->Height();
    }
    const bool swapped = SwapsAxes(orientation_);
    shownWidth_ = swapped ? height : width;
    shownHeight_ = swapped ? width : height;
}

void CPictureMaker::Close() {
    reader_.Close();
    jpeg_ = false;
    whole_.reset();
    orientation_ = Orientation::Normal;
    shownWidth_ = 0;
    shownHeight_ = 0;
}

std::vector<std::unique_ptr<CPlainBitmap>>
CPictureMaker::Make(const std::vector<PictureTarget>& targets, bool fast) {
    if (shownWidth_ < 1 || shownHeight_ < 1)
        ThrowDecodeError(SkimletCode::kUnsupported, "No picture opened.");
    if (targets.empty())
        return {};
    for (const PictureTarget& t : targets) {
        if (t.width < 1 || t.height < 1)
            throw CTextException(SkimletCode::kUnsupported,
                                 "Cannot resize to " + std::to_string(t.width) + " x " +
                                     std::to_string(t.height) + " pixels.");
        if (t.lines && (t.asThumbnail || !Upright()))
            throw CTextException(SkimletCode::kUnsupported,
                                 "Only an upright picture's lines are handed on.");
    }
    const bool swapped = SwapsAxes(orientation_);
    const ResizeKernel tent = TentKernel(1.0);

    std::optional<StopsDecode> stops;
    std::unique_ptr<CRowSource> rows;
    int width = 0;
    int height = 0;
    if (jpeg_) {
        int eighths = fast ? 1 : 8;
        for (const PictureTarget& t : targets)
            eighths =
                std::max(eighths, CJpegRowReader::ScaleFor(reader_.Width(), reader_.Height(),
                                                           2 * (swapped ? t.height : t.width),
                                                           2 * (swapped ? t.width : t.height)));
        stops.emplace(reader_);
        reader_.Start(eighths);
        rows = std::make_unique<DecodedRows>(reader_);
        width = reader_.RowWidth();
        height = reader_.RowHeight();
    } else {
        rows = std::make_unique<BitmapRows>(*whole_);
        width = whole_->Width();
        height = whole_->Height();
    }

    // Every result and working buffer is in place before the first row. A
    // picture resized in the stored order is made from the smallest larger one
    // that is at least twice its size each way, largest first, so that the
    // photo's own rows are resized as few times as possible.
    std::vector<std::size_t> order(targets.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    const auto area = [&](std::size_t i) {
        return std::int64_t{targets[i].width} * targets[i].height;
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return area(a) > area(b); });
    std::vector<std::unique_ptr<CPlainBitmap>> pictures(targets.size());
    std::vector<std::unique_ptr<CRowConsumer>> resizes;
    std::vector<CStoredRowResize*> made; // the stored-order resizes, largest first
    std::vector<CRowConsumer*> consumers;
    for (const std::size_t i : order) {
        const PictureTarget& t = targets[i];
        if (!t.lines)
            pictures[i] = std::make_unique<CPlainBitmap>();
        if (t.asThumbnail) {
            resizes.push_back(std::make_unique<CShownRowResize>(
                width, height, orientation_, t.width, t.height, tent, *pictures[i]));
            consumers.push_back(resizes.back().get());
            continue;
        }
        const int storedWidth = swapped ? t.height : t.width;
        const int storedHeight = swapped ? t.width : t.height;
        CStoredRowResize* source = nullptr;
        for (CStoredRowResize* larger : made)
            if (larger->StoredWidth() >= 2 * std::int64_t{storedWidth} &&
                larger->StoredHeight() >= 2 * std::int64_t{storedHeight})
                source = larger;
        const int fromWidth = source ? source->StoredWidth() : width;
        const int fromHeight = source ? source->StoredHeight() : height;
        auto resize =
            t.lines ? std::make_unique<CStoredRowResize>(fromWidth, fromHeight, t.width, t.height,
                                                         tent, *t.lines)
                    : std::make_unique<CStoredRowResize>(fromWidth, fromHeight, orientation_,
                                                         t.width, t.height, tent, *pictures[i]);
        if (source)
            source->Feed(*resize);
        else
            consumers.push_back(resize.get());
        made.push_back(resize.get());
        resizes.push_back(std::move(resize));
    }
    FeedRows(*rows, width, height, consumers);
    if (jpeg_)
        reader_.Finish(); // damage past the last row is found here
    // libjpeg's buffers go before the results are completed.
    stops.reset();
    // Those fed by another picture are finished by it.
    for (CRowConsumer* consumer : consumers)
        consumer->Finish();
    return pictures;
}

std::string CPictureMaker::FirstWarning() const {
    const CPictureDecoder& decoder =
        jpeg_ ? static_cast<const CPictureDecoder&>(reader_) : decoder_;
    return decoder.WarningCount() > 0 ? decoder.FirstWarning() : std::string();
}

} // namespace skimlet
