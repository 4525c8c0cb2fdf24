// Inner loops of the resize filters with AVX-512. A __m512d holds the four
// byte sums of a pixel for two things at once: the same position of two lines
// in the horizontal pass, two neighbouring pixels of a line in the column
// passes. One broadcast weight then serves both, halving the instructions per
// pixel on the two 512-bit ports. Multiply and add stay separate instructions,
// as in the other paths, so every sum is rounded exactly alike.

#include "filters/Resampler.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include "filters/VectorIntrinsics.h"

#include <algorithm>
#include <cstring>

#define SKIMLET_AVX512 __attribute__((target("avx512f,avx512dq,avx512bw,avx512vl")))

namespace skimlet::resample::avx512 {

namespace {

// Positions the horizontal pass converts at a time, from 16 bytes of a line.
constexpr int kBlock = 4;

// Line pairs the horizontal pass takes in one sweep: four sums keep both
// ports busy through the four-cycle additions, and the ring of four pairs
// still fits the first-level cache where that of eight did not.
constexpr int kPairsPerSweep = 4;

// Shuffles that spread pixel i of a block, as laid out by LoadBlock, over the
// eight quadwords of a vector: bytes 0..3 of the pixel of the first line, then
// those of the second line, each zero-extended.
struct BlockShuffles {
    __m512i pixel[kBlock];
};

SKIMLET_AVX512 BlockShuffles MakeShuffles(bool reversed) {
    BlockShuffles s;
    for (int i = 0; i < kBlock; ++i) {
        // Quadword q lies in 128-bit lane q / 2, which holds the block of the
        // first line (lanes 0, 1) or of the second (2, 3); it takes byte q % 4.
        const long long at = 4 * (reversed ? kBlock - 1 - i : i);
        long long q[8];
        for (int j = 0; j < 8; ++j)
            q[j] = static_cast<long long>(0x8080808080808080ULL << 8) | (at + j % 4);
        s.pixel[i] = _mm512_set_epi64(q[7], q[6], q[5], q[4], q[3], q[2], q[1], q[0]);
    }
    return s;
}

// 16 bytes of each line, the first line's in lanes 0 and 1, the second's in 2 and 3.
SKIMLET_AVX512 inline __m512i LoadBlock(const std::uint8_t* first, const std::uint8_t* second) {
    const __m512i a =
        _mm512_broadcast_i32x4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(first)));
    return _mm512_mask_broadcast_i32x4(a, 0xFF00,
                                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(second)));
}

// One pixel of each line, repeated over the lanes as LoadBlock lays them out.
SKIMLET_AVX512 inline __m512i LoadPixelPair(const std::uint8_t* first, const std::uint8_t* second) {
    std::int32_t a, b;
    std::memcpy(&a, first, 4);
    std::memcpy(&b, second, 4);
    return _mm512_mask_set1_epi32(_mm512_set1_epi32(a), 0xFF00, b);
}

SKIMLET_AVX512 inline __m512d Spread(__m512i block, __m512i shuffle) {
    return _mm512_cvtepi64_pd(_mm512_shuffle_epi8(block, shuffle));
}

// Rounds eight sums to bytes: the pixel of lanes 0..3 goes to `low`, of 4..7 to `high`.
SKIMLET_AVX512 inline void StorePixels(std::uint8_t* low, std::uint8_t* high, __m512d sum) {
    __m512d v = _mm512_add_pd(sum, _mm512_set1_pd(0.5));
    v = _mm512_max_pd(v, _mm512_setzero_pd());
    v = _mm512_min_pd(v, _mm512_set1_pd(255.0));
    const __m128i bytes = _mm256_cvtepi32_epi8(_mm512_cvttpd_epi32(v));
    const std::int32_t a = _mm_cvtsi128_si32(bytes);
    const std::int32_t b = _mm_extract_epi32(bytes, 1);
    std::memcpy(low, &a, 4);
    std::memcpy(high, &b, 4);
}

