#include "filters/ResizeFilter.h"

#include "base/TextException.h"
#include "bitmaps/PlainBitmap.h"
#include "filters/ContributionTable.h"
#include "filters/Resampler.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace skimlet {

namespace {

[[noreturn]] void ThrowOutOfMemory() {
    throw CTextException(SkimletCode::kOutOfMemory, "Out of memory resizing bitmap.");
}

// Cleared, so that a sample the passes failed to write would show as black
// rather than as whatever the memory held before.
std::unique_ptr<std::uint8_t[]> AllocateClearedBytes(std::int64_t bytes) {
    if (bytes > CRasterBitmap::kMaxStorageBytes)
        ThrowOutOfMemory();
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow)
                                              std::uint8_t[static_cast<std::size_t>(bytes)]());
    if (!block)
        ThrowOutOfMemory();
    return block;
}

template <typename T>
std::vector<T> AllocateVector(std::size_t size) {
    try {
        return std::vector<T>(size);
    } catch (const std::bad_alloc&) {
        ThrowOutOfMemory();
    }
}

// Working memory for the vector loops, aligned to 64 bytes.
class AlignedDoubles {
public:
    explicit AlignedDoubles(std::size_t count)
        : block_(AllocateVector<double>(count + 8)),
          data_(block_.data() + (64 - reinterpret_cast<std::uintptr_t>(block_.data()) % 64) % 64 /
                                    sizeof(double)) {}
    double* Data() { return data_; }

private:
    std::vector<double> block_;
    double* data_;
};

resample::ColumnSchedule MakeSchedule(const ContributionTable& table) {
    try {
        return resample::ColumnSchedule(table);
    } catch (const std::bad_alloc&) {
        ThrowOutOfMemory();
    }
}

