#include "bitmaps/RasterBitmap.h"

#include "base/TextException.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace skimlet {

namespace {

constexpr const char* kOutOfMemory = "Out of memory creating bitmap.";

int Brightness(std::uint32_t colour) {
    return static_cast<int>((colour >> 16 & 0xFF) + (colour >> 8 & 0xFF) + (colour & 0xFF));
}

// Colour of one pixel as a BGRA value, through the palette for 1 and 8 bits.
std::uint32_t ColourAt(const CRasterBitmap& bitmap, int x, int y) {
    const std::uint32_t value = bitmap.PixelAt(x, y);
    if (bitmap.BitsPerPixel() == 32)
        return value;
    return PackColour(bitmap.Palette()[value]);
}

} // namespace

std::int64_t CRasterBitmap::PackedLineBytes(std::int64_t width, int bitsPerPixel) {
    if (bitsPerPixel == 1)
        return (width + 7) / 8;
    return width * (bitsPerPixel / 8);
}

void CRasterBitmap::CheckFormat(int width, int height, int bitsPerPixel) {
    if (bitsPerPixel != 1 && bitsPerPixel != 8 && bitsPerPixel != 32)
        throw CTextException(SkimletCode::kUnsupported, "Bitmaps of " +
                                                            std::to_string(bitsPerPixel) +
                                                            " bits per pixel are not supported.");
    if (width < 0 || height < 0)
        throw CTextException(SkimletCode::kOutOfMemory, kOutOfMemory);
}

void CRasterBitmap::AllocateLineTable() {
    lines_.reset(new (std::nothrow) std::uint8_t*[static_cast<std::size_t>(height_) + 1]);
    if (!lines_)
        throw CTextException(SkimletCode::kOutOfMemory, kOutOfMemory);
}

void CRasterBitmap::Allocate(int width, int height, int bitsPerPixel, bool hasAlpha) {
    CheckFormat(width, height, bitsPerPixel);
    ReleaseStorage();
    width_ = height_ = 0;
    bitsPerPixel_ = bitsPerPixel;
    hasAlpha_ = false;
    AllocateStorage(width, height, bitsPerPixel, hasAlpha);
    width_ = width;
    height_ = height;
    hasAlpha_ = hasAlpha;
    try {
        BuildLineTable();
    } catch (...) {
        ReleaseStorage();
        width_ = height_ = 0;
        throw;
    }
    if (bitsPerPixel < 16)
        SetGreyPalette();
}

void CRasterBitmap::BeginAccess(bool, bool) {
    ++accessCount_;
}

void CRasterBitmap::EndAccess() {
    --accessCount_;
}

void CRasterBitmap::CopyPalette(const PaletteEntry* entries) {
    if (palette_ && entries && palette_ != entries)
        std::memcpy(palette_, entries,
                    sizeof(PaletteEntry) * static_cast<std::size_t>(PaletteSize()));
}

void CRasterBitmap::SetGreyPalette() {
    if (!palette_)
        return;
    const int n = PaletteSize();
    const int step = 255 / (n - 1);
    for (int i = 0; i < n; ++i) {
        const auto level = static_cast<std::uint8_t>(i * step);
        palette_[i] = PaletteEntry{level, level, level, 255};
    }
}

std::uint32_t CRasterBitmap::PixelAt(int x, int y) const {
    const std::uint8_t* line = lines_[y];
    switch (bitsPerPixel_) {
    case 32:
        return LoadPixel32(line + std::size_t{4} * static_cast<std::size_t>(x));
    case 8:
        return line[x];
    default:
        return line[x / 8] >> (7 - x % 8) & 1u;
    }
}

void CRasterBitmap::StorePixel(int x, int y, std::uint32_t value) {
    std::uint8_t* line = lines_[y];
    switch (bitsPerPixel_) {
    case 32:
        StorePixel32(line + std::size_t{4} * static_cast<std::size_t>(x), value);
        break;
    case 8:
        line[x] = static_cast<std::uint8_t>(value);
        break;
    default: {
        const auto mask = static_cast<std::uint8_t>(0x80u >> (x % 8));
        if (value & 1)
            line[x / 8] |= mask;
        else
            line[x / 8] &= static_cast<std::uint8_t>(~mask);
    }
    }
}