// Adds count weighted positions, converted beforehand, to P sums: the pair p
// of position j is at pixels + 8 * (j * P + p).
template <int P>
SKIMLET_AVX512 inline void AddConverted(__m512d* acc, const double* weights, const double* pixels,
                                        int count) {
#pragma GCC unroll 4
    for (int j = 0; j < count; ++j, pixels += 8 * P) {
        const __m512d w = _mm512_set1_pd(weights[j]);
#pragma GCC unroll 8
        for (int p = 0; p < P; ++p)
            acc[p] = _mm512_add_pd(acc[p], _mm512_mul_pd(w, _mm512_load_pd(pixels + 8 * p)));
    }
}

// Positions the ring of LineGroup keeps: the sweep converts whole blocks up to
// the furthest position any output so far has needed (single pixels where the
// line ends within a block); each output then reads back to its own first
// position. A whole number of blocks, so that no block wraps around.
int RingPositions(const ContributionTable& table) {
    const int length = table.InputLength();
    int reached = 0;
    int span = kBlock;
    for (int x = 0; x < table.LineLength(); ++x) {
        const ContributionTable::Entry& e = table[x];
        if (e.count == 0)
            continue;
        const int end = e.left + e.count;
        const int blockEnd = (end + kBlock - 1) / kBlock * kBlock;
        reached = std::max(reached, blockEnd <= length ? blockEnd : end);
        span = std::max(span, reached - e.left);
    }
    return (span + kBlock - 1) / kBlock * kBlock;
}

// Resamples P pairs of lines in one sweep. As in the AVX2 loops, each pixel is
// converted to doubles once, into a ring of recent positions that stays in the
// first-level cache, and read from there by every output that uses it. The
// lines are read in order, which the processor's own prefetching follows
// better than any fetching ahead by hand did.
template <int P>
SKIMLET_AVX512 void LineGroup(const ContributionTable& table, const std::uint8_t* const* lines,
                              std::ptrdiff_t step, std::uint8_t* const* outputs, double* ring,
                              const BlockShuffles& shuffles) {
    const int ringLength = RingPositions(table);
    double* const ringEnd = ring + 8 * P * ringLength;
    const int length = table.InputLength();
    const bool reversed = step < 0;
    const std::uint8_t* src[2 * P];
    for (int r = 0; r < 2 * P; ++r)
        src[r] = lines[r];
    int converted = 0; // positions below this are in the ring (the latest ringLength of them)
    for (int x = 0; x < table.LineLength(); ++x) {
        const ContributionTable::Entry& e = table[x];
        const int end = e.left + e.count;
        // Whole blocks from a block boundary; a gap in the table may skip some.
        int k = converted;
        if (e.left > k)
            k = e.left / kBlock * kBlock;
        double* slot = ring + 8 * P * (k % ringLength);
        while (k < end) {
            if (slot == ringEnd)
                slot = ring;
            if (k % kBlock == 0 && k + kBlock <= length) {
                // The block's 16 bytes start at its last pixel when read backwards.
                const std::ptrdiff_t offset = (reversed ? k + kBlock - 1 : k) * step;
#pragma GCC unroll 8
                for (int p = 0; p < P; ++p) {
                    const __m512i block = LoadBlock(src[2 * p] + offset, src[2 * p + 1] + offset);
#pragma GCC unroll 4
                    for (int i = 0; i < kBlock; ++i)
                        _mm512_store_pd(slot + 8 * (i * P + p), Spread(block, shuffles.pixel[i]));
                }
                k += kBlock;
                slot += 8 * P * kBlock;
            } else {
                const std::ptrdiff_t offset = k * step;
#pragma GCC unroll 8
                for (int p = 0; p < P; ++p)
                    _mm512_store_pd(slot + 8 * p, Spread(LoadPixelPair(src[2 * p] + offset,
                                                                       src[2 * p + 1] + offset),
                                                         shuffles.pixel[0]));
                ++k;
                slot += 8 * P;
            }
        }
        converted = std::max(converted, k);

        __m512d acc[P];
#pragma GCC unroll 8
        for (int p = 0; p < P; ++p)
            acc[p] = _mm512_setzero_pd();
        const int first = e.count > 0 ? e.left % ringLength : 0;
        const int before = std::min(e.count, ringLength - first); // up to the ring's end
        AddConverted<P>(acc, e.weights, ring + 8 * P * first, before);
        AddConverted<P>(acc, e.weights + before, ring, e.count - before);
#pragma GCC unroll 8
        for (int p = 0; p < P; ++p)
            StorePixels(outputs[2 * p] + 4 * x, outputs[2 * p + 1] + 4 * x, acc[p]);
    }
}

