#include "filters/ResizeFilter.h"

#include "bitmaps/PlainBitmap.h"
#include "bitmaps/TextException.h"
#include "filters/ContributionTable.h"
#include "filters/Resampler.h"

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>

namespace {

// Displayed lines that are stored columns are copied into line buffers a block
// at a time, so that each stored row is read in pieces of at least a cache line
// (16 pixels). Wider blocks cross fewer pages per pixel; the buffers should
// stay within the second-level cache.
constexpr int kMinColumnBlock = 16;
constexpr int kMaxColumnBlock = 64;
constexpr std::int64_t kColumnBlockBytes = std::int64_t{1} << 20;

[[noreturn]] void ThrowOutOfMemory() {
    throw CTextException(SkimletCode::kOutOfMemory, "Out of memory resizing bitmap.");
}

std::unique_ptr<std::uint8_t[]> AllocateBytes(std::int64_t bytes) {
    if (bytes > CRasterBitmap::kMaxStorageBytes)
        ThrowOutOfMemory();
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow)
                                              std::uint8_t[static_cast<std::size_t>(bytes)]);
    if (!block)
        ThrowOutOfMemory();
    return block;
}

Orientation Sanitised(Orientation o) {
    const int value = static_cast<int>(o);
    return value >= 1 && value <= 8 ? o : Orientation::Normal;
}

// Copies `count` neighbouring stored columns, from `firstColumn` on, into
// `block`: column firstColumn + i becomes line i of `height` pixels, from the
// bottom up when `upward`. Works on 4 x 4 pixel tiles so that each stored row
// is read in pieces of 16 bytes and each line written likewise.
void GatherColumns(std::uint8_t* const* lines, int height, int firstColumn, int count, bool upward,
                   std::uint8_t* block) {
    const std::size_t lineBytes = 4 * static_cast<std::size_t>(height);
    const auto row = [&](int x) { return lines[upward ? height - 1 - x : x] + 4 * firstColumn; };
    int x = 0;
#if defined(__SSE2__)
    const int tiledColumns = count & ~3;
    for (; x + 4 <= height; x += 4) {
        const std::uint8_t* rows[4] = {row(x), row(x + 1), row(x + 2), row(x + 3)};
        for (int i = 0; i < tiledColumns; i += 4) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[0] + 4 * i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[1] + 4 * i));
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2] + 4 * i));
            const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[3] + 4 * i));
            const __m128i ab0 = _mm_unpacklo_epi32(a, b), ab1 = _mm_unpackhi_epi32(a, b);
            const __m128i cd0 = _mm_unpacklo_epi32(c, d), cd1 = _mm_unpackhi_epi32(c, d);
            std::uint8_t* out = block + i * lineBytes + 4 * static_cast<std::size_t>(x);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi64(ab0, cd0));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + lineBytes),
                             _mm_unpackhi_epi64(ab0, cd0));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * lineBytes),
                             _mm_unpacklo_epi64(ab1, cd1));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * lineBytes),
                             _mm_unpackhi_epi64(ab1, cd1));
        }
        for (int i = tiledColumns; i < count; ++i)
            for (int k = 0; k < 4; ++k)
                std::memcpy(block + i * lineBytes + 4 * static_cast<std::size_t>(x + k),
                            rows[k] + 4 * i, 4);
    }
#endif
    for (; x < height; ++x) {
        const std::uint8_t* in = row(x);
        for (int i = 0; i < count; ++i)
            std::memcpy(block + i * lineBytes + 4 * static_cast<std::size_t>(x), in + 4 * i, 4);
    }
}

