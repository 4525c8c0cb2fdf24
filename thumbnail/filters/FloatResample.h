#pragma once

#include "filters/ContributionTable.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace skimlet {

// The resampling passes of pictures whose bytes need match no other's, such
// as display copies: single precision (fused multiply-add with AVX2 or
// AVX-512, as the resize filters' choice of instructions allows), rounding to
// the nearest level. Within a level of the double-precision passes, and
// several times faster for the few weights of a moderate reduction.
class FloatTable {
public:
    struct Entry {
        int left;  // first input position used
        int count; // input positions left .. left + count - 1 (0: all weights zero)
        const float* weights;
    };

    explicit FloatTable(const ContributionTable& table);
    FloatTable(const FloatTable&) = delete;
    FloatTable& operator=(const FloatTable&) = delete;

    int InputLength() const { return inputLength_; }
    int LineLength() const { return lineLength_; }
    int WindowSize() const { return windowSize_; }
    const Entry& operator[](int position) const { return entries_[position]; }
    // Every entry has WindowSize weights, zeros past its count, and entries of
    // zero weights follow the last, so that outputs can be summed a few at a time.
    // Positions the horizontal pass keeps converted: a power of two covering
    // every output's reach back from the furthest block converted before it.
    int RingPositions() const { return ringPositions_; }

private:
    int inputLength_ = 0;
    int lineLength_ = 0;
    int windowSize_ = 0;
    int ringPositions_ = 0;
    std::vector<Entry> entries_; // LineLength, then the zero entries
    std::vector<float> weights_;
};

namespace floatresample {

// Floats of working memory Horizontal needs for `table`.
std::size_t HorizontalScratchSize(const FloatTable& table);

// Resamples `lineCount` lines (at most resample::kLinesPerSweep) of 4-byte
// pixels along a horizontal table: output x of line r is 4 floats at
// outputs[r] + 4 * x.
void Horizontal(const FloatTable& table, const std::uint8_t* const* lines, int lineCount,
                float* const* outputs, float* scratch);

// Resamples across lines of `width` pixels of 4 floats: output pixel i is the
// weighted sum of pixel i of the lines rows[entry.left + j], rounded to bytes.
void Vertical(const FloatTable::Entry& entry, const float* const* rows, int width,
              std::uint8_t* output);

} // namespace floatresample

} // namespace skimlet
