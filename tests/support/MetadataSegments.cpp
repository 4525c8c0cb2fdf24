#include "MetadataSegments.h"

#include <stdexcept>

namespace testsupport {

std::string AppSegment(char marker, const std::string& payload) {
    const std::size_t length = payload.size() + 2;
    if (length > 0xFFFF)
        throw std::length_error("segment too large");
    return std::string{'\xFF', marker, static_cast<char>(length >> 8),
                       static_cast<char>(length & 0xFF)} +
           payload;
}

std::string ExifSegment(const Exiv2::ExifData& data) {
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, data);
    return AppSegment('\xE1', std::string("Exif\0\0", 6) + std::string(blob.begin(), blob.end()));
}

std::string XmpSegment(const Exiv2::XmpData& data) {
    std::string packet;
    if (Exiv2::XmpParser::encode(packet, data) != 0)
        throw std::runtime_error("XMP not encoded");
    return AppSegment('\xE1', std::string("http://ns.adobe.com/xap/1.0/\0", 29) + packet);
}

std::string IptcSegment(const Exiv2::IptcData& data) {
    const Exiv2::DataBuf block = Exiv2::Photoshop::setIptcIrb(nullptr, 0, data);
    return AppSegment('\xED', std::string("Photoshop 3.0\0", 14) +
                                  std::string(reinterpret_cast<const char*>(block.pData_),
                                              static_cast<std::size_t>(block.size_)));
}

std::string WithSegments(const std::string& jpeg, const std::string& segments) {
    return jpeg.substr(0, 2) + segments + jpeg.substr(2);
}

std::string LocatedPhoto(const std::string& jpeg) {
    Exiv2::ExifData exif;
    exif["Exif.Image.Make"] = "Canon";
    exif["Exif.Image.Model"] = "Canon EOS 5D";
    exif["Exif.Image.Orientation"] = std::uint16_t{6};
    exif["Exif.Image.ImageDescription"] = "  Harbour\tat\x01 dusk ";
    exif["Exif.Photo.BodySerialNumber"] = "0123456789";
    exif["Exif.Photo.LensSerialNumber"] = "98765";
    exif["Exif.Photo.CameraOwnerName"] = "A. Owner";
    exif["Exif.Canon.SerialNumber"] = std::uint32_t{4242};
    exif["Exif.Canon.FirmwareVersion"] = "Firmware 1.0";
    exif["Exif.GPSInfo.GPSVersionID"] = "2 2 0 0";
    exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
    exif["Exif.GPSInfo.GPSLatitude"] = "56/1 9/1 0/1";
    exif["Exif.GPSInfo.GPSLongitudeRef"] = "E";
    exif["Exif.GPSInfo.GPSLongitude"] = "10/1 12/1 0/1";
    Exiv2::XmpData xmp;
    xmp["Xmp.dc.description"] = "lang=x-default Harbour";
    xmp["Xmp.dc.creator"] = "A. Owner";
    xmp["Xmp.exif.GPSLatitude"] = "56,9.0N";
    xmp["Xmp.exif.GPSLongitude"] = "10,12.0E";
    xmp["Xmp.photoshop.City"] = "Aarhus";
    xmp["Xmp.aux.SerialNumber"] = "0123456789";
    Exiv2::IptcData iptc;
    iptc["Iptc.Application2.Caption"] = "Harbour at dusk";
    iptc["Iptc.Application2.Byline"] = "A. Owner";
    iptc["Iptc.Application2.City"] = "Aarhus";
    iptc["Iptc.Application2.CountryName"] = "Denmark";
    return WithSegments(jpeg, ExifSegment(exif) + XmpSegment(xmp) + IptcSegment(iptc));
}

} // namespace testsupport
