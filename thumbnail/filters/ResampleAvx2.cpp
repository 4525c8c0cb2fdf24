// Inner loops of the resize filters with AVX2: one __m256d holds the blue,
// green, red and alpha sums of a pixel. Multiply and add stay separate
// instructions (no FMA is enabled here) so that every sum is rounded exactly
// as the portable loops round it.

#include "filters/Resampler.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

#include <algorithm>
#include <cstring>

#define SKIMLET_AVX2 __attribute__((target("avx2")))

namespace skimlet::resample::avx2 {

namespace {

// Output pixels of the vertical pass computed side by side.
constexpr int kColumnsPerGroup = 8;

// The four bytes of a pixel as doubles. A byte b placed in the low bits of the
// double 2^52 makes exactly 2^52 + b; subtracting 2^52 leaves b. This keeps
// the conversion off the port the multiplications need.
SKIMLET_AVX2 inline __m256d LoadPixel(const std::uint8_t* p) {
    std::int32_t bytes;
    std::memcpy(&bytes, p, 4);
    const __m256i magic = _mm256_set1_epi64x(0x4330000000000000LL);
    const __m256i q = _mm256_cvtepu8_epi64(_mm_cvtsi32_si128(bytes));
    return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(q, magic)),
                         _mm256_castsi256_pd(magic));
}

SKIMLET_AVX2 inline void StorePixel(std::uint8_t* p, __m256d sum) {
    __m256d v = _mm256_add_pd(sum, _mm256_set1_pd(0.5));
    v = _mm256_max_pd(v, _mm256_setzero_pd());
    v = _mm256_min_pd(v, _mm256_set1_pd(255.0));
    const __m128i ints = _mm256_cvttpd_epi32(v);
    const __m128i bytes = _mm_packus_epi16(_mm_packus_epi32(ints, ints), _mm_setzero_si128());
    const std::int32_t packed = _mm_cvtsi128_si32(bytes);
    std::memcpy(p, &packed, 4);
}

// R neighbouring output pixels of the vertical pass, side by side as in the
// portable loops.
template <int R>
SKIMLET_AVX2 inline void ColumnGroup(const ContributionTable::Entry& e,
                                     const std::uint8_t* const* rows, std::size_t offset,
                                     std::uint8_t* output, std::ptrdiff_t outputStep) {
    __m256d acc[R];
#pragma GCC unroll 8
    for (int r = 0; r < R; ++r)
        acc[r] = _mm256_setzero_pd();
    for (int j = 0; j < e.count; ++j) {
        const std::uint8_t* pixels = rows[e.left + j] + offset;
        const __m256d w = _mm256_broadcast_sd(e.weights + j);
#pragma GCC unroll 8
        for (int r = 0; r < R; ++r)
            acc[r] = _mm256_add_pd(acc[r], _mm256_mul_pd(w, LoadPixel(pixels + 4 * r)));
    }
#pragma GCC unroll 8
    for (int r = 0; r < R; ++r)
        StorePixel(output + r * outputStep, acc[r]);
}

// Adds count weighted pixels, converted beforehand, to R sums: pixel j of sum r
// is at pixels + j * 4R + 4r.
template <int R>
SKIMLET_AVX2 inline void AddConverted(__m256d* acc, const double* weights, const double* pixels,
                                      int count) {
#pragma GCC unroll 2
    for (int j = 0; j < count; ++j, pixels += 4 * R) {
        const __m256d w = _mm256_broadcast_sd(weights + j);
#pragma GCC unroll 8
        for (int r = 0; r < R; ++r)
            acc[r] = _mm256_add_pd(acc[r], _mm256_mul_pd(w, _mm256_load_pd(pixels + 4 * r)));
    }
}

// Pixels beyond the current output's reach that the sweep fetches in advance.
constexpr int kPrefetchPixels = 64;

// Resamples R lines in one sweep. Neighbouring outputs share most of their
// input pixels, so each pixel is converted to doubles once, into a ring of
// recent positions that stays in the first-level cache, and read from there by
// every output that uses it.
template <int R>
SKIMLET_AVX2 void LineGroup(const ContributionTable& table, const std::uint8_t* const* lines,
                            std::ptrdiff_t step, std::uint8_t* const* outputs, double* ring) {
    const int ringLength = RingLength(table);
    const int mask = ringLength - 1;
    const double* ringEnd = ring + 4 * R * ringLength;
    const std::uint8_t* src[R];
    for (int r = 0; r < R; ++r)
        src[r] = lines[r];
    int converted = 0; // positions below this are in the ring (the latest ringLength of them)
    for (int x = 0; x < table.LineLength(); ++x) {
        const ContributionTable::Entry& e = table[x];
        const int end = e.left + e.count;
        int k = std::max(converted, e.left);
        // Ask for the pixels the sweep reaches next while these are converted.
        const int ahead = std::min(end + kPrefetchPixels, table.InputLength());
        for (int q = end; q < ahead; q += 16)
            for (int r = 0; r < R; ++r)
                _mm_prefetch(reinterpret_cast<const char*>(src[r] + q * step), _MM_HINT_T0);
        double* slot = ring + 4 * R * (k & mask);
        for (std::ptrdiff_t offset = k * step; k < end; ++k, offset += step) {
#pragma GCC unroll 8
            for (int r = 0; r < R; ++r)
                _mm256_store_pd(slot + 4 * r, LoadPixel(src[r] + offset));
            slot += 4 * R;
            if (slot == ringEnd)
                slot = ring;
        }
        converted = std::max(converted, end);

        __m256d acc[R];
#pragma GCC unroll 8
        for (int r = 0; r < R; ++r)
            acc[r] = _mm256_setzero_pd();
        // RingLength makes the ring long enough for every entry to find its
        // pixels still there.
        const int first = e.left & mask;
        const int before = std::min(e.count, ringLength - first); // up to the ring's end
        AddConverted<R>(acc, e.weights, ring + 4 * R * first, before);
        AddConverted<R>(acc, e.weights + before, ring, e.count - before);
#pragma GCC unroll 8
        for (int r = 0; r < R; ++r)
            StorePixel(outputs[r] + 4 * x, acc[r]);
    }
}

