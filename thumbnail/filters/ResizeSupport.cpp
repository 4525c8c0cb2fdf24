#include "filters/ResizeSupport.h"

#include "base/TextException.h"
#include "bitmaps/RasterBitmap.h"
#include "filters/Resampler.h"

namespace skimlet {

void ThrowResizeOutOfMemory() {
    throw CTextException(SkimletCode::kOutOfMemory, "Out of memory resizing bitmap.");
}

std::unique_ptr<std::uint8_t[]> AllocateClearedBytes(std::int64_t bytes) {
    if (bytes > CRasterBitmap::kMaxStorageBytes)
        ThrowResizeOutOfMemory();
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow)
                                              std::uint8_t[static_cast<std::size_t>(bytes)]());
    if (!block)
        ThrowResizeOutOfMemory();
    return block;
}

std::unique_ptr<std::uint8_t[]> AllocateLines(int width, int count) {
    return AllocateClearedBytes(4 * static_cast<std::int64_t>(width) * count + 64);
}

Buckets::Buckets(const std::vector<int>& keys, int buckets)
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

Orientation Sanitised(Orientation o) {
    const int value = static_cast<int>(o);
    return value >= 1 && value <= 8 ? o : Orientation::Normal;
}

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

} // namespace skimlet
