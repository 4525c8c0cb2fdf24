#pragma once

#include "bitmaps/Orientation.h"
#include "filters/ContributionTable.h"
#include "filters/FloatResample.h"
#include "filters/Resampler.h"
#include "filters/ResizeSupport.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace skimlet {

class CRasterBitmap;

// Supplies a picture's rows in stored order, top to bottom, 4 bytes a pixel.
class CRowSource {
public:
    virtual ~CRowSource() = default;
    // Fills the next `count` rows.
    virtual void ReadRows(std::uint8_t* const* rows, int count) = 0;
};

// Takes a picture's stored rows (4 bytes a pixel) in order, a band at a time,
// from FeedRows.
class CRowConsumer {
public:
    virtual ~CRowConsumer() = default;
    // The last row whose delivery stored row `row` must stay readable until
    // (row itself when it is used only on arrival).
    virtual int KeepUntil(int row) const { return row; }
    // Rows first .. first + count - 1; count is at most resample::kLinesPerSweep.
    virtual void TakeRows(int first, int count, const std::uint8_t* const* rows) = 0;
    // After the last row: completes the consumer's result.
    virtual void Finish() {}
};

// Takes a picture's lines as shown, top to bottom, 4 bytes a pixel, a band of
// at most resample::kLinesPerSweep at a time, as they are made.
class CLineSink {
public:
    virtual ~CLineSink() = default;
    virtual void TakeLines(const std::uint8_t* const* lines, int count) = 0;
};

// Reads the `height` rows of `width` pixels from `source` once, handing each
// band to every consumer; a row is kept only as long as some consumer needs it.
void FeedRows(CRowSource& source, int width, int height,
              const std::vector<CRowConsumer*>& consumers);

// Resizes the picture as a viewer shows it under `orientation`, with the very
// bytes of CResizeFilter::RunOriented: lines along the shown width first, into
// an intermediate of newWidth x the shown height, then across them at Finish.
// The destination is allocated (newWidth x newHeight, 32 bits) on construction.
class CShownRowResize : public CRowConsumer {
public:
    CShownRowResize(int width, int height, Orientation orientation, int newWidth, int newHeight,
                    const ResizeKernel& kernel, CRasterBitmap& destination);
    int KeepUntil(int row) const override;
    void TakeRows(int first, int count, const std::uint8_t* const* rows) override;
    void Finish() override;

private:
    int width_;
    int height_;
    Orientation orientation_;
    int newWidth_;
    int newHeight_;
    ResizeKernel kernel_;
    CRasterBitmap& destination_;
    std::size_t rowBytes_;
    std::unique_ptr<std::uint8_t[]> intermediate_;
    ContributionTable table_;
    // Shown lines that are stored rows.
    std::unique_ptr<AlignedDoubles> scratch_;
    // Shown lines that are stored columns: each output is made once the last
    // of its rows has come.
    std::vector<int> keepUntil_;
    std::unique_ptr<Buckets> ready_;
    std::vector<const std::uint8_t*> shownRows_;
};

// Resizes to newWidth x newHeight as shown, taking the passes in the stored
// order instead: along each stored row as it arrives, then across the rows,
// each output line as soon as its rows are in. Only a window of reduced rows
// is held; the result is written turned as shown. The sums are those of the
// single-precision passes (FloatResample.h), so the result may differ from
// CShownRowResize's by a level here and there.
class CStoredRowResize : public CRowConsumer {
public:
    CStoredRowResize(int width, int height, Orientation orientation, int newWidth, int newHeight,
                     const ResizeKernel& kernel, CRasterBitmap& destination);
    // The result of an upright picture (Orientation::Normal) handed to `lines`
    // as it is made, never held whole.
    CStoredRowResize(int width, int height, int newWidth, int newHeight, const ResizeKernel& kernel,
                     CLineSink& lines);
    ~CStoredRowResize() override;
    void TakeRows(int first, int count, const std::uint8_t* const* rows) override;
    // Also finishes every consumer fed.
    void Finish() override;

    // The result in the stored frame, as fed on.
    int StoredWidth() const { return outWidth_; }
    int StoredHeight() const { return outHeight_; }
    // Hands the result's lines, in the stored frame and order, on to `next` as
    // they are made, so that a smaller picture is made from this one without
    // another pass over the photo's rows. Before the first row only.
    void Feed(CStoredRowResize& next);

private:
    CStoredRowResize(int width, int height, Orientation orientation, int newWidth, int newHeight,
                     const ResizeKernel& kernel, CRasterBitmap* destination, CLineSink* lines);
    void AllocateBand();
    void EmitReadyLines(int lastRow);
    // Where the first pixel of stored line `line` is shown; `step` between pixels.
    std::uint8_t* ShownTarget(int line, std::ptrdiff_t& step) const;
    std::uint8_t* ShownTarget(int line) const;
    // Puts line nextLine_, made at `line`, where a viewer sees it.
    void Place(const std::uint8_t* line);
    std::uint8_t* TurnBandLine(int line) const;
    void CopyLine(const std::uint8_t* line, std::uint8_t* target, std::ptrdiff_t step) const;
    // Hands the band on to those fed once `last` completes it.
    void PassBandOnAfter(int last);

    Orientation orientation_;
    int outWidth_; // the result in the stored frame
    int outHeight_;
    CRasterBitmap* destination_;
    CLineSink* lines_;
    FloatTable along_;
    FloatTable across_;
    std::vector<float> scratch_;
    int ringRows_;
    std::size_t ringRowFloats_;
    std::vector<float> ring_;
    std::vector<const float*> reduced_; // by stored row, into the ring
    bool alongIdentity_ = false;
    bool acrossIdentity_ = false;
    int nextLine_ = 0;
    bool accessing_ = false;
    std::vector<CStoredRowResize*> fed_;
    // The last lines made, for those fed and the line sink.
    std::unique_ptr<std::uint8_t[]> band_;
    // The last lines made of a turned picture, placed in the destination together.
    static constexpr int kTurnBandLines = 16;
    std::unique_ptr<std::uint8_t[]> turnBand_;
    std::uint8_t* bandRows_[resample::kLinesPerSweep] = {};
};

} // namespace skimlet
