#include "codecs/ExifOrientation.h"

#include <cstring>

namespace skimlet {

namespace {

constexpr std::uint8_t kMarkerPrefix = 0xFF;
constexpr std::uint8_t kStartOfImage = 0xD8;
constexpr std::uint8_t kEndOfImage = 0xD9;
constexpr std::uint8_t kStartOfScan = 0xDA;
constexpr std::uint8_t kApp1 = 0xE1;
constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::int64_t kIfdEntrySize = 12;

// Markers that stand alone, without a length field.
bool IsStandalone(std::uint8_t marker) {
    return marker == 0x01 || marker == kStartOfImage || (marker >= 0xD0 && marker <= 0xD7);
}

std::uint32_t Big16(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 8 | p[1];
}

// A TIFF structure of `size` bytes in either byte order; every read is checked
// against `size`.
class TiffView {
public:
    TiffView(const std::uint8_t* data, std::int64_t size) : data_(data), size_(size) {}

    bool ReadByteOrder() {
        if (size_ < 8)
            return false;
        if (data_[0] == 'I' && data_[1] == 'I')
            bigEndian_ = false;
        else if (data_[0] == 'M' && data_[1] == 'M')
            bigEndian_ = true;
        else
            return false;
        return U16(2) == 42;
    }

    bool Has(std::int64_t offset, std::int64_t count) const {
        return offset >= 0 && count >= 0 && offset <= size_ && count <= size_ - offset;
    }
    // Callers check the range with Has first.
    std::uint32_t U16(std::int64_t offset) const {
        const std::uint8_t* p = data_ + offset;
        return bigEndian_ ? std::uint32_t{p[0]} << 8 | p[1] : std::uint32_t{p[1]} << 8 | p[0];
    }
    std::uint32_t U32(std::int64_t offset) const {
        return bigEndian_ ? U16(offset) << 16 | U16(offset + 2)
                          : U16(offset + 2) << 16 | U16(offset);
    }

private:
    const std::uint8_t* data_;
    std::int64_t size_;
    bool bigEndian_ = false;
};

Orientation OrientationFromTiff(const std::uint8_t* data, std::int64_t size) {
    TiffView tiff(data, size);
    if (!tiff.ReadByteOrder())
        return Orientation::Normal;
    const std::int64_t ifd = tiff.U32(4);
    if (!tiff.Has(ifd, 2))
        return Orientation::Normal;
    const std::int64_t entries = tiff.U16(ifd);
    if (!tiff.Has(ifd + 2, entries * kIfdEntrySize))
        return Orientation::Normal;
    for (std::int64_t i = 0; i < entries; ++i) {
        const std::int64_t entry = ifd + 2 + i * kIfdEntrySize;
        if (tiff.U16(entry) != kOrientationTag)
            continue;
        if (tiff.U16(entry + 2) != kTypeShort || tiff.U32(entry + 4) != 1)
            break;
        // A single SHORT sits at the start of the value field.
        const std::uint32_t value = tiff.U16(entry + 8);
        if (value >= 1 && value <= 8)
            return static_cast<Orientation>(value);
        break;
    }
    return Orientation::Normal;
}

bool IsExif(const std::uint8_t* payload, std::int64_t size) {
    return size >= 6 && std::memcmp(payload, "Exif\0\0", 6) == 0;
}

} // namespace

Orientation ReadApp1Orientation(const std::uint8_t* payload, std::int64_t size) {
    if (!payload || !IsExif(payload, size))
        return Orientation::Normal;
    return OrientationFromTiff(payload + 6, size - 6);
}

Orientation ReadExifOrientation(const std::uint8_t* jpeg, std::int64_t size) {
    if (!jpeg || size < 4 || jpeg[0] != kMarkerPrefix || jpeg[1] != kStartOfImage)
        return Orientation::Normal;
    std::int64_t pos = 2;
    // Every step moves forward, so the walk ends within the data.
    while (pos + 2 <= size) {
        if (jpeg[pos] != kMarkerPrefix)
            return Orientation::Normal;
        // Any number of 0xFF fill bytes may precede a marker.
        while (pos + 2 <= size && jpeg[pos + 1] == kMarkerPrefix)
            ++pos;
        if (pos + 2 > size)
            break;
        const std::uint8_t marker = jpeg[pos + 1];
        if (marker == kStartOfScan || marker == kEndOfImage)
            break;
        if (IsStandalone(marker)) {
            pos += 2;
            continue;
        }
        if (pos + 4 > size)
            break;
        const std::int64_t length = Big16(jpeg + pos + 2); // counts itself, not the marker
        if (length < 2 || length > size - pos - 2)
            break;
        const std::uint8_t* payload = jpeg + pos + 4;
        const std::int64_t payloadSize = length - 2;
        if (marker == kApp1 && IsExif(payload, payloadSize))
            return ReadApp1Orientation(payload, payloadSize);
        pos += 2 + length;
    }
    return Orientation::Normal;
}

} // namespace skimlet
