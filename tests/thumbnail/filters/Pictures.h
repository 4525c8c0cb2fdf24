#pragma once

#include "base/TextException.h"
#include "bitmaps/Orientation.h"
#include "bitmaps/RasterBitmap.h"

#include "TestSupport.h"

#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <gtest/gtest.h>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
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
    const std::string failure = FailureOf(action), prefix = std::to_string(code) + " ";
    EXPECT_TRUE(failure.starts_with(prefix) && failure.size() > prefix.size()) << failure;
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

// Photos as the thumbnail component sees them.

// The photo as shown, decoded by libjpeg: grey repeats, Adobe CMYK (inverted)
// becomes C x K / 255 and so on.
inline Picture Shown(const std::string& jpeg, Orientation orientation) {
    const testsupport::DecodedJpeg d = testsupport::DecodeJpegReference(jpeg);
    Picture stored{d.width, d.height, {}};
    for (std::size_t i = 0; i < d.pixels.size(); i += d.components) {
        const std::uint8_t* p = &d.pixels[i];
        for (int c = 0; c < 3; ++c)
            stored.bytes.push_back(d.components == 1   ? p[0]
                                   : d.components == 3 ? p[c]
                                                       : (p[c] * p[3] + 127) / 255);
        stored.bytes.push_back(255);
    }
    return Turned(stored, orientation);
}

// The thumbnail as libjpeg encodes it with the library's settings.
inline std::string ThumbnailBytes(Picture thumbnail) {
    const auto rgb = [&](int x, int y, std::uint8_t* p) {
        std::copy_n(&thumbnail.At(x, y, 0), 3, p);
    };
    return testsupport::MakeJpeg({.width = thumbnail.width,
                                  .height = thumbnail.height,
                                  .quality = 75,
                                  .floatDct = true,
                                  .pixel = rgb});
}

// The photo decoded by libjpeg at eighths/8 of its size, with the library's
// settings, as 4-byte pixels.
inline Picture DecodedAtScale(const std::string& jpeg, int eighths) {
    jpeg_decompress_struct d{};
    jpeg_error_mgr errors{};
    d.err = jpeg_std_error(&errors); // the test photos are sound: libjpeg's exit will do
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size());
    jpeg_read_header(&d, TRUE);
    d.scale_num = static_cast<unsigned>(eighths);
    d.scale_denom = 8;
    d.dct_method = JDCT_FLOAT;
    d.do_fancy_upsampling = FALSE;
    d.out_color_space = JCS_EXT_RGBA;
    jpeg_start_decompress(&d);
    Picture p{static_cast<int>(d.output_width), static_cast<int>(d.output_height), {}};
    p.bytes.resize(4 * static_cast<std::size_t>(p.width) * p.height);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = p.bytes.data() + 4 * static_cast<std::size_t>(p.width) * d.output_scanline;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return p;
}

} // namespace skimlet
