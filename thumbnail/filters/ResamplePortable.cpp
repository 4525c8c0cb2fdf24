// Inner loops of the resize filters in plain C++, for any processor.

#include "filters/Resampler.h"

namespace skimlet {

namespace resample::portable {

namespace {

inline std::uint8_t ToByte(double sum) {
    double v = sum + 0.5;
    v = v > 0.0 ? v : 0.0;
    v = v < 255.0 ? v : 255.0;
    return static_cast<std::uint8_t>(static_cast<int>(v));
}

// R sums side by side, each taken strictly in order: independent sums keep the
// processor busy while each waits for its previous addition.
template <int R>
struct Sums {
    double acc[R][4] = {};

    void Add(int r, double w, const std::uint8_t* pixel) {
        for (int c = 0; c < 4; ++c)
            acc[r][c] += w * pixel[c];
    }
    void Store(int r, std::uint8_t* pixel) const {
        for (int c = 0; c < 4; ++c)
            pixel[c] = ToByte(acc[r][c]);
    }
};

template <int R>
void LineGroup(const ContributionTable& table, const std::uint8_t* const* lines,
               std::ptrdiff_t step, std::uint8_t* const* outputs) {
    for (int x = 0; x < table.LineLength(); ++x) {
        const ContributionTable::Entry& e = table[x];
        Sums<R> sums;
        for (int j = 0; j < e.count; ++j) {
            const std::ptrdiff_t offset = (e.left + j) * step;
            for (int r = 0; r < R; ++r)
                sums.Add(r, e.weights[j], lines[r] + offset);
        }
        for (int r = 0; r < R; ++r)
            sums.Store(r, outputs[r] + 4 * x);
    }
}

template <int R>
void ColumnGroup(const ContributionTable::Entry& e, const std::uint8_t* const* rows,
                 std::size_t offset, std::uint8_t* output, std::ptrdiff_t outputStep) {
    Sums<R> sums;
    for (int j = 0; j < e.count; ++j) {
        const std::uint8_t* pixels = rows[e.left + j] + offset;
        for (int r = 0; r < R; ++r)
            sums.Add(r, e.weights[j], pixels + 4 * r);
    }
    for (int r = 0; r < R; ++r)
        sums.Store(r, output + r * outputStep);
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

void Vertical(const ContributionTable::Entry& entry, const std::uint8_t* const* rows,
              int firstColumn, int count, std::uint8_t* output, std::ptrdiff_t outputStep) {
    int i = 0;
    for (; i + 4 <= count; i += 4)
        ColumnGroup<4>(entry, rows, 4 * static_cast<std::size_t>(firstColumn + i),
                       output + i * outputStep, outputStep);
    for (; i < count; ++i)
        ColumnGroup<1>(entry, rows, 4 * static_cast<std::size_t>(firstColumn + i),
                       output + i * outputStep, outputStep);
}

void ColumnLines(const ContributionTable& table, const ColumnSchedule&,
                 const std::uint8_t* const* rows, int firstColumn, int count, std::uint8_t* output,
                 std::ptrdiff_t outputStep, double*) {
    for (int x = 0; x < table.LineLength(); ++x)
        Vertical(table[x], rows, firstColumn, count, output + 4 * x, outputStep);
}

} // namespace resample::portable

} // namespace skimlet