Orientation Sanitised(Orientation o) {
    const int value = static_cast<int>(o);
    return value >= 1 && value <= 8 ? o : Orientation::Normal;
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

// Counting sort of `keys` (each -1, meaning none, or 0 .. buckets - 1): the
// indices of bucket k are order[first[k] .. first[k + 1]).
struct Buckets {
    Buckets(const std::vector<int>& keys, int buckets)
        : first(AllocateVector<int>(static_cast<std::size_t>(buckets) + 1)) {
        for (const int k : keys)
            if (k >= 0)
                ++first[static_cast<std::size_t>(k) + 1];
        for (std::size_t k = 0; k < static_cast<std::size_t>(buckets); ++k)
            first[k + 1] += first[k];
        order = AllocateVector<int>(static_cast<std::size_t>(first.back()));
        std::vector<int> next(first.begin(), first.end() - 1);
        for (std::size_t i = 0; i < keys.size(); ++i)
            if (keys[i] >= 0)
                order[static_cast<std::size_t>(next[static_cast<std::size_t>(keys[i])]++)] =
                    static_cast<int>(i);
    }
    std::vector<int> first;
    std::vector<int> order;
};

// Lines of 4-byte pixels, with room for the vector loops to read a little past
// a line's end.
std::unique_ptr<std::uint8_t[]> AllocateLines(int width, int count) {
    return AllocateClearedBytes(4 * static_cast<std::int64_t>(width) * count + 64);
}

// HorizontalPass for stored rows arriving from `source`, where displayed lines
// are stored rows: each band of rows is resampled as it arrives.
void StreamLines(CRowSource& source, int width, int height, Orientation o,
                 const ContributionTable& table, std::uint8_t* intermediate, std::size_t rowBytes) {
    const bool mirrored = o == Orientation::FlipHorizontal || o == Orientation::Rotate180;
    const bool upsideDown = o == Orientation::Rotate180 || o == Orientation::FlipVertical;
    const std::ptrdiff_t step = mirrored ? -4 : 4;
    const std::size_t lineBytes = 4 * static_cast<std::size_t>(width);
    const std::size_t start = mirrored ? lineBytes - 4 : 0;
    const auto band = AllocateLines(width, resample::kLinesPerSweep);
    AlignedDoubles ring(resample::HorizontalScratchSize(table));
    std::uint8_t* rows[resample::kLinesPerSweep];
    const std::uint8_t* in[resample::kLinesPerSweep];
    std::uint8_t* out[resample::kLinesPerSweep];
    for (int r = 0; r < resample::kLinesPerSweep; ++r)
        rows[r] = band.get() + static_cast<std::size_t>(r) * lineBytes;
    for (int y = 0; y < height; y += resample::kLinesPerSweep) {
        const int count = std::min(resample::kLinesPerSweep, height - y);
        source.ReadRows(rows, count);
        for (int r = 0; r < count; ++r) {
            in[r] = rows[r] + start;
            out[r] = intermediate +
                     static_cast<std::size_t>(upsideDown ? height - 1 - (y + r) : y + r) * rowBytes;
        }
        resample::Horizontal(table, in, count, step, out, ring.Data());
    }
}

// HorizontalPass for stored rows arriving from `source`, where displayed lines
// are stored columns. Each output is made once the last of its rows has
// arrived, summed in the same order as from a whole picture (downward for
// orientations 6 and 7, against the order of arrival); a row is kept only
// until the last output using it is made.
void StreamColumns(CRowSource& source, int width, int height, Orientation o,
                   const ContributionTable& table, std::uint8_t* intermediate,
                   std::size_t rowBytes) {
    const bool upward = o == Orientation::Rotate90 || o == Orientation::Transverse;
    const bool columnsReversed = o == Orientation::Transverse || o == Orientation::Rotate270;
    const auto storedRow = [&](int shown) { return upward ? height - 1 - shown : shown; };

    std::vector<int> readyAt = AllocateVector<int>(static_cast<std::size_t>(table.LineLength()));
    std::vector<int> keepUntil = AllocateVector<int>(static_cast<std::size_t>(height));
    std::fill(keepUntil.begin(), keepUntil.end(), -1);
    for (int x = 0; x < table.LineLength(); ++x) {
        const ContributionTable::Entry& e = table[x];
        readyAt[static_cast<std::size_t>(x)] = -1;
        if (e.count == 0)
            continue; // its line stays as cleared: all weights zero
        const int a = storedRow(e.left);
        const int b = storedRow(e.left + e.count - 1);
        const int first = std::min(a, b);
        const int last = std::max(a, b);
        readyAt[static_cast<std::size_t>(x)] = last;
        for (int r = first; r <= last; ++r)
            keepUntil[static_cast<std::size_t>(r)] =
                std::max(keepUntil[static_cast<std::size_t>(r)], last);
    }
    const Buckets ready(readyAt, height);
    const Buckets release(keepUntil, height);

    // Rows by displayed position, as the column loops index them.
    auto shownRows = AllocateVector<const std::uint8_t*>(static_cast<std::size_t>(height));
    std::vector<std::unique_ptr<std::uint8_t[]>> owned;
    std::vector<std::uint8_t*> spare;
    std::vector<std::uint8_t*> held =
        AllocateVector<std::uint8_t*>(static_cast<std::size_t>(height));
    const auto unused = AllocateLines(width, 1);
    const int firstLine = columnsReversed ? width - 1 : 0;
    const std::ptrdiff_t lineStep =
        static_cast<std::ptrdiff_t>(rowBytes) * (columnsReversed ? -1 : 1);
    for (int r = 0; r < height; ++r) {
        std::uint8_t* row = unused.get();
        if (keepUntil[static_cast<std::size_t>(r)] >= 0) {
            if (spare.empty()) {
                owned.push_back(AllocateLines(width, 1));
                spare.push_back(owned.back().get());
            }
            row = spare.back();
            spare.pop_back();
        }
        source.ReadRows(&row, 1);
        held[static_cast<std::size_t>(r)] = row;
        shownRows[static_cast<std::size_t>(upward ? height - 1 - r : r)] = row;

        for (int i = ready.first[static_cast<std::size_t>(r)];
             i < ready.first[static_cast<std::size_t>(r) + 1]; ++i) {
            const int x = ready.order[static_cast<std::size_t>(i)];
            resample::Vertical(table[x], shownRows.data(), 0, width,
                               intermediate + static_cast<std::size_t>(firstLine) * rowBytes +
                                   4 * static_cast<std::size_t>(x),
                               lineStep);
        }
        for (int i = release.first[static_cast<std::size_t>(r)];
             i < release.first[static_cast<std::size_t>(r) + 1]; ++i)
            spare.push_back(
                held[static_cast<std::size_t>(release.order[static_cast<std::size_t>(i)])]);
    }
}

// The vertical pass over the intermediate lines into `destination`.
void VerticalPass(const std::uint8_t* intermediate, std::size_t rowBytes, int shownHeight,
                  int newWidth, int newHeight, const ResizeKernel& kernel,
                  CRasterBitmap& destination) {
    const ContributionTable table(newHeight, shownHeight,
                                  static_cast<double>(newHeight) / shownHeight, kernel);
    auto rows = AllocateVector<const std::uint8_t*>(static_cast<std::size_t>(shownHeight));
    for (int y = 0; y < shownHeight; ++y)
        rows[static_cast<std::size_t>(y)] = intermediate + static_cast<std::size_t>(y) * rowBytes;
    std::uint8_t* const* lines = destination.Lines();
    for (int y = 0; y < newHeight; ++y)
        resample::Vertical(table[y], rows.data(), 0, newWidth, lines[y], 4);
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
    orientation = Sanitised(orientation);
    const bool swap = SwapsAxes(orientation);
    const int shownWidth = swap ? height : width;
    const int shownHeight = swap ? width : height;
    const ResizeKernel kernel = Kernel();

    // Every buffer is in place before the first row is asked for: a size that
    // cannot be met fails without decoding anything.
    destination.Allocate(newWidth_, newHeight_, 32, false);
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(newWidth_);
    const auto intermediate =
        AllocateClearedBytes(static_cast<std::int64_t>(rowBytes) * shownHeight);
    {
        const ContributionTable table(newWidth_, shownWidth,
                                      static_cast<double>(newWidth_) / shownWidth, kernel);
        if (swap)
            StreamColumns(source, width, height, orientation, table, intermediate.get(), rowBytes);
        else
            StreamLines(source, width, height, orientation, table, intermediate.get(), rowBytes);
    }
    BitmapAccess access(destination, false, true);
    VerticalPass(intermediate.get(), rowBytes, shownHeight, newWidth_, newHeight_, kernel,
                 destination);
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
