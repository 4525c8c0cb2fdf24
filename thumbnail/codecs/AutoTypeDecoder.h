#pragma once

#include "codecs/PictureDecoder.h"

#include <cstdint>
#include <memory>

namespace skimlet {

class CBmpReader;
class CJpegReader;

// Picture types recognised from a file's first bytes.
enum PictureType : int {
    kPictureUnknown = 0,
    kPictureBmp = 1,
    kPicturePict = 2,
    kPictureTarga = 3,
    kPictureTiff = 4,
    kPictureJpeg = 5,
    kPicturePng = 6,
    kPictureEpsTiff = 7,
    kPicturePcx = 10,
    kPicturePgm = 11,
    kPictureGif = 12,
};

// Recognises the picture type and hands the work to the matching reader.
class CAutoTypeDecoder : public CPictureDecoder {
public:
    CAutoTypeDecoder();
    ~CAutoTypeDecoder() override;

    void DecodeSource(CByteSource& source, CRasterBitmap& bitmap, int requestedBpp) override;

    // How many leading bytes DetectPictureType looks at: the PICT test reads
    // up to offset 525.
    static constexpr std::int64_t kSignatureBytes = 544;

    // `bytes` holds at least the first kSignatureBytes bytes of the data (zero
    // past its end); `dataSize` is the size of the whole data.
    static PictureType DetectPictureType(const std::uint8_t* bytes, std::int64_t dataSize);

private:
    std::unique_ptr<CBmpReader> bmpReader_;
    std::unique_ptr<CJpegReader> jpegReader_;
};

} // namespace skimlet
