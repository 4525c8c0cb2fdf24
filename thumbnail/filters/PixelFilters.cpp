#include "filters/PixelFilters.h"

#include "base/TextException.h"
#include "bitmaps/PlainBitmap.h"
#include "filters/FilterSupport.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace skimlet {

namespace {

// Runs `pixelToByte` over every 32-bit pixel of the source into an 8-bit
// destination with a grey-ramp palette.
template <typename Function>
void MapToGreyLevels(const CRasterBitmap& source, CRasterBitmap& destination,
                     Function pixelToByte) {
    CPlainBitmap scratch;
    const CRasterBitmap& input = ReadableAs32Bits(source, destination, scratch);
    destination.Allocate(input.Width(), input.Height(), 8, false);
    destination.SetGreyPalette();
    for (int y = 0; y < input.Height(); ++y) {
        const std::uint8_t* p = input.Lines()[y];
        std::uint8_t* out = destination.Lines()[y];
        for (int x = 0; x < input.Width(); ++x, p += 4)
            out[x] = pixelToByte(p);
    }
}

} // namespace

void CGreyscaleFilter::Run(const CRasterBitmap& source, CRasterBitmap& destination) {
    // The weights in millionths sum to exactly one million, so the truncated
    // grey is exact: a grey pixel keeps its level, which rounding errors of
    // binary floating point would lower by one for some levels.
    MapToGreyLevels(source, destination, [](const std::uint8_t* p) {
        const std::uint32_t weighted = 212671u * p[2] + 715160u * p[1] + 72169u * p[0];
        return static_cast<std::uint8_t>(weighted / 1000000u);
    });
}

void CAlphaExtractFilter::Run(const CRasterBitmap& source, CRasterBitmap& destination) {
    MapToGreyLevels(source, destination, [](const std::uint8_t* p) { return p[3]; });
}

void CThresholdFilter::Run(const CRasterBitmap& source, CRasterBitmap& destination) {
    if (channel_ < 0 || channel_ > 3)
        throw CTextException(SkimletCode::kUnsupported, "Threshold channel " +
                                                            std::to_string(channel_) +
                                                            " is not a byte of a pixel (0 to 3).");
    MapToGreyLevels(source, destination, [this](const std::uint8_t* p) {
        const int value = p[channel_];
        return static_cast<std::uint8_t>(minimum_ < value && value < maximum_ ? value : 0);
    });
}

void CLightnessInvertFilter::Run(const CRasterBitmap& source, CRasterBitmap& destination) {
    CPlainBitmap scratch;
    const CRasterBitmap& input = ReadableAs32Bits(source, destination, scratch);
    destination.Allocate(input.Width(), input.Height(), 32, input.HasAlpha());
    for (int y = 0; y < input.Height(); ++y) {
        const std::uint8_t* p = input.Lines()[y];
        std::uint8_t* out = destination.Lines()[y];
        for (int x = 0; x < input.Width(); ++x, p += 4, out += 4) {
            // Hue and saturation fix the channels' ratios to the value (the largest
            // channel), so the round trip through hue, saturation and value scales
            // every channel by (255 - value) / value. Integer arithmetic, rounded to
            // nearest; black, whose hue and saturation are undefined, becomes white.
            const int value = std::max({p[0], p[1], p[2]});
            const int inverted = 255 - value;
            for (int c = 0; c < 3; ++c)
                out[c] = static_cast<std::uint8_t>(
                    value == 0 ? 255 : (p[c] * inverted + value / 2) / value);
            out[3] = p[3];
        }
    }
}

} // namespace skimlet
