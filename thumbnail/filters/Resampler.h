#pragma once

#include "filters/ContributionTable.h"

#include <cstddef>
#include <cstdint>

// Vector instructions the resize filters may use. Every choice gives the same
// bytes: each sum is taken term by term in the same order in double precision,
// a vector lane holding one of the four bytes of a pixel.
enum class ResizeSimd {
    Portable, // plain C++ for any processor
    Avx2,     // x86-64 with AVX2, four doubles per instruction
};

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

// Lines that the horizontal pass takes in one sweep; callers hand it lines in
// groups of this size where they can.
inline constexpr int kLinesPerSweep = 4;

// Positions of converted pixels the horizontal pass keeps for `table`: a power
// of two covering the widest entry and the span between entries.
int RingLength(const ContributionTable& table);
// Doubles of working memory the horizontal pass needs for `table`.
std::size_t HorizontalScratchSize(const ContributionTable& table);

// Resamples `lineCount` lines through a horizontal table. Pixel x of line r is
// at lines[r] + x * step (step is 4, or -4 for a line read right to left);
// output x of line r goes to outputs[r] + 4 * x. `scratch` holds
// HorizontalScratchSize(table) doubles, aligned to 64 bytes.
void Horizontal(const ContributionTable& table, const std::uint8_t* const* lines, int lineCount,
                std::ptrdiff_t step, std::uint8_t* const* outputs, double* scratch);

// Computes one output line of the vertical pass: `width` pixels from the rows of
// `rows` (rowBytes apart) that `entry` names.
void Vertical(const ContributionTable::Entry& entry, const std::uint8_t* rows, std::size_t rowBytes,
              int width, std::uint8_t* output);

} // namespace resample

// One implementation of the inner loops per instruction set.
namespace resample::portable {
void Horizontal(const ContributionTable& table, const std::uint8_t* const* lines, int lineCount,
                std::ptrdiff_t step, std::uint8_t* const* outputs, double* scratch);
void Vertical(const ContributionTable::Entry& entry, const std::uint8_t* rows, std::size_t rowBytes,
              int width, std::uint8_t* output);
} // namespace resample::portable

namespace resample::avx2 {
bool Available();
void Horizontal(const ContributionTable& table, const std::uint8_t* const* lines, int lineCount,
                std::ptrdiff_t step, std::uint8_t* const* outputs, double* scratch);
void Vertical(const ContributionTable::Entry& entry, const std::uint8_t* rows, std::size_t rowBytes,
              int width, std::uint8_t* output);
} // namespace resample::avx2
