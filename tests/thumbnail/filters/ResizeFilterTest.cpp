#include "filters/ResizeFilter.h"
#include "bitmaps/DibBitmap.h"
#include "bitmaps/PlainBitmap.h"
#include "bitmaps/TextException.h"
#include "filters/ContributionTable.h"
#include "filters/Resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace {

// A 32-bit picture as plain bytes, 4 per pixel, top line first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bytes;
    std::uint8_t& At(int x, int y, int c) {
        return bytes[4 * (static_cast<std::size_t>(y) * width + x) + c];
    }
};

Picture RandomPicture(int width, int height, unsigned seed) {
    Picture p{width, height,
              std::vector<std::uint8_t>(4 * static_cast<std::size_t>(width) * height)};
    std::mt19937 random(seed);
    // Runs of equal bytes next to noise: sums land on exact halves as well as anywhere.
    for (std::size_t i = 0; i < p.bytes.size(); ++i)
        p.bytes[i] = static_cast<std::uint8_t>(random() % 4 == 0 ? 255 * (random() % 2) : random());
    return p;
}

void Store(const Picture& p, CRasterBitmap& bitmap, bool hasAlpha = false) {
    bitmap.Allocate(p.width, p.height, 32, hasAlpha);
    for (int y = 0; y < p.height; ++y)
        std::copy_n(p.bytes.data() + 4 * static_cast<std::size_t>(y) * p.width, 4 * p.width,
                    bitmap.Lines()[y]);
}

Picture Load(const CRasterBitmap& bitmap) {
    EXPECT_EQ(bitmap.BitsPerPixel(), 32);
    Picture p{bitmap.Width(), bitmap.Height(), {}};
    for (int y = 0; y < p.height; ++y)
        p.bytes.insert(p.bytes.end(), bitmap.Lines()[y], bitmap.Lines()[y] + 4 * p.width);
    return p;
}

// The reference scaler: the formulas written out one sample at a time.
using Kernel = std::function<double(double x, double r)>;
const Kernel kTent = [](double x, double r) { return std::abs(x) < r ? r - std::abs(x) : 0.0; };

std::vector<double> ReferenceLine(const std::vector<double>& in, int outLength, double radius,
                                  const Kernel& k) {
    const int inLength = static_cast<int>(in.size());
    const double scale = static_cast<double>(outLength) / inLength;
    const double width = scale < 1 ? radius / scale : radius;
    const double kernelScale = scale < 1 ? scale : 1.0;
    const int window = 2 * static_cast<int>(std::ceil(width)) + 1;
    std::vector<double> out;
    for (int u = 0; u < outLength; ++u) {
        const double center = u / scale;
        int left = std::max(0, static_cast<int>(std::floor(center - width)));
        const int right = std::min(inLength - 1, static_cast<int>(std::ceil(center + width)));
        if (right - left + 1 > window)
            ++left;
        std::vector<double> w;
        double total = 0;
        for (int i = left; i <= right; ++i)
            total += w.emplace_back(kernelScale * k(kernelScale * (center - i), radius));
        double sum = 0;
        for (int i = left; i <= right; ++i)
            sum += (total > 0 ? w[i - left] / total : w[i - left]) * in[i];
        out.push_back(std::clamp(std::trunc(sum + 0.5), 0.0, 255.0));
    }
    return out;
}

Picture Reference(Picture p, int newWidth, int newHeight, double radius = 1.0,
                  const Kernel& k = kTent) {
    Picture mid{newWidth, p.height, std::vector<std::uint8_t>(4 * newWidth * p.height)};
    for (int y = 0; y < p.height; ++y)
        for (int c = 0; c < 4; ++c) {
            std::vector<double> line;
            for (int x = 0; x < p.width; ++x)
                line.push_back(p.At(x, y, c));
            const auto out = ReferenceLine(line, newWidth, radius, k);
            for (int x = 0; x < newWidth; ++x)
                mid.At(x, y, c) = static_cast<std::uint8_t>(out[x]);
        }
    Picture result{newWidth, newHeight, std::vector<std::uint8_t>(4 * newWidth * newHeight)};
    for (int x = 0; x < newWidth; ++x)
        for (int c = 0; c < 4; ++c) {
            std::vector<double> column;
            for (int y = 0; y < p.height; ++y)
                column.push_back(mid.At(x, y, c));
            const auto out = ReferenceLine(column, newHeight, radius, k);
            for (int y = 0; y < newHeight; ++y)
                result.At(x, y, c) = static_cast<std::uint8_t>(out[y]);
        }
    return result;
}

