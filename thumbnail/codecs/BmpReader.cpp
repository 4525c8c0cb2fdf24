#include "codecs/BmpReader.h"

#include "base/TextException.h"
#include "base/Trace.h"
#include "bitmaps/RasterBitmap.h"
#include "io/ByteSource.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstring>
#include <memory>
#include <string>

namespace skimlet {

namespace {

constexpr std::int64_t kFileHeaderBytes = 14;
constexpr std::int64_t kInfoHeaderBytes = 40;

// biCompression values.
constexpr std::uint32_t kNoCompression = 0;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::uint32_t kBitFields = 3;
constexpr std::uint32_t kAlphaBitFields = 6;

// Anything else (JPEG, PNG, Huffman, RLE24, RLE at another depth) would be read
// as raw pixels and come out as noise.
bool CanDecode(int bitCount, std::uint32_t compression) {
    switch (compression) {
    case kNoCompression:
        return true;
    case kRle8:
        return bitCount == 8;
    case kRle4:
        return bitCount == 4;
    case kBitFields:
    case kAlphaBitFields:
        return bitCount == 16 || bitCount == 32;
    default:
        return false;
    }
}

std::uint16_t Little16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t Little32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

struct BmpInfoHeader {
    std::uint32_t size;
    std::int32_t width;
    std::int32_t height;
    std::uint16_t planes;
    std::uint16_t bitCount;
    std::uint32_t compression;
    std::uint32_t sizeImage;
    std::uint32_t xPelsPerMeter;
    std::uint32_t yPelsPerMeter;
    std::uint32_t clrUsed;
    std::uint32_t clrImportant;
};

std::unique_ptr<BmpInfoHeader> ParseInfoHeader(const std::uint8_t* p) {
    return std::make_unique<BmpInfoHeader>(
        BmpInfoHeader{Little32(p), static_cast<std::int32_t>(Little32(p + 4)),
                      static_cast<std::int32_t>(Little32(p + 8)), Little16(p + 12),
                      Little16(p + 14), Little32(p + 16), Little32(p + 20), Little32(p + 24),
                      Little32(p + 28), Little32(p + 32), Little32(p + 36)});
}

// Stored rows are padded to whole 32-bit words.
std::int64_t StoredRowBytes(std::int64_t width, int bitsPerPixel) {
    return (width * bitsPerPixel + 31) / 32 * 4;
}

// Where decoded pixels go: stored row i lands on its bitmap line, indices
// become bytes at 8 bits or colours at 32.
struct Target {
    CRasterBitmap& bitmap;
    std::int64_t width;
    std::int64_t height;
    bool topDown;
    const std::array<std::uint32_t, 256>& colours;

