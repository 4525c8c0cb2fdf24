#include "PhotoMetadata.h"

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <map>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vantrel {

namespace {

constexpr std::uint64_t kMaxMetadataBytes = 1 << 20;
constexpr int kMaxSegments = 4096;
// Fill bytes (0xFF) may precede any marker; a long run of them is no photo.
constexpr int kMaxFillBytes = 4096;
constexpr std::size_t kMaxPayload = 0xFFFF - 2;

constexpr std::uint8_t kApp1 = 0xE1;
constexpr std::uint8_t kApp13 = 0xED;

constexpr std::string_view kExifSignature("Exif\0", 5); // and one more byte, normally 0
constexpr std::size_t kExifHeader = 6;
constexpr std::string_view kXmpSignature("http://ns.adobe.com/xap/1.0/\0", 29);
constexpr std::string_view kExtendedXmpSignature("http://ns.adobe.com/xmp/extension/\0", 35);
// After the signature: a 32-byte GUID, the full length and this chunk's offset.
constexpr std::size_t kExtendedXmpHeader = 35 + 32 + 4 + 4;
constexpr std::string_view kPhotoshopSignature("Photoshop 3.0\0", 14);

// ------------------------------------------------------------------------------------------
// The marker segments before the picture.

enum class Kind { Other, Exif, Xmp, ExtendedXmp, Photoshop };

struct Segment {
    std::uint64_t offset = 0; // of the marker's 0xFF
    std::uint64_t size = 0;   // marker, length field and payload
    Kind kind = Kind::Other;
    std::string payload; // after the length field; read for APP1 and APP13 only
};

struct Header {
    std::vector<Segment> segments;
    // The walk reached the picture, the end of the image or the end of the file at a
    // segment boundary; false when it stopped at damage or a read failure.
    bool complete = false;
    bool overCap = false; // metadata segments left unread for kMaxMetadataBytes
    int readErrno = 0;
};

std::uint8_t U8(char c) {
    return static_cast<std::uint8_t>(c);
}

std::uint32_t Big32(std::string_view s, std::size_t at) {
    return std::uint32_t{U8(s[at])} << 24 | std::uint32_t{U8(s[at + 1])} << 16 |
           std::uint32_t{U8(s[at + 2])} << 8 | U8(s[at + 3]);
}

// Reads up to `size` bytes at `offset`; fewer only at the end of the file.
bool ReadAt(int fd, std::uint64_t offset, std::size_t size, std::string& out) {
    out.resize(size);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n =
            ::pread(fd, out.data() + got, size - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    return true;
}

Kind KindOf(std::uint8_t marker, std::string_view payload) {
    if (marker == kApp13)
        return payload.starts_with(kPhotoshopSignature) ? Kind::Photoshop : Kind::Other;
    if (payload.size() >= kExifHeader && payload.starts_with(kExifSignature))
        return Kind::Exif;
    if (payload.starts_with(kXmpSignature))
        return Kind::Xmp;
    if (payload.size() >= kExtendedXmpHeader && payload.starts_with(kExtendedXmpSignature))
        return Kind::ExtendedXmp;
    return Kind::Other;
}

bool StandsAlone(std::uint8_t marker) {
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

// Walks the segments from the start of the file to the first start of scan. Nothing when
// the file does not begin as a JPEG.
std::optional<Header> ReadHeader(int fd, int& readErrno) {
    std::string bytes;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !ReadAt(fd, 0, 2, bytes)) {
        readErrno = errno;
        return std::nullopt;
    }
    if (bytes != "\xFF\xD8")
        return std::nullopt;
    const auto fileSize = static_cast<std::uint64_t>(std::max<off_t>(status.st_size, 0));
    Header header;
    std::uint64_t position = 2;
    std::uint64_t loaded = 0;
    int fill = 0;
    for (int count = 0; count <= kMaxSegments;) {
        if (!ReadAt(fd, position, 4, bytes)) {
            header.readErrno = errno;
            return header;
        }
        if (bytes.empty()) {
            header.complete = true;
            return header;
        }
        if (bytes.size() < 2 || U8(bytes[0]) != 0xFF)
            return header;
        const std::uint8_t marker = U8(bytes[1]);
        if (marker == 0xFF) {
            if (++fill > kMaxFillBytes)
                return header;
            ++position;
            continue;
        }
        ++count;
        if (marker == 0xD9) {
            header.complete = true;
            return header;
        }
        if (StandsAlone(marker)) {
            position += 2;
            continue;
        }
        if (marker == 0x00 || marker == 0xD8 || bytes.size() < 4)
            return header;
        const std::uint64_t length = std::uint64_t{U8(bytes[2])} << 8 | U8(bytes[3]);
        if (length < 2 || position + 2 + length > fileSize)
            return header;
        if (marker == 0xDA) {
            header.complete = true;
            return header;
        }
        Segment segment{position, 2 + length, Kind::Other, {}};
        if (marker == kApp1 || marker == kApp13) {
            if (loaded + length > kMaxMetadataBytes) {
                header.overCap = true;
            } else {
                loaded += length;
                if (!ReadAt(fd, position + 4, length - 2, segment.payload)) {
                    header.readErrno = errno;
                    return header;
                }
                if (segment.payload.size() != length - 2)
                    return header; // the file shrank under us
                segment.kind = KindOf(marker, segment.payload);
            }
        }
        header.segments.push_back(std::move(segment));
        position += 2 + length;
    }
    return header;
}

std::string MakeSegment(std::uint8_t marker, std::string_view signature, std::string_view data) {
    const std::size_t length = 2 + signature.size() + data.size();
    std::string segment{'\xFF', static_cast<char>(marker), static_cast<char>(length >> 8),
                        static_cast<char>(length & 0xFF)};
    segment.append(signature);
    segment.append(data);
    return segment;
}

// ------------------------------------------------------------------------------------------
// Text.

bool IsUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const std::uint8_t c = U8(s[i]);
        std::size_t extra = 0;
        std::uint32_t value = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            value = c & 0x1Fu;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            value = c & 0x0Fu;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            value = c & 0x07u;
        } else {
            return false;
        }
        if (s.size() - i <= extra)
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const std::uint8_t next = U8(s[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            value = value << 6 | (next & 0x3Fu);
        }
        const std::uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (value < least[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

std::string Latin1ToUtf8(std::string_view s) {
    std::string out;
    for (const char c : s) {
        const std::uint8_t b = U8(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | b >> 6);
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

// One code point of valid UTF-8 at `i`.
std::uint32_t CodePointAt(std::string_view s, std::size_t i, std::size_t& length) {
    const std::uint8_t c = U8(s[i]);
    length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    std::uint32_t value = length == 1 ? c : c & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k)
        value = value << 6 | (U8(s[i + k]) & 0x3Fu);
    return value;
}

std::string CleanText(std::string_view raw) {
    raw = raw.substr(0, raw.find('\0'));
    const std::string text = IsUtf8(raw) ? std::string(raw) : Latin1ToUtf8(raw);
    std::string out;
    bool blank = false;
    for (std::size_t i = 0, length = 0; i < text.size(); i += length) {
        const std::uint32_t c = CodePointAt(text, i, length);
        if (c == ' ' || (c >= '\t' && c <= '\r') || c == 0x2028 || c == 0x2029) {
            blank = !out.empty();
        } else if (c >= 0x20 && c != 0x7F && (c < 0x80 || c >= 0xA0) && c != 0xFEFF) {
            if (blank)
                out += ' ';
            blank = false;
            out.append(text, i, length);
        }
    }
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(U8(x)) == std::tolower(U8(y));
           });
}

bool ContainsNoCase(std::string_view s, std::string_view part) {
    for (std::size_t i = 0; i + part.size() <= s.size(); ++i) {
        if (EqualsNoCase(s.substr(i, part.size()), part))
            return true;
    }
    return false;
}

// What cameras write where their owner writes a caption.
bool IsBoilerplate(std::string_view text) {
    static constexpr std::string_view kBoilerplate[] = {
        "OLYMPUS DIGITAL CAMERA", "SONY DSC",
        "DIGITAL CAMERA",         "KODAK Digital Still Camera",
        "MINOLTA DIGITAL CAMERA", "KONICA MINOLTA DIGITAL CAMERA",
        "SAMSUNG DIGITAL CAMERA", "SAMSUNG CAMERA PICTURES",
        "LEICA DIGITAL CAMERA",   "PENTAX DIGITAL CAMERA"};
    return std::any_of(std::begin(kBoilerplate), std::end(kBoilerplate),
                       [&](std::string_view b) { return EqualsNoCase(text, b); });
}

// ------------------------------------------------------------------------------------------
// Which fields tell a place or a camera.

bool IsSerialName(std::string_view name) {
    return ContainsNoCase(name, "SerialNumber") ||
           (name.size() >= 9 && EqualsNoCase(name.substr(name.size() - 9), "OwnerName"));
}

bool IsPositionName(std::string_view name) {
    return ContainsNoCase(name, "Latitude") || ContainsNoCase(name, "Longitude");
}

bool IsPlaceName(std::string_view name) {
    static constexpr std::string_view kPlaces[] = {
        "Location",    "LocationCreated", "LocationShown", "LocationName", "LocationCode",
        "City",        "State",           "ProvinceState", "Country",      "CountryCode",
        "CountryName", "Sublocation"};
    return std::any_of(std::begin(kPlaces), std::end(kPlaces),
                       [&](std::string_view p) { return EqualsNoCase(name, p); });
}

// The names along an XMP property's path: "LocationCreated[1]/Iptc4xmpExt:City" gives
// LocationCreated and City.
std::vector<std::string_view> XmpPathNames(std::string_view path) {
    std::vector<std::string_view> names;
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        std::string_view part = path.substr(0, slash);
        part = part.substr(0, part.find('['));
        if (const std::size_t colon = part.find(':'); colon != std::string_view::npos)
            part = part.substr(colon + 1);
        names.push_back(part);
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    }
    return names;
}

// What one metadata block held.
struct Contents {
    bool place = false;    // a position or a place
    bool private_ = false; // anything CopyWithoutLocation takes out
};

// ------------------------------------------------------------------------------------------
// Exiv2, under its lock.

class Exiv2Lock {
public:
    Exiv2Lock() : lock_(Mutex()) {
        static std::once_flag once;
        std::call_once(once, [] {
            Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
            static std::mutex toolkit;
            Exiv2::XmpParser::initialize(
                [](void* data, bool lock) {
                    auto* mutex = static_cast<std::mutex*>(data);
                    lock ? mutex->lock() : mutex->unlock();
                },
                &toolkit);
        });
    }

private:
    static std::mutex& Mutex() {
        static std::mutex mutex;
        return mutex;
    }
    std::unique_lock<std::mutex> lock_;
};

// The captions found, in the order they are preferred.
struct Captions {
    std::string exif, xmpDescription, xmpTitle, iptc;

    std::string First() const {
        for (const std::string* text : {&exif, &xmpDescription, &xmpTitle, &iptc}) {
            if (!text->empty())
                return *text;
        }
        return {};
    }
};

std::string Caption(std::string_view raw) {
    std::string text = CleanText(raw);
    return IsBoilerplate(text) ? std::string() : text;
}

std::string XmpText(const Exiv2::Xmpdatum& datum) {
    if (const auto* alternatives = dynamic_cast<const Exiv2::LangAltValue*>(&datum.value())) {
        const auto fallback = alternatives->value_.find("x-default");
        if (fallback != alternatives->value_.end())
            return Caption(fallback->second);
        for (const auto& [language, text] : alternatives->value_) {
            if (std::string caption = Caption(text); !caption.empty())
                return caption;
        }
        return {};
    }
    return Caption(datum.toString());
}

// One metadata block decoded, what it holds, and (with `strip`) its private fields erased.
// Each returns false when the block cannot be read.

bool DecodeExif(const std::string& payload, Exiv2::ExifData& data, Exiv2::ByteOrder& order) {
    const auto* tiff = reinterpret_cast<const Exiv2::byte*>(payload.data()) + kExifHeader;
    const auto size = static_cast<std::uint32_t>(payload.size() - kExifHeader);
    try {
        order = Exiv2::ExifParser::decode(data, tiff, size);
    } catch (const Exiv2::AnyError& e) {
        // Not TIFF data at all: nobody finds a field in it.
        data.clear();
        order = Exiv2::invalidByteOrder;
        return e.code() == Exiv2::kerNotAnImage;
    }
    return true;
}

Contents InspectExif(Exiv2::ExifData& data, Captions& captions, bool strip) {
    Contents contents;
    bool makerNote = false;
    for (auto datum = data.begin(); datum != data.end();) {
        const std::string group = datum->groupName();
        const std::string tag = datum->tagName();
        if (group == "GPSInfo" && (tag == "GPSLatitude" || tag == "GPSLongitude"))
            contents.place = true;
        if (captions.exif.empty() && datum->key() == "Exif.Image.ImageDescription")
            captions.exif = Caption(datum->toString());
        const bool isPrivate =
            group == "GPSInfo" || datum->key() == "Exif.Image.GPSTag" || IsSerialName(tag);
        contents.private_ = contents.private_ || isPrivate;
        makerNote = makerNote || (isPrivate && Exiv2::ExifTags::isMakerGroup(group));
        datum = strip && isPrivate ? data.erase(datum) : std::next(datum);
    }
    // Exif.Photo.MakerNote still holds the note's original bytes, serial number included.
    // Exiv2 rebuilds a note it could parse from the tags left, but the original goes too so
    // that no path of its writer can put the serial number back.
    if (strip && makerNote) {
        const auto original = data.findKey(Exiv2::ExifKey("Exif.Photo.MakerNote"));
        if (original != data.end())
            data.erase(original);
    }
    return contents;
}

bool DecodeXmp(std::string_view packet, Exiv2::XmpData& data) {
    // Some writers pad the packet with NULs, which the XML parser refuses.
    while (!packet.empty() && packet.back() == '\0')
        packet.remove_suffix(1);
    return Exiv2::XmpParser::decode(data, std::string(packet)) == 0;
}

Contents InspectXmp(Exiv2::XmpData& data, Captions* captions, bool strip) {
    Contents contents;
    for (auto datum = data.begin(); datum != data.end();) {
        const std::string path = datum->tagName();
        bool isPrivate = false;
        for (const std::string_view name : XmpPathNames(path)) {
            const bool place = IsPositionName(name) || IsPlaceName(name);
            contents.place = contents.place || place;
            isPrivate = isPrivate || place || ContainsNoCase(name.substr(0, 3), "GPS") ||
                        IsSerialName(name);
        }
        if (captions != nullptr && datum->groupName() == "dc") {
            if (path == "description" && captions->xmpDescription.empty())
                captions->xmpDescription = XmpText(*datum);
            if (path == "title" && captions->xmpTitle.empty())
                captions->xmpTitle = XmpText(*datum);
        }
        contents.private_ = contents.private_ || isPrivate;
        datum = strip && isPrivate ? data.erase(datum) : std::next(datum);
    }
    return contents;
}

// The IPTC datasets of a Photoshop block (the APP13 segments' payloads in order).
bool DecodeIptc(std::string_view photoshop, Exiv2::IptcData& data) {
    std::string iptc;
    const auto* begin = reinterpret_cast<const Exiv2::byte*>(photoshop.data());
    const auto* end = begin + photoshop.size();
    const Exiv2::byte* record = nullptr;
    std::uint32_t headerSize = 0;
    std::uint32_t dataSize = 0;
    int found = 0;
    for (const Exiv2::byte* at = begin; at < end;) {
        found = Exiv2::Photoshop::locateIptcIrb(at, end - at, &record, &headerSize, &dataSize);
        if (found != 0)
            break;
        iptc.append(reinterpret_cast<const char*>(record) + headerSize, dataSize);
        const std::uint64_t next =
            std::uint64_t(record - begin) + headerSize + dataSize + (dataSize & 1);
        at = begin + std::min<std::uint64_t>(next, photoshop.size());
    }
    if (found < 0)
        return false;
    return iptc.empty() ||
           Exiv2::IptcParser::decode(data, reinterpret_cast<const Exiv2::byte*>(iptc.data()),
                                     static_cast<std::uint32_t>(iptc.size())) == 0;
}

Contents InspectIptc(Exiv2::IptcData& data, Captions& captions, bool strip) {
    Contents contents;
    for (auto datum = data.begin(); datum != data.end();) {
        if (captions.iptc.empty() && datum->key() == "Iptc.Application2.Caption")
            captions.iptc = Caption(datum->toString());
        const bool place = datum->recordName() == "Application2" && IsPlaceName(datum->tagName());
        contents.place = contents.place || place;
        contents.private_ = contents.private_ || place;
        datum = strip && place ? data.erase(datum) : std::next(datum);
    }
    return contents;
}

// What the whole header holds and, when stripped, what replaces its segments.
struct Findings {
    bool place = false;
    Captions captions;
    std::string unreadable; // the first block that could not be read
    // Segment index -> the bytes that take its place (possibly none).
    std::map<std::size_t, std::string> replacements;
};

void Unreadable(Findings& findings, const char* what) {
    if (findings.unreadable.empty())
        findings.unreadable = what;
}

void ExifSegment(const Segment& segment, std::size_t index, bool strip, Findings& findings) {
    Exiv2::ExifData data;
    Exiv2::ByteOrder order = Exiv2::invalidByteOrder;
    if (!DecodeExif(segment.payload, data, order))
        return Unreadable(findings, "Exif");
    const Contents contents = InspectExif(data, findings.captions, strip);
    findings.place = findings.place || contents.place;
    if (!strip || !contents.private_)
        return;
    // Encoding may rewrite the original in place, so it gets a copy.
    std::string tiff = segment.payload.substr(kExifHeader);
    Exiv2::Blob blob;
    const Exiv2::WriteMethod method =
        Exiv2::ExifParser::encode(blob, reinterpret_cast<const Exiv2::byte*>(tiff.data()),
                                  static_cast<std::uint32_t>(tiff.size()), order, data);
    if (method == Exiv2::wmIntrusive)
        tiff.assign(blob.begin(), blob.end());
    if (kExifHeader + tiff.size() > kMaxPayload)
        return Unreadable(findings, "Exif");
    findings.replacements[index] =
        data.empty() ? std::string()
                     : MakeSegment(kApp1, segment.payload.substr(0, kExifHeader), tiff);
}

void XmpSegment(const Segment& segment, std::size_t index, bool strip, Findings& findings) {
    Exiv2::XmpData data;
    if (!DecodeXmp(std::string_view(segment.payload).substr(kXmpSignature.size()), data))
        return Unreadable(findings, "XMP");
    const Contents contents = InspectXmp(data, &findings.captions, strip);
    findings.place = findings.place || contents.place;
    if (!strip || !contents.private_)
        return;
    std::string packet;
    if (!data.empty() && Exiv2::XmpParser::encode(packet, data) != 0)
        return Unreadable(findings, "XMP");
    if (kXmpSignature.size() + packet.size() > kMaxPayload)
        return Unreadable(findings, "XMP");
    findings.replacements[index] =
        packet.empty() ? std::string() : MakeSegment(kApp1, kXmpSignature, packet);
}

// Extended XMP comes in chunks of one packet per GUID; a packet that holds private fields
// goes whole (the main packet still names it, which readers take as a missing extension).
void ExtendedXmpSegments(const Header& header, bool strip, Findings& findings) {
    struct Packet {
        std::string bytes;
        std::vector<std::size_t> segments;
    };
    std::map<std::string, Packet> packets;
    std::uint64_t allocated = 0;
    for (std::size_t i = 0; i < header.segments.size(); ++i) {
        const Segment& segment = header.segments[i];
        if (segment.kind != Kind::ExtendedXmp)
            continue;
        const std::string_view payload = segment.payload;
        const std::uint32_t fullLength = Big32(payload, kExtendedXmpSignature.size() + 32);
        const std::uint32_t offset = Big32(payload, kExtendedXmpSignature.size() + 36);
        const std::string_view chunk = payload.substr(kExtendedXmpHeader);
        Packet& packet = packets[std::string(payload.substr(kExtendedXmpSignature.size(), 32))];
        if (packet.segments.empty() && (allocated += fullLength) <= kMaxMetadataBytes)
            packet.bytes.assign(fullLength, '\0');
        packet.segments.push_back(i);
        if (fullLength != packet.bytes.size() || offset > fullLength ||
            chunk.size() > fullLength - offset)
            return Unreadable(findings, "extended XMP");
        packet.bytes.replace(offset, chunk.size(), chunk);
    }
    for (const auto& [guid, packet] : packets) {
        Exiv2::XmpData data;
        if (!DecodeXmp(packet.bytes, data))
            return Unreadable(findings, "extended XMP");
        const Contents contents = InspectXmp(data, nullptr, strip);
        findings.place = findings.place || contents.place;
        if (strip && contents.private_) {
            for (const std::size_t index : packet.segments)
                findings.replacements[index] = std::string();
        }
    }
}

// The Photoshop block may span several APP13 segments; when it changes, the new one takes
// the first one's place, cut into segments as large as they may be.
void PhotoshopSegments(const Header& header, bool strip, Findings& findings) {
    std::string photoshop;
    std::vector<std::size_t> segments;
    for (std::size_t i = 0; i < header.segments.size(); ++i) {
        if (header.segments[i].kind == Kind::Photoshop) {
            photoshop.append(header.segments[i].payload, kPhotoshopSignature.size());
            segments.push_back(i);
        }
    }
    if (segments.empty())
        return;
    Exiv2::IptcData data;
    if (!DecodeIptc(photoshop, data))
        return Unreadable(findings, "IPTC");
    const Contents contents = InspectIptc(data, findings.captions, strip);
    findings.place = findings.place || contents.place;
    if (!strip || !contents.private_)
        return;
    const Exiv2::DataBuf rewritten =
        Exiv2::Photoshop::setIptcIrb(reinterpret_cast<const Exiv2::byte*>(photoshop.data()),
                                     static_cast<long>(photoshop.size()), data);
    const std::string_view block(reinterpret_cast<const char*>(rewritten.pData_),
                                 static_cast<std::size_t>(std::max(rewritten.size_, 0L)));
    std::string replacement;
    const std::size_t chunk = kMaxPayload - kPhotoshopSignature.size();
    for (std::size_t at = 0; at < block.size(); at += chunk)
        replacement += MakeSegment(kApp13, kPhotoshopSignature, block.substr(at, chunk));
    for (const std::size_t index : segments) {
        findings.replacements[index] = replacement;
        replacement.clear();
    }
}

Findings Inspect(const Header& header, bool strip) {
    Findings findings;
    const Exiv2Lock lock;
    // Exiv2 answers bad data with its exceptions; anything else it throws (such as
    // std::bad_alloc or std::out_of_range) is taken the same way.
    const auto guarded = [&](const char* what, auto&& action) {
        try {
            action();
        } catch (const std::exception&) {
            Unreadable(findings, what);
        } catch (...) {
            Unreadable(findings, what);
        }
    };
    for (std::size_t i = 0; i < header.segments.size(); ++i) {
        const Segment& segment = header.segments[i];
        if (segment.kind == Kind::Exif)
            guarded("Exif", [&] { ExifSegment(segment, i, strip, findings); });
        else if (segment.kind == Kind::Xmp)
            guarded("XMP", [&] { XmpSegment(segment, i, strip, findings); });
    }
    guarded("extended XMP", [&] { ExtendedXmpSegments(header, strip, findings); });
    guarded("IPTC", [&] { PhotoshopSegments(header, strip, findings); });
    return findings;
}

// ------------------------------------------------------------------------------------------
// Copying.

std::string SystemError(const char* what, int number) {
    return std::string(what) + ": " + std::strerror(number);
}

bool WriteAll(int fd, std::string_view bytes, std::string& error) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = SystemError("writing the copy failed", errno);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Copies `length` bytes of `in` from `offset` (up to its end when `length` is negative) to
// the position of `out`.
bool CopyRange(int in, std::uint64_t offset, std::int64_t length, int out, std::string& error) {
    auto from = static_cast<off_t>(offset);
    const auto left = [&] {
        return length < 0 ? std::size_t{1} << 30
                          : static_cast<std::size_t>(std::min<std::int64_t>(length, 1 << 30));
    };
    bool kernel = true;
    std::string buffer;
    while (length != 0) {
        ssize_t n = 0;
        if (kernel) {
            n = ::copy_file_range(in, &from, out, nullptr, left(), 0);
            if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                          errno == EOPNOTSUPP || errno == EBADF)) {
                kernel = false;
                continue;
            }
        } else {
            buffer.resize(std::min<std::size_t>(left(), 1 << 16));
            n = ::pread(in, buffer.data(), buffer.size(), from);
            if (n > 0 &&
                !WriteAll(out, std::string_view(buffer.data(), static_cast<std::size_t>(n)), error))
                return false;
            from += n > 0 ? n : 0;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = SystemError("copying the photo failed", errno);
            return false;
        }
        if (n == 0) {
            if (length > 0) {
                error = "the photo shrank while it was copied";
                return false;
            }
            return true;
        }
        if (length > 0)
            length -= n;
    }
    return true;
}

} // namespace

