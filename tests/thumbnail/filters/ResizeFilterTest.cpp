#include "filters/ResizeFilter.h"
#include "Pictures.h"
#include "bitmaps/DibBitmap.h"
#include "bitmaps/PlainBitmap.h"
#include "filters/Resampler.h"
#include "filters/StreamedResize.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

using namespace skimlet;

namespace {

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

Picture Resized(const Picture& p, CResizeFilter&& filter) {
    CDibBitmap source, destination;
    Store(p, source);
    filter.Run(source, destination);
    return Load(destination);
}

// Runs `check` once with every vector path the processor offers, the plain loops first.
void ForEachSimd(const std::function<void(ResizeSimd)>& check) {
    const ResizeSimd original = ResizeSimdInUse();
    for (const ResizeSimd simd : kAllResizeSimd)
        if (UseResizeSimd(simd))
            check(simd);
    UseResizeSimd(original);
}

// Hands out a picture's rows in order, each at most once.
class PictureRows : public CRowSource {
public:
    explicit PictureRows(const Picture& p) : picture_(p) {}
    void ReadRows(std::uint8_t* const* rows, int count) override {
        ASSERT_LE(delivered + count, picture_.height) << "rows read past the end";
        const std::size_t lineBytes = 4 * static_cast<std::size_t>(picture_.width);
        for (int r = 0; r < count; ++r, ++delivered)
            std::copy_n(picture_.bytes.data() + lineBytes * static_cast<std::size_t>(delivered),
                        lineBytes, rows[r]);
    }
    int delivered = 0;

private:
    const Picture& picture_;
};

std::string Shape(const Picture& p, int w, int h, ResizeSimd simd) {
    return std::to_string(p.width) + "x" + std::to_string(p.height) + " -> " + std::to_string(w) +
           "x" + std::to_string(h) + " " + ResizeSimdName(simd);
}

TEST(ResizeFilter, WorkedExamplesInBothDirections) {
    const auto grey = [](std::initializer_list<std::uint8_t> levels) {
        std::vector<std::uint8_t> bytes;
        for (const std::uint8_t v : levels)
            bytes.insert(bytes.end(), {v, v, v, v});
        return bytes;
    };
    const std::tuple<std::vector<std::uint8_t>, int, std::vector<std::uint8_t>> examples[] = {
        {grey({0, 30, 60, 90}), 2, grey({10, 60})}, {grey({0, 100}), 4, grey({0, 50, 100, 100})}};
    ForEachSimd([&](ResizeSimd) {
        for (const auto& [from, length, to] : examples) {
            const int n = static_cast<int>(from.size() / 4);
            EXPECT_EQ(Resized(Picture{n, 1, from}, CTentResizeFilter(length, 1)).bytes, to);
            EXPECT_EQ(Resized(Picture{1, n, from}, CTentResizeFilter(1, length)).bytes, to);
        }
    });
}

TEST(ResizeFilter, EveryPathMatchesTheReference) {
    const struct {
        int w, h, newW, newH;
    } cases[] = {{1, 1, 1, 1},     {1, 1, 5, 3},     {1, 5, 3, 5},     {7, 3, 2, 2},
                 {3000, 2, 7, 1},  {2, 3000, 1, 7},  {13, 17, 40, 50}, {101, 33, 17, 29},
                 {64, 48, 64, 12}, {37, 23, 37, 23}, {9, 260, 31, 3},  {250, 7, 3, 19}};
    unsigned seed = 10;
    for (const auto& c : cases) {
        const Picture p = RandomPicture(c.w, c.h, ++seed);
        const Picture expected = Reference(p, c.newW, c.newH);
        ForEachSimd([&](ResizeSimd simd) {
            SCOPED_TRACE(Shape(p, c.newW, c.newH, simd));
            CPlainBitmap source, destination;
            Store(p, source, true);
            CTentResizeFilter(c.newW, c.newH).Run(source, destination);
            EXPECT_TRUE(destination.HasAlpha());
            EXPECT_EQ(Load(destination).bytes, expected.bytes);
            CTentResizeFilter(c.newW, c.newH).Run(source, source); // in place
            EXPECT_EQ(Load(source).bytes, expected.bytes);
        });
    }
}

// The streamed run is checked here too: rows arriving one band at a time must
// give the very bytes of the run over the whole picture.
TEST(ResizeFilter, OrientedRunEqualsRunOnTheTurnedPicture) {
    // Stored columns are taken in strips of 512: 517 gives a full strip and a ragged rest.
    // Stored rows are taken in groups of up to eight: 67 leaves a pair and a single row.
    const Picture stored = RandomPicture(517, 67, 4);
    CDibBitmap source;
    Store(stored, source);
    for (int o = 1; o <= 8; ++o) {
        const auto orientation = static_cast<Orientation>(o);
        const Picture turned = Turned(stored, orientation);
        // Wide Hamming windows overlap several at a time and start between the
        // ends of others; a narrow box leaves inputs that no output uses.
        const std::function<std::unique_ptr<CResizeFilter>(int, int)> filters[] = {
            [](int w, int h) { return std::make_unique<CTentResizeFilter>(w, h); },
            [](int w, int h) { return std::make_unique<CHammingResizeFilter>(w, h, 2.5); },
            [](int w, int h) { return std::make_unique<CBoxResizeFilter>(w, h, 0.2); }};
        for (const auto& [w, h] : {std::pair{9, 13}, std::pair{80, 41}, std::pair{300, 5}}) {
            for (const auto& make : filters) {
                std::vector<std::uint8_t> expected; // by the plain loops, from the turned picture
                ForEachSimd([&](ResizeSimd simd) {
                    if (simd == ResizeSimd::Portable)
                        expected = Resized(turned, std::move(*make(w, h))).bytes;
                    SCOPED_TRACE("orientation " + std::to_string(o) + " radius " +
                                 std::to_string(make(w, h)->Radius()) + " " +
                                 Shape(turned, w, h, simd));
                    CPlainBitmap whole, streamed;
                    make(w, h)->RunOriented(source, orientation, whole);
                    EXPECT_EQ(Load(whole).bytes, expected);
                    PictureRows rows(stored);
                    make(w, h)->RunStreamed(rows, stored.width, stored.height, orientation,
                                            streamed);
                    EXPECT_EQ(rows.delivered, stored.height);
                    EXPECT_EQ(Load(streamed).bytes, expected) << "streamed";
                });
            }
        }
    }
}

// The most two pictures of one size differ by in any byte.
int LargestDifference(const Picture& a, const Picture& b) {
    EXPECT_EQ(std::make_pair(a.width, a.height), std::make_pair(b.width, b.height));
    int largest = a.bytes.size() == b.bytes.size() ? 0 : 256;
    for (std::size_t i = 0; i < std::min(a.bytes.size(), b.bytes.size()); ++i)
        largest = std::max(largest, std::abs(a.bytes[i] - b.bytes[i]));
    return largest;
}

// A picture made from a larger one's lines as they come is, within a level, one
// resized from that picture whole, turned the same way, on every vector path;
// a first step the size of the photo only turns it. Handed to a line sink
// instead, an upright result is the same.
TEST(ResizeFilter, FedResizeEqualsResizeOfTheFinishedPicture) {
    const Picture stored = RandomPicture(517, 67, 6);
    struct Lines : CLineSink {
        std::vector<std::uint8_t> bytes;
        void TakeLines(const std::uint8_t* const* lines, int count) override {
            for (int i = 0; i < count; ++i)
                bytes.insert(bytes.end(), lines[i], lines[i] + 4 * 90);
        }
    };
    const auto resized = [&](Orientation o, std::pair<int, int> first, std::pair<int, int> second,
                             bool ofFirst, Lines* lines = nullptr) {
        const auto shown = [&](std::pair<int, int> s) {
            return SwapsAxes(o) ? std::pair{s.second, s.first} : s;
        };
        CPlainBitmap large, small;
        CStoredRowResize a(stored.width, stored.height, o, shown(first).first, shown(first).second,
                           TentKernel(1.0), large);
        auto b = lines
                     ? std::make_unique<CStoredRowResize>(first.first, first.second, second.first,
                                                          second.second, TentKernel(1.0), *lines)
                     : std::make_unique<CStoredRowResize>(first.first, first.second, o,
                                                          shown(second).first, shown(second).second,
                                                          TentKernel(1.0), small);
        a.Feed(*b);
        PictureRows rows(stored);
        FeedRows(rows, stored.width, stored.height, {&a});
        a.Finish();
        return ofFirst ? Load(large) : lines ? Picture{} : Load(small);
    };
    for (const auto& first : {std::pair{517, 67}, std::pair{200, 30}}) {
        for (const auto& second : {std::pair{90, 13}, std::pair{7, 3}}) {
            // The first picture upright is the second's source, whole.
            const Picture source = resized(Orientation::Normal, first, second, true);
            if (first == std::pair{517, 67}) {
                EXPECT_EQ(source.bytes, stored.bytes);
            }
            CPlainBitmap expected;
            CDibBitmap whole;
            Store(source, whole);
            CTentResizeFilter(second.first, second.second).Run(whole, expected);
            ForEachSimd([&](ResizeSimd simd) {
                for (int o = 1; o <= 8; ++o)
                    EXPECT_LE(LargestDifference(
                                  resized(static_cast<Orientation>(o), first, second, false),
                                  Turned(Load(expected), static_cast<Orientation>(o))),
                              1)
                        << "orientation " << o << " " << second.first << " "
                        << ResizeSimdName(simd);
            });
        }
    }
    Lines lines;
    resized(Orientation::Normal, {200, 30}, {90, 13}, false, &lines);
    EXPECT_EQ(lines.bytes, resized(Orientation::Normal, {200, 30}, {90, 13}, false).bytes);
}

TEST(ResizeFilter, BadArgumentsThrow) {
    CPlainBitmap source, destination;
    source.Allocate(4, 4, 32, false);
    ExpectTextException(10, [&] { CTentResizeFilter(100000, 100000).Run(source, destination); });
    EXPECT_EQ(source.Width(), 4);

    // A streamed run refuses before asking for any row, and passes on a
    // source's failure part way through.
    const Picture p = RandomPicture(6, 40, 7);
    PictureRows rows(p);
    ExpectTextException(10, [&] {
        CTentResizeFilter(100000, 100000)
            .RunStreamed(rows, 6, 40, Orientation::Normal, destination);
    });
    EXPECT_EQ(rows.delivered, 0);
    struct FailingRows : CRowSource {
        int left = 3;
        void ReadRows(std::uint8_t* const*, int count) override {
            left -= count;
            if (left < 0)
                throw CTextException(6, "damaged");
        }
    };
    for (const Orientation o : {Orientation::Normal, Orientation::Rotate90}) {
        FailingRows failing;
        ExpectTextException(
            6, [&] { CTentResizeFilter(3, 3).RunStreamed(failing, 6, 40, o, destination); });
    }
}

} // namespace
