#include "PhotoMetadata.h"
#include "EngineFixture.h"
#include "MetadataSegments.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

using testsupport::AppSegment;
using testsupport::WithSegments;
using vantrel::PhotoMetadata;

namespace {

// A file in memory, as the engine hands over its open photos.
class MemoryFile {
public:
    explicit MemoryFile(const std::string& bytes = {}) : fd_(::memfd_create("photo", 0)) {
        EXPECT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::lseek(fd_, 0, SEEK_SET);
    }
    ~MemoryFile() { ::close(fd_); }
    int Fd() const { return fd_; }
    std::string Bytes() const {
        std::string bytes(static_cast<std::size_t>(::lseek(fd_, 0, SEEK_END)), '\0');
        EXPECT_EQ(::pread(fd_, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
        return bytes;
    }

private:
    int fd_;
};

struct Seen {
    Exiv2::ExifData exif;
    Exiv2::XmpData xmp;
    Exiv2::IptcData iptc;
};

// The metadata as Exiv2's own JPEG reader finds it.
Seen Metadata(const std::string& jpeg) {
    auto image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(jpeg.data()),
                                           static_cast<long>(jpeg.size()));
    image->readMetadata();
    return {image->exifData(), image->xmpData(), image->iptcData()};
}

std::string XmpWithPlace() {
    Exiv2::XmpData xmp;
    Exiv2::XmpTextValue bag;
    bag.setXmpArrayType(Exiv2::XmpValue::xaBag);
    xmp.add(Exiv2::XmpKey("Xmp.iptcExt.LocationCreated"), &bag);
    xmp["Xmp.iptcExt.LocationCreated[1]/iptcExt:City"] = "Aarhus";
    xmp["Xmp.dc.title"] = "lang=x-default Quay";
    return testsupport::XmpSegment(xmp);
}

std::string ExifOriented(int orientation, const char* description = nullptr) {
    Exiv2::ExifData exif;
    exif["Exif.Image.Orientation"] = static_cast<std::uint16_t>(orientation);
    if (description != nullptr)
        exif["Exif.Image.ImageDescription"] = description;
    return testsupport::ExifSegment(exif);
}

} // namespace

TEST(PhotoMetadataTest, ReadsCaptionAndPlaceAndCopiesWithoutThem) {
    const std::string picture = Picture(0, 40, 24);
    Exiv2::IptcData latin1Caption;
    latin1Caption["Iptc.Application2.Caption"] = "Caf\xE9 on the quay";
    Exiv2::XmpData described; // no x-default; the description before the title
    described["Xmp.dc.description"] = "lang=de-DE M\xC3\xB6wen";
    described["Xmp.dc.title"] = "lang=x-default Title";
    const std::string xmpOnlyPlace = WithSegments(picture, ExifOriented(3) + XmpWithPlace());
    const std::string brokenXmp =
        AppSegment('\xE1', std::string("http://ns.adobe.com/xap/1.0/\0", 29) +
                               "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF exif:GPSLatitude='5");
    const struct Case {
        const char* what;
        std::string photo;
        std::optional<PhotoMetadata> read;
        bool copies;
        bool removes;
    } cases[] = {
        {"everything", testsupport::LocatedPhoto(picture), PhotoMetadata{true, "Harbour at dusk"},
         true, true},
        {"XMP place only", xmpOnlyPlace, PhotoMetadata{true, "Quay"}, true, true},
        {"nothing private, camera boilerplate, Latin-1",
         WithSegments(picture, ExifOriented(1, "OLYMPUS DIGITAL CAMERA ") +
                                   testsupport::IptcSegment(latin1Caption)),
         PhotoMetadata{false, "Caf\xC3\xA9 on the quay"}, true, false},
        {"XMP description", WithSegments(picture, testsupport::XmpSegment(described)),
         PhotoMetadata{false, "M\xC3\xB6wen"}, true, false},
        {"damaged Exif is passed over",
         WithSegments(picture,
                      AppSegment('\xE1', std::string("Exif\0\0II*\0\x08\0\0\0\xFF\xFF", 16)) +
                          XmpWithPlace()),
         PhotoMetadata{true, "Quay"}, true, true},
        {"unreadable XMP is refused", WithSegments(picture, brokenXmp + ExifOriented(1, "Pier")),
         PhotoMetadata{false, "Pier"}, false, false},
        {"APP1 cut short", xmpOnlyPlace.substr(0, xmpOnlyPlace.find("Quay") + 2),
         PhotoMetadata{false, ""}, false, false},
        {"not a JPEG", "GIF89a" + picture, std::nullopt, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const MemoryFile in(c.photo);
        const std::optional<PhotoMetadata> read = vantrel::ReadPhotoMetadata(in.Fd());
        ASSERT_EQ(read.has_value(), c.read.has_value());
        if (read) {
            EXPECT_EQ(read->hasLocation, c.read->hasLocation);
            EXPECT_EQ(read->description, c.read->description);
        }
        const MemoryFile out;
        bool removed = true;
        std::string error;
        EXPECT_EQ(vantrel::CopyWithoutLocation(in.Fd(), out.Fd(), removed, error), c.copies)
            << error;
        EXPECT_EQ(error.empty(), c.copies) << error;
        if (!c.copies)
            continue;
        EXPECT_EQ(removed, c.removes);
        const std::string copy = out.Bytes();
        if (!c.removes) {
            EXPECT_EQ(copy, c.photo);
        }
        EXPECT_EQ(testsupport::DecodeJpegReference(copy).pixels,
                  testsupport::DecodeJpegReference(c.photo).pixels);
        const std::optional<PhotoMetadata> again = vantrel::ReadPhotoMetadata(out.Fd());
        ASSERT_TRUE(again);
        EXPECT_FALSE(again->hasLocation);
        EXPECT_EQ(again->description, read->description);

        // What Exiv2's own reader still finds: nothing of the place or the camera's serials,
        // the orientation and every other field as they were.
        const Seen before = Metadata(c.photo), after = Metadata(copy);
        std::size_t taken = 0;
        // Each datum of `data` is gone from the copy when private, else kept as it was.
        const auto check = [&]<class Key>(const auto& data, const auto& kept, auto isPrivate) {
            for (const auto& datum : data) {
                if (datum.tagName() == "ExifTag" || datum.tagName() == "GPSTag" ||
                    datum.tagName() == "MakerNote" || datum.groupName() == "MakerNote")
                    continue; // where the directories are
                const auto found = kept.findKey(Key(datum.key()));
                EXPECT_EQ(found == kept.end(), isPrivate(datum)) << datum.key();
                if (found != kept.end()) {
                    EXPECT_EQ(found->toString(), datum.toString()) << datum.key();
                }
                taken += isPrivate(datum);
            }
        };
        check.operator()<Exiv2::ExifKey>(before.exif, after.exif, [&](const auto& d) {
            return d.groupName() == "GPSInfo" || Contains(d.tagName(), "Serial") ||
                   d.tagName() == "CameraOwnerName";
        });
        check.operator()<Exiv2::XmpKey>(before.xmp, after.xmp, [&](const auto& d) {
            return Contains(d.key(), "GPS") || Contains(d.key(), "City") ||
                   Contains(d.key(), "Location") || Contains(d.key(), "Serial");
        });
        check.operator()<Exiv2::IptcKey>(before.iptc, after.iptc, [](const auto& d) {
            return d.tagName() == "City" || d.tagName() == "CountryName";
        });
        EXPECT_EQ(taken > 0, c.removes);
    }
}
