#include "filters/GeometryFilters.h"

#include "base/TextException.h"
#include "bitmaps/PlainBitmap.h"
#include "filters/FilterSupport.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

namespace skimlet {

void CRotateFilter::Run(const CRasterBitmap& source, CRasterBitmap& destination) {
    if (!std::isfinite(radians_))
        throw CTextException(SkimletCode::kUnsupported, "The rotation angle is not a number.");
    CPlainBitmap scratch;
    const CRasterBitmap& input = ReadableAs32Bits(source, destination, scratch);
    const int width = input.Width();
    const int height = input.Height();
    const double cosine = std::cos(radians_);
    const double sine = std::sin(radians_);

    // The allowance keeps the rounding noise of cos and sin at right angles (far
    // below a millionth of a pixel) from adding a line or column.
    auto side = [](double extent) { return std::max(0.0, std::ceil(extent - 1e-6)); };
    const double newWidth = side(width * std::abs(cosine) + height * std::abs(sine));
    const double newHeight = side(width * std::abs(sine) + height * std::abs(cosine));
    if (newWidth > INT_MAX || newHeight > INT_MAX)
        throw CTextException(SkimletCode::kOutOfMemory, "Out of memory creating bitmap.");
    destination.Allocate(static_cast<int>(newWidth), static_cast<int>(newHeight), 32,
                         input.HasAlpha());

    const double sourceCentreX = width / 2.0, sourceCentreY = height / 2.0;
    const double centreX = newWidth / 2.0, centreY = newHeight / 2.0;
    for (int dy = 0; dy < destination.Height(); ++dy) {
        const double v = dy + 0.5 - centreY;
        std::uint8_t* out = destination.Lines()[dy];
        for (int dx = 0; dx < destination.Width(); ++dx, out += 4) {
            const double u = dx + 0.5 - centreX;
            const double x = u * cosine - v * sine + sourceCentreX;
            const double y = u * sine + v * cosine + sourceCentreY;
            // Compared before converting, so that no out-of-range value is cast.
            if (x >= 0 && x < width && y >= 0 && y < height) {
                const std::uint8_t* in =
                    input.Lines()[static_cast<int>(y)] + 4 * static_cast<std::size_t>(x);
                std::memcpy(out, in, 4);
            } else {
                StorePixel32(out, background_);
            }
        }
    }
}

void CCropFilter::Run(const CRasterBitmap& source, CRasterBitmap& destination) {
    CPlainBitmap scratch;
    const CRasterBitmap& input = ReadableApartFrom(source, destination, scratch);
    const int left = std::max(left_, 0);
    const int top = std::max(top_, 0);
    const int right = std::min(right_, input.Width());
    const int bottom = std::min(bottom_, input.Height());
    if (right <= left || bottom <= top)
        throw CTextException(SkimletCode::kUnsupported,
                             "The crop rectangle (left " + std::to_string(left_) + ", right " +
                                 std::to_string(right_) + ", top " + std::to_string(top_) +
                                 ", bottom " + std::to_string(bottom_) + ") holds no pixel of a " +
                                 std::to_string(input.Width()) + " x " +
                                 std::to_string(input.Height()) + " picture.");

    const int bits = input.BitsPerPixel();
    destination.Allocate(right - left, bottom - top, bits, input.HasAlpha());
    if (destination.Palette() && input.Palette())
        destination.CopyPalette(input.Palette());
    const auto lineBytes =
        static_cast<std::size_t>(CRasterBitmap::PackedLineBytes(right - left, bits));
    for (int y = 0; y < destination.Height(); ++y) {
        std::uint8_t* out = destination.Lines()[y];
        if (bits == 1) {
            std::memset(out, 0, lineBytes);
            for (int x = 0; x < destination.Width(); ++x)
                destination.StorePixel(x, y, input.PixelAt(left + x, top + y));
        } else {
            const std::size_t pixelBytes = static_cast<std::size_t>(bits / 8);
            std::memcpy(out, input.Lines()[top + y] + pixelBytes * static_cast<std::size_t>(left),
                        lineBytes);
        }
    }
}

} // namespace skimlet
