#include "filters/ResizeFilter.h"

#include "base/TextException.h"
#include "bitmaps/PlainBitmap.h"
#include "filters/ContributionTable.h"
#include "filters/Resampler.h"
#include "filters/ResizeSupport.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace skimlet {

namespace {

resample::ColumnSchedule MakeSchedule(const ContributionTable& table) {
    try {
        return resample::ColumnSchedule(table);
    } catch (const std::bad_alloc&) {
        ThrowResizeOutOfMemory();
    }
}

// The horizontal pass over the source as shown under `o`: displayed line y
// becomes intermediate row y.
void HorizontalPass(const CRasterBitmap& source, Orientation o, const ContributionTable& table,
                    std::uint8_t* intermediate, std::size_t rowBytes) {
    std::uint8_t* const* lines = source.Lines();
    const int width = source.Width();
    const int height = source.Height();

    if (SwapsAxes(o)) {
        // Displayed line y is stored column y (orientations 5, 6) or width - 1 - y
        // (7, 8); displayed position x is stored row x, or height - 1 - x for 6
        // and 7. Summing whole stored rows reads the source in its own order.
        const bool upward = o == Orientation::Rotate90 || o == Orientation::Transverse;
        const bool columnsReversed = o == Orientation::Transverse || o == Orientation::Rotate270;
        auto rows = AllocateVector<const std::uint8_t*>(static_cast<std::size_t>(height));
        for (int x = 0; x < height; ++x)
            rows[static_cast<std::size_t>(x)] = lines[upward ? height - 1 - x : x];
        const resample::ColumnSchedule schedule = MakeSchedule(table);
        AlignedDoubles scratch(resample::ColumnScratchSize(schedule));
        const auto lineStep = static_cast<std::ptrdiff_t>(rowBytes);
        for (int first = 0; first < width; first += resample::kColumnsPerStrip) {
            const int count = std::min(resample::kColumnsPerStrip, width - first);
            const int firstLine = columnsReversed ? width - 1 - first : first;
            resample::ColumnLines(table, schedule, rows.data(), first, count,
                                  intermediate + static_cast<std::size_t>(firstLine) * rowBytes,
                                  columnsReversed ? -lineStep : lineStep, scratch.Data());
        }
        return;
    }

    // Displayed lines are stored rows, possibly upside down or read right to left.
    const bool mirrored = o == Orientation::FlipHorizontal || o == Orientation::Rotate180;
    const bool upsideDown = o == Orientation::Rotate180 || o == Orientation::FlipVertical;
    const std::ptrdiff_t step = mirrored ? -4 : 4;
    const std::size_t start = mirrored ? 4 * (static_cast<std::size_t>(width) - 1) : 0;
    AlignedDoubles ring(resample::HorizontalScratchSize(table));
    const std::uint8_t* in[resample::kLinesPerSweep];
    std::uint8_t* out[resample::kLinesPerSweep];
    for (int y = 0; y < height; y += resample::kLinesPerSweep) {
        const int count = std::min(resample::kLinesPerSweep, height - y);
        for (int r = 0; r < count; ++r) {
            in[r] = lines[upsideDown ? height - 1 - (y + r) : y + r] + start;
            out[r] = intermediate + static_cast<std::size_t>(y + r) * rowBytes;
        }
        resample::Horizontal(table, in, count, step, out, ring.Data());
    }
}

} // namespace

void CResizeFilter::Run(const CRasterBitmap& source, CRasterBitmap& destination) {
    RunOriented(source, Orientation::Normal, destination);
}

void CResizeFilter::RunOriented(const CRasterBitmap& source, Orientation orientation,
                                CRasterBitmap& destination) {
    CheckArguments(source);
    orientation = Sanitised(orientation);
    const bool hasAlpha = source.HasAlpha();
    const bool sameBitmap = &source == &destination;

    // The passes read 4 bytes per pixel, and Allocate frees the pixels of a
    // destination that is also the source: both need a 32-bit copy to read.
    std::optional<CPlainBitmap> copy;
    if (sameBitmap)
        copy.emplace().CopyFrom(source, 32);
    destination.Allocate(newWidth_, newHeight_, 32, hasAlpha);
    if (!sameBitmap && source.BitsPerPixel() != 32)
        copy.emplace().CopyFrom(source, 32);

    BitmapAccess access(destination, false, true);
    Resample(copy ? *copy : source, orientation, destination);
}

void CResizeFilter::CheckArguments(const CRasterBitmap& source) const {
    CheckSize(source.Width(), source.Lines() ? source.Height() : 0);
}

void CResizeFilter::CheckSize(int width, int height) const {
    if (newWidth_ < 1 || newHeight_ < 1)
        throw CTextException(SkimletCode::kUnsupported,
                             "Cannot resize to " + std::to_string(newWidth_) + " x " +
                                 std::to_string(newHeight_) +
                                 " pixels: the new width and height must be at least 1.");
    if (width < 1 || height < 1)
        throw CTextException(SkimletCode::kUnsupported, "Cannot resize an empty bitmap.");
    if (!(radius_ > 0.0) || !std::isfinite(radius_))
        throw CTextException(SkimletCode::kUnsupported,
                             "The resize radius must be a positive number.");
}

void CResizeFilter::Resample(const CRasterBitmap& source, Orientation orientation,
                             CRasterBitmap& destination) const {
    const bool swap = SwapsAxes(orientation);
    const int shownWidth = swap ? source.Height() : source.Width();
    const int shownHeight = swap ? source.Width() : source.Height();
    const ResizeKernel kernel = Kernel();

    // The only large buffer: every displayed line at the new width.
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(newWidth_);
    const auto intermediate =
        AllocateClearedBytes(static_cast<std::int64_t>(rowBytes) * shownHeight);
    {
        const ContributionTable table(newWidth_, shownWidth,
                                      static_cast<double>(newWidth_) / shownWidth, kernel);
        HorizontalPass(source, orientation, table, intermediate.get(), rowBytes);
    }

    VerticalPass(intermediate.get(), rowBytes, shownHeight, newWidth_, newHeight_, kernel,
                 destination);
}

void CResizeFilter::RunStreamed(CRowSource& source, int width, int height, Orientation orientation,
                                CRasterBitmap& destination) {
    CheckSize(width, height);
    CShownRowResize resize(width, height, orientation, newWidth_, newHeight_, Kernel(),
                           destination);
    FeedRows(source, width, height, {&resize});
    resize.Finish();
}

CTentResizeFilter::CTentResizeFilter(int newWidth, int newHeight)
    : CResizeFilter(newWidth, newHeight, 1.0) {}
ResizeKernel CTentResizeFilter::Kernel() const {
    return TentKernel(radius_);
}

CBoxResizeFilter::CBoxResizeFilter(int newWidth, int newHeight, double radius)
    : CResizeFilter(newWidth, newHeight, radius) {}
ResizeKernel CBoxResizeFilter::Kernel() const {
    return BoxKernel(radius_);
}

CGaussianResizeFilter::CGaussianResizeFilter(int newWidth, int newHeight, double radius)
    : CResizeFilter(newWidth, newHeight, radius) {}
ResizeKernel CGaussianResizeFilter::Kernel() const {
    return GaussianKernel(radius_);
}

CHammingResizeFilter::CHammingResizeFilter(int newWidth, int newHeight, double radius)
    : CResizeFilter(newWidth, newHeight, radius) {}
ResizeKernel CHammingResizeFilter::Kernel() const {
    return HammingKernel(radius_);
}

} // namespace skimlet
