// Feeds any bytes to the picture decoder, then makes a small thumbnail of
// whatever it decoded, as the thumbnail component would. The input is a picture
// file as it stands; its last byte also picks the requested depth and the
// resize kernel, so a crashing input is itself the file that crashes.
// A CTextException is the library's answer to bad data; anything else
// (another exception, a sanitizer report, an abort) is a finding.

#include "FuzzSupport.h"

#include "bitmaps/DibBitmap.h"
#include "bitmaps/TextException.h"
#include "codecs/AutoTypeDecoder.h"
#include "filters/ResizeFilter.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

std::unique_ptr<CResizeFilter> MakeFilter(int kind, int width, int height) {
    switch (kind) {
    case 0:
        return std::make_unique<CBoxResizeFilter>(width, height, 0.5);
    case 1:
        return std::make_unique<CGaussianResizeFilter>(width, height, 1.5);
    case 2:
        return std::make_unique<CHammingResizeFilter>(width, height, 2.0);
    default:
        return std::make_unique<CTentResizeFilter>(width, height);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (fuzz::AnnouncesCostlyPicture(data, size))
        return 0;
    const std::uint8_t selector = size != 0 ? data[size - 1] : 0;
    static constexpr int kDepths[] = {0, 8, 32};
    const int depth = kDepths[selector % 3];

    CAutoTypeDecoder decoder;
    CDibBitmap picture;
    try {
        decoder.DecodeMemory(data, static_cast<std::int64_t>(size), picture, depth);
    } catch (const CTextException&) {
        return 0;
    }
    const int bpp = picture.BitsPerPixel();
    // A request for 8 bits is a wish (colour stays 32), one for 32 is binding.
    if (picture.Width() < 1 || picture.Height() < 1 || (depth == 32 && bpp != 32) ||
        (bpp != 8 && bpp != 32))
        fuzz::Fail("decoded bitmap has no pixels or the wrong depth");

    // Within 24 x 24, of the picture's shape as shown.
    const Orientation orientation = decoder.PictureOrientation();
    int shownWidth = picture.Width();
    int shownHeight = picture.Height();
    if (SwapsAxes(orientation))
        std::swap(shownWidth, shownHeight);
    const int longest = std::max(shownWidth, shownHeight);
    const int width = std::max(1, static_cast<int>(std::int64_t{shownWidth} * 24 / longest));
    const int height = std::max(1, static_cast<int>(std::int64_t{shownHeight} * 24 / longest));
    CDibBitmap thumbnail;
    try {
        MakeFilter(selector / 3 % 4, width, height)->RunOriented(picture, orientation, thumbnail);
    } catch (const CTextException&) {
        fuzz::Fail("resizing a decoded picture failed");
    }
    if (thumbnail.Width() != width || thumbnail.Height() != height ||
        thumbnail.BitsPerPixel() != 32)
        fuzz::Fail("thumbnail has the wrong size");
    return 0;
}
