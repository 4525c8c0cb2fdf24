#include "codecs/PictureEncoder.h"

#include "base/TextException.h"
#include "base/Trace.h"
#include "bitmaps/DibBitmap.h"
#include "io/ByteSink.h"

namespace skimlet {

void CPictureEncoder::EncodeToFile(const std::string& path, CRasterBitmap& bitmap) {
    CBufferedFileSink sink;
    TraceLine(1, "--- Encoding file " + path + ". ---\n");
    const int result = sink.Open(path, SinkCapacityFor(bitmap));
    if (result != SkimletCode::kOk)
        ThrowDecodeError(result, "Opening " + path + " failed");
    EncodeToSink(bitmap, sink);
    sink.Close();
}

void CPictureEncoder::EncodeToSink(CRasterBitmap& bitmap, CByteSink& sink) {
    WriteImage(bitmap, sink);
}

std::int64_t CPictureEncoder::SinkCapacityFor(const CRasterBitmap& bitmap) {
    // Bitmaps of fewer bits are encoded as 32-bit ones, whose output is no smaller.
    const std::int64_t footprint =
        bitmap.BitsPerPixel() == 32
            ? bitmap.MemoryFootprint()
            : std::int64_t{4} * bitmap.Width() * bitmap.Height() + CDibBitmap::kHeaderSize + 48;
    if (footprint < 20000)
        return footprint + 4096;
    return static_cast<std::int64_t>(static_cast<double>(footprint) * 1.2);
}

std::int64_t CPictureEncoder::SinkCapacityFor(int width, int height) {
    const std::int64_t footprint = std::int64_t{4} * width * height;
    if (footprint < 20000)
        return footprint + 4096;
    return static_cast<std::int64_t>(static_cast<double>(footprint) * 1.2);
}

} // namespace skimlet
