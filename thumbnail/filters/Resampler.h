#pragma once

#include "filters/ContributionTable.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace skimlet {

// Vector instructions the resize filters may use. Every choice gives the same
// bytes: each sum is taken term by term in the same order in double precision,
// a vector lane holding one of the four bytes of a pixel.
enum class ResizeSimd {
    Portable, // plain C++ for any processor
    Avx2,     // x86-64 with AVX2, four doubles per instruction
    Avx512,   // x86-64 with AVX-512 F, DQ, BW and VL, eight doubles per instruction
};

// Every choice, plainest first.
inline constexpr ResizeSimd kAllResizeSimd[] = {ResizeSimd::Portable, ResizeSimd::Avx2,
                                                ResizeSimd::Avx512};

const char* ResizeSimdName(ResizeSimd simd);
bool ResizeSimdSupported(ResizeSimd simd);
// The instructions in use: the best the processor has unless restricted.
ResizeSimd ResizeSimdInUse();
// Restricts the resize filters to `simd`, for tests and benchmarks. Returns
// false, changing nothing, when the processor lacks it.
bool UseResizeSimd(ResizeSimd simd);

// The inner loops of the two resampling passes. Pixels are 4 bytes, each
// resampled alike; a result is trunc(sum + 0.5), held to 0..255 for kernels
// with negative lobes.
namespace resample {

// Lines that callers hand the horizontal pass at a time where they can; each
// path sweeps them in groups of its own, at most this many.
inline constexpr int kLinesPerSweep = 8;

// Positions of converted pixels the AVX2 horizontal pass keeps for `table`: a
// power of two covering every output's reach back from the furthest position
// converted before it.
int RingLength(const ContributionTable& table);
// Doubles of working memory the horizontal pass needs for `table`.
std::size_t HorizontalScratchSize(const ContributionTable& table);

// Resamples `lineCount` lines through a horizontal table. Pixel x of line r is
// at lines[r] + x * step (step is 4, or -4 for a line read right to left);
// output x of line r goes to outputs[r] + 4 * x. `scratch` holds
// HorizontalScratchSize(table) doubles, aligned to 64 bytes.
void Horizontal(const ContributionTable& table, const std::uint8_t* const* lines, int lineCount,
                std::ptrdiff_t step, std::uint8_t* const* outputs, double* scratch);

// Resamples across lines: output pixel i (of `count`) is the weighted sum of
// pixel firstColumn + i of the lines rows[entry.left + j], and goes to
// output + i * outputStep.
void Vertical(const ContributionTable::Entry& entry, const std::uint8_t* const* rows,
              int firstColumn, int count, std::uint8_t* output, std::ptrdiff_t outputStep);

// Stored columns are resampled as lines in strips this wide: the sums of a
// strip stay in the first-level cache while whole stored rows stream past.
inline constexpr int kColumnsPerStrip = 512;

// When each output of a table starts: the outputs that use any input, in the
// order of their first input position.
struct ColumnSchedule {
    explicit ColumnSchedule(const ContributionTable& table);

