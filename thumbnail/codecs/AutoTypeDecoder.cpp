#include "codecs/AutoTypeDecoder.h"

#include "base/TextException.h"
#include "base/Trace.h"
#include "codecs/BmpReader.h"
#include "codecs/JpegReader.h"
#include "io/ByteSource.h"

namespace skimlet {

namespace {

bool StartsWith(const std::uint8_t* bytes, std::initializer_list<std::uint8_t> signature,
                std::size_t offset = 0) {
    for (const std::uint8_t b : signature)
        if (bytes[offset++] != b)
            return false;
    return true;
}

std::uint32_t Little32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

// Targa files carry no signature; this checks that the header fields that
// have few valid values hold one of them.
bool LooksLikeTarga(const std::uint8_t* b) {
    const bool colourMapType = b[1] <= 1;
    const bool imageType = b[2] <= 3 || (b[2] >= 9 && b[2] <= 11);
    const bool entrySize =
        b[7] == 0 || b[7] == 8 || b[7] == 15 || b[7] == 16 || b[7] == 24 || b[7] == 32;
    const bool pixelDepth = b[16] == 8 || b[16] == 15 || b[16] == 16 || b[16] == 24 || b[16] == 32;
    return colourMapType && imageType && entrySize && pixelDepth;
}

bool LooksLikePict(const std::uint8_t* b, std::int64_t dataSize) {
    if (dataSize <= 540)
        return false;
    return StartsWith(b, {0x00, 0x11, 0x02, 0xFF}, 522) || StartsWith(b, {0x00, 0x11, 0x01}, 522) ||
           StartsWith(b, {0x11, 0x01, 0x01, 0x00}, 522);
}

} // namespace

CAutoTypeDecoder::CAutoTypeDecoder()
    : bmpReader_(std::make_unique<CBmpReader>()), jpegReader_(std::make_unique<CJpegReader>()) {}

CAutoTypeDecoder::~CAutoTypeDecoder() = default;

PictureType CAutoTypeDecoder::DetectPictureType(const std::uint8_t* b, std::int64_t dataSize) {
    // The order is binding: the loose Targa test comes before the signatures.
    if (StartsWith(b, {'B', 'M'}))
        return kPictureBmp;
    if (LooksLikeTarga(b))
        return kPictureTarga;
    if (StartsWith(b, {'G', 'I', 'F', '8'}))
        return kPictureGif;
    if (StartsWith(b, {0x49, 0x49, 0x2A, 0x00}) || StartsWith(b, {0x4D, 0x4D, 0x00, 0x2A}))
        return kPictureTiff;
    if (LooksLikePict(b, dataSize))
        return kPicturePict;
    if (StartsWith(b, {0xFF, 0xD8, 0xFF}))
        return kPictureJpeg;
    if (StartsWith(b, {0x89, 0x50, 0x4E, 0x47}))
        return kPicturePng;
    if ((StartsWith(b, {0xC5, 0xD0, 0xD3, 0xC6}) || StartsWith(b, {0xC6, 0xD3, 0xD0, 0xC5})) &&
        Little32(b + 20) != 0 && Little32(b + 24) != 0)
        return kPictureEpsTiff;
    if (b[0] == 0x0A && b[2] == 1)
        return kPicturePcx;
    if (b[0] == 'P' && (b[1] == '2' || b[1] == '5'))
        return kPicturePgm;
    return kPictureUnknown;
}

void CAutoTypeDecoder::DecodeSource(CByteSource& source, CRasterBitmap& bitmap, int requestedBpp) {
    orientation_ = Orientation::Normal;
    firstWarning_.clear();
    warningCount_ = 0;
    // Only a peek: the reader gets the source still standing at the start.
    const PictureType type = DetectPictureType(source.PeekBytes(kSignatureBytes), source.Size());
    switch (type) {
    case kPictureUnknown:
        ThrowDecodeError(SkimletCode::kUnknownType, "Unknown file type.");
    case kPictureBmp:
        TraceLine(2, "Windows bitmap recognized.\n");
        bmpReader_->DecodeSource(source, bitmap, requestedBpp);
        return;
    case kPictureJpeg:
        TraceLine(2, "JPEG file recognized.\n");
        jpegReader_->DecodeSource(source, bitmap, requestedBpp);
        orientation_ = jpegReader_->PictureOrientation();
        firstWarning_ = jpegReader_->FirstWarning();
        warningCount_ = jpegReader_->WarningCount();
        return;
    default:
        ThrowDecodeError(SkimletCode::kUnsupported, "Library not compiled for this file type.");
    }
}

} // namespace skimlet