Picture Resized(const Picture& p, CResizeFilter&& filter) {
    CDibBitmap source, destination;
    Store(p, source);
    filter.Run(source, destination);
    return Load(destination);
}

// Runs `check` once with every vector path the processor offers.
void ForEachSimd(const std::function<void(ResizeSimd)>& check) {
    const ResizeSimd original = ResizeSimdInUse();
    for (const ResizeSimd simd : kAllResizeSimd)
        if (UseResizeSimd(simd))
            check(simd);
    UseResizeSimd(original);
}

// Runs `work` with the plain loops.
Picture WithPortableLoops(const std::function<Picture()>& work) {
    const ResizeSimd original = ResizeSimdInUse();
    UseResizeSimd(ResizeSimd::Portable);
    Picture result = work();
    UseResizeSimd(original);
    return result;
}

std::string Shape(const Picture& p, int w, int h, ResizeSimd simd) {
    return std::to_string(p.width) + "x" + std::to_string(p.height) + " -> " + std::to_string(w) +
           "x" + std::to_string(h) + " " + ResizeSimdName(simd);
}

TEST(ResizeFilter, WorkedExamplesInBothDirections) {
    Picture four{4, 1, {}};
    for (std::uint8_t v : {0, 30, 60, 90})
        four.bytes.insert(four.bytes.end(), {v, v, v, v});
    Picture two{2, 1, {}};
    for (std::uint8_t v : {0, 100})
        two.bytes.insert(two.bytes.end(), {v, v, v, v});
    ForEachSimd([&](ResizeSimd) {
        EXPECT_EQ(Resized(four, CTentResizeFilter(2, 1)).bytes,
                  (std::vector<std::uint8_t>{10, 10, 10, 10, 60, 60, 60, 60}));
        const auto twoToFour = Resized(two, CTentResizeFilter(4, 1)).bytes;
        EXPECT_EQ(twoToFour, (std::vector<std::uint8_t>{0, 0, 0, 0, 50, 50, 50, 50, 100, 100, 100,
                                                        100, 100, 100, 100, 100}));
        // The same along a column.
        EXPECT_EQ(Resized(Picture{1, 4, four.bytes}, CTentResizeFilter(1, 2)).bytes,
                  Resized(four, CTentResizeFilter(2, 1)).bytes);
        EXPECT_EQ(Resized(Picture{1, 2, two.bytes}, CTentResizeFilter(1, 4)).bytes, twoToFour);
    });
}

TEST(ResizeFilter, ContributionWeightsOfAShrink) {
    const ContributionTable table(100, 640, 100.0 / 640, TentKernel(1.0));
    EXPECT_EQ(table.WindowSize(), 15);
    const auto& e = table[0];
    ASSERT_EQ(e.left, 0);
    ASSERT_EQ(e.count, 7);
    double sum = 0;
    for (int k = 0; k < 7; ++k) {
        EXPECT_NEAR(e.weights[k] / e.weights[0], (6.4 - k) / 6.4, 1e-12);
        sum += e.weights[k];
    }
    EXPECT_NEAR(sum, 1.0, 1e-12);
}

TEST(ResizeFilter, EqualSizeAndOnePixelLines) {
    const Picture p = RandomPicture(37, 23, 1);
    EXPECT_EQ(Resized(p, CTentResizeFilter(37, 23)).bytes, p.bytes);
    // A one-pixel-wide source scaled to width 3 repeats each pixel.
    const Picture column = RandomPicture(1, 5, 2);
    Picture wide = Resized(column, CTentResizeFilter(3, 5));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 4; ++c)
                EXPECT_EQ(wide.At(x, y, c), column.bytes[4 * y + c]);
}

