#include "filters/Resampler.h"

#include <algorithm>
#include <cstring>

namespace skimlet {

namespace {

ResizeSimd BestResizeSimd() {
    if (resample::avx512::Available())
        return ResizeSimd::Avx512;
    return resample::avx2::Available() ? ResizeSimd::Avx2 : ResizeSimd::Portable;
}

ResizeSimd& CurrentSimd() {
    static ResizeSimd simd = BestResizeSimd();
    return simd;
}

} // namespace

const char* ResizeSimdName(ResizeSimd simd) {
    switch (simd) {
    case ResizeSimd::Avx2:
        return "AVX2";
    case ResizeSimd::Avx512:
        return "AVX-512";
    default:
        return "portable";
    }
}

bool ResizeSimdSupported(ResizeSimd simd) {
    switch (simd) {
    case ResizeSimd::Avx2:
        return resample::avx2::Available();
    case ResizeSimd::Avx512:
        return resample::avx512::Available();
    default:
        return true;
    }
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
    const std::size_t avx2 = static_cast<std::size_t>(RingLength(table)) * avx2::kLinesPerGroup * 4;
    return std::max(avx2, avx512::HorizontalScratchSize(table));
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

void SweepColumns(const ColumnKernels& kernels, const ContributionTable& table,
                  const ColumnSchedule& schedule, const std::uint8_t* const* rows, int firstColumn,
                  int count, std::uint8_t* output, std::ptrdiff_t outputStep, double* scratch) {
    if (schedule.maxActive > kMaxColumnSums) {
        for (int x = 0; x < table.LineLength(); ++x)
            kernels.vertical(table[x], rows, firstColumn, count, output + 4 * x, outputStep);
        return;
    }
    for (int x = 0; x < table.LineLength(); ++x)
        if (table[x].count == 0)
            for (int i = 0; i < count; ++i)
                std::memset(output + i * outputStep + 4 * x, 0, 4);

    // Each input row is added to the sums of the outputs using it, in the order
    // of the rows, so every sum is still taken from its first input to its last.
    const std::size_t slotDoubles = 4 * kColumnsPerStrip;
    const std::size_t offset = 4 * static_cast<std::size_t>(firstColumn);
    int activeOutput[kMaxColumnSums];
    double* activeSums[kMaxColumnSums];
    double* freeSums[kMaxColumnSums];
    int active = 0;
    int free = schedule.maxActive;
    for (int slot = 0; slot < free; ++slot)
        freeSums[slot] = scratch + slot * slotDoubles;

    const int length = table.InputLength();
    const int scheduled = static_cast<int>(schedule.order.size());
    for (int k = 0; k < length;) {
        for (int i = schedule.firstAt[k]; i < schedule.firstAt[k + 1]; ++i) {
            activeOutput[active] = schedule.order[i];
            activeSums[active] = freeSums[--free];
            std::memset(activeSums[active], 0, sizeof(double) * 4 * count);
            ++active;
        }
        if (active == 0) {
            ++k;
            continue;
        }
        // Rows up to the next output's start or an output's last row.
        int rowCount = std::min(kernels.rowBatch, length - k);
        const int nextStart = schedule.firstAt[k + 1];
        if (nextStart < scheduled)
            rowCount = std::min(rowCount, table[schedule.order[nextStart]].left - k);
        for (int a = 0; a < active; ++a) {
            const ContributionTable::Entry& e = table[activeOutput[a]];
            rowCount = std::min(rowCount, e.left + e.count - k);
        }
        if (kernels.prefetchRows > 0) {
            const int last = std::min(k + kernels.prefetchRows + rowCount, length);
            for (int r = k + kernels.prefetchRows; r < last; ++r)
                for (int b = 0; b < 4 * count; b += 64)
                    __builtin_prefetch(rows[r] + offset + b);
        }

        const auto weightsOf = [&](int a) {
            const ContributionTable::Entry& e = table[activeOutput[a]];
            return e.weights + (k - e.left);
        };
        int a = 0;
        for (; a + 2 <= active; a += 2)
            kernels.addRows(rowCount, activeSums[a], weightsOf(a), activeSums[a + 1],
                            weightsOf(a + 1), rows + k, offset, count);
        if (a < active)
            kernels.addRows(rowCount, activeSums[a], weightsOf(a), nullptr, nullptr, rows + k,
                            offset, count);
        k += rowCount;

        for (a = 0; a < active;) {
            const int x = activeOutput[a];
            if (table[x].left + table[x].count != k) {
                ++a;
                continue;
            }
            kernels.storeSums(activeSums[a], count, output + 4 * x, outputStep);
            freeSums[free++] = activeSums[a];
            --active;
            activeOutput[a] = activeOutput[active];
            activeSums[a] = activeSums[active];
        }
    }
}

void Horizontal(const ContributionTable& table, const std::uint8_t* const* lines, int lineCount,
                std::ptrdiff_t step, std::uint8_t* const* outputs, double* scratch) {
    switch (CurrentSimd()) {
    case ResizeSimd::Avx512:
        avx512::Horizontal(table, lines, lineCount, step, outputs, scratch);
        break;
    case ResizeSimd::Avx2:
        avx2::Horizontal(table, lines, lineCount, step, outputs, scratch);
        break;
    default:
        portable::Horizontal(table, lines, lineCount, step, outputs, scratch);
    }
}

void Vertical(const ContributionTable::Entry& entry, const std::uint8_t* const* rows,
              int firstColumn, int count, std::uint8_t* output, std::ptrdiff_t outputStep) {
    switch (CurrentSimd()) {
    case ResizeSimd::Avx512:
        avx512::Vertical(entry, rows, firstColumn, count, output, outputStep);
        break;
    case ResizeSimd::Avx2:
        avx2::Vertical(entry, rows, firstColumn, count, output, outputStep);
        break;
    default:
        portable::Vertical(entry, rows, firstColumn, count, output, outputStep);
    }
}

void ColumnLines(const ContributionTable& table, const ColumnSchedule& schedule,
                 const std::uint8_t* const* rows, int firstColumn, int count, std::uint8_t* output,
                 std::ptrdiff_t outputStep, double* scratch) {
    switch (CurrentSimd()) {
    case ResizeSimd::Avx512:
        avx512::ColumnLines(table, schedule, rows, firstColumn, count, output, outputStep, scratch);
        break;
    case ResizeSimd::Avx2:
        avx2::ColumnLines(table, schedule, rows, firstColumn, count, output, outputStep, scratch);
        break;
    default:
        portable::ColumnLines(table, schedule, rows, firstColumn, count, output, outputStep,
                              scratch);
    }
}

} // namespace resample

} // namespace skimlet