// Adds N consecutive input rows to the sums of one output, or of two: each
// sum stays in a register across the rows, and the pixels of a row are
// converted once for both outputs.
template <int N>
SKIMLET_AVX2 inline void AddRows(double* acc, const double* weights,
                                 const std::uint8_t* const* rows, std::size_t offset, int count) {
    __m256d w[N];
    const std::uint8_t* pixels[N];
    for (int r = 0; r < N; ++r) {
        w[r] = _mm256_broadcast_sd(weights + r);
        pixels[r] = rows[r] + offset;
    }
    for (int i = 0; i < count; ++i, acc += 4) {
        __m256d sum = _mm256_load_pd(acc);
#pragma GCC unroll 4
        for (int r = 0; r < N; ++r)
            sum = _mm256_add_pd(sum, _mm256_mul_pd(w[r], LoadPixel(pixels[r] + 4 * i)));
        _mm256_store_pd(acc, sum);
    }
}

template <int N>
SKIMLET_AVX2 inline void AddRows(double* acc0, const double* weights0, double* acc1,
                                 const double* weights1, const std::uint8_t* const* rows,
                                 std::size_t offset, int count) {
    __m256d w0[N], w1[N];
    const std::uint8_t* pixels[N];
    for (int r = 0; r < N; ++r) {
        w0[r] = _mm256_broadcast_sd(weights0 + r);
        w1[r] = _mm256_broadcast_sd(weights1 + r);
        pixels[r] = rows[r] + offset;
    }
    for (int i = 0; i < count; ++i, acc0 += 4, acc1 += 4) {
        __m256d sum0 = _mm256_load_pd(acc0);
        __m256d sum1 = _mm256_load_pd(acc1);
#pragma GCC unroll 4
        for (int r = 0; r < N; ++r) {
            const __m256d p = LoadPixel(pixels[r] + 4 * i);
            sum0 = _mm256_add_pd(sum0, _mm256_mul_pd(w0[r], p));
            sum1 = _mm256_add_pd(sum1, _mm256_mul_pd(w1[r], p));
        }
        _mm256_store_pd(acc0, sum0);
        _mm256_store_pd(acc1, sum1);
    }
}

// Input rows added to the sums in one go, while no output starts or ends.
constexpr int kRowBatch = 4;

template <typename... Args>
SKIMLET_AVX2 inline void AddRowBatch(int rowCount, Args... args) {
    switch (rowCount) {
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

// Rows ahead of the one being added that are fetched into the cache.
constexpr int kPrefetchRows = 3;

// The column sweep's loops: one output's sums or two at a time.
SKIMLET_AVX2 void AddRowsTo(int rowCount, double* sums0, const double* weights0, double* sums1,
                            const double* weights1, const std::uint8_t* const* rows,
                            std::size_t offset, int count) {
    if (sums1)
        AddRowBatch(rowCount, sums0, weights0, sums1, weights1, rows, offset, count);
    else
        AddRowBatch(rowCount, sums0, weights0, rows, offset, count);
}

SKIMLET_AVX2 void StoreSums(const double* sums, int count, std::uint8_t* output,
                            std::ptrdiff_t outputStep) {
    for (int i = 0; i < count; ++i)
        StorePixel(output + i * outputStep, _mm256_load_pd(sums + 4 * i));
}

} // namespace

bool Available() {
    return __builtin_cpu_supports("avx2");
}

SKIMLET_AVX2 void Horizontal(const ContributionTable& table, const std::uint8_t* const* lines,
                             int lineCount, std::ptrdiff_t step, std::uint8_t* const* outputs,
                             double* scratch) {
    int r = 0;
    for (; r + kLinesPerGroup <= lineCount; r += kLinesPerGroup)
        LineGroup<kLinesPerGroup>(table, lines + r, step, outputs + r, scratch);
    for (; r < lineCount; ++r)
        LineGroup<1>(table, lines + r, step, outputs + r, scratch);
}

SKIMLET_AVX2 void Vertical(const ContributionTable::Entry& entry, const std::uint8_t* const* rows,
                           int firstColumn, int count, std::uint8_t* output,
                           std::ptrdiff_t outputStep) {
    int i = 0;
    for (; i + kColumnsPerGroup <= count; i += kColumnsPerGroup)
        ColumnGroup<kColumnsPerGroup>(entry, rows, 4 * static_cast<std::size_t>(firstColumn + i),
                                      output + i * outputStep, outputStep);
    for (; i < count; ++i)
        ColumnGroup<1>(entry, rows, 4 * static_cast<std::size_t>(firstColumn + i),
                       output + i * outputStep, outputStep);
}

void ColumnLines(const ContributionTable& table, const ColumnSchedule& schedule,
                 const std::uint8_t* const* rows, int firstColumn, int count, std::uint8_t* output,
                 std::ptrdiff_t outputStep, double* scratch) {
    static constexpr ColumnKernels kKernels{kRowBatch, kPrefetchRows, AddRowsTo, StoreSums,
                                            Vertical};
    SweepColumns(kKernels, table, schedule, rows, firstColumn, count, output, outputStep, scratch);
}

} // namespace skimlet::resample::avx2

#else

namespace skimlet::resample::avx2 {

bool Available() {
    return false;
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

} // namespace skimlet::resample::avx2

#endif
