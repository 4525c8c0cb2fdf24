#include "filters/Resampler.h"

#include <algorithm>

namespace {

ResizeSimd BestResizeSimd() {
    return resample::avx2::Available() ? ResizeSimd::Avx2 : ResizeSimd::Portable;
}

ResizeSimd& CurrentSimd() {
    static ResizeSimd simd = BestResizeSimd();
    return simd;
}

} // namespace

const char* ResizeSimdName(ResizeSimd simd) {
    return simd == ResizeSimd::Avx2 ? "AVX2" : "portable";
}

bool ResizeSimdSupported(ResizeSimd simd) {
    return simd == ResizeSimd::Portable || resample::avx2::Available();
}

ResizeSimd ResizeSimdInUse() {
    return CurrentSimd();
}

bool UseResizeSimd(ResizeSimd simd) {
    if (!ResizeSimdSupported(simd))
        return false;
    CurrentSimd() = simd;
    return true;
}

namespace resample {

int RingLength(const ContributionTable& table) {
    const int widest = std::min(table.WindowSize(), table.InputLength()) + 4;
    int length = 8;
    while (length < widest)
        length *= 2;
    return length;
}

std::size_t HorizontalScratchSize(const ContributionTable& table) {
    return static_cast<std::size_t>(RingLength(table)) * kLinesPerSweep * 4;
}

void Horizontal(const ContributionTable& table, const std::uint8_t* const* lines, int lineCount,
                std::ptrdiff_t step, std::uint8_t* const* outputs, double* scratch) {
    if (CurrentSimd() == ResizeSimd::Avx2)
        avx2::Horizontal(table, lines, lineCount, step, outputs, scratch);
    else
        portable::Horizontal(table, lines, lineCount, step, outputs, scratch);
}

void Vertical(const ContributionTable::Entry& entry, const std::uint8_t* rows, std::size_t rowBytes,
              int width, std::uint8_t* output) {
    if (CurrentSimd() == ResizeSimd::Avx2)
        avx2::Vertical(entry, rows, rowBytes, width, output);
    else
        portable::Vertical(entry, rows, rowBytes, width, output);
}

} // namespace resample
