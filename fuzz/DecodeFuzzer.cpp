// Feeds any bytes to the picture decoder, makes a small thumbnail of whatever
// it decoded, as the thumbnail component would, and checks that the decoder
// still reads a valid picture afterwards. The input is a picture
// file as it stands; its last byte also picks the requested depth and the
// resize kernel, so a crashing input is itself the file that crashes.
// A CTextException is the library's answer to bad data; anything else
// (another exception, a sanitizer report, an abort) is a finding.

#include "FuzzSupport.h"

#include "base/TextException.h"
#include "bitmaps/DibBitmap.h"
#include "codecs/AutoTypeDecoder.h"
#include "codecs/JpegWriter.h"
#include "filters/ResizeFilter.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

using namespace skimlet;

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

void MakeThumbnail(const CRasterBitmap& picture, Orientation orientation, int kind) {
    // Within 24 x 24, of the picture's shape as shown.
    int shownWidth = picture.Width();
    int shownHeight = picture.Height();
    if (SwapsAxes(orientation))
        std::swap(shownWidth, shownHeight);
    const int longest = std::max(shownWidth, shownHeight);
    const int width = std::max(1, static_cast<int>(std::int64_t{shownWidth} * 24 / longest));
    const int height = std::max(1, static_cast<int>(std::int64_t{shownHeight} * 24 / longest));
    CDibBitmap thumbnail;
    try {
        MakeFilter(kind, width, height)->RunOriented(picture, orientation, thumbnail);
    } catch (const CTextException&) {
        fuzz::Fail("resizing a decoded picture failed");
    }
    if (thumbnail.Width() != width || thumbnail.Height() != height ||
        thumbnail.BitsPerPixel() != 32)
        fuzz::Fail("thumbnail has the wrong size");
}

// A 3 x 2 JPEG without Exif data.
std::vector<std::uint8_t> MakeSmallJpeg() {
    CDibBitmap bitmap;
    bitmap.Allocate(3, 2, 32, false);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            bitmap.StorePixel(x, y, 0x00336699u * static_cast<std::uint32_t>(x + y));
    fuzz::MemorySink sink(CPictureEncoder::SinkCapacityFor(bitmap));
    CJpegWriter().EncodeToSink(bitmap, sink);
    return {sink.Buffer(), sink.Buffer() + sink.Written()};
}

// Whatever an input did to the decoder, it must read the next picture afresh.
void CheckStillDecodes(CAutoTypeDecoder& decoder) {
    static const std::vector<std::uint8_t> kSmallJpeg = MakeSmallJpeg();
    CDibBitmap picture;
    try {
        decoder.DecodeMemory(kSmallJpeg.data(), static_cast<std::int64_t>(kSmallJpeg.size()),
                             picture, 32);
    } catch (const CTextException&) {
        fuzz::Fail("the decoder no longer reads a valid picture");
    }
    if (picture.Width() != 3 || picture.Height() != 2 ||
        decoder.PictureOrientation() != Orientation::Normal)
        fuzz::Fail("the decoder carried something over from the input before");
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
    bool decoded = true;
    try {
        decoder.DecodeMemory(data, static_cast<std::int64_t>(size), picture, depth);
    } catch (const CTextException&) {
        decoded = false;
    }
    if (decoded) {
        const int bpp = picture.BitsPerPixel();
        // A request for 8 bits is a wish (colour stays 32), one for 32 is binding.
        if (picture.Width() < 1 || picture.Height() < 1 || (depth == 32 && bpp != 32) ||
            (bpp != 8 && bpp != 32))
            fuzz::Fail("decoded bitmap has no pixels or the wrong depth");
        MakeThumbnail(picture, decoder.PictureOrientation(), selector / 3 % 4);
    }
    CheckStillDecodes(decoder);
    return 0;
}
