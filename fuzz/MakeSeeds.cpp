// Writes the fuzz targets' starting corpus: small pictures of every kind the
// decoder knows, into <folder>/decode/, and the same behind encoder settings,
// plus bitmaps built from bytes, into <folder>/encode/; photos with metadata
// (Exif, XMP, extended XMP, IPTC, maker notes) into <folder>/metadata/.
// Usage: skimlet-make-seeds <folder>

#include "BmpBuilder.h"
#include "MetadataSegments.h"
#include "TestSupport.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::JpegKind;
using testsupport::JpegSpec;
using testsupport::MakeJpeg;

struct Seed {
    std::string name;
    std::string bytes;
};

// Fills `components` samples of pixel (x, y).
void Gradient(int x, int y, std::uint8_t* c, int components) {
    const int values[] = {x * 13 + y, y * 29, (x ^ y) * 7, x * y, x * 9 + y * 5};
    for (int i = 0; i < components; ++i)
        c[i] = static_cast<std::uint8_t>(values[components == 1 ? 4 : i]);
}

JpegSpec Spec(int width, int height, JpegKind kind = JpegKind::Colour, bool progressive = false) {
    JpegSpec spec;
    spec.width = width;
    spec.height = height;
    spec.kind = kind;
    spec.progressive = progressive;
    const int components = kind == JpegKind::Grey ? 1 : kind == JpegKind::Cmyk ? 4 : 3;
    spec.pixel = [components](int x, int y, std::uint8_t* c) { Gradient(x, y, c, components); };
    return spec;
}

void AddJpegSeeds(std::vector<Seed>& seeds) {
    // Sizes around the 8- and 16-pixel blocks, grey, CMYK and progressive.
    const std::pair<int, int> sizes[] = {{1, 1}, {8, 8}, {17, 9}, {3, 40}, {64, 48}};
    for (const auto& [w, h] : sizes)
        seeds.push_back(
            {"colour-" + std::to_string(w) + "x" + std::to_string(h), MakeJpeg(Spec(w, h))});
    seeds.push_back({"grey-16x16", MakeJpeg(Spec(16, 16, JpegKind::Grey))});
    seeds.push_back({"grey-progressive-21x13", MakeJpeg(Spec(21, 13, JpegKind::Grey, true))});
    seeds.push_back({"colour-progressive-33x17", MakeJpeg(Spec(33, 17, JpegKind::Colour, true))});
    seeds.push_back({"cmyk-9x9", MakeJpeg(Spec(9, 9, JpegKind::Cmyk))});
    JpegSpec rough = Spec(24, 24);
    rough.quality = 5;
    seeds.push_back({"colour-q5-24x24", MakeJpeg(rough)});
    rough.quality = 100;
    rough.floatDct = true;
    seeds.push_back({"colour-q100-24x24", MakeJpeg(rough)});

    const std::string oriented = MakeJpeg(Spec(12, 7));
    for (int orientation = 1; orientation <= 8; ++orientation)
        seeds.push_back({"exif-" + std::to_string(orientation),
                         testsupport::WithExifOrientation(oriented, orientation)});
    seeds.push_back({"exif-6-big-endian", testsupport::WithExifOrientation(oriented, 6, true)});

    const std::string whole = MakeJpeg(Spec(40, 30, JpegKind::Colour, true));
    seeds.push_back({"truncated-progressive", whole.substr(0, whole.size() / 2)});
}

