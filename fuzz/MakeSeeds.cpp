// Writes the fuzz targets' starting corpus: small pictures of every kind the
// decoder knows, into <folder>/decode/, and the same behind encoder settings,
// plus bitmaps built from bytes, into <folder>/encode/.
// Usage: skimlet-make-seeds <folder>

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

// Built bitmaps for the encoder: its header (flags, quality, smoothing,
// densities), the size, then palette and pixels cut from a running pattern.
void AddBuiltSeeds(std::vector<Seed>& seeds) {
    struct Built {
        const char* name;
        std::uint8_t flags, quality, width, height;
        int payload;
    };
    const Built built[] = {
        {"built-1bit-dib", 0x04, 95, 12, 5, 8 + 2 * 5},
        {"built-8bit-plain", 0x08, 0, 9, 9, 1024 + 81},
        {"built-32bit-optimised", 0x12, 120, 31, 17, 4 * 32 * 18},
        {"built-32bit-twice-dib", 0x34, 40, 1, 1, 4},
    };
    for (const Built& b : built) {
        std::string bytes{
            static_cast<char>(b.flags),     static_cast<char>(b.quality),   20, 72, 0, 72, 0,
            static_cast<char>(b.width - 1), static_cast<char>(b.height - 1)};
        for (int i = 0; i < b.payload; ++i)
            bytes += static_cast<char>(i * 37 % 251);
        seeds.push_back({b.name, bytes});
    }
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
                     std::string{static_cast<char>(1 | depth << 3), 20, 20, 0, 0, 0, 0} + p.bytes});
        AddBuiltSeeds(encode);

        WriteAll(fs::path(argv[1]) / "decode", decode);
        WriteAll(fs::path(argv[1]) / "encode", encode);
        std::printf("%zu decoder and %zu encoder seeds in %s\n", decode.size(), encode.size(),
                    argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
