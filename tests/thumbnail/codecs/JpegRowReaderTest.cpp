#include "codecs/JpegRowReader.h"

#include "base/TextException.h"
#include "bitmaps/DibBitmap.h"
#include "codecs/AutoTypeDecoder.h"
#include "io/ByteSource.h"

#include "../filters/Pictures.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace skimlet;

namespace {

std::string Jpeg(int width, int height, bool progressive = false) {
    // Some detail, so that a wrong row or colour conversion shows.
    return testsupport::MakeJpeg({.width = width,
                                  .height = height,
                                  .progressive = progressive,
                                  .pixel = [](int x, int y, std::uint8_t* c) {
                                      c[0] = static_cast<std::uint8_t>(x * 9 + y);
                                      c[1] = static_cast<std::uint8_t>(y * 5);
                                      c[2] = static_cast<std::uint8_t>((x ^ y) * 3);
                                  }});
}

std::size_t ThirdScanData(const std::string& jpeg) {
    std::size_t sos = jpeg.find("\xFF\xDA");
    for (int scan = 1; scan < 3; ++scan)
        sos = jpeg.find("\xFF\xDA", sos + 2);
    const std::size_t length =
        static_cast<unsigned char>(jpeg[sos + 2]) << 8 | static_cast<unsigned char>(jpeg[sos + 3]);
    return sos + 2 + length;
}

struct MemorySource {
    explicit MemorySource(const std::string& bytes) : bytes_(bytes.begin(), bytes.end()) {
        source.Open(bytes_.data(), static_cast<std::int64_t>(bytes_.size()));
    }
    std::vector<std::uint8_t> bytes_; // exactly sized, for the sanitizers
    CMemoryBlockSource source;
};

// Every row of the picture read in bands of `band`, one after the other.
std::vector<std::uint8_t> ReadAll(CJpegRowReader& reader, int band) {
    const std::size_t lineBytes = 4 * static_cast<std::size_t>(reader.RowWidth());
    std::vector<std::uint8_t> pixels(lineBytes * static_cast<std::size_t>(reader.RowHeight()));
    std::vector<std::uint8_t*> rows;
    for (int y = 0; y < reader.RowHeight(); y += band) {
        rows.clear();
        for (int r = y; r < std::min(y + band, reader.RowHeight()); ++r)
            rows.push_back(pixels.data() + lineBytes * static_cast<std::size_t>(r));
        reader.Read(rows.data(), static_cast<int>(rows.size()));
    }
    reader.Finish();
    return pixels;
}

// Rows and warnings as the full decode at 32 bits gives them, for every kind of
// photo, also when it is damaged; a second decode from the same source starts
// again from its first byte.
TEST(JpegRowReader, RowsAndWarningsAreThoseOfTheFullDecode) {
    const std::string colour = Jpeg(37, 29);
    const std::string progressive = Jpeg(37, 29, true);
    const std::size_t sos = colour.find("\xFF\xDA");
    const std::pair<std::string, std::string> cases[] = {
        // The kinds of photo, their orientation and the usual damage are checked
        // through JPEGImage against libjpeg.
        {"colour", colour},
        {"truncated", colour.substr(0, colour.size() * 2 / 3)},
        // Cut in the data of its third scan, not inside a marker segment.
        {"truncated progressive", progressive.substr(0, ThirdScanData(progressive) + 20)},
        {"junk", colour.substr(0, sos) + "abc" + colour.substr(sos)},
    };
    CAutoTypeDecoder decoder;
    CJpegRowReader reader;
    for (const auto& [name, bytes] : cases) {
        CDibBitmap bitmap;
        decoder.DecodeMemory(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                             static_cast<std::int64_t>(bytes.size()), bitmap, 32);
        std::vector<std::uint8_t> expected;
        for (int y = 0; y < bitmap.Height(); ++y)
            expected.insert(expected.end(), bitmap.Lines()[y],
                            bitmap.Lines()[y] + 4 * bitmap.Width());

        SCOPED_TRACE(name);
        EXPECT_EQ(decoder.WarningCount() > 0, name != "colour");

        MemorySource memory(bytes);
        reader.Open(memory.source);
        EXPECT_EQ(reader.Width(), bitmap.Width());
        EXPECT_EQ(reader.Height(), bitmap.Height());
        EXPECT_EQ(reader.PictureOrientation(), decoder.PictureOrientation());
        for (const int band : {1, 8}) {
            reader.Start(8);
            ASSERT_EQ(reader.RowWidth(), bitmap.Width());
            EXPECT_EQ(ReadAll(reader, band), expected) << "band " << band;
            EXPECT_EQ(reader.FirstWarning(), decoder.FirstWarning());
            EXPECT_EQ(reader.WarningCount(), decoder.WarningCount());
        }
    }
}

// Rows of a huge photo need no bitmap, so the pixel bound of the full decode
// does not apply; what a file declares must still be plausible for its size.
TEST(JpegRowReader, HugePhotosWithinWhatTheirSizeAllows) {
    const std::string baseline = Jpeg(16, 16);
    const std::string progressive = Jpeg(64, 48, true);
    const std::string huge = testsupport::WithFrameSize(baseline, 23000, 23000);
    CJpegRowReader reader;
    // 23000 x 23000 pixels need at least 130 KB of file.
    MemorySource fits(testsupport::WithPadding(huge, 130000));
    reader.Open(fits.source);
    reader.Start(8);
    EXPECT_EQ(reader.RowWidth(), 23000);
    EXPECT_EQ(reader.RowHeight(), 23000);
    std::vector<std::uint8_t> row(4 * 23000);
    std::uint8_t* rows[] = {row.data()};
    reader.Read(rows, 1); // and left unfinished for the next file

    struct Case {
        const char* name;
        std::string bytes;
        std::string text;
    } refused[] = {
        {"baseline 23000 x 23000 in 120 KB", testsupport::WithPadding(huge, 120000),
         "pixels is more than a file of"},
        {"baseline 16000 x 16000", testsupport::WithFrameSize(baseline, 16000, 16000),
         "pixels is more than a file of"},
        {"progressive 12000 x 12000 in 40 KB",
         testsupport::WithPadding(testsupport::WithFrameSize(progressive, 12000, 12000), 40000),
         "needs 411 MiB of decoder memory, more than the 384 MiB allowed for a file of"},
        {"a scan repeated 1200 times", testsupport::WithRepeatedScan(progressive, 1200),
         "JPEG file has too many scans."},
    };
    for (const Case& c : refused) {
        MemorySource memory(c.bytes);
        const std::string failure = FailureOf([&] {
            reader.Open(memory.source);
            reader.Start(8);
        });
        EXPECT_TRUE(failure.starts_with("6 ") && failure.find(c.text) != std::string::npos)
            << c.name << ": " << failure;
    }

    // Real photos fit: a flat progressive panorama (8500 x 8500, 4:4:4) is the
    // least data cjpeg makes of that many coefficients; 300 megapixels need 1.7 GiB.
    EXPECT_GE(CJpegReader::DecoderMemoryFor(848758), std::int64_t{8500} * 8500 * 3 * 2);
    EXPECT_GE(CJpegReader::DecoderMemoryFor(30 << 20), std::int64_t{300'000'000} * 3 * 2);
    EXPECT_GE(CJpegReader::PixelsFor(30 << 20), 300'000'000);

    // Still usable after a refusal.
    MemorySource memory(baseline);
    reader.Open(memory.source);
    reader.Start(8);
    EXPECT_EQ(ReadAll(reader, 16).size(), 4u * 16 * 16);
}

} // namespace