TEST(ResizeFilter, EveryPathMatchesTheReference) {
    const struct {
        int w, h, newW, newH;
    } cases[] = {{1, 1, 1, 1},    {1, 1, 5, 3},     {7, 3, 2, 2},      {3000, 2, 7, 1},
                 {2, 3000, 1, 7}, {13, 17, 40, 50}, {101, 33, 17, 29}, {64, 48, 64, 12},
                 {9, 260, 31, 3}, {250, 7, 3, 19}};
    unsigned seed = 10;
    for (const auto& c : cases) {
        const Picture p = RandomPicture(c.w, c.h, ++seed);
        const Picture expected = Reference(p, c.newW, c.newH);
        ForEachSimd([&](ResizeSimd simd) {
            CPlainBitmap source, destination;
            Store(p, source, true);
            CTentResizeFilter(c.newW, c.newH).Run(source, destination);
            EXPECT_TRUE(destination.HasAlpha());
            EXPECT_EQ(Load(destination).bytes, expected.bytes) << Shape(p, c.newW, c.newH, simd);
        });
    }
}

TEST(ResizeFilter, FamilyKernelsMatchTheReference) {
    const Kernel box = [](double x, double r) { return std::abs(x) <= r ? 1.0 : 0.0; };
    const Kernel gaussian = [](double x, double r) {
        return std::abs(x) <= r ? std::exp(-(x * x) / r - 1.0) / std::sqrt(2.0 * std::numbers::pi)
                                : 0.0;
    };
    const Kernel hamming = [](double x, double r) {
        if (std::abs(x) > r)
            return 0.0;
        if (x == 0.0)
            return 1.0;
        const double px = std::numbers::pi * x;
        return (0.54 + 0.46 * std::cos(2.0 * std::numbers::pi * x)) * std::sin(px) / px;
    };
    const Picture p = RandomPicture(19, 14, 3);
    for (const auto& [w, h] : {std::pair{7, 5}, std::pair{30, 33}}) {
        for (double r : {0.4, 1.0, 2.5}) {
            ForEachSimd([&](ResizeSimd simd) {
                const std::string shape = Shape(p, w, h, simd) + " radius " + std::to_string(r);
                EXPECT_EQ(Resized(p, CBoxResizeFilter(w, h, r)).bytes,
                          Reference(p, w, h, r, box).bytes)
                    << "box " << shape;
                EXPECT_EQ(Resized(p, CGaussianResizeFilter(w, h, r)).bytes,
                          Reference(p, w, h, r, gaussian).bytes)
                    << "Gaussian " << shape;
                // Radius 2.5 takes in negative lobes: sums leave 0..255 and are held there.
                EXPECT_EQ(Resized(p, CHammingResizeFilter(w, h, r)).bytes,
                          Reference(p, w, h, r, hamming).bytes)
                    << "Hamming " << shape;
            });
        }
    }
}