    std::uint8_t* Row(std::int64_t stored) const {
        return bitmap.Lines()[topDown ? stored : height - 1 - stored];
    }
    void PutIndex(std::uint8_t* row, std::int64_t x, unsigned index) const {
        if (bitmap.BitsPerPixel() == 8)
            row[x] = static_cast<std::uint8_t>(index);
        else
            StorePixel32(row + 4 * x, colours[index]);
    }
    // Pixels that no run reaches read as index 0.
    void FillIndexZero() const {
        for (std::int64_t y = 0; y < height; ++y)
            for (std::int64_t x = 0; x < width; ++x)
                PutIndex(bitmap.Lines()[y], x, 0);
    }
};

// 1, 4 and 8 bits per pixel, uncompressed; indices from the most significant bits down.
void DecodePacked(CByteSource& source, const Target& t, int bits) {
    TraceLine(2, bits == 1   ? "Decoding 1 bit per pixel bitmap.\n"
                 : bits == 4 ? "Decoding uncompressed 4 bit per pixel bitmap.\n"
                             : "Decoding uncompressed 8 bit per pixel bitmap.\n");
    const std::int64_t rowBytes = StoredRowBytes(t.width, bits);
    const unsigned mask = (1u << bits) - 1;
    for (std::int64_t y = 0; y < t.height; ++y) {
        const std::uint8_t* in = source.ReadBytes(rowBytes);
        std::uint8_t* out = t.Row(y);
        for (std::int64_t x = 0; x < t.width; ++x) {
            const std::int64_t bit = x * bits;
            const int shift = 8 - bits - static_cast<int>(bit % 8);
            t.PutIndex(out, x, in[bit / 8] >> shift & mask);
        }
    }
}

// Runs write straight into the rows, clipped at the row's end.
void DecodeRle(CByteSource& source, const Target& t, int bits) {
    TraceLine(2, bits == 4 ? "Decoding RLE4-compressed bitmap.\n"
                           : "Decoding RLE8-compressed bitmap.\n");
    t.FillIndexZero();
    auto indexAt = [bits](const std::uint8_t* data, unsigned k) -> unsigned {
        return bits == 8 ? data[k] : (k % 2 ? data[k / 2] & 0x0F : data[k / 2] >> 4);
    };
    std::int64_t y = 0;
    std::int64_t x = 0;
    while (y < t.height) {
        const std::uint8_t* pair = source.ReadBytes(2);
        const unsigned count = pair[0];
        const unsigned value = pair[1];
        std::uint8_t* row = t.Row(y);
        if (count > 0) {
            // Encoded run: RLE4 alternates the byte's two nibbles, high one first.
            for (unsigned k = 0; k < count; ++k, ++x)
                if (x < t.width)
                    t.PutIndex(row, x, bits == 8 ? value : (k % 2 ? value & 0x0F : value >> 4));
        } else if (value == 0) {
            ++y;
            x = 0;
        } else if (value == 1) {
            return;
        } else if (value == 2) {
            ThrowDecodeError(SkimletCode::kUnsupported, "Encountered delta escape.");
        } else {
            // Absolute run, its data padded to a 16-bit boundary.
            const std::int64_t dataBytes = bits == 8 ? value : (value + 1) / 2;
            const std::uint8_t* data = source.ReadBytes(dataBytes + dataBytes % 2);
            for (unsigned k = 0; k < value; ++k, ++x)
                if (x < t.width)
                    t.PutIndex(row, x, indexAt(data, k));
        }
    }
}

// Red, green, blue and alpha masks of a bit-field picture; alpha 0 when the file gives none.
using Masks = std::array<std::uint32_t, 4>;

// One channel of a bit-field pixel, its bits scaled to the full 0 to 255 range.
class Channel {
public:
    explicit Channel(std::uint32_t mask)
        : mask_(mask), shift_(mask ? std::countr_zero(mask) : 0), max_(mask >> shift_) {}
    std::uint8_t From(std::uint32_t pixel, std::uint8_t absent) const {
        if (mask_ == 0)
            return absent;
        const std::uint64_t value = (pixel & mask_) >> shift_;
        return static_cast<std::uint8_t>((value * 255 + max_ / 2) / max_);
    }

private:
    std::uint32_t mask_;
    int shift_;
    std::uint64_t max_;
};

// 16 or 32 bits per pixel through any contiguous masks; opaque without an alpha mask.
void DecodeBitFields(CByteSource& source, const Target& t, int bitCount, const Masks& masks) {
    TraceLine(2, "Decoding bit-field bitmap.\n");
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
    const int bytesPerPixel = bitCount / 8;
    const std::int64_t rowBytes = StoredRowBytes(t.width, bitCount);
    for (std::int64_t y = 0; y < t.height; ++y) {
        const std::uint8_t* in = source.ReadBytes(rowBytes);
        std::uint8_t* out = t.Row(y);
        for (std::int64_t x = 0; x < t.width; ++x, in += bytesPerPixel, out += 4) {
            const std::uint32_t w = bitCount == 16 ? Little16(in) : Little32(in);
            out[0] = blue.From(w, 0);
            out[1] = green.From(w, 0);
            out[2] = red.From(w, 0);
            out[3] = alpha.From(w, 255);
        }
    }
}

// 15 (5-5-5), 16 (5-6-5, lowest green bit dropped), 24 and 32 bits per pixel;
// 32-bit pixels keep their fourth byte as alpha, unless every one of them is 0:
// such files carry no alpha and would otherwise come out fully transparent.
void DecodeTrueColour(CByteSource& source, const Target& t, int depth) {
    TraceLine(2, "Decoding true-color bitmap.\n");
    const int bytesPerPixel = depth == 15 ? 2 : depth / 8;
    const std::int64_t rowBytes = StoredRowBytes(t.width, bytesPerPixel * 8);
    std::uint8_t anyAlpha = 0;
    for (std::int64_t y = 0; y < t.height; ++y) {
        const std::uint8_t* in = source.ReadBytes(rowBytes);
        std::uint8_t* out = t.Row(y);
        if (depth == 32) {
            std::memcpy(out, in, static_cast<std::size_t>(t.width) * 4);
            for (std::int64_t x = 0; x < t.width; ++x)
                anyAlpha |= out[4 * x + 3];
            continue;
        }
        for (std::int64_t x = 0; x < t.width; ++x, in += bytesPerPixel, out += 4) {
            if (depth == 24) {
                out[0] = in[0], out[1] = in[1], out[2] = in[2];
            } else {
                const unsigned w = Little16(in);
                const int greenShift = depth == 15 ? 5 : 6;
                const int redShift = depth == 15 ? 10 : 11;
                out[0] = static_cast<std::uint8_t>((w & 0x1F) << 3);
                out[1] = static_cast<std::uint8_t>((w >> greenShift & 0x1F) << 3);
                out[2] = static_cast<std::uint8_t>((w >> redShift & 0x1F) << 3);
            }
            out[3] = 255;
        }
    }
    if (depth == 32 && anyAlpha == 0)
        for (std::int64_t y = 0; y < t.height; ++y)
            for (std::int64_t x = 0; x < t.width; ++x)
                t.Row(y)[4 * x + 3] = 255;
}

// Masks follow the 40 information bytes, inside a longer header or after it; a
// header of 56 bytes or more, or the alpha variant of the compression, adds alpha.
Masks ReadMasks(CByteSource& source, const BmpInfoHeader& info) {
    const bool withAlpha = info.compression == kAlphaBitFields || info.size >= 56;
    const std::uint8_t* p = source.ReadBytes(withAlpha ? 16 : 12);
    Masks masks{Little32(p), Little32(p + 4), Little32(p + 8), withAlpha ? Little32(p + 12) : 0};
    const std::uint32_t within = info.bitCount == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    for (std::uint32_t mask : masks) {
        const std::uint32_t shifted = mask ? mask >> std::countr_zero(mask) : 0;
        if ((mask & ~within) != 0 || (shifted & (shifted + 1)) != 0)
            ThrowDecodeError(SkimletCode::kBadBitmapHeader,
                             "Bitmap decoder: Bit-field masks must be contiguous and within "
                             "the pixel.");
    }
    return masks;
}

// The established 16-bit layouts keep their established bytes.
bool IsLegacy16(const Masks& m, std::uint32_t green) {
    return m[0] == (green == 0x3E0 ? 0x7C00u : 0xF800u) && m[1] == green && m[2] == 0x1F &&
           m[3] == 0;
}

[[noreturn]] void ThrowEndOfData() {
    // The same failure the source raises when it runs out.
    throw CTextException(SkimletCode::kEndOfData, "End of file reached while decoding.\n");
}

} // namespace

void CBmpReader::ReadImage(CRasterBitmap& bitmap, PaletteHolder& paletteHolder, int& requestedBpp,
                           CByteSource& source) {
    const std::int64_t start = source.Position();
    const std::uint8_t* fileHeader = source.ReadBytes(kFileHeaderBytes);
    if (fileHeader[0] != 'B' || fileHeader[1] != 'M')
        ThrowDecodeError(SkimletCode::kNotABitmap, "Bitmap decoder: This isn't a bitmap.");
    TraceLine(2, "Bitmap file signature found\n");
    const std::int64_t offBits = Little32(fileHeader + 10);

    const std::unique_ptr<BmpInfoHeader> info = ParseInfoHeader(source.ReadBytes(kInfoHeaderBytes));
    if (info->size < kInfoHeaderBytes)
        ThrowDecodeError(SkimletCode::kBadBitmapHeader,
                         "Bitmap decoder: BITMAPINFOHEADER has wrong size.");
    TraceLine(2, "Bitmap header is ok.\n");

    const int bitCount = info->bitCount;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32)
        ThrowDecodeError(SkimletCode::kBadBitmapHeader, "Decoding bmp: Illegal bpp value.");
    if (info->width == 0 || info->height == 0)
        ThrowDecodeError(SkimletCode::kBadBitmapHeader,
                         "Bitmap decoder: The picture has no pixels (width or height is 0).");
    if (info->width < 0)
        ThrowDecodeError(SkimletCode::kBadBitmapHeader, "Bitmap decoder: Negative picture width.");
    ChooseTargetBpp(bitCount, requestedBpp);
    if (requestedBpp != 8 && requestedBpp != 32)
        ThrowDecodeError(SkimletCode::kUnsupported, "Bitmap decoder: Cannot decode to " +
                                                        std::to_string(requestedBpp) +
                                                        " bits per pixel (only 8 or 32).");
    // True-colour pictures have no palette to go with 8 bits per pixel.
    const int depth = bitCount <= 8 ? requestedBpp : 32;
    requestedBpp = depth;