std::optional<PhotoMetadata> ReadPhotoMetadata(int fd) {
    int readErrno = 0;
    const std::optional<Header> header = ReadHeader(fd, readErrno);
    if (!header)
        return std::nullopt;
    const Findings findings = Inspect(*header, false);
    PhotoMetadata metadata;
    metadata.hasLocation = findings.place;
    metadata.description = findings.captions.First();
    return metadata;
}

bool CopyWithoutLocation(int in, int out, bool& removed, std::string& error) {
    removed = false;
    int readErrno = 0;
    const std::optional<Header> header = ReadHeader(in, readErrno);
    if (!header) {
        error = readErrno != 0 ? SystemError("reading the photo failed", readErrno)
                               : "not a JPEG photo";
        return false;
    }
    if (header->readErrno != 0) {
        error = SystemError("reading the photo failed", header->readErrno);
        return false;
    }
    if (!header->complete) {
        error = "the photo's header is damaged";
        return false;
    }
    if (header->overCap) {
        error = "the photo has more than 1 MiB of metadata";
        return false;
    }
    const Findings findings = Inspect(*header, true);
    if (!findings.unreadable.empty()) {
        error = "the photo's " + findings.unreadable + " data cannot be read";
        return false;
    }
    std::uint64_t copied = 0;
    for (const auto& [index, replacement] : findings.replacements) {
        const Segment& segment = header->segments[index];
        if (!CopyRange(in, copied, static_cast<std::int64_t>(segment.offset - copied), out,
                       error) ||
            !WriteAll(out, replacement, error))
            return false;
        copied = segment.offset + segment.size;
    }
    if (!CopyRange(in, copied, -1, out, error))
        return false;
    removed = !findings.replacements.empty();
    return true;
}

} // namespace vantrel