TEST(ResizeFilter, OrientedRunEqualsRunOnTheTurnedPicture) {
    // Stored columns are taken in strips of 512: 517 gives a full strip and a ragged rest.
    // Stored rows are taken in groups of up to eight: 67 leaves a pair and a single row.
    const Picture stored = RandomPicture(517, 67, 4);
    CDibBitmap source;
    Store(stored, source);
    for (int o = 1; o <= 8; ++o) {
        const auto orientation = static_cast<Orientation>(o);
        const bool swap = SwapsAxes(orientation);
        Picture turned{swap ? 67 : 517, swap ? 517 : 67, {}};
        turned.bytes.resize(stored.bytes.size());
        for (int y = 0; y < turned.height; ++y)
            for (int x = 0; x < turned.width; ++x) {
                const auto at = StoredPositionOf(orientation, x, y, 517, 67);
                for (int c = 0; c < 4; ++c)
                    turned.At(x, y, c) = stored.bytes[4 * (at.y * 517 + at.x) + c];
            }
        // Wide Hamming windows overlap several at a time and start between the
        // ends of others; a narrow box leaves inputs that no output uses.
        const std::function<std::unique_ptr<CResizeFilter>(int, int)> filters[] = {
            [](int w, int h) { return std::make_unique<CTentResizeFilter>(w, h); },
            [](int w, int h) { return std::make_unique<CHammingResizeFilter>(w, h, 2.5); },
            [](int w, int h) { return std::make_unique<CBoxResizeFilter>(w, h, 0.2); }};
        for (const auto& [w, h] : {std::pair{9, 13}, std::pair{80, 41}, std::pair{300, 5}}) {
            for (const auto& make : filters) {
                const Picture expected =
                    WithPortableLoops([&] { return Resized(turned, std::move(*make(w, h))); });
                ForEachSimd([&](ResizeSimd simd) {
                    CPlainBitmap destination;
                    make(w, h)->RunOriented(source, orientation, destination);
                    EXPECT_EQ(Load(destination).bytes, expected.bytes)
                        << "orientation " << o << " radius " << make(w, h)->Radius() << " "
                        << Shape(turned, w, h, simd);
                });
            }
        }
    }
}

TEST(ResizeFilter, OtherSourcesInPlaceUseAndShortcuts) {
    const Picture p = RandomPicture(21, 12, 5);
    const Picture expected = Resized(p, CTentResizeFilter(8, 5));

    // An 8-bit source is widened through its palette first.
    CPlainBitmap grey, widened, fromGrey, fromWidened;
    grey.Allocate(21, 12, 8, false);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 21; ++x)
            grey.Lines()[y][x] = static_cast<std::uint8_t>(x * 12 + y);
    widened.CopyFrom(grey, 32);
    CTentResizeFilter(8, 5).Run(grey, fromGrey);
    CTentResizeFilter(8, 5).Run(widened, fromWidened);
    EXPECT_EQ(Load(fromGrey).bytes, Load(fromWidened).bytes);

    CDibBitmap same;
    Store(p, same);
    CTentResizeFilter(8, 5).Run(same, same);
    EXPECT_EQ(Load(same).bytes, expected.bytes);

    CDibBitmap shortcut;
    Store(p, shortcut);
    shortcut.ResizeTent(8, 5);
    EXPECT_EQ(Load(shortcut).bytes, expected.bytes);
    Store(p, shortcut);
    shortcut.ResizeHamming(8, 5, 2.0);
    EXPECT_EQ(Load(shortcut).bytes, Resized(p, CHammingResizeFilter(8, 5, 2.0)).bytes);
}

TEST(ResizeFilter, BadArgumentsThrow) {
    CPlainBitmap source, destination, empty;
    source.Allocate(4, 4, 32, false);
    empty.Allocate(0, 3, 32, false);
    const auto codeOf = [&](const std::function<void()>& run) {
        try {
            run();
        } catch (const CTextException& e) {
            EXPECT_FALSE(e.Text().empty());
            return e.Code();
        }
        return 0;
    };
    EXPECT_EQ(codeOf([&] { CTentResizeFilter(0, 3).Run(source, destination); }), 6);
    EXPECT_EQ(codeOf([&] { CTentResizeFilter(3, -1).Run(source, destination); }), 6);
    EXPECT_EQ(codeOf([&] { CTentResizeFilter(3, 3).Run(empty, destination); }), 6);
    EXPECT_EQ(codeOf([&] { CBoxResizeFilter(3, 3, 0.0).Run(source, destination); }), 6);
    EXPECT_EQ(codeOf([&] { CGaussianResizeFilter(3, 3, NAN).Run(source, destination); }), 6);
    EXPECT_EQ(codeOf([&] { CTentResizeFilter(100000, 100000).Run(source, destination); }), 10);
    EXPECT_EQ(source.Width(), 4);
}

} // namespace