// Two neighbouring pixels as doubles, the first in lanes 0..3.
SKIMLET_AVX512 inline __m512d LoadPixels(const std::uint8_t* p) {
    return _mm512_cvtepi64_pd(
        _mm512_cvtepu8_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
}

// One pixel as doubles.
SKIMLET_AVX512 inline __m256d LoadPixel(const std::uint8_t* p) {
    std::int32_t bytes;
    std::memcpy(&bytes, p, 4);
    return _mm256_cvtepi64_pd(_mm256_cvtepu8_epi64(_mm_cvtsi32_si128(bytes)));
}

SKIMLET_AVX512 inline void StorePixel(std::uint8_t* p, __m256d sum) {
    __m256d v = _mm256_add_pd(sum, _mm256_set1_pd(0.5));
    v = _mm256_max_pd(v, _mm256_setzero_pd());
    v = _mm256_min_pd(v, _mm256_set1_pd(255.0));
    const std::int32_t packed = _mm_cvtsi128_si32(_mm_cvtepi32_epi8(_mm256_cvttpd_epi32(v)));
    std::memcpy(p, &packed, 4);
}

// Output pixel pairs of the vertical pass computed side by side.
constexpr int kPairsPerGroup = 8;

// R neighbouring output pixel pairs of the vertical pass.
template <int R>
SKIMLET_AVX512 inline void ColumnGroup(const ContributionTable::Entry& e,
                                       const std::uint8_t* const* rows, std::size_t offset,
                                       std::uint8_t* output, std::ptrdiff_t outputStep) {
    __m512d acc[R];
#pragma GCC unroll 8
    for (int r = 0; r < R; ++r)
        acc[r] = _mm512_setzero_pd();
    for (int j = 0; j < e.count; ++j) {
        const std::uint8_t* pixels = rows[e.left + j] + offset;
        const __m512d w = _mm512_set1_pd(e.weights[j]);
#pragma GCC unroll 8
        for (int r = 0; r < R; ++r)
            acc[r] = _mm512_add_pd(acc[r], _mm512_mul_pd(w, LoadPixels(pixels + 8 * r)));
    }
#pragma GCC unroll 8
    for (int r = 0; r < R; ++r)
        StorePixels(output + 2 * r * outputStep, output + (2 * r + 1) * outputStep, acc[r]);
}

SKIMLET_AVX512 inline void ColumnPixel(const ContributionTable::Entry& e,
                                       const std::uint8_t* const* rows, std::size_t offset,
                                       std::uint8_t* output) {
    __m256d acc = _mm256_setzero_pd();
    for (int j = 0; j < e.count; ++j)
        acc = _mm256_add_pd(
            acc, _mm256_mul_pd(_mm256_set1_pd(e.weights[j]), LoadPixel(rows[e.left + j] + offset)));
    StorePixel(output, acc);
}

// Adds N consecutive input rows to the sums of one output, or of two: each
// sum stays in a register across the rows, and the pixels of a row are
// converted once for both outputs. A sum is 4 doubles per pixel.
template <int N>
SKIMLET_AVX512 inline void AddRows(double* acc, const double* weights,
                                   const std::uint8_t* const* rows, std::size_t offset, int count) {
    __m512d w[N];
    const std::uint8_t* pixels[N];
    for (int r = 0; r < N; ++r) {
        w[r] = _mm512_set1_pd(weights[r]);
        pixels[r] = rows[r] + offset;
    }
    int i = 0;
    for (; i + 2 <= count; i += 2, acc += 8) {
        __m512d sum = _mm512_load_pd(acc);
#pragma GCC unroll 8
        for (int r = 0; r < N; ++r)
            sum = _mm512_add_pd(sum, _mm512_mul_pd(w[r], LoadPixels(pixels[r] + 4 * i)));
        _mm512_store_pd(acc, sum);
    }
    if (i < count) {
        __m256d sum = _mm256_load_pd(acc);
        for (int r = 0; r < N; ++r)
            sum = _mm256_add_pd(
                sum, _mm256_mul_pd(_mm512_castpd512_pd256(w[r]), LoadPixel(pixels[r] + 4 * i)));
        _mm256_store_pd(acc, sum);
    }
}

template <int N>
SKIMLET_AVX512 inline void AddRows(double* acc0, const double* weights0, double* acc1,
                                   const double* weights1, const std::uint8_t* const* rows,
                                   std::size_t offset, int count) {
    __m512d w0[N], w1[N];
    const std::uint8_t* pixels[N];
    for (int r = 0; r < N; ++r) {
        w0[r] = _mm512_set1_pd(weights0[r]);
        w1[r] = _mm512_set1_pd(weights1[r]);
        pixels[r] = rows[r] + offset;
    }
    int i = 0;
    for (; i + 2 <= count; i += 2, acc0 += 8, acc1 += 8) {
        __m512d sum0 = _mm512_load_pd(acc0);
        __m512d sum1 = _mm512_load_pd(acc1);
#pragma GCC unroll 8
        for (int r = 0; r < N; ++r) {
            const __m512d p = LoadPixels(pixels[r] + 4 * i);
            sum0 = _mm512_add_pd(sum0, _mm512_mul_pd(w0[r], p));
            sum1 = _mm512_add_pd(sum1, _mm512_mul_pd(w1[r], p));
        }
        _mm512_store_pd(acc0, sum0);
        _mm512_store_pd(acc1, sum1);
    }
    if (i < count) {
        __m256d sum0 = _mm256_load_pd(acc0);
        __m256d sum1 = _mm256_load_pd(acc1);
        for (int r = 0; r < N; ++r) {
            const __m256d p = LoadPixel(pixels[r] + 4 * i);
            sum0 = _mm256_add_pd(sum0, _mm256_mul_pd(_mm512_castpd512_pd256(w0[r]), p));
            sum1 = _mm256_add_pd(sum1, _mm256_mul_pd(_mm512_castpd512_pd256(w1[r]), p));
        }
        _mm256_store_pd(acc0, sum0);
        _mm256_store_pd(acc1, sum1);
    }
}

// Input rows added to the sums in one go, while no output starts or ends.
constexpr int kRowBatch = 8;

template <typename... Args>
SKIMLET_AVX512 inline void AddRowBatch(int rowCount, Args... args) {
    switch (rowCount) {
    case 8:
        AddRows<8>(args...);
        break;
    case 7:
        AddRows<7>(args...);
        break;
    case 6:
        AddRows<6>(args...);
        break;
    case 5:
        AddRows<5>(args...);
        break;
    case 4:
        AddRows<4>(args...);
        break;
    case 3:
        AddRows<3>(args...);
        break;
    case 2:
        AddRows<2>(args...);
        break;
    default:
        AddRows<1>(args...);
    }
}

// The column sweep's loops: one output's sums or two at a time.
SKIMLET_AVX512 void AddRowsTo(int rowCount, double* sums0, const double* weights0, double* sums1,
                              const double* weights1, const std::uint8_t* const* rows,
                              std::size_t offset, int count) {
    if (sums1)
        AddRowBatch(rowCount, sums0, weights0, sums1, weights1, rows, offset, count);
    else
        AddRowBatch(rowCount, sums0, weights0, rows, offset, count);
}

SKIMLET_AVX512 void StoreSums(const double* sums, int count, std::uint8_t* output,
                              std::ptrdiff_t outputStep) {
    int i = 0;
    for (; i + 2 <= count; i += 2)
        StorePixels(output + i * outputStep, output + (i + 1) * outputStep,
                    _mm512_load_pd(sums + 4 * i));
    if (i < count)
        StorePixel(output + i * outputStep, _mm256_load_pd(sums + 4 * i));
}

} // namespace