    if (!CanDecode(bitCount, info->compression))
        ThrowDecodeError(SkimletCode::kBadBitmapHeader, "Bitmap decoder: Unsupported compression " +
                                                            std::to_string(info->compression) +
                                                            " at " + std::to_string(bitCount) +
                                                            " bits per pixel.");
    const bool bitFields = info->compression == kBitFields || info->compression == kAlphaBitFields;
    const Masks masks = bitFields ? ReadMasks(source, *info) : Masks{};
    const std::int64_t headerEnd = start + kFileHeaderBytes + std::int64_t{info->size};
    if (source.Position() < headerEnd)
        source.ReadBytes(headerEnd - source.Position());

    auto palette = std::make_unique<PaletteBlock>();
    palette->fill(PaletteEntry{0, 0, 0, 255});
    if (bitCount <= 8) {
        TraceLine(3, "Reading palette.\n");
        const std::int64_t entries = info->clrUsed ? info->clrUsed : std::int64_t{1} << bitCount;
        const std::int64_t kept = std::min<std::int64_t>(entries, 256);
        const std::uint8_t* table = source.ReadBytes(kept * 4);
        for (std::int64_t i = 0; i < kept; ++i, table += 4)
            (*palette)[i] = PaletteEntry{table[0], table[1], table[2], 255};
        if (entries > kept)
            source.ReadBytes((entries - kept) * 4);
    }
    // A pixel offset inside the headers is wrong; the pixels then follow the headers.
    if (source.Position() < start + offBits)
        source.ReadBytes(start + offBits - source.Position());

