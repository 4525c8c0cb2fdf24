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

namespace resample::avx2 {

namespace {

SKIMLET_AVX2 inline __m256d LoadPixel(const std::uint8_t* p) {
    std::int32_t bytes;
    std::memcpy(&bytes, p, 4);
    return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(bytes)));
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

// R weighted sums side by side, as in the portable loops.
template <int R>
SKIMLET_AVX2 inline void Sums(const double* weights, int count, const std::uint8_t* const* src,
                              std::ptrdiff_t step, std::uint8_t* const* dst) {
    __m256d acc[R];
#pragma GCC unroll 8
    for (int r = 0; r < R; ++r)
        acc[r] = _mm256_setzero_pd();
    std::ptrdiff_t offset = 0;
    for (int j = 0; j < count; ++j, offset += step) {
        const __m256d w = _mm256_broadcast_sd(weights + j);
#pragma GCC unroll 8
        for (int r = 0; r < R; ++r)
            acc[r] = _mm256_add_pd(acc[r], _mm256_mul_pd(w, LoadPixel(src[r] + offset)));
    }
#pragma GCC unroll 8
    for (int r = 0; r < R; ++r)
        StorePixel(dst[r], acc[r]);
}

// Adds count weighted pixels, converted beforehand, to R sums: pixel j of sum r
// is at pixels + j * 4R + 4r.
template <int R>
SKIMLET_AVX2 inline void AddConverted(__m256d* acc, const double* weights, const double* pixels,
                                      int count) {
    for (int j = 0; j < count; ++j, pixels += 4 * R) {
        const __m256d w = _mm256_broadcast_sd(weights + j);
#pragma GCC unroll 8
        for (int r = 0; r < R; ++r)
            acc[r] = _mm256_add_pd(acc[r], _mm256_mul_pd(w, _mm256_load_pd(pixels + 4 * r)));
    }
}

// Resamples R lines in one sweep. Neighbouring outputs share most of their
// input pixels, so each pixel is converted to doubles once, into a ring of
// recent positions that stays in the first-level cache, and read from there by
// every output that uses it.
template <int R>
SKIMLET_AVX2 void LineGroup(const ContributionTable& table, const std::uint8_t* const* lines,
                            std::ptrdiff_t step, std::uint8_t* const* outputs, double* ring) {
    const int ringLength = RingLength(table);
    const int mask = ringLength - 1;
    int converted = 0; // positions below this are in the ring (the latest ringLength of them)
    for (int x = 0; x < table.LineLength(); ++x) {
        const ContributionTable::Entry& e = table[x];
        const int end = e.left + e.count;
        for (int k = std::max(converted, e.left); k < end; ++k) {
            double* slot = ring + 4 * R * (k & mask);
#pragma GCC unroll 8
            for (int r = 0; r < R; ++r)
                _mm256_store_pd(slot + 4 * r, LoadPixel(lines[r] + k * step));
        }
        converted = std::max(converted, end);

        __m256d acc[R];
#pragma GCC unroll 8
        for (int r = 0; r < R; ++r)
            acc[r] = _mm256_setzero_pd();
        if (converted - e.left <= ringLength) {
            const int first = e.left & mask;
            const int before = std::min(e.count, ringLength - first); // up to the ring's end
            AddConverted<R>(acc, e.weights, ring + 4 * R * first, before);
            AddConverted<R>(acc, e.weights + before, ring, e.count - before);
        } else {
            // An entry reaching further back than the ring holds; the tables
            // never make one, but the pixels are still there to read.
            const std::uint8_t* src[R];
            for (int r = 0; r < R; ++r)
                src[r] = lines[r] + e.left * step;
            for (int j = 0; j < e.count; ++j) {
                const __m256d w = _mm256_broadcast_sd(e.weights + j);
                for (int r = 0; r < R; ++r)
                    acc[r] = _mm256_add_pd(acc[r], _mm256_mul_pd(w, LoadPixel(src[r] + j * step)));
            }
        }
#pragma GCC unroll 8
        for (int r = 0; r < R; ++r)
            StorePixel(outputs[r] + 4 * x, acc[r]);
    }
}

} // namespace

bool Available() {
    return __builtin_cpu_supports("avx2");
}

SKIMLET_AVX2 void Horizontal(const ContributionTable& table, const std::uint8_t* const* lines,
                             int lineCount, std::ptrdiff_t step, std::uint8_t* const* outputs,
                             double* scratch) {
    int r = 0;
    for (; r + kLinesPerSweep <= lineCount; r += kLinesPerSweep)
        LineGroup<kLinesPerSweep>(table, lines + r, step, outputs + r, scratch);
    for (; r < lineCount; ++r)
        LineGroup<1>(table, lines + r, step, outputs + r, scratch);
}

SKIMLET_AVX2 void Vertical(const ContributionTable::Entry& entry, const std::uint8_t* rows,
                           std::size_t rowBytes, int width, std::uint8_t* output) {
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

} // namespace resample::avx2

#else

namespace resample::avx2 {

bool Available() {
    return false;
}

void Horizontal(const ContributionTable& table, const std::uint8_t* const* lines, int lineCount,
                std::ptrdiff_t step, std::uint8_t* const* outputs, double* scratch) {
    portable::Horizontal(table, lines, lineCount, step, outputs, scratch);
}

void Vertical(const ContributionTable::Entry& entry, const std::uint8_t* rows, std::size_t rowBytes,
              int width, std::uint8_t* output) {
    portable::Vertical(entry, rows, rowBytes, width, output);
}

} // namespace resample::avx2

#endif
