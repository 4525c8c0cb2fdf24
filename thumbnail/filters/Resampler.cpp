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
    // The sweep converts up to the furthest position any output so far has
    // needed; each output then reads back to its own first position.
    int reached = 0;
    int span = 1;
    for (int x = 0; x < table.LineLength(); ++x) {
        const ContributionTable::Entry& e = table[x];
        reached = std::max(reached, e.left + e.count);
        span = std::max(span, reached - e.left);
    }
    int length = 8;
    while (length < span)
        length *= 2;
    return length;
}

std::size_t HorizontalScratchSize(const ContributionTable& table) {
    return static_cast<std::size_t>(RingLength(table)) * kLinesPerSweep * 4;
}

ColumnSchedule::ColumnSchedule(const ContributionTable& table)
    : firstAt(static_cast<std::size_t>(table.InputLength()) + 1) {
    // Counting sort by first input position, and a running count of the
    // outputs in use at each position.
    std::vector<int> change(static_cast<std::size_t>(table.InputLength()) + 1);
    for (int x = 0; x < table.LineLength(); ++x) {
        const ContributionTable::Entry& e = table[x];
        if (e.count == 0)
            continue;
        ++firstAt[static_cast<std::size_t>(e.left) + 1];
        ++change[static_cast<std::size_t>(e.left)];
        --change[static_cast<std::size_t>(e.left + e.count)];
    }
    int active = 0;
    for (int k = 0; k < table.InputLength(); ++k) {
        firstAt[static_cast<std::size_t>(k) + 1] += firstAt[static_cast<std::size_t>(k)];
        active += change[static_cast<std::size_t>(k)];
        maxActive = std::max(maxActive, active);
    }
    order.resize(static_cast<std::size_t>(firstAt.back()));
    std::vector<int> next(firstAt.begin(), firstAt.end() - 1);
    for (int x = 0; x < table.LineLength(); ++x)
        if (table[x].count > 0)
            order[static_cast<std::size_t>(next[static_cast<std::size_t>(table[x].left)]++)] = x;
}

std::size_t ColumnScratchSize(const ColumnSchedule& schedule) {
    return static_cast<std::size_t>(std::min(schedule.maxActive, kMaxColumnSums)) *
           kColumnsPerStrip * 4;
}

void Horizontal(const ContributionTable& table, const std::uint8_t* const* lines, int lineCount,
                std::ptrdiff_t step, std::uint8_t* const* outputs, double* scratch) {
    if (CurrentSimd() == ResizeSimd::Avx2)
        avx2::Horizontal(table, lines, lineCount, step, outputs, scratch);
    else
        portable::Horizontal(table, lines, lineCount, step, outputs, scratch);
}

void Vertical(const ContributionTable::Entry& entry, const std::uint8_t* const* rows,
              int firstColumn, int count, std::uint8_t* output, std::ptrdiff_t outputStep) {
    if (CurrentSimd() == ResizeSimd::Avx2)
        avx2::Vertical(entry, rows, firstColumn, count, output, outputStep);
    else
        portable::Vertical(entry, rows, firstColumn, count, output, outputStep);
}

void ColumnLines(const ContributionTable& table, const ColumnSchedule& schedule,
                 const std::uint8_t* const* rows, int firstColumn, int count, std::uint8_t* output,
                 std::ptrdiff_t outputStep, double* scratch) {
    if (CurrentSimd() == ResizeSimd::Avx2)
        avx2::ColumnLines(table, schedule, rows, firstColumn, count, output, outputStep, scratch);
    else
        portable::ColumnLines(table, schedule, rows, firstColumn, count, output, outputStep,
                              scratch);
}

} // namespace resample