bool Available() {
    // A last odd line goes to the AVX2 loops.
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
           avx2::Available();
}

std::size_t HorizontalScratchSize(const ContributionTable& table) {
    return static_cast<std::size_t>(RingPositions(table)) * kPairsPerSweep * 8;
}

SKIMLET_AVX512 void Horizontal(const ContributionTable& table, const std::uint8_t* const* lines,
                               int lineCount, std::ptrdiff_t step, std::uint8_t* const* outputs,
                               double* scratch) {
    const BlockShuffles shuffles = MakeShuffles(step < 0);
    int r = 0;
    for (; r + 2 * kPairsPerSweep <= lineCount; r += 2 * kPairsPerSweep)
        LineGroup<kPairsPerSweep>(table, lines + r, step, outputs + r, scratch, shuffles);
    // The remaining pairs two and one at a time.
    const int pairs = (lineCount - r) / 2;
    if (pairs & 2) {
        LineGroup<2>(table, lines + r, step, outputs + r, scratch, shuffles);
        r += 4;
    }
    if (pairs & 1) {
        LineGroup<1>(table, lines + r, step, outputs + r, scratch, shuffles);
        r += 2;
    }
    // A last odd line: the four-wide loops, which keep their ring in the same scratch.
    if (r < lineCount)
        avx2::Horizontal(table, lines + r, 1, step, outputs + r, scratch);
}

