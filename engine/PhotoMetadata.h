#pragma once

#include <optional>
#include <string>

// What a photo's own metadata says (its caption, whether it tells where it was taken), and
// copies of a photo without its location and serial numbers. Only the marker segments
// before the compressed picture are read, and only their metadata goes through Exiv2,
// in memory: a photo of hundreds of MB costs a few KB of reading.
//
// Safe to call from several threads at once. Exiv2 keeps process-wide state that is not
// thread-safe (its XMP toolkit and namespace registry), so it is set up once (log muted,
// XMP toolkit initialised with a lock, never terminated) and every use of it is serialised
// under one lock; the file reading and copying run outside that lock.
namespace vantrel {

struct PhotoMetadata {
    // The photo tells where it was taken: an Exif or XMP GPS latitude or longitude, or a
    // place in its XMP (Iptc4xmpCore:Location, Iptc4xmpExt:LocationCreated/LocationShown,
    // photoshop:City/State/Country, Iptc4xmpCore:CountryCode and the like) or IPTC datasets
    // (City, Sub-location, Province/State, Country, Location).
    bool hasLocation = false;
    // The photo's own caption: the first of Exif ImageDescription, XMP dc:description
    // (x-default, else its first language), XMP dc:title (likewise) and IPTC Caption/Abstract
    // that says something. UTF-8 (text that is not valid UTF-8 is taken as Latin-1), cut at
    // a NUL, control characters dropped, every run of blanks and line breaks made one
    // space, trimmed. Camera boilerplate ("OLYMPUS DIGITAL CAMERA", "SONY DSC" and the
    // like) counts as no caption. "" when there is none.
    std::string description;
};

// Reads the metadata of the JPEG open at `fd`, by pread from offset 0 (the file position
// is left alone): the marker segments before the first start of scan, at most 4096 of
// them, of which at most 1 MiB of metadata segments (APP1, APP13) are read; the compressed
// picture is never read. Nothing when the file does not begin as a JPEG or cannot be read.
// A damaged metadata segment is passed over and the others still read; a damaged segment
// structure ends the reading where it is damaged.
std::optional<PhotoMetadata> ReadPhotoMetadata(int fd);

// Copies the JPEG open at `in` (pread from offset 0) into `out`, an empty file open for
// writing and positioned at 0, without where it was taken and without serial numbers:
// - Exif: the GPS directory, and every tag named as a serial number or owner name
//   (BodySerialNumber, LensSerialNumber, CameraOwnerName, and in maker notes Exiv2 knows:
//   Exif.Canon.SerialNumber, Exif.Nikon3.SerialNumber, Exif.Olympus.SerialNumber, ...);
// - XMP (also extended XMP): GPS properties, latitudes and longitudes, places as above,
//   serial numbers and owner names, in any namespace;
// - IPTC: the location datasets.
// Only segments holding such data are rewritten; every other byte is copied as it is:
// the compressed picture, the orientation, every other segment and field. A photo without
// any such data is copied byte for byte, with `removed` false. The picture and whatever
// follows it are copied by copy_file_range (read and write where that is not possible).
//
// Returns false with `error` set (and `out` holding garbage to discard) when the file does
// not begin as a JPEG, cannot be read or written, or when it cannot vouch for the copy:
// its segment structure is damaged or truncated before the picture, it has more than
// 1 MiB of metadata segments, or a metadata segment cannot be read or would no longer fit
// its segment once rewritten (a copy of what it could not read could still hold a place).
bool CopyWithoutLocation(int in, int out, bool& removed, std::string& error);

} // namespace vantrel
