#include "filters/ColorQuantizer.h"

#include "base/TextException.h"
#include "bitmaps/PlainBitmap.h"
#include "filters/FilterSupport.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace skimlet {

namespace {

constexpr int kRed = 0, kGreen = 1, kBlue = 2;
constexpr int kColours15 = 1 << 15;
constexpr std::uint32_t kMaxCount = 65535;

// A colour of 5 bits per channel, indexed by kRed, kGreen, kBlue.
using Colour5 = std::array<int, 3>;

int Index15(const Colour5& c) {
    return c[kRed] << 10 | c[kGreen] << 5 | c[kBlue];
}

int Index15Of8Bits(int red, int green, int blue) {
    return (red >> 3) << 10 | (green >> 3) << 5 | (blue >> 3);
}

// The eight corners of the 5-bit cube, in the order both adaptive methods use.
constexpr Colour5 kCorners[8] = {{0, 0, 0},   {31, 0, 0},  {0, 31, 0},  {0, 0, 31},
                                 {31, 31, 0}, {0, 31, 31}, {31, 0, 31}, {31, 31, 31}};

// Indexed by 4 x (column & 3) + (row & 3).
constexpr int kOrderedMatrix[16] = {-7, 1, -5, 3, 5, -3, 7, -1, -4, 4, -6, 2, 8, 0, 6, -2};

struct FixedPaletteBuild {
    CColorQuantizer::FixedPaletteTable table{};
    int cubeEntries = 0;
    int total = 0;
};

constexpr FixedPaletteBuild BuildFixedPalette() {
    FixedPaletteBuild build;
    auto add = [&build](int b0, int b1, int b2) {
        build.table[build.total++] = {static_cast<std::uint8_t>(b0), static_cast<std::uint8_t>(b1),
                                      static_cast<std::uint8_t>(b2)};
    };
    constexpr int kLow[16][3] = {{0, 0, 0},       {191, 0, 0},     {0, 191, 0},   {191, 191, 0},
                                 {0, 0, 191},     {191, 0, 191},   {0, 191, 191}, {192, 192, 192},
                                 {192, 220, 192}, {166, 202, 240}, {128, 0, 0},   {0, 128, 0},
                                 {128, 128, 0},   {0, 0, 128},     {128, 0, 128}, {0, 128, 128}};
    for (const auto& e : kLow)
        add(e[0], e[1], e[2]);
    // The cube leaves out what the other entries already hold: the colours with
    // bytes 1 and 2 both zero, and white, which closes the table.
    constexpr int kLevels[6] = {0, 81, 133, 177, 217, 255};
    for (int b2 = 0; b2 < 6; ++b2)
        for (int b1 = 0; b1 < 6; ++b1)
            for (int b0 = 0; b0 < 6; ++b0) {
                if ((b1 == 0 && b2 == 0) || (b0 == 5 && b1 == 5 && b2 == 5))
                    continue;
                add(kLevels[b0], kLevels[b1], kLevels[b2]);
                ++build.cubeEntries;
            }
    for (int v = 196; v <= 253; v += 3)
        add(v, v, v);
    constexpr int kHigh[11][3] = {{155, 207, 207}, {255, 251, 240}, {160, 160, 164},
                                  {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
                                  {255, 255, 0},   {0, 0, 255},     {255, 0, 255},
                                  {0, 255, 255},   {255, 255, 255}};
    for (const auto& e : kHigh)
        add(e[0], e[1], e[2]);
    return build;
}

constexpr FixedPaletteBuild kFixedPalette = BuildFixedPalette();
static_assert(kFixedPalette.cubeEntries == 209 && kFixedPalette.total == 256);

// One occupied 15-bit colour: the palette index decided for it (-1 while open)
// and how many pixels have it, saturating.
struct Bucket {
    std::int32_t paletteIndex = -1;
    std::uint32_t count = 0;
};

// The 15-bit histogram. Buckets exist only for colours that occur; once the
// palette is set they also remember each colour's nearest palette entry.
class Histogram {
public:
    Histogram() : slots_(kColours15, -1) {}

    void Count(int index) {
        if (slots_[index] < 0) {
            slots_[index] = static_cast<std::int32_t>(buckets_.size());
            buckets_.push_back(Bucket{-1, 1});
        } else if (Bucket& b = buckets_[slots_[index]]; b.count < kMaxCount) {
            ++b.count;
        }
    }

    const Bucket* Find(int index) const {
        return slots_[index] < 0 ? nullptr : &buckets_[slots_[index]];
    }

    Bucket& Obtain(int index) {
        if (slots_[index] < 0) {
            slots_[index] = static_cast<std::int32_t>(buckets_.size());
            buckets_.push_back(Bucket{});
        }
        return buckets_[slots_[index]];
    }

private:
    std::vector<std::int32_t> slots_;
    std::vector<Bucket> buckets_;
};

struct Box {
    Colour5 minimum{};
    Colour5 maximum{};
    Colour5 mean{};
    std::uint32_t count = 0;
};

// The working state of one quantizer run.
class Quantization {
public:
    Quantization() : boxes_(new (std::nothrow) Box[256]) {
        if (!boxes_)
            throw CTextException(SkimletCode::kOutOfMemory, "Out of memory.");
    }

    void CountPixels(const CRasterBitmap& source) {
        for (int y = 0; y < source.Height(); ++y) {
            const std::uint8_t* p = source.Lines()[y];
            for (int x = 0; x < source.Width(); ++x, p += 4)
                histogram_.Count(Index15Of8Bits(p[2], p[1], p[0]));
        }
    }

    void BuildBoxPalette();
    void BuildPopularityPalette();

    void SetFixedPalette(CRasterBitmap& destination) {
        for (int i = 0; i < 256; ++i) {
            const auto& e = kFixedPalette.table[i];
            palette_[i].blue = destination.Palette()[i].blue = e[0];
            palette_[i].green = destination.Palette()[i].green = e[1];
            palette_[i].red = destination.Palette()[i].red = e[2];
        }
    }

    void SetAdaptivePalette(CRasterBitmap& destination) const {
        destination.CopyPalette(palette_.data());
    }

    void MapPixels(const CRasterBitmap& source, CRasterBitmap& destination, int dither);

private:
    int Nearest(int red, int green, int blue);
    void ComputeStatistics(Box& box) const;
    void MapFloydSteinberg(const CRasterBitmap& source, CRasterBitmap& destination);

    Histogram histogram_;
    std::unique_ptr<Box[]> boxes_;
    std::array<PaletteEntry, 256> palette_{};
};

void Quantization::ComputeStatistics(Box& box) const {
    Colour5 low{31, 31, 31}, high{0, 0, 0};
    std::int64_t sum[3] = {0, 0, 0};
    std::int64_t total = 0;
    Colour5 c;
    for (c[kRed] = box.minimum[kRed]; c[kRed] <= box.maximum[kRed]; ++c[kRed])
        for (c[kGreen] = box.minimum[kGreen]; c[kGreen] <= box.maximum[kGreen]; ++c[kGreen])
            for (c[kBlue] = box.minimum[kBlue]; c[kBlue] <= box.maximum[kBlue]; ++c[kBlue]) {
                const Bucket* bucket = histogram_.Find(Index15(c));
                if (!bucket || bucket->count == 0)
                    continue;
                for (int ch = 0; ch < 3; ++ch) {
                    low[ch] = std::min(low[ch], c[ch]);
                    high[ch] = std::max(high[ch], c[ch]);
                    sum[ch] += std::int64_t{c[ch]} * bucket->count;
                }
                total += bucket->count;
            }
    if (total == 0) {
        box = Box{};
        return;
    }
    box.minimum = low;
    box.maximum = high;
    for (int ch = 0; ch < 3; ++ch)
        box.mean[ch] = static_cast<int>(sum[ch] / total);
    // A single colour can never be split again.
    box.count =
        low == high ? 1 : static_cast<std::uint32_t>(std::min<std::int64_t>(total, kMaxCount));
}

void Quantization::BuildBoxPalette() {
    for (int i = 0; i < 8; ++i)
        boxes_[i] = Box{kCorners[i], kCorners[i], kCorners[i], 1};
    boxes_[8] = Box{{0, 0, 0}, {31, 31, 31}, {}, 0};
    ComputeStatistics(boxes_[8]);

    for (int n = 9; n < 256; ++n) {
        int chosen = 8;
        for (int i = 9; i < n; ++i)
            if (boxes_[i].count > boxes_[chosen].count)
                chosen = i;
        if (boxes_[chosen].count < 2) {
            std::fill(boxes_.get() + n, boxes_.get() + 256, Box{});
            break;
        }
        Box& old = boxes_[chosen];
        Box& fresh = boxes_[n];
        fresh = old;
        int ch = kRed;
        for (int c : {kGreen, kBlue})
            if (old.maximum[c] - old.minimum[c] > old.maximum[ch] - old.minimum[ch])
                ch = c;
        const int low = old.minimum[ch], high = old.maximum[ch], mean = old.mean[ch];
        if (high - low == 2) {
            // The middle level goes to neither box; its colours map to the nearest entry.
            fresh.minimum[ch] = fresh.maximum[ch] = low;
            old.minimum[ch] = old.maximum[ch] = high;
        } else if (mean == high) {
            old.maximum[ch] = high - 1;
            fresh.minimum[ch] = high;
        } else {
            old.maximum[ch] = mean;
            fresh.minimum[ch] = mean + 1;
        }
        ComputeStatistics(old);
        ComputeStatistics(fresh);
    }

    for (int i = 0; i < 256; ++i) {
        const Box& b = boxes_[i];
        auto centre = [&b](int ch) {
            return static_cast<std::uint8_t>((b.minimum[ch] + b.maximum[ch]) * 255 / 62);
        };
        palette_[i] = PaletteEntry{centre(kBlue), centre(kGreen), centre(kRed), 0};
    }
}

void Quantization::BuildPopularityPalette() {
    std::array<Colour5, 256> colours{};
    std::array<std::uint32_t, 256> counts{};
    for (int i = 0; i < 8; ++i)
        colours[i] = kCorners[i];
    Colour5 c;
    for (c[kRed] = 0; c[kRed] < 31; ++c[kRed])
        for (c[kGreen] = 0; c[kGreen] < 31; ++c[kGreen])
            for (c[kBlue] = 0; c[kBlue] < 31; ++c[kBlue]) {
                const Bucket* bucket = histogram_.Find(Index15(c));
                if (!bucket || bucket->count <= counts[255])
                    continue;
                colours[255] = c;
                counts[255] = bucket->count;
                for (int i = 255; i > 8 && counts[i] > counts[i - 1]; --i) {
                    std::swap(colours[i], colours[i - 1]);
                    std::swap(counts[i], counts[i - 1]);
                }
            }
    for (int i = 0; i < 256; ++i) {
        auto scale = [&](int ch) { return static_cast<std::uint8_t>(colours[i][ch] * 255 / 31); };
        palette_[i] = PaletteEntry{scale(kBlue), scale(kGreen), scale(kRed), 0};
    }
}

int Quantization::Nearest(int red, int green, int blue) {
    Bucket& bucket = histogram_.Obtain(Index15Of8Bits(red, green, blue));
    if (bucket.paletteIndex >= 0)
        return bucket.paletteIndex;
    int best = 0;
    int bestDistance = INT_MAX;
    for (int i = 0; i < 256; ++i) {
        const PaletteEntry& e = palette_[i];
        const int db = e.blue - blue, dg = e.green - green, dr = e.red - red;
        const int distance = db * db + dg * dg + dr * dr;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    bucket.paletteIndex = best;
    return best;
}

void Quantization::MapPixels(const CRasterBitmap& source, CRasterBitmap& destination, int dither) {
    if (dither == CColorQuantizer::FloydSteinbergDither) {
        MapFloydSteinberg(source, destination);
        return;
    }
    const int width = source.Width();
    for (int y = 0; y < source.Height(); ++y) {
        const std::uint8_t* p = source.Lines()[y];
        std::uint8_t* out = destination.Lines()[y];
        for (int x = 0; x < width; ++x, p += 4) {
            int red = p[2], green = p[1], blue = p[0];
            if (dither == CColorQuantizer::OrderedDither) {
                // Columns count from the row's last pixel.
                const int offset = 2 * kOrderedMatrix[4 * ((width - 1 - x) & 3) + (y & 3)];
                red = std::clamp(red + offset, 0, 255);
                green = std::clamp(green + offset, 0, 255);
                blue = std::clamp(blue + offset, 0, 255);
            }
            out[x] = static_cast<std::uint8_t>(Nearest(red, green, blue));
        }
    }
}

void Quantization::MapFloydSteinberg(const CRasterBitmap& source, CRasterBitmap& destination) {
    const int width = source.Width();
    if (width == 0 || source.Height() == 0)
        return;
    // One cell either side of the row takes the error that falls off its ends.
    const std::size_t cells = static_cast<std::size_t>(width) + 2;
    std::vector<float> current(3 * cells, 0.0f), next(3 * cells, 0.0f);
    auto cell = [](std::vector<float>& row, int x) {
        return &row[3 * static_cast<std::size_t>(x + 1)];
    };

    for (int y = 0; y < source.Height(); ++y) {
        const bool leftToRight = y % 2 == 0;
        const int step = leftToRight ? 1 : -1;
        const std::uint8_t* in = source.Lines()[y];
        std::uint8_t* out = destination.Lines()[y];
        for (int i = 0; i < width; ++i) {
            const int x = leftToRight ? i : width - 1 - i;
            const std::uint8_t* pixel = in + 4 * static_cast<std::size_t>(x);
            // Channels in pixel byte order: blue, green, red.
            float value[3];
            const float* error = cell(current, x);
            for (int c = 0; c < 3; ++c)
                value[c] = std::clamp(static_cast<float>(pixel[c]) + error[c], 0.0f, 255.0f);
            const int index = Nearest(static_cast<int>(value[2]), static_cast<int>(value[1]),
                                      static_cast<int>(value[0]));
            out[x] = static_cast<std::uint8_t>(index);
            const PaletteEntry& chosen = palette_[index];
            const float chosenValue[3] = {static_cast<float>(chosen.blue),
                                          static_cast<float>(chosen.green),
                                          static_cast<float>(chosen.red)};
            float* ahead = cell(current, x + step);
            float* nextBehind = cell(next, x - step);
            float* nextBelow = cell(next, x);
            float* nextAhead = cell(next, x + step);
            for (int c = 0; c < 3; ++c) {
                const float part = (value[c] - chosenValue[c]) / 16.0f;
                ahead[c] += 7.0f * part;
                nextBehind[c] += 3.0f * part;
                nextBelow[c] += 5.0f * part;
                nextAhead[c] += part;
            }
        }
        std::swap(current, next);
        std::fill(next.begin(), next.end(), 0.0f);
    }
}

} // namespace

CColorQuantizer::CColorQuantizer(int paletteMethod, int ditherMethod)
    : paletteMethod_(paletteMethod), ditherMethod_(ditherMethod) {}

const CColorQuantizer::FixedPaletteTable& CColorQuantizer::FixedPaletteEntries() {
    return kFixedPalette.table;
}

void CColorQuantizer::Run(const CRasterBitmap& source, CRasterBitmap& destination) {
    if (paletteMethod_ < MedianCut || paletteMethod_ > FixedPalette)
        throw CTextException(SkimletCode::kUnsupported, "Unknown colour quantizer palette method " +
                                                            std::to_string(paletteMethod_) + ".");
    if (ditherMethod_ < NoDither || ditherMethod_ > FloydSteinbergDither)
        throw CTextException(SkimletCode::kUnsupported,
                             "Unknown colour quantizer dithering method " +
                                 std::to_string(ditherMethod_) + ".");
    CPlainBitmap scratch;
    const CRasterBitmap& input = ReadableAs32Bits(source, destination, scratch);
    destination.Allocate(input.Width(), input.Height(), 8, false);
    try {
        Quantization q;
        if (paletteMethod_ == FixedPalette) {
            q.SetFixedPalette(destination);
        } else {
            q.CountPixels(input);
            if (paletteMethod_ == MedianCut)
                q.BuildBoxPalette();
            else
                q.BuildPopularityPalette();
            q.SetAdaptivePalette(destination);
        }
        q.MapPixels(input, destination, ditherMethod_);
    } catch (const std::bad_alloc&) {
        throw CTextException(SkimletCode::kOutOfMemory, "Out of memory.");
    }
}

} // namespace skimlet
