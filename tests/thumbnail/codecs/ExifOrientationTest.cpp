#include "codecs/ExifOrientation.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace skimlet;

namespace {

// Reads from an exactly sized heap copy, so that the sanitizers see any read past the end.
Orientation Read(const std::string& bytes, std::size_t length = std::string::npos) {
    const std::vector<std::uint8_t> copy(
        bytes.begin(), bytes.begin() + static_cast<long>(std::min(length, bytes.size())));
    return ReadExifOrientation(copy.data(), static_cast<std::int64_t>(copy.size()));
}

const std::string& Plain() {
    static const std::string jpeg = testsupport::MakeJpeg({});
    return jpeg;
}

TEST(ExifOrientation, ReadsAllEightValuesInBothByteOrders) {
    for (bool bigEndian : {false, true})
        for (int value = 1; value <= 8; ++value)
            EXPECT_EQ(Read(testsupport::WithExifOrientation(Plain(), value, bigEndian)),
                      static_cast<Orientation>(value));
    EXPECT_EQ(Read(Plain()), Orientation::Normal);

    // Found behind the JFIF segment that real photos carry first.
    const std::string exif = testsupport::WithExifOrientation(Plain(), 8);
    const std::string segment = exif.substr(2, exif.size() - Plain().size());
    EXPECT_EQ(Read(Plain().substr(0, 20) + segment + Plain().substr(20)), Orientation::Rotate270);
    // Ignored after the scan has started.
    const std::size_t scan = Plain().find("\xFF\xDA");
    EXPECT_EQ(Read(Plain().substr(0, scan + 2) + segment + Plain().substr(scan + 2)),
              Orientation::Normal);
}

TEST(ExifOrientation, MalformedDataGivesNormalWithoutReadingOutOfBounds) {
    const std::string exif = testsupport::WithExifOrientation(Plain(), 6, true);
    // Layout: SOI, APP1 marker and length at 4, "Exif\0\0", TIFF header at 12, IFD0 at 20
    // with its one entry at 22 (tag, type at 24, count at 26, value at 30); segment end 38.
    for (std::size_t length = 0; length < 38; ++length)
        EXPECT_EQ(Read(exif, length), Orientation::Normal) << length;
    EXPECT_EQ(Read(exif, 38), Orientation::Rotate90);
    // Shorter segments that end inside the TIFF structure, the data ending with them.
    for (int segment = 2; segment < 34; ++segment) {
        std::string cut = exif.substr(0, 4 + segment);
        cut[4] = 0, cut[5] = static_cast<char>(segment);
        EXPECT_EQ(Read(cut), segment >= 30 ? Orientation::Rotate90 : Orientation::Normal)
            << segment;
    }

    const std::pair<std::size_t, std::string> damage[] = {
        {4, "\xFF\xF0"},                    // segment longer than the data
        {12, "XX"},                         // no byte order
        {16, "\xFF\xFF\xFF\xF0"},           // IFD far outside
        {20, "\xFF\xFF"},                   // 65535 entries
        {24, std::string("\0\x04", 2)},     // LONG, not SHORT
        {26, std::string("\0\0\0\x02", 4)}, // two values
        {30, std::string("\0\x09", 2)},     // out of range
        {30, std::string("\0\0", 2)},
    };
    for (const auto& [at, bytes] : damage)
        EXPECT_EQ(Read(std::string(exif).replace(at, bytes.size(), bytes)), Orientation::Normal)
            << at;
}

} // namespace