SKIMLET_AVX512 void Vertical(const ContributionTable::Entry& entry, const std::uint8_t* const* rows,
                             int firstColumn, int count, std::uint8_t* output,
                             std::ptrdiff_t outputStep) {
    int i = 0;
    for (; i + 2 * kPairsPerGroup <= count; i += 2 * kPairsPerGroup)
        ColumnGroup<kPairsPerGroup>(entry, rows, 4 * static_cast<std::size_t>(firstColumn + i),
                                    output + i * outputStep, outputStep);
    for (; i + 2 <= count; i += 2)
        ColumnGroup<1>(entry, rows, 4 * static_cast<std::size_t>(firstColumn + i),
                       output + i * outputStep, outputStep);
    if (i < count)
        ColumnPixel(entry, rows, 4 * static_cast<std::size_t>(firstColumn + i),
                    output + i * outputStep);
}

void ColumnLines(const ContributionTable& table, const ColumnSchedule& schedule,
                 const std::uint8_t* const* rows, int firstColumn, int count, std::uint8_t* output,
                 std::ptrdiff_t outputStep, double* scratch) {
    // Fetching rows ahead by hand only slowed this loop down.
    static constexpr ColumnKernels kKernels{kRowBatch, 0, AddRowsTo, StoreSums, Vertical};
    SweepColumns(kKernels, table, schedule, rows, firstColumn, count, output, outputStep, scratch);
}

} // namespace skimlet::resample::avx512

#else

namespace skimlet::resample::avx512 {

bool Available() {
    return false;
}

std::size_t HorizontalScratchSize(const ContributionTable&) {
    return 0;
}

void Horizontal(const ContributionTable& table, const std::uint8_t* const* lines, int lineCount,
                std::ptrdiff_t step, std::uint8_t* const* outputs, double* scratch) {
    portable::Horizontal(table, lines, lineCount, step, outputs, scratch);
}

void Vertical(const ContributionTable::Entry& entry, const std::uint8_t* const* rows,
              int firstColumn, int count, std::uint8_t* output, std::ptrdiff_t outputStep) {
    portable::Vertical(entry, rows, firstColumn, count, output, outputStep);
}

void ColumnLines(const ContributionTable& table, const ColumnSchedule& schedule,
                 const std::uint8_t* const* rows, int firstColumn, int count, std::uint8_t* output,
                 std::ptrdiff_t outputStep, double* scratch) {
    portable::ColumnLines(table, schedule, rows, firstColumn, count, output, outputStep, scratch);
}

} // namespace skimlet::resample::avx512

#endif
