// Feeds the JPEG writer bitmaps and settings taken from the input, then reads
// the encoding back. Input layout:
//   byte 0     flags: bit 0 the picture comes from decoding the rest of the
//              input (else it is built from the rest), bit 1 optimised coding,
//              bit 2 a DIB bitmap (else a plain one), bits 3-4 the depth
//              (decoded: requested 0, 8, 32, 32; built: 1, 8, 32, 32),
//              bit 5 the writer is used again, first with too little room
//   byte 1     quality - 20        byte 2     smoothing - 20
//   bytes 3-6  density x and y, little-endian 16 bits each
//   byte 7     the room of the squeezed encoding, in 16 bytes
//   built:     width - 1, height - 1 (each below 96), then for 1 and 8 bits
//              the palette (blue, green, red, alpha), then the pixel bytes of
//              each line; short data reads as zeros
//   decoded:   a picture file
// An encoding must fail only when it outgrows its room (or JPEG's largest
// size), must read back as a JPEG of the bitmap's size, and must not depend on
// what the writer did before.

#include "FuzzSupport.h"

#include "base/TextException.h"
#include "bitmaps/DibBitmap.h"
#include "bitmaps/PlainBitmap.h"
#include "codecs/AutoTypeDecoder.h"
#include "codecs/JpegWriter.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

using namespace skimlet;

namespace {

void Build(fuzz::ByteReader& input, int bpp, CRasterBitmap& bitmap) {
    const int width = 1 + input.Byte() % 96;
    const int height = 1 + input.Byte() % 96;
    bitmap.Allocate(width, height, bpp, false);
    if (bpp != 32)
        for (int i = 0; i < bitmap.PaletteSize(); ++i)
            bitmap.Palette()[i] = {input.Byte(), input.Byte(), input.Byte(), input.Byte()};
    const auto lineBytes = CRasterBitmap::PackedLineBytes(width, bpp);
    for (int y = 0; y < height; ++y)
        for (std::int64_t x = 0; x < lineBytes; ++x)
            bitmap.Lines()[y][x] = input.Byte();
}

void CheckReadsBack(const std::vector<std::uint8_t>& jpeg, const CRasterBitmap& bitmap) {
    CAutoTypeDecoder decoder;
    CPlainBitmap decoded;
    try {
        decoder.DecodeMemory(jpeg.data(), static_cast<std::int64_t>(jpeg.size()), decoded, 32);
    } catch (const CTextException&) {
        fuzz::Fail("the encoding does not decode");
    }
    if (decoded.Width() != bitmap.Width() || decoded.Height() != bitmap.Height())
        fuzz::Fail("the encoding decodes at another size");
}

// The encoding, or nothing when it does not fit in `capacity` bytes.
std::optional<std::vector<std::uint8_t>> Encode(CJpegWriter& writer, CRasterBitmap& bitmap,
                                                std::int64_t capacity) {
    fuzz::MemorySink sink(capacity);
    try {
        writer.EncodeToSink(bitmap, sink);
    } catch (const CTextException& e) {
        // JPEG has no room for sides above 65500 pixels.
        const bool tooWide = bitmap.Width() > 65500 || bitmap.Height() > 65500;
        if (e.Code() != SkimletCode::kEndOfData && !tooWide)
            fuzz::Fail("encoding a valid bitmap failed");
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(sink.Buffer(), sink.Buffer() + sink.Written());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::ByteReader input(data, size);
    const std::uint8_t flags = input.Byte();
    const int quality = input.Byte() - 20;
    const int smoothing = input.Byte() - 20;
    const int densityX = input.Little16();
    const int densityY = input.Little16();
    const std::int64_t squeezed = std::int64_t{input.Byte()} * 16;
    const int depthChoice = flags >> 3 & 3;

    std::unique_ptr<CRasterBitmap> bitmap;
    if (flags & 4)
        bitmap = std::make_unique<CDibBitmap>();
    else
        bitmap = std::make_unique<CPlainBitmap>();
    if (flags & 1) {
        if (fuzz::AnnouncesCostlyPicture(input.Rest(), input.RestSize()))
            return 0;
        static constexpr int kRequested[] = {0, 8, 32, 32};
        try {
            CAutoTypeDecoder decoder;
            decoder.DecodeMemory(input.Rest(), static_cast<std::int64_t>(input.RestSize()), *bitmap,
                                 kRequested[depthChoice]);
        } catch (const CTextException&) {
            return 0;
        }
    } else {
        static constexpr int kBuilt[] = {1, 8, 32, 32};
        Build(input, kBuilt[depthChoice], *bitmap);
    }

    CJpegWriter writer;
    writer.UseQuality(quality);
    writer.UseSmoothing(smoothing);
    writer.UseOptimisedCoding(flags & 2);
    writer.UseDensity(densityX, densityY);
    const std::int64_t capacity = CPictureEncoder::SinkCapacityFor(*bitmap);
    const auto jpeg = Encode(writer, *bitmap, capacity);
    if (!jpeg)
        return 0;
    CheckReadsBack(*jpeg, *bitmap);
    if (flags & 32) {
        const auto cramped = Encode(writer, *bitmap, squeezed);
        if ((cramped && cramped != jpeg) || Encode(writer, *bitmap, capacity) != jpeg)
            fuzz::Fail("a used writer encodes differently from a new one");
    }
    return 0;
}