// Windows bitmaps of every depth and encoding the format has, 6 x 3 pixels.
void AddBmpSeeds(std::vector<Seed>& seeds) {
    using testsupport::BmpSpec;
    const auto rows = [](int bytesPerRow) {
        std::vector<std::string> lines;
        for (int y = 0; y < 3; ++y) {
            std::string line;
            for (int i = 0; i < bytesPerRow; ++i)
                line += static_cast<char>(y * 40 + i * 23);
            lines.push_back(line);
        }
        return testsupport::BmpRows(lines);
    };
    const auto bmp = [](std::uint16_t bits, std::string pixels, std::uint32_t compression = 0) {
        BmpSpec spec;
        spec.width = 6;
        spec.height = 3;
        spec.bitCount = bits;
        spec.compression = compression;
        spec.pixels = std::move(pixels);
        if (bits <= 8)
            for (std::uint32_t i = 0; i < (bits == 1 ? 2u : 16u); ++i)
                spec.palette.push_back(i * 0x0F1D2B);
        return spec;
    };
    const std::pair<int, int> plain[] = {{1, 1}, {4, 3}, {8, 6}, {16, 12}, {24, 18}, {32, 24}};
    for (const auto& [bits, bytes] : plain)
        seeds.push_back({"bmp-" + std::to_string(bits) + "bit",
                         testsupport::MakeBmp(bmp(static_cast<std::uint16_t>(bits), rows(bytes)))});

    // Runs, an absolute stretch, a jump and the end codes.
    const std::string rle8("\x06\x01\x00\x00"
                           "\x00\x03\x02\x03\x04\x00\x03\x05\x00\x00"
                           "\x00\x02\x02\x00\x04\x06\x00\x01",
                           22);
    seeds.push_back({"bmp-rle8", testsupport::MakeBmp(bmp(8, rle8, 1))});
    const std::string rle4("\x06\x12\x00\x00"
                           "\x00\x05\x34\x56\x70\x00\x01\x08\x00\x00"
                           "\x00\x02\x03\x00\x03\x9A\x00\x01",
                           22);
    seeds.push_back({"bmp-rle4", testsupport::MakeBmp(bmp(4, rle4, 2))});

    BmpSpec fields = bmp(16, rows(12), 3);
    fields.masks = {0xF800, 0x07E0, 0x001F};
    seeds.push_back({"bmp-16bit-565", testsupport::MakeBmp(fields)});
    fields = bmp(32, rows(24), 3);
    fields.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
    fields.infoSize = 108;
    seeds.push_back({"bmp-32bit-fields-v4", testsupport::MakeBmp(fields)});
    // Bit fields beyond the common layouts: alpha, other orders and widths.
    fields.masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000};
    fields.infoSize = 124;
    seeds.push_back({"bmp-32bit-fields-rgba-v5", testsupport::MakeBmp(fields)});
    fields.masks = {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000};
    fields.infoSize = 40;
    fields.compression = 6;
    seeds.push_back({"bmp-32bit-alpha-fields-10bit", testsupport::MakeBmp(fields)});
    fields = bmp(16, rows(12), 3);
    fields.masks = {0x0F00, 0x00F0, 0x000F, 0xF000};
    fields.infoSize = 108;
    seeds.push_back({"bmp-16bit-4444-v4", testsupport::MakeBmp(fields)});
    fields = bmp(1, rows(1));
    fields.palette = {0x1F3FBF, 0xFFD700};
    seeds.push_back({"bmp-1bit-coloured", testsupport::MakeBmp(fields)});
    BmpSpec topDown = bmp(24, rows(18));
    topDown.height = -3;
    topDown.infoSize = 124;
    seeds.push_back({"bmp-24bit-top-down-v5", testsupport::MakeBmp(topDown)});
}

// Built bitmaps for the encoder: its header (flags, quality, smoothing,
// densities, squeezed room), the size, then palette and pixels cut from a
// running pattern.
void AddBuiltSeeds(std::vector<Seed>& seeds) {
    struct Built {
        const char* name;
        std::uint8_t flags, quality, width, height;
        int payload;
    };
    const Built built[] = {
        {"built-1bit-dib", 0x04, 95, 12, 5, 8 + 2 * 5},
        {"built-8bit-plain-reused", 0x28, 0, 9, 9, 1024 + 81},
        {"built-32bit-optimised", 0x12, 120, 31, 17, 4 * 31 * 17},
        {"built-32bit-dib-reused", 0x34, 40, 1, 1, 4},
    };
    for (const Built& b : built) {
        std::string bytes{
            static_cast<char>(b.flags), static_cast<char>(b.quality), 20, 72, 0, 72, 0, 40};
        bytes += static_cast<char>(b.width - 1);
        bytes += static_cast<char>(b.height - 1);
        for (int i = 0; i < b.payload; ++i)
            bytes += static_cast<char>(i * 37 % 251);
        seeds.push_back({b.name, bytes});
    }
}