    std::vector<int> order;
    std::vector<int> firstAt; // order[firstAt[k] .. firstAt[k + 1]) start at input position k
    int maxActive = 0;        // the most outputs that use one input position
};
// ColumnLines keeps the sums of at most this many outputs at a time; a table
// whose outputs overlap more (a large enlargement) is taken output by output.
inline constexpr int kMaxColumnSums = 8;
// Doubles of working memory ColumnLines needs.
std::size_t ColumnScratchSize(const ColumnSchedule& schedule);

// Resamples up to kColumnsPerStrip columns, firstColumn onwards, of the lines
// `rows` as if each column were a line: output x of column i goes to
// output + i * outputStep + 4 * x. Reads each of `rows` once, in order.
// `scratch` holds ColumnScratchSize(schedule) doubles, aligned to 64 bytes.
void ColumnLines(const ContributionTable& table, const ColumnSchedule& schedule,
                 const std::uint8_t* const* rows, int firstColumn, int count, std::uint8_t* output,
                 std::ptrdiff_t outputStep, double* scratch);

// The loops of one instruction set that SweepColumns drives.
struct ColumnKernels {
    int rowBatch;     // the most rows addRows takes at once
    int prefetchRows; // rows fetched by hand ahead of those being added; 0 for none
    // Adds rowCount rows, count pixels from byte offset on, to the sums of one
    // output weighted by weights0, and to those of a second weighted by
    // weights1 unless sums1 is null. A sum is 4 doubles per pixel.
    void (*addRows)(int rowCount, double* sums0, const double* weights0, double* sums1,
                    const double* weights1, const std::uint8_t* const* rows, std::size_t offset,
                    int count);
    // Rounds count pixel sums; pixel i goes to output + i * outputStep.
    void (*storeSums)(const double* sums, int count, std::uint8_t* output,
                      std::ptrdiff_t outputStep);
    // Vertical of the same instruction set, for tables past kMaxColumnSums.
    void (*vertical)(const ContributionTable::Entry& entry, const std::uint8_t* const* rows,
                     int firstColumn, int count, std::uint8_t* output, std::ptrdiff_t outputStep);
};
// ColumnLines through `kernels`.
void SweepColumns(const ColumnKernels& kernels, const ContributionTable& table,
                  const ColumnSchedule& schedule, const std::uint8_t* const* rows, int firstColumn,
                  int count, std::uint8_t* output, std::ptrdiff_t outputStep, double* scratch);

} // namespace resample

// One implementation of the inner loops per instruction set.
namespace resample::portable {
void Horizontal(const ContributionTable& table, const std::uint8_t* const* lines, int lineCount,
                std::ptrdiff_t step, std::uint8_t* const* outputs, double* scratch);
void Vertical(const ContributionTable::Entry& entry, const std::uint8_t* const* rows,
              int firstColumn, int count, std::uint8_t* output, std::ptrdiff_t outputStep);
void ColumnLines(const ContributionTable& table, const ColumnSchedule& schedule,
                 const std::uint8_t* const* rows, int firstColumn, int count, std::uint8_t* output,
                 std::ptrdiff_t outputStep, double* scratch);
} // namespace resample::portable

namespace resample::avx2 {
bool Available();
// Lines swept together.
inline constexpr int kLinesPerGroup = 4;
void Horizontal(const ContributionTable& table, const std::uint8_t* const* lines, int lineCount,
                std::ptrdiff_t step, std::uint8_t* const* outputs, double* scratch);
void Vertical(const ContributionTable::Entry& entry, const std::uint8_t* const* rows,
              int firstColumn, int count, std::uint8_t* output, std::ptrdiff_t outputStep);
void ColumnLines(const ContributionTable& table, const ColumnSchedule& schedule,
                 const std::uint8_t* const* rows, int firstColumn, int count, std::uint8_t* output,
                 std::ptrdiff_t outputStep, double* scratch);
} // namespace resample::avx2

namespace resample::avx512 {
bool Available();
// Doubles of working memory the horizontal pass needs for `table`.
std::size_t HorizontalScratchSize(const ContributionTable& table);
void Horizontal(const ContributionTable& table, const std::uint8_t* const* lines, int lineCount,
                std::ptrdiff_t step, std::uint8_t* const* outputs, double* scratch);
void Vertical(const ContributionTable::Entry& entry, const std::uint8_t* const* rows,
              int firstColumn, int count, std::uint8_t* output, std::ptrdiff_t outputStep);
void ColumnLines(const ContributionTable& table, const ColumnSchedule& schedule,
                 const std::uint8_t* const* rows, int firstColumn, int count, std::uint8_t* output,
                 std::ptrdiff_t outputStep, double* scratch);
} // namespace resample::avx512

} // namespace skimlet