// The horizontal pass over the source as shown under `o`: displayed line y
// becomes intermediate row y.
void HorizontalPass(const CRasterBitmap& source, Orientation o, const ContributionTable& table,
                    std::uint8_t* intermediate, std::size_t rowBytes) {
    const std::size_t scratchBytes = 8 * resample::HorizontalScratchSize(table);
    const auto scratchBlock = AllocateBytes(static_cast<std::int64_t>(scratchBytes) + 64);
    auto* scratch = reinterpret_cast<double*>(
        (reinterpret_cast<std::uintptr_t>(scratchBlock.get()) + 63) & ~std::uintptr_t{63});
    std::uint8_t* const* lines = source.Lines();
    const int width = source.Width();
    const int height = source.Height();
    const std::uint8_t* in[kMaxColumnBlock];
    std::uint8_t* out[kMaxColumnBlock];

    if (!SwapsAxes(o)) {
        // Displayed lines are stored rows, possibly upside down or read right to left.
        const bool mirrored = o == Orientation::FlipHorizontal || o == Orientation::Rotate180;
        const bool upsideDown = o == Orientation::Rotate180 || o == Orientation::FlipVertical;
        const std::ptrdiff_t step = mirrored ? -4 : 4;
        const std::size_t start = mirrored ? 4 * (static_cast<std::size_t>(width) - 1) : 0;
        for (int y = 0; y < height; y += resample::kLinesPerSweep) {
            const int count = std::min(resample::kLinesPerSweep, height - y);
            for (int r = 0; r < count; ++r) {
                in[r] = lines[upsideDown ? height - 1 - (y + r) : y + r] + start;
                out[r] = intermediate + static_cast<std::size_t>(y + r) * rowBytes;
            }
            resample::Horizontal(table, in, count, step, out, scratch);
        }
        return;
    }

    // Displayed line y is stored column y (orientations 5, 6) or width - 1 - y
    // (7, 8), read from the bottom up for 6 and 7.
    const bool columnsReversed = o == Orientation::Transverse || o == Orientation::Rotate270;
    const bool upward = o == Orientation::Rotate90 || o == Orientation::Transverse;
    const std::size_t lineBytes = 4 * static_cast<std::size_t>(height);
    const int blockLines = static_cast<int>(
        std::clamp<std::int64_t>(kColumnBlockBytes / lineBytes, kMinColumnBlock, kMaxColumnBlock));
    const auto block = AllocateBytes(static_cast<std::int64_t>(blockLines) * 4 * height);
    for (int y = 0; y < width; y += blockLines) {
        const int count = std::min(blockLines, width - y);
        const int firstColumn = columnsReversed ? width - y - count : y;
        GatherColumns(lines, height, firstColumn, count, upward, block.get());
        for (int r = 0; r < count; ++r) {
            in[r] = block.get() +
                    static_cast<std::size_t>(columnsReversed ? count - 1 - r : r) * lineBytes;
            out[r] = intermediate + static_cast<std::size_t>(y + r) * rowBytes;
        }
        resample::Horizontal(table, in, count, 4, out, scratch);
    }
}

// Counts the destination as being written for as long as the guard lives.
class WriteAccess {
public:
    explicit WriteAccess(CRasterBitmap& bitmap) : bitmap_(bitmap) {
        bitmap_.BeginAccess(false, true);
    }
    ~WriteAccess() { bitmap_.EndAccess(); }
    WriteAccess(const WriteAccess&) = delete;
    WriteAccess& operator=(const WriteAccess&) = delete;

private:
    CRasterBitmap& bitmap_;
};

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

    WriteAccess access(destination);
    Resample(copy ? *copy : source, orientation, destination);
}

void CResizeFilter::CheckArguments(const CRasterBitmap& source) const {
    if (newWidth_ < 1 || newHeight_ < 1)
        throw CTextException(SkimletCode::kUnsupported,
                             "Cannot resize to " + std::to_string(newWidth_) + " x " +
                                 std::to_string(newHeight_) +
                                 " pixels: the new width and height must be at least 1.");
    if (source.Width() < 1 || source.Height() < 1 || !source.Lines())
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
    const auto intermediate = AllocateBytes(static_cast<std::int64_t>(rowBytes) * shownHeight);
    {
        const ContributionTable table(newWidth_, shownWidth,
                                      static_cast<double>(newWidth_) / shownWidth, kernel);
        HorizontalPass(source, orientation, table, intermediate.get(), rowBytes);
    }

    const ContributionTable table(newHeight_, shownHeight,
                                  static_cast<double>(newHeight_) / shownHeight, kernel);
    std::uint8_t* const* lines = destination.Lines();
    for (int y = 0; y < newHeight_; ++y)
        resample::Vertical(table[y], intermediate.get(), rowBytes, newWidth_, lines[y]);
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