std::string Big32(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

void AddMetadataSeeds(std::vector<Seed>& seeds) {
    using namespace testsupport;
    const std::string plain = MakeJpeg(Spec(16, 8));
    const std::string located = LocatedPhoto(plain);
    seeds.push_back({"plain", plain});
    seeds.push_back({"located", located});
    // Fill bytes before a marker, a header cut short.
    seeds.push_back({"fill-bytes", "\xFF\xD8\xFF\xFF" + located.substr(2)});
    seeds.push_back({"cut-header", located.substr(0, located.size() / 4)});

    Exiv2::XmpData xmp;
    Exiv2::XmpTextValue bag;
    bag.setXmpArrayType(Exiv2::XmpValue::xaBag);
    xmp.add(Exiv2::XmpKey("Xmp.iptcExt.LocationShown"), &bag);
    xmp["Xmp.iptcExt.LocationShown[1]/iptcExt:Sublocation"] = "Quay";
    xmp["Xmp.dc.title"] = "lang=x-default Quay";
    xmp["Xmp.exifEX.LensSerialNumber"] = "77";
    seeds.push_back({"xmp-place", WithSegments(plain, XmpSegment(xmp))});

    // An extended XMP packet with a position, in two chunks.
    Exiv2::XmpData extended;
    extended["Xmp.exif.GPSLatitude"] = "56,9.0N";
    extended["Xmp.dc.subject"] = "harbour";
    std::string packet;
    Exiv2::XmpParser::encode(packet, extended);
    const std::string guid(32, 'A');
    std::string chunks;
    for (std::size_t at = 0; at < packet.size(); at += packet.size() / 2 + 1)
        chunks += AppSegment('\xE1', std::string("http://ns.adobe.com/xmp/extension/\0", 35) +
                                         guid + Big32(static_cast<std::uint32_t>(packet.size())) +
                                         Big32(static_cast<std::uint32_t>(at)) +
                                         packet.substr(at, packet.size() / 2 + 1));
    seeds.push_back({"extended-xmp", WithSegments(plain, chunks)});

    Exiv2::IptcData iptc;
    iptc["Iptc.Envelope.CharacterSet"] = "\x1B%G";
    iptc["Iptc.Application2.Caption"] = "K\xC3\xB8"
                                        "benhavn";
    iptc["Iptc.Application2.ProvinceState"] = "Hovedstaden";
    seeds.push_back({"iptc-place", WithSegments(plain, IptcSegment(iptc))});

    Exiv2::ExifData nikon;
    nikon["Exif.Image.Make"] = "NIKON CORPORATION";
    nikon["Exif.Image.Orientation"] = std::uint16_t{8};
    nikon["Exif.Nikon3.SerialNumber"] = "2001234";
    nikon["Exif.Nikon3.ShutterCount"] = std::uint32_t{1234};
    nikon["Exif.Thumbnail.Compression"] = std::uint16_t{6};
    seeds.push_back({"nikon", WithSegments(plain, ExifSegment(nikon))});
}

void WriteAll(const fs::path& folder, const std::vector<Seed>& seeds) {
    fs::create_directories(folder);
    for (const Seed& seed : seeds)
        testsupport::WriteFile((folder / seed.name).string(), seed.bytes);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    try {
        std::vector<Seed> pictures;
        AddJpegSeeds(pictures);
        AddBmpSeeds(pictures);

        // The decoder target takes the requested depth and the resize kernel from
        // the last byte, which a picture's trailing byte leaves alone; these four
        // cover every depth and kernel.
        std::vector<Seed> decode;
        for (const Seed& p : pictures)
            for (const char selector : {0, 4, 8, 9})
                decode.push_back({p.name + "-" + std::to_string(selector), p.bytes + selector});

        // The encoder target: each picture decoded at each requested depth.
        std::vector<Seed> encode;
        for (const Seed& p : pictures)
            for (char depth = 0; depth < 3; ++depth)
                encode.push_back(
                    {p.name + "-" + std::to_string(depth),
                     std::string{static_cast<char>(1 | depth << 3), 20, 20, 0, 0, 0, 0, 0} +
                         p.bytes});
        AddBuiltSeeds(encode);

        std::vector<Seed> metadata;
        AddMetadataSeeds(metadata);

        WriteAll(fs::path(argv[1]) / "decode", decode);
        WriteAll(fs::path(argv[1]) / "encode", encode);
        WriteAll(fs::path(argv[1]) / "metadata", metadata);
        std::printf("%zu decoder, %zu encoder and %zu metadata seeds in %s\n", decode.size(),
                    encode.size(), metadata.size(), argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