    const bool compressed = info->compression == kRle4 || info->compression == kRle8;
    const std::int64_t width = info->width;
    const std::int64_t height = info->height < 0 ? -std::int64_t{info->height} : info->height;
    // Checked before allocating, so that a few bytes declaring a huge picture cost nothing.
    if (compressed) {
        if (width * height > kMaxRlePixels)
            ThrowDecodeError(SkimletCode::kOutOfMemory,
                             "Bitmap decoder: Compressed picture of " + std::to_string(width) +
                                 " x " + std::to_string(height) + " pixels is too large.");
    } else if (height > (source.Size() - source.Position()) / StoredRowBytes(width, bitCount)) {
        ThrowEndOfData();
    }
    if (height > INT_MAX)
        ThrowDecodeError(SkimletCode::kOutOfMemory, "Bitmap decoder: Picture is too large.");

    bitmap.Allocate(static_cast<int>(width), static_cast<int>(height), depth, false);
    if (depth == 8)
        bitmap.CopyPalette(palette->data());
    std::array<std::uint32_t, 256> colours{};
    std::transform(palette->begin(), palette->end(), colours.begin(), PackColour);
    paletteHolder = std::move(palette);
    {
        BitmapAccess access(bitmap, false, true);
        const Target target{bitmap, width, height, info->height < 0, colours};
        if (compressed)
            DecodeRle(source, target, bitCount);
        else if (bitCount <= 8)
            DecodePacked(source, target, bitCount);
        else if (bitFields && bitCount == 16 && IsLegacy16(masks, 0x7E0))
            DecodeTrueColour(source, target, 16);
        else if (bitFields && bitCount == 16 && IsLegacy16(masks, 0x3E0))
            DecodeTrueColour(source, target, 15);
        else if (bitFields)
            DecodeBitFields(source, target, bitCount, masks);
        else if (bitCount == 16)
            DecodeTrueColour(source, target, 15);
        else
            DecodeTrueColour(source, target, bitCount);
    }
    TraceLine(3, "Decoding finished.\n");
}

} // namespace skimlet
