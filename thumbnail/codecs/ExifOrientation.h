#pragma once

#include "bitmaps/Orientation.h"

#include <cstdint>

namespace skimlet {

// The orientation a JPEG's Exif data (tag 0x0112 of IFD0 in the first APP1
// "Exif" segment before the scan) asks for. Reads only within the `size` bytes
// at `jpeg`; anything missing, malformed or out of range gives Normal.
Orientation ReadExifOrientation(const std::uint8_t* jpeg, std::int64_t size);

// The orientation in the payload of one APP1 segment (after its length field);
// Normal unless it is an Exif segment that holds a valid one.
Orientation ReadApp1Orientation(const std::uint8_t* payload, std::int64_t size);

} // namespace skimlet
