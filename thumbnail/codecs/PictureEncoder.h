#pragma once

#include "base/PLObject.h"

#include <cstdint>
#include <string>

namespace skimlet {

class CByteSink;
class CRasterBitmap;

// Frame of the picture encoders: writes a bitmap into a file or a sink. Every
// failure is a CTextException.
class CPictureEncoder : public CPLObject {
public:
    ~CPictureEncoder() override = default;

    // Encodes into the file at `path`. The file appears only once the whole
    // picture is written; a failure leaves an earlier file of that name as it was.
    virtual void EncodeToFile(const std::string& path, CRasterBitmap& bitmap);
    virtual void EncodeToSink(CRasterBitmap& bitmap, CByteSink& sink);

    // Room given to a file sink for the encoding of `bitmap`: its memory footprint
    // (as a 32-bit bitmap) plus 4096 bytes when small, 1.2 times it otherwise.
    static std::int64_t SinkCapacityFor(const CRasterBitmap& bitmap);
    // The same for a 32-bit picture of that size encoded line by line.
    static std::int64_t SinkCapacityFor(int width, int height);

protected:
    CPictureEncoder() = default;
    // The format's own encoding.
    virtual void WriteImage(CRasterBitmap& bitmap, CByteSink& sink) = 0;
};

} // namespace skimlet