int CRasterBitmap::NearestPaletteIndex(std::uint32_t colour) const {
    if (bitsPerPixel_ == 32)
        return static_cast<int>(colour);
    const int brightness = Brightness(colour);
    if (!palette_)
        return brightness > 765 - brightness ? 1 : 0;
    const int red = colour >> 16 & 0xFF, green = colour >> 8 & 0xFF, blue = colour & 0xFF;
    int best = 0;
    int bestDistance = 1000;
    for (int i = 0; i < PaletteSize(); ++i) {
        const PaletteEntry& e = palette_[i];
        const int distance =
            std::abs(e.red - red) + std::abs(e.green - green) + std::abs(e.blue - blue);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

void CRasterBitmap::SetQuantization(int dither, int method) {
    quantizeDither_ = dither;
    quantizeMethod_ = method;
}

void CRasterBitmap::CopyFrom(const CRasterBitmap& source, int bitsPerPixel) {
    if (bitsPerPixel != 0 && bitsPerPixel != 1 && bitsPerPixel != 8 && bitsPerPixel != 32)
        throw CTextException(SkimletCode::kUnsupported, "Bitmaps of " +
                                                            std::to_string(bitsPerPixel) +
                                                            " bits per pixel are not supported.");
    if (&source == this) {
        if (bitsPerPixel == 0 || bitsPerPixel == bitsPerPixel_)
            return;
        // Converting in place: Allocate would free the pixels being read.
        const std::unique_ptr<CRasterBitmap> copy = NewEmpty();
        copy->CopyFrom(source, 0);
        ConvertFrom(*copy, bitsPerPixel);
        return;
    }
    if (bitsPerPixel == 0 || bitsPerPixel == source.BitsPerPixel()) {
        Allocate(source.Width(), source.Height(), source.BitsPerPixel(), source.HasAlpha());
        const auto bytes = static_cast<std::size_t>(PackedLineBytes(width_, bitsPerPixel_));
        for (int y = 0; y < height_; ++y)
            std::memcpy(lines_[y], source.Lines()[y], bytes);
        if (palette_ && source.Palette())
            CopyPalette(source.Palette());
        return;
    }
    ConvertFrom(source, bitsPerPixel);
}

void CRasterBitmap::ConvertFrom(const CRasterBitmap& source, int bitsPerPixel) {
    const int width = source.Width();
    const int height = source.Height();
    const int from = source.BitsPerPixel();
    if (bitsPerPixel == 8 && from == 32)
        throw CTextException(SkimletCode::kUnsupported,
                             "Bitmaps of 32 bits per pixel reach 8 through the colour quantizer.");
    Allocate(width, height, bitsPerPixel, bitsPerPixel == 32 && source.HasAlpha());

    if (bitsPerPixel == 32) {
        PaletteEntry twoColours[2] = {{0, 0, 0, 255}, {255, 255, 255, 255}};
        const PaletteEntry* palette = source.Palette();
        if (from == 1 && !palette)
            palette = twoColours;
        for (int y = 0; y < height; ++y) {
            std::uint8_t* out = lines_[y];
            for (int x = 0; x < width; ++x) {
                const PaletteEntry& e = palette[source.PixelAt(x, y)];
                out[4 * x] = e.blue;
                out[4 * x + 1] = e.green;
                out[4 * x + 2] = e.red;
                out[4 * x + 3] = e.alpha;
            }
        }
        return;
    }

    if (bitsPerPixel == 8) {
        // From 1 bit: two palette entries, opaque.
        PaletteEntry entries[2] = {{255, 255, 255, 255}, {0, 0, 0, 255}};
        if (const PaletteEntry* palette = source.Palette()) {
            entries[0] = palette[0];
            entries[1] = palette[1];
        }
        palette_[0] = entries[0];
        palette_[1] = entries[1];
        palette_[0].alpha = palette_[1].alpha = 255;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                lines_[y][x] = static_cast<std::uint8_t>(source.PixelAt(x, y));
        return;
    }

    // To 1 bit: dark pixels become 1 (black), the rest 0 (white).
    palette_[0] = PaletteEntry{255, 255, 255, 255};
    palette_[1] = PaletteEntry{0, 0, 0, 255};
    const auto bytes = static_cast<std::size_t>(PackedLineBytes(width, 1));
    for (int y = 0; y < height; ++y) {
        std::memset(lines_[y], 0, bytes);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = ColourAt(source, x, y);
            const bool dark = (c >> 16 & 0xFF) < 128 && (c >> 8 & 0xFF) < 128 && (c & 0xFF) < 128;
            if (dark)
                lines_[y][x / 8] |= static_cast<std::uint8_t>(0x80u >> (x % 8));
        }
    }
}

} // namespace skimlet
