#include "filters/StreamedResize.h"

#include "base/TextException.h"
#include "bitmaps/RasterBitmap.h"
#include "filters/Resampler.h"

#include <algorithm>
#include <cstring>

namespace skimlet {

namespace {

bool Mirrored(Orientation o) {
    return o == Orientation::FlipHorizontal || o == Orientation::Rotate180;
}

bool UpsideDown(Orientation o) {
    return o == Orientation::Rotate180 || o == Orientation::FlipVertical;
}

// Shown position x of a turned picture is stored row height - 1 - x.
bool Upward(Orientation o) {
    return o == Orientation::Rotate90 || o == Orientation::Transverse;
}

// Shown line y of a turned picture is stored column width - 1 - y.
bool ColumnsReversed(Orientation o) {
    return o == Orientation::Transverse || o == Orientation::Rotate270;
}

// Every output sample is the input sample at its own position, unweighted.
bool IsIdentity(const FloatTable& table) {
    if (table.LineLength() != table.InputLength())
        return false;
    for (int i = 0; i < table.LineLength(); ++i)
        if (table[i].count != 1 || table[i].left != i || table[i].weights[0] != 1.0f)
            return false;
    return true;
}

ContributionTable Table(int outputLength, int inputLength, const ResizeKernel& kernel) {
    return ContributionTable(outputLength, inputLength,
                             static_cast<double>(outputLength) / inputLength, kernel);
}

} // namespace

void FeedRows(CRowSource& source, int width, int height,
              const std::vector<CRowConsumer*>& consumers) {
    std::vector<int> keep = AllocateVector<int>(static_cast<std::size_t>(height));
    for (int r = 0; r < height; ++r) {
        int until = r;
        for (const CRowConsumer* consumer : consumers)
            until = std::max(until, consumer->KeepUntil(r));
        keep[static_cast<std::size_t>(r)] = std::min(until, height - 1);
    }
    const Buckets release(keep, height);

    std::vector<std::unique_ptr<std::uint8_t[]>> owned;
    std::vector<std::uint8_t*> spare;
    std::vector<std::uint8_t*> held =
        AllocateVector<std::uint8_t*>(static_cast<std::size_t>(height));
    std::uint8_t* rows[resample::kLinesPerSweep];
    for (int y = 0; y < height; y += resample::kLinesPerSweep) {
        const int count = std::min(resample::kLinesPerSweep, height - y);
        for (int i = 0; i < count; ++i) {
            if (spare.empty()) {
                owned.push_back(AllocateLines(width, 1));
                spare.push_back(owned.back().get());
            }
            rows[i] = spare.back();
            spare.pop_back();
            held[static_cast<std::size_t>(y + i)] = rows[i];
        }
        source.ReadRows(rows, count);
        for (CRowConsumer* consumer : consumers)
            consumer->TakeRows(y, count, rows);
        for (int r = y; r < y + count; ++r)
            for (int i = release.first[static_cast<std::size_t>(r)];
                 i < release.first[static_cast<std::size_t>(r) + 1]; ++i)
                spare.push_back(
                    held[static_cast<std::size_t>(release.order[static_cast<std::size_t>(i)])]);
    }
}

CShownRowResize::CShownRowResize(int width, int height, Orientation orientation, int newWidth,
                                 int newHeight, const ResizeKernel& kernel,
                                 CRasterBitmap& destination)
    : width_(width), height_(height), orientation_(Sanitised(orientation)), newWidth_(newWidth),
      newHeight_(newHeight), kernel_(kernel), destination_(destination),
      rowBytes_(4 * static_cast<std::size_t>(newWidth)),
      table_(Table(newWidth, SwapsAxes(orientation_) ? height : width, kernel)) {
    // Every buffer is in place before the first row comes: a size that cannot
    // be met fails without decoding anything.
    destination_.Allocate(newWidth_, newHeight_, 32, false);
    const int shownHeight = SwapsAxes(orientation_) ? width_ : height_;
    intermediate_ = AllocateClearedBytes(static_cast<std::int64_t>(rowBytes_) * shownHeight);
    if (!SwapsAxes(orientation_)) {
        scratch_ = std::make_unique<AlignedDoubles>(resample::HorizontalScratchSize(table_));
        return;
    }
    // Each output position (a stored row range) is made once the last of its
    // rows has arrived, summed in the same order as from a whole picture
    // (downward for orientations 6 and 7, against the order of arrival); a row
    // is kept until the last output using it is made.
    const auto storedRow = [&](int shown) {
        return Upward(orientation_) ? height_ - 1 - shown : shown;
    };
    std::vector<int> readyAt = AllocateVector<int>(static_cast<std::size_t>(newWidth_));
    keepUntil_ = AllocateVector<int>(static_cast<std::size_t>(height_));
    std::fill(keepUntil_.begin(), keepUntil_.end(), -1);
    for (int x = 0; x < newWidth_; ++x) {
        const ContributionTable::Entry& e = table_[x];
        readyAt[static_cast<std::size_t>(x)] = -1;
        if (e.count == 0)
            continue; // its line stays as cleared: all weights zero
        const int a = storedRow(e.left);
        const int b = storedRow(e.left + e.count - 1);
        readyAt[static_cast<std::size_t>(x)] = std::max(a, b);
        for (int r = std::min(a, b); r <= std::max(a, b); ++r)
            keepUntil_[static_cast<std::size_t>(r)] =
                std::max(keepUntil_[static_cast<std::size_t>(r)], std::max(a, b));
    }
    ready_ = std::make_unique<Buckets>(readyAt, height_);
    shownRows_ = AllocateVector<const std::uint8_t*>(static_cast<std::size_t>(height_));
}

int CShownRowResize::KeepUntil(int row) const {
    return keepUntil_.empty() ? row : std::max(row, keepUntil_[static_cast<std::size_t>(row)]);
}

void CShownRowResize::TakeRows(int first, int count, const std::uint8_t* const* rows) {
    std::uint8_t* intermediate = intermediate_.get();
    if (!SwapsAxes(orientation_)) {
        // Shown lines are stored rows, possibly upside down or read right to left.
        const std::ptrdiff_t step = Mirrored(orientation_) ? -4 : 4;
        const std::size_t start =
            Mirrored(orientation_) ? 4 * (static_cast<std::size_t>(width_) - 1) : 0;
        const std::uint8_t* in[resample::kLinesPerSweep];
        std::uint8_t* out[resample::kLinesPerSweep];
        for (int r = 0; r < count; ++r) {
            const int y = first + r;
            in[r] = rows[r] + start;
            out[r] = intermediate +
                     static_cast<std::size_t>(UpsideDown(orientation_) ? height_ - 1 - y : y) *
                         rowBytes_;
        }
        resample::Horizontal(table_, in, count, step, out, scratch_->Data());
        return;
    }
    const int firstLine = ColumnsReversed(orientation_) ? width_ - 1 : 0;
    const std::ptrdiff_t lineStep =
        static_cast<std::ptrdiff_t>(rowBytes_) * (ColumnsReversed(orientation_) ? -1 : 1);
    for (int i = 0; i < count; ++i) {
        const int r = first + i;
        shownRows_[static_cast<std::size_t>(Upward(orientation_) ? height_ - 1 - r : r)] = rows[i];
        for (int k = ready_->first[static_cast<std::size_t>(r)];
             k < ready_->first[static_cast<std::size_t>(r) + 1]; ++k) {
            const int x = ready_->order[static_cast<std::size_t>(k)];
            resample::Vertical(table_[x], shownRows_.data(), 0, width_,
                               intermediate + static_cast<std::size_t>(firstLine) * rowBytes_ +
                                   4 * static_cast<std::size_t>(x),
                               lineStep);
        }
    }
}

void CShownRowResize::Finish() {
    BitmapAccess access(destination_, false, true);
    VerticalPass(intermediate_.get(), rowBytes_, SwapsAxes(orientation_) ? width_ : height_,
                 newWidth_, newHeight_, kernel_, destination_);
    intermediate_.reset();
}

CStoredRowResize::CStoredRowResize(int width, int height, Orientation orientation, int newWidth,
                                   int newHeight, const ResizeKernel& kernel,
                                   CRasterBitmap* destination, CLineSink* lines)
    : orientation_(Sanitised(orientation)),
      outWidth_(SwapsAxes(orientation_) ? newHeight : newWidth),
      outHeight_(SwapsAxes(orientation_) ? newWidth : newHeight), destination_(destination),
      lines_(lines), along_(Table(outWidth_, width, kernel)),
      across_(Table(outHeight_, height, kernel)),
      scratch_(AllocateVector<float>(floatresample::HorizontalScratchSize(along_))),
      // The lines still to be made need at most a window of rows before the
      // band that has just come.
      ringRows_(across_.WindowSize() + resample::kLinesPerSweep),
      ringRowFloats_(4 * static_cast<std::size_t>(outWidth_)),
      ring_(AllocateVector<float>(ringRowFloats_ * static_cast<std::size_t>(ringRows_))),
      reduced_(AllocateVector<const float*>(static_cast<std::size_t>(height))) {
    alongIdentity_ = IsIdentity(along_);
    acrossIdentity_ = IsIdentity(across_);
    if (lines_) {
        if (orientation_ != Orientation::Normal)
            throw CTextException(SkimletCode::kUnsupported, "Only upright lines are handed on.");
        AllocateBand();
        return;
    }
    destination_->Allocate(newWidth, newHeight, 32, false);
    destination_->BeginAccess(false, true);
    accessing_ = true;
    if (orientation_ != Orientation::Normal)
        turnBand_ = AllocateClearedBytes(4 * std::int64_t{outWidth_} * kTurnBandLines);
}

CStoredRowResize::CStoredRowResize(int width, int height, Orientation orientation, int newWidth,
                                   int newHeight, const ResizeKernel& kernel,
                                   CRasterBitmap& destination)
    : CStoredRowResize(width, height, orientation, newWidth, newHeight, kernel, &destination,
                       nullptr) {}

CStoredRowResize::CStoredRowResize(int width, int height, int newWidth, int newHeight,
                                   const ResizeKernel& kernel, CLineSink& lines)
    : CStoredRowResize(width, height, Orientation::Normal, newWidth, newHeight, kernel, nullptr,
                       &lines) {}

void CStoredRowResize::AllocateBand() {
    if (band_)
        return;
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(outWidth_);
    band_ = AllocateClearedBytes(static_cast<std::int64_t>(rowBytes) * resample::kLinesPerSweep);
    for (int i = 0; i < resample::kLinesPerSweep; ++i)
        bandRows_[i] = band_.get() + static_cast<std::size_t>(i) * rowBytes;
}

CStoredRowResize::~CStoredRowResize() {
    if (accessing_)
        destination_->EndAccess();
}

void CStoredRowResize::TakeRows(int first, int count, const std::uint8_t* const* rows) {
    if (alongIdentity_ && acrossIdentity_) {
        // A picture the size of its source: the rows are its lines as they are.
        for (int r = 0; r < count; ++r, ++nextLine_)
            if (destination_)
                Place(rows[r]);
        if (lines_)
            lines_->TakeLines(rows, count);
        for (CStoredRowResize* next : fed_)
            next->TakeRows(first, count, rows);
        return;
    }
    float* out[resample::kLinesPerSweep];
    for (int r = 0; r < count; ++r) {
        out[r] = ring_.data() + static_cast<std::size_t>((first + r) % ringRows_) * ringRowFloats_;
        reduced_[static_cast<std::size_t>(first + r)] = out[r];
        // A photo no larger than the picture is only turned, not resampled.
        if (alongIdentity_)
            for (std::size_t i = 0; i < ringRowFloats_; ++i)
                out[r][i] = rows[r][i];
    }
    if (!alongIdentity_)
        floatresample::Horizontal(along_, rows, count, out, scratch_.data());
    EmitReadyLines(first + count - 1);
}

void CStoredRowResize::Feed(CStoredRowResize& next) {
    if (next.reduced_.size() != static_cast<std::size_t>(outHeight_) ||
        next.along_.InputLength() != outWidth_ || nextLine_ != 0)
        throw CTextException(SkimletCode::kUnsupported, "Resize fed a picture of another size.");
    AllocateBand();
    fed_.push_back(&next);
}

void CStoredRowResize::EmitReadyLines(int lastRow) {
    for (; nextLine_ < outHeight_; ++nextLine_) {
        const FloatTable::Entry& e = across_[nextLine_];
        if (e.count > 0 && e.left + e.count - 1 > lastRow)
            return;
        if (e.count > 0 && e.left <= lastRow - ringRows_)
            throw CTextException(SkimletCode::kUnsupported, "Resize window outran its rows.");
        // Made once, in the band when one is kept, then placed where a viewer sees it.
        std::uint8_t* line = band_       ? bandRows_[nextLine_ % resample::kLinesPerSweep]
                             : turnBand_ ? TurnBandLine(nextLine_)
                                         : ShownTarget(nextLine_);
        floatresample::Vertical(e, reduced_.data(), outWidth_, line);
        if (destination_)
            Place(line);
        if (band_)
            PassBandOnAfter(nextLine_);
    }
}

std::uint8_t* CStoredRowResize::TurnBandLine(int line) const {
    return turnBand_.get() + static_cast<std::size_t>(line % kTurnBandLines) * 4 *
                                 static_cast<std::size_t>(outWidth_);
}

void CStoredRowResize::Place(const std::uint8_t* line) {
    if (!turnBand_) {
        std::uint8_t* target = ShownTarget(nextLine_);
        if (line != target)
            std::memcpy(target, line, 4 * static_cast<std::size_t>(outWidth_));
        return;
    }
    std::uint8_t* kept = TurnBandLine(nextLine_);
    if (line != kept)
        std::memcpy(kept, line, 4 * static_cast<std::size_t>(outWidth_));
    if ((nextLine_ + 1) % kTurnBandLines != 0 && nextLine_ + 1 != outHeight_)
        return;
    // Stored lines of a turned picture are shown as columns: written a pixel at a
    // time, each line would touch a cache line per pixel; the band's lines are
    // written side by side instead, a run of pixels to each shown line.
    const int first = nextLine_ - nextLine_ % kTurnBandLines;
    const int count = nextLine_ - first + 1;
    std::ptrdiff_t step = 4;
    std::uint8_t* targets[kTurnBandLines];
    const std::uint8_t* lines[kTurnBandLines];
    for (int l = 0; l < count; ++l) {
        targets[l] = ShownTarget(first + l, step);
        lines[l] = TurnBandLine(first + l);
    }
    if (step == 4 || step == -4) {
        for (int l = 0; l < count; ++l)
            CopyLine(lines[l], targets[l], step);
        return;
    }
    for (std::ptrdiff_t i = 0; i < outWidth_; ++i)
        for (int l = 0; l < count; ++l)
            std::memcpy(targets[l] + i * step, lines[l] + 4 * i, 4);
}

std::uint8_t* CStoredRowResize::ShownTarget(int line) const {
    std::ptrdiff_t step = 4;
    return ShownTarget(line, step);
}

std::uint8_t* CStoredRowResize::ShownTarget(int line, std::ptrdiff_t& step) const {
    // Stored pixel (i, line) goes where a viewer sees it.
    std::uint8_t* const* lines = destination_->Lines();
    const auto at = [&](int i) {
        const StoredPosition p = ShownPositionOf(orientation_, i, line, outWidth_, outHeight_);
        return lines[p.y] + 4 * static_cast<std::ptrdiff_t>(p.x);
    };
    std::uint8_t* target = at(0);
    step = outWidth_ > 1 ? at(1) - target : 4;
    return target;
}

void CStoredRowResize::CopyLine(const std::uint8_t* line, std::uint8_t* target,
                                std::ptrdiff_t step) const {
    if (step == 4)
        std::memcpy(target, line, 4 * static_cast<std::size_t>(outWidth_));
    else
        for (int i = 0; i < outWidth_; ++i)
            std::memcpy(target + i * step, line + 4 * static_cast<std::size_t>(i), 4);
}

void CStoredRowResize::PassBandOnAfter(int last) {
    if ((last + 1) % resample::kLinesPerSweep != 0 && last + 1 != outHeight_)
        return;
    const int first = last - last % resample::kLinesPerSweep;
    if (lines_)
        lines_->TakeLines(bandRows_, last - first + 1);
    for (CStoredRowResize* next : fed_)
        next->TakeRows(first, last - first + 1, bandRows_);
}

void CStoredRowResize::Finish() {
    if (nextLine_ < outHeight_)
        throw CTextException(SkimletCode::kUnsupported, "Resize ended before its last row.");
    std::vector<float>().swap(ring_);
    band_.reset();
    turnBand_.reset();
    if (accessing_)
        destination_->EndAccess();
    accessing_ = false;
    for (CStoredRowResize* next : fed_)
        next->Finish();
}

} // namespace skimlet
