// Inner loops of the resize filters in plain C++, for any processor.

#include "filters/Resampler.h"

namespace resample::portable {

namespace {

inline std::uint8_t ToByte(double sum) {
    double v = sum + 0.5;
    v = v > 0.0 ? v : 0.0;
    v = v < 255.0 ? v : 255.0;
    return static_cast<std::uint8_t>(static_cast<int>(v));
}

// R weighted sums side by side: sum r of pixel j is read at src[r] + j * step.
// Several independent sums keep the processor busy while each one is added up
// strictly in order.
template <int R>
inline void Sums(const double* weights, int count, const std::uint8_t* const* src,
                 std::ptrdiff_t step, std::uint8_t* const* dst) {
    double acc[R][4] = {};
    std::ptrdiff_t offset = 0;
    for (int j = 0; j < count; ++j, offset += step) {
        const double w = weights[j];
#pragma GCC unroll 8
        for (int r = 0; r < R; ++r)
            for (int c = 0; c < 4; ++c)
                acc[r][c] += w * src[r][offset + c];
    }
#pragma GCC unroll 8
    for (int r = 0; r < R; ++r)
        for (int c = 0; c < 4; ++c)
            dst[r][c] = ToByte(acc[r][c]);
}

template <int R>
void LineGroup(const ContributionTable& table, const std::uint8_t* const* lines,
               std::ptrdiff_t step, std::uint8_t* const* outputs) {
    const std::uint8_t* src[R];
    std::uint8_t* dst[R];
    for (int x = 0; x < table.LineLength(); ++x) {
        const ContributionTable::Entry& e = table[x];
        for (int r = 0; r < R; ++r) {
            src[r] = lines[r] + e.left * step;
            dst[r] = outputs[r] + 4 * x;
        }
        Sums<R>(e.weights, e.count, src, step, dst);
    }
}

} // namespace

void Horizontal(const ContributionTable& table, const std::uint8_t* const* lines, int lineCount,
                std::ptrdiff_t step, std::uint8_t* const* outputs, double*) {
    int r = 0;
    for (; r + 4 <= lineCount; r += 4)
        LineGroup<4>(table, lines + r, step, outputs + r);
    for (; r < lineCount; ++r)
        LineGroup<1>(table, lines + r, step, outputs + r);
}

void Vertical(const ContributionTable::Entry& entry, const std::uint8_t* rows, std::size_t rowBytes,
              int width, std::uint8_t* output) {
    const std::uint8_t* first = rows + static_cast<std::size_t>(entry.left) * rowBytes;
    const auto step = static_cast<std::ptrdiff_t>(rowBytes);
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        const std::uint8_t* src[4] = {first + 4 * x, first + 4 * x + 4, first + 4 * x + 8,
                                      first + 4 * x + 12};
        std::uint8_t* dst[4] = {output + 4 * x, output + 4 * x + 4, output + 4 * x + 8,
                                output + 4 * x + 12};
        Sums<4>(entry.weights, entry.count, src, step, dst);
    }
    for (; x < width; ++x) {
        const std::uint8_t* src[1] = {first + 4 * x};
        std::uint8_t* dst[1] = {output + 4 * x};
        Sums<1>(entry.weights, entry.count, src, step, dst);
    }
}

} // namespace resample::portable
