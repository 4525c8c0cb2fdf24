#pragma once

#include <exiv2/exiv2.hpp>

#include <string>

// Photos with metadata, the segments made by Exiv2.
namespace testsupport {

// A marker segment: 0xFF, `marker`, the length, `payload`.
std::string AppSegment(char marker, const std::string& payload);
std::string ExifSegment(const Exiv2::ExifData& data);
std::string XmpSegment(const Exiv2::XmpData& data);
std::string IptcSegment(const Exiv2::IptcData& data); // in a Photoshop APP13 segment

// `jpeg` with `segments` right after its start-of-image marker.
std::string WithSegments(const std::string& jpeg, const std::string& segments);

// `jpeg` with all a camera and a phone leave behind: Exif (make, model, orientation 6, a
// caption, body, lens and maker-note serial numbers, owner, GPS position), XMP (caption, creator,
// position, city, serial number) and IPTC (caption, byline, city, country).
std::string LocatedPhoto(const std::string& jpeg);

} // namespace testsupport
