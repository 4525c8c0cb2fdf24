#pragma once

#include "base/TextException.h"
#include "bitmaps/Orientation.h"
#include "bitmaps/RasterBitmap.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Small pictures for filter tests, as pixel values in rows from the top: the
// 0xAARRGGBB value at 32 bits per pixel, the index at 1 and 8.

namespace skimlet {

inline void FillPicture(CRasterBitmap& bitmap, int width, int bitsPerPixel,
                        const std::vector<std::uint32_t>& pixels) {
    const int height = static_cast<int>(pixels.size()) / width;
    bitmap.Allocate(width, height, bitsPerPixel, false);
    for (int i = 0; i < width * height; ++i)
        bitmap.StorePixel(i % width, i / width, pixels[static_cast<std::size_t>(i)]);
}

inline std::vector<std::uint32_t> PixelsOf(const CRasterBitmap& bitmap) {
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x)
            pixels.push_back(bitmap.PixelAt(x, y));
    return pixels;
}

// Palette entries as 0xAARRGGBB values.
inline std::vector<std::uint32_t> ColoursOf(const CRasterBitmap& bitmap, int first, int count) {
    std::vector<std::uint32_t> colours;
    for (int i = first; i < first + count; ++i)
        colours.push_back(PackColour(bitmap.Palette()[i]));
    return colours;
}

// "code text" of the CTextException that `action` throws, or "none".
inline std::string FailureOf(const std::function<void()>& action) {
    const auto e = testsupport::Thrown<CTextException>(action);
    return e ? std::to_string(e->Code()) + " " + e->Text() : "none";
}

inline void ExpectTextException(std::int32_t code, const std::function<void()>& action) {
    const auto e = testsupport::Thrown<CTextException>(action);
    ASSERT_TRUE(e) << "no exception";
    EXPECT_EQ(e->Code(), code);
    EXPECT_FALSE(e->Text().empty());
}

// A 32-bit picture as plain bytes, 4 per pixel, top line first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bytes;
    std::uint8_t& At(int x, int y, int c) {
        return bytes[4 * (static_cast<std::size_t>(y) * width + x) + c];
    }
};

// The picture as a viewer shows it under `orientation`.
inline Picture Turned(Picture stored, Orientation orientation) {
    const bool swap = SwapsAxes(orientation);
    Picture shown{swap ? stored.height : stored.width, swap ? stored.width : stored.height,
                  std::vector<std::uint8_t>(stored.bytes.size())};
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x) {
            const auto at = StoredPositionOf(orientation, x, y, stored.width, stored.height);
            for (int c = 0; c < 4; ++c)
                shown.At(x, y, c) = stored.At(at.x, at.y, c);
        }
    return shown;
}

// The reference scaler: the resampling formulas written out one sample at a time.
using Kernel = std::function<double(double x, double r)>;
inline const Kernel kTent = [](double x, double r) {
    return std::abs(x) < r ? r - std::abs(x) : 0.0;
};

inline std::vector<double> ReferenceLine(const std::vector<double>& in, int outLength,
                                         double radius, const Kernel& k) {
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

// One pass along the rows (or down the columns), each sample rounded to a byte.
inline Picture ReferencePass(Picture p, int length, bool rows, double radius, const Kernel& k) {
    Picture r{rows ? length : p.width, rows ? p.height : length, {}};
    r.bytes.resize(4 * static_cast<std::size_t>(r.width) * r.height);
    for (int line = 0; line < (rows ? p.height : p.width); ++line)
        for (int c = 0; c < 4; ++c) {
            std::vector<double> in;
            for (int i = 0; i < (rows ? p.width : p.height); ++i)
                in.push_back(rows ? p.At(i, line, c) : p.At(line, i, c));
            const auto out = ReferenceLine(in, length, radius, k);
            for (int i = 0; i < length; ++i)
                (rows ? r.At(i, line, c) : r.At(line, i, c)) = static_cast<std::uint8_t>(out[i]);
        }
    return r;
}

inline Picture Reference(const Picture& p, int newWidth, int newHeight, double radius = 1.0,
                         const Kernel& k = kTent) {
    return ReferencePass(ReferencePass(p, newWidth, true, radius, k), newHeight, false, radius, k);
}

} // namespace skimlet
