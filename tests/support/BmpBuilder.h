#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// The layout of a Windows bitmap file, field by field; MakeBmp writes it out.
// Depends on the standard library only, so that fuzzing seeds can use it too.
struct BmpSpec {
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t infoSize = 40;          // information header bytes; 40, 108 and 124 are common
    std::vector<std::uint32_t> palette{}; // 0xRRGGBB, written as blue, green, red, 0
    // Bit-field masks (red, green, blue, then alpha if given): placed right after the 40
    // information bytes, inside a longer header or else after it.
    std::vector<std::uint32_t> masks{};
    std::string pixels{};                   // the pixel data exactly as stored
    std::optional<std::uint32_t> offBits{}; // bfOffBits; the end of headers and palette if unset
};

std::string MakeBmp(const BmpSpec& spec);

// Stored rows, each padded with zeros to a multiple of 4 bytes.
std::string BmpRows(const std::vector<std::string>& rows);

} // namespace testsupport
