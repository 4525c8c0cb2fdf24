#include "BmpBuilder.h"

#include <algorithm>

namespace testsupport {

namespace {

void Put(std::string& out, std::size_t at, std::uint32_t value, int bytes) {
    if (out.size() < at + static_cast<std::size_t>(bytes))
        out.resize(at + static_cast<std::size_t>(bytes), '\0');
    for (int i = 0; i < bytes; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i) & 0xFF);
}

} // namespace

std::string MakeBmp(const BmpSpec& spec) {
    std::string info;
    Put(info, 0, spec.infoSize, 4);
    Put(info, 4, static_cast<std::uint32_t>(spec.width), 4);
    Put(info, 8, static_cast<std::uint32_t>(spec.height), 4);
    Put(info, 12, 1, 2);
    Put(info, 14, spec.bitCount, 2);
    Put(info, 16, spec.compression, 4);
    Put(info, 20, static_cast<std::uint32_t>(spec.pixels.size()), 4);
    Put(info, 32, static_cast<std::uint32_t>(spec.palette.size()), 4);
    Put(info, 36, 0, 4);
    info.resize(std::max<std::size_t>(info.size(), spec.infoSize), '\0');
    for (std::size_t i = 0; i < spec.masks.size(); ++i)
        Put(info, 40 + 4 * i, spec.masks[i], 4);
    for (std::uint32_t colour : spec.palette)
        Put(info, info.size(), colour & 0xFFFFFF, 4);

    const std::uint32_t headersEnd = static_cast<std::uint32_t>(14 + info.size());
    std::string file = "BM";
    Put(file, 2, static_cast<std::uint32_t>(headersEnd + spec.pixels.size()), 4);
    Put(file, 10, spec.offBits.value_or(headersEnd), 4);
    file += info;
    if (spec.offBits && *spec.offBits > headersEnd)
        file.resize(*spec.offBits, '\0');
    return file + spec.pixels;
}

std::string BmpRows(const std::vector<std::string>& rows) {
    std::string out;
    for (const std::string& row : rows)
        out += row + std::string((4 - row.size() % 4) % 4, '\0');
    return out;
}

} // namespace testsupport
