// Times the tent resize of synthetic photos to thumbnail width, next to a plain
// libjpeg decode of a JPEG of the same size for scale.
//
//   resize-bench [repeats]

#include "bitmaps/DibBitmap.h"
#include "filters/Resampler.h"
#include "filters/ResizeFilter.h"

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <random>
#include <vector>

using namespace skimlet;

namespace {

constexpr int kThumbWidth = 120;

struct Size {
    int width;
    int height;
};

// Smooth gradients with some fine texture, roughly what a photo gives a decoder.
std::uint8_t Sample(int x, int y, int c, std::uint32_t noise) {
    const double v = 128 + 60 * std::sin(x * 0.004 + c) + 40 * std::cos(y * 0.006 - c) +
                     static_cast<double>(noise % 24) - 12;
    return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
}

void FillBitmap(CRasterBitmap& bitmap, Size size) {
    bitmap.Allocate(size.width, size.height, 32, false);
    std::minstd_rand random(7);
    for (int y = 0; y < size.height; ++y) {
        std::uint8_t* line = bitmap.Lines()[y];
        for (int x = 0; x < size.width; ++x) {
            const std::uint32_t noise = random();
            for (int c = 0; c < 3; ++c)
                line[4 * x + c] = Sample(x, y, c, noise >> (8 * c));
            line[4 * x + 3] = 255;
        }
    }
}

std::vector<unsigned char> MakeJpeg(Size size) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long bytes = 0;
    jpeg_mem_dest(&cinfo, &buffer, &bytes);
    cinfo.image_width = static_cast<JDIMENSION>(size.width);
    cinfo.image_height = static_cast<JDIMENSION>(size.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(3 * static_cast<std::size_t>(size.width));
    std::minstd_rand random(7);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < size.width; ++x) {
            const std::uint32_t noise = random();
            for (int c = 0; c < 3; ++c)
                row[3 * static_cast<std::size_t>(x) + c] = Sample(x, y, 2 - c, noise >> (8 * c));
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<unsigned char> jpeg(buffer, buffer + bytes);
    std::free(buffer);
    return jpeg;
}

// The decode the thumbnail path does: float IDCT, no fancy upsampling.
void DecodeJpeg(const std::vector<unsigned char>& jpeg) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.dct_method = JDCT_FLOAT;
    cinfo.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&cinfo);
    std::vector<unsigned char> row(static_cast<std::size_t>(cinfo.output_width) *
                                   static_cast<std::size_t>(cinfo.output_components));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
}

// Processor time of this thread in milliseconds: steadier than the wall clock
// on a machine that is busy with other work.
double ThreadMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Best of `repeats` runs, in milliseconds.
double Time(int repeats, const std::function<void()>& work) {
    double best = 1e300;
    for (int i = 0; i < repeats; ++i) {
        const double start = ThreadMilliseconds();
        work();
        best = std::min(best, ThreadMilliseconds() - start);
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const Size sizes[] = {{1732, 1155}, {4242, 2828}, {6000, 4000}};
    const ResizeSimd chosen = ResizeSimdInUse();
    std::vector<ResizeSimd> paths;
    for (const ResizeSimd simd : kAllResizeSimd)
        if (ResizeSimdSupported(simd))
            paths.push_back(simd);

    std::printf("Tent resize to %d pixels wide, best of %d, thread processor time; orientation 6 "
                "gives a %d-wide portrait thumbnail.\n",
                kThumbWidth, repeats, kThumbWidth);
    std::printf("%-7s %-9s %9s %7s %12s %7s %10s %8s %8s\n", "photo", "path", "Run ms", "MP/s",
                "Oriented ms", "MP/s", "decode ms", "Run/dec", "Ori/dec");
    double bitsPerPixelSeen = 0;
    for (const Size size : sizes) {
        CDibBitmap photo;
        FillBitmap(photo, size);
        const double megapixels = static_cast<double>(size.width) * size.height / 1e6;
        const std::vector<unsigned char> jpeg = MakeJpeg(size);
        const double decode = Time(repeats, [&] { DecodeJpeg(jpeg); });
        bitsPerPixelSeen = 8.0 * static_cast<double>(jpeg.size()) / (megapixels * 1e6);

        for (const ResizeSimd path : paths) {
            UseResizeSimd(path);
            CDibBitmap thumb;
            const int landscapeHeight = static_cast<int>(
                std::lround(kThumbWidth * static_cast<double>(size.height) / size.width));
            const int portraitHeight = static_cast<int>(
                std::lround(kThumbWidth * static_cast<double>(size.width) / size.height));
            CTentResizeFilter landscape(kThumbWidth, landscapeHeight);
            CTentResizeFilter portrait(kThumbWidth, portraitHeight);
            const double run = Time(repeats, [&] { landscape.Run(photo, thumb); });
            const double oriented =
                Time(repeats, [&] { portrait.RunOriented(photo, Orientation::Rotate90, thumb); });
            char label[32];
            std::snprintf(label, sizeof label, "%.0f MP", megapixels);
            std::printf("%-7s %-9s %9.2f %7.0f %12.2f %7.0f %10.2f %7.0f%% %7.0f%%\n", label,
                        ResizeSimdName(path), run, megapixels / run * 1e3, oriented,
                        megapixels / oriented * 1e3, decode, 100 * run / decode,
                        100 * oriented / decode);
        }
    }
    std::printf("Vector path chosen by default: %s. The decode is libjpeg's own (float IDCT, no "
                "fancy upsampling) of a JPEG of the same picture, about %.1f bits per pixel.\n",
                ResizeSimdName(chosen), bitsPerPixelSeen);
    return 0;
}
