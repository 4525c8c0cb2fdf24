#include "filters/FloatResample.h"

#include "filters/Resampler.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define SKIMLET_FLOAT_VECTORS 1
#include "filters/VectorIntrinsics.h"
#define SKIMLET_AVX512_FMA __attribute__((target("avx512f,avx512bw,avx512vl,fma")))
#define SKIMLET_AVX2_FMA __attribute__((target("avx2,fma")))
#endif

namespace skimlet {

namespace {

// Positions converted at a time from 16 bytes of a line.
constexpr int kBlock = 4;
// Lines the vector path sweeps together: four to a vector, two vectors.
constexpr int kSweepLines = 8;
static_assert(resample::kLinesPerSweep <= kSweepLines);
// Outputs the vector path sums at once.
constexpr int kOutputsPerStep = 4;

} // namespace

FloatTable::FloatTable(const ContributionTable& table)
    : inputLength_(table.InputLength()), lineLength_(table.LineLength()) {
    for (int x = 0; x < table.LineLength(); ++x)
        windowSize_ = std::max(windowSize_, table[x].count);
    // Every entry has WindowSize weights, zeros past its count, and one more
    // step's worth of entries of zero weights follows for the vector path.
    const std::size_t stride = static_cast<std::size_t>(windowSize_);
    weights_.assign(stride * static_cast<std::size_t>(table.LineLength() + kOutputsPerStep), 0.0f);
    entries_.reserve(static_cast<std::size_t>(table.LineLength() + kOutputsPerStep));
    for (int x = 0; x < table.LineLength() + kOutputsPerStep; ++x) {
        float* weights = weights_.data() + stride * static_cast<std::size_t>(x);
        if (x >= table.LineLength()) {
            entries_.push_back({0, 0, weights});
            continue;
        }
        const ContributionTable::Entry& e = table[x];
        entries_.push_back({e.left, e.count, weights});
        for (int j = 0; j < e.count; ++j)
            weights[j] = static_cast<float>(e.weights[j]);
    }
    // Blocks are converted whole up to the block holding the last position a
    // step of outputs needs (single positions where the line ends within a
    // block); each output of the step then reads back to its own first one.
    int reached = 0;
    int span = kBlock;
    for (int x = 0; x < lineLength_; x += kOutputsPerStep) {
        const int last = std::min(x + kOutputsPerStep, lineLength_);
        int first = inputLength_;
        for (int o = x; o < last; ++o) {
            const Entry& e = entries_[static_cast<std::size_t>(o)];
            if (e.count == 0)
                continue;
            first = std::min(first, e.left);
            const int end = e.left + e.count;
            const int blockEnd = (end + kBlock - 1) / kBlock * kBlock;
            reached = std::max(reached, blockEnd <= inputLength_ ? blockEnd : end);
        }
        span = std::max(span, reached - first);
    }
    ringPositions_ = kBlock;
    while (ringPositions_ < span)
        ringPositions_ *= 2;
}

namespace floatresample {

namespace {

void PortableHorizontal(const FloatTable& table, const std::uint8_t* line, float* output) {
    for (int x = 0; x < table.LineLength(); ++x) {
        const FloatTable::Entry& e = table[x];
        float sum[4] = {0, 0, 0, 0};
        const std::uint8_t* p = line + 4 * static_cast<std::ptrdiff_t>(e.left);
        for (int j = 0; j < e.count; ++j, p += 4)
            for (int c = 0; c < 4; ++c)
                sum[c] += e.weights[j] * static_cast<float>(p[c]);
        std::memcpy(output + 4 * static_cast<std::ptrdiff_t>(x), sum, sizeof sum);
    }
}

void PortableVertical(const FloatTable::Entry& e, const float* const* rows, std::ptrdiff_t first,
                      std::ptrdiff_t end, std::uint8_t* output) {
    // A chunk at a time, row by row, in loops simple enough to be vectorised.
    constexpr std::ptrdiff_t kChunk = 64;
    for (std::ptrdiff_t i = first; i < end; i += kChunk) {
        const std::ptrdiff_t n = std::min(kChunk, end - i);
        float sums[kChunk] = {};
        for (int j = 0; j < e.count; ++j) {
            const float w = e.weights[j];
            const float* row = rows[e.left + j] + i;
            for (std::ptrdiff_t c = 0; c < n; ++c)
                sums[c] += w * row[c];
        }
        for (std::ptrdiff_t c = 0; c < n; ++c)
            output[i + c] = static_cast<std::uint8_t>(std::clamp(sums[c], 0.0f, 255.0f) + 0.5f);
    }
}

#ifdef SKIMLET_FLOAT_VECTORS

// The vector instructions in use, as the resize filters have them; each needs
// fused multiply-add as well.
ResizeSimd VectorsInUse() {
    static const bool fma = __builtin_cpu_supports("fma");
    return fma ? ResizeSimdInUse() : ResizeSimd::Portable;
}

// Eight lines in one sweep, each pixel converted to floats once into a ring of
// recent positions: position k holds pixel k of lines 0..3 in one vector (a
// line a 128-bit lane) and of lines 4..7 in the next.
SKIMLET_AVX512_FMA void SweepEight(const FloatTable& table, const std::uint8_t* const* lines,
                                   float* const* outputs, float* ring) {
    const int mask = table.RingPositions() - 1;
    const int length = table.InputLength();
    __m512i spread[kBlock]; // pixel i of each lane's 16 bytes, one byte to a float
    for (int i = 0; i < kBlock; ++i) {
        alignas(16) std::int8_t bytes[16];
        for (int j = 0; j < 16; ++j)
            bytes[j] = j % 4 == 0 ? static_cast<std::int8_t>(4 * i + j / 4) : std::int8_t{-128};
        spread[i] = _mm512_broadcast_i32x4(_mm_load_si128(reinterpret_cast<const __m128i*>(bytes)));
    }
    const auto lane = [&](int r, int k) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(lines[r] + 4 * std::ptrdiff_t{k}));
    };
    int converted = 0;
    for (int x = 0; x < table.LineLength(); ++x) {
        const FloatTable::Entry& e = table[x];
        const int end = e.left + e.count;
        int k = std::max(converted, e.left / kBlock * kBlock);
        while (k < end) {
            if (k % kBlock == 0 && k + kBlock <= length) {
#pragma GCC unroll 2
                for (int h = 0; h < 2; ++h) {
                    const int r = 4 * h;
                    __m512i block = _mm512_castsi128_si512(lane(r, k));
                    block = _mm512_inserti32x4(block, lane(r + 1, k), 1);
                    block = _mm512_inserti32x4(block, lane(r + 2, k), 2);
                    block = _mm512_inserti32x4(block, lane(r + 3, k), 3);
#pragma GCC unroll 4
                    for (int i = 0; i < kBlock; ++i)
                        _mm512_storeu_ps(ring + 32 * ((k + i) & mask) + 16 * h,
                                         _mm512_cvtepi32_ps(_mm512_shuffle_epi8(block, spread[i])));
                }
                k += kBlock;
            } else {
                for (int h = 0; h < 2; ++h) {
                    std::int32_t p[4];
                    for (int r = 0; r < 4; ++r)
                        std::memcpy(&p[r], lines[4 * h + r] + 4 * std::ptrdiff_t{k}, 4);
                    _mm512_storeu_ps(ring + 32 * (k & mask) + 16 * h,
                                     _mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(
                                         _mm_setr_epi32(p[0], p[1], p[2], p[3]))));
                }
                ++k;
            }
        }
        converted = std::max(converted, k);
        if (x % kOutputsPerStep != kOutputsPerStep - 1 && x + 1 < table.LineLength())
            continue;

        // The outputs of a step side by side, so that their sums hide each
        // other's latency; weights past an entry's count are zero.
        const int step = x % kOutputsPerStep + 1;
        const FloatTable::Entry* entries = &table[x + 1 - step];
        __m512 sums[kOutputsPerStep][2];
#pragma GCC unroll 4
        for (auto& sum : sums)
            sum[0] = sum[1] = _mm512_setzero_ps();
        for (int j = 0; j < table.WindowSize(); ++j)
#pragma GCC unroll 4
            for (int o = 0; o < kOutputsPerStep; ++o) {
                const __m512 w = _mm512_set1_ps(entries[o].weights[j]);
                const float* at = ring + 32 * ((entries[o].left + j) & mask);
                sums[o][0] = _mm512_fmadd_ps(w, _mm512_loadu_ps(at), sums[o][0]);
                sums[o][1] = _mm512_fmadd_ps(w, _mm512_loadu_ps(at + 16), sums[o][1]);
            }
        const std::ptrdiff_t at = 4 * std::ptrdiff_t{x + 1 - step};
        if (step == kOutputsPerStep) {
            // Four outputs of each line side by side: a transpose of the
            // 128-bit lanes (a line each) of the four sums.
#pragma GCC unroll 2
            for (int h = 0; h < 2; ++h) {
                const __m512 t0 = _mm512_shuffle_f32x4(sums[0][h], sums[1][h], 0x44);
                const __m512 t1 = _mm512_shuffle_f32x4(sums[0][h], sums[1][h], 0xEE);
                const __m512 t2 = _mm512_shuffle_f32x4(sums[2][h], sums[3][h], 0x44);
                const __m512 t3 = _mm512_shuffle_f32x4(sums[2][h], sums[3][h], 0xEE);
                float* const* out = outputs + 4 * h;
                _mm512_storeu_ps(out[0] + at, _mm512_shuffle_f32x4(t0, t2, 0x88));
                _mm512_storeu_ps(out[1] + at, _mm512_shuffle_f32x4(t0, t2, 0xDD));
                _mm512_storeu_ps(out[2] + at, _mm512_shuffle_f32x4(t1, t3, 0x88));
                _mm512_storeu_ps(out[3] + at, _mm512_shuffle_f32x4(t1, t3, 0xDD));
            }
            continue;
        }
#pragma GCC unroll 4
        for (int o = 0; o < kOutputsPerStep - 1; ++o) {
            if (o >= step)
                break;
#pragma GCC unroll 2
            for (int h = 0; h < 2; ++h) {
                const __m512 sum = sums[o][h];
                float* const* out = outputs + 4 * h;
                _mm_storeu_ps(out[0] + at + 4 * o, _mm512_castps512_ps128(sum));
                _mm_storeu_ps(out[1] + at + 4 * o, _mm512_extractf32x4_ps(sum, 1));
                _mm_storeu_ps(out[2] + at + 4 * o, _mm512_extractf32x4_ps(sum, 2));
                _mm_storeu_ps(out[3] + at + 4 * o, _mm512_extractf32x4_ps(sum, 3));
            }
        }
    }
}

SKIMLET_AVX512_FMA inline __m128i Levels(__m512 sum) {
    return _mm512_cvtusepi32_epi8(_mm512_cvtps_epi32(_mm512_max_ps(sum, _mm512_setzero_ps())));
}

SKIMLET_AVX512_FMA void VectorVertical(const FloatTable::Entry& e, const float* const* rows,
                                       int width, std::uint8_t* output) {
    const std::ptrdiff_t n = 4 * static_cast<std::ptrdiff_t>(width);
    const float* const* in = rows + e.left;
    std::ptrdiff_t i = 0;
    for (; i + 64 <= n; i += 64) {
        __m512 a0 = _mm512_setzero_ps(), a1 = a0, a2 = a0, a3 = a0;
        for (int j = 0; j < e.count; ++j) {
            const __m512 w = _mm512_set1_ps(e.weights[j]);
            const float* p = in[j] + i;
            a0 = _mm512_fmadd_ps(w, _mm512_loadu_ps(p), a0);
            a1 = _mm512_fmadd_ps(w, _mm512_loadu_ps(p + 16), a1);
            a2 = _mm512_fmadd_ps(w, _mm512_loadu_ps(p + 32), a2);
            a3 = _mm512_fmadd_ps(w, _mm512_loadu_ps(p + 48), a3);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(output + i), Levels(a0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(output + i + 16), Levels(a1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(output + i + 32), Levels(a2));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(output + i + 48), Levels(a3));
    }
    for (; i < n; i += 16) {
        const __mmask16 m =
            n - i >= 16 ? __mmask16{0xFFFF} : static_cast<__mmask16>((1u << (n - i)) - 1);
        __m512 a = _mm512_setzero_ps();
        for (int j = 0; j < e.count; ++j)
            a = _mm512_fmadd_ps(_mm512_set1_ps(e.weights[j]), _mm512_maskz_loadu_ps(m, in[j] + i),
                                a);
        _mm_mask_storeu_epi8(output + i, m, Levels(a));
    }
}

// The same sweep with AVX2: a vector holds two lines of a position, four
// vectors the eight, as the ring of the AVX-512 path lays them out; two
// outputs at a time, for want of registers.
SKIMLET_AVX2_FMA inline __m256 Floats(__m128i pixels) {
    return _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(pixels));
}

SKIMLET_AVX2_FMA void SweepEightAvx2(const FloatTable& table, const std::uint8_t* const* lines,
                                     float* const* outputs, float* ring) {
    const int mask = table.RingPositions() - 1;
    const int length = table.InputLength();
    const auto at = [&](int k) { return ring + 32 * (k & mask); };
    int converted = 0;
    for (int x = 0; x < table.LineLength(); ++x) {
        const FloatTable::Entry& e = table[x];
        const int end = e.left + e.count;
        int k = std::max(converted, e.left / kBlock * kBlock);
        while (k < end) {
            if (k % kBlock == 0 && k + kBlock <= length) {
#pragma GCC unroll 4
                for (int p = 0; p < 4; ++p) {
                    const __m128i a = _mm_loadu_si128(
                        reinterpret_cast<const __m128i*>(lines[2 * p] + 4 * std::ptrdiff_t{k}));
                    const __m128i b = _mm_loadu_si128(
                        reinterpret_cast<const __m128i*>(lines[2 * p + 1] + 4 * std::ptrdiff_t{k}));
                    const __m128i low = _mm_unpacklo_epi32(a, b); // pixels k, k + 1 of both
                    const __m128i high = _mm_unpackhi_epi32(a, b);
                    _mm256_storeu_ps(at(k) + 8 * p, Floats(low));
                    _mm256_storeu_ps(at(k + 1) + 8 * p, Floats(_mm_srli_si128(low, 8)));
                    _mm256_storeu_ps(at(k + 2) + 8 * p, Floats(high));
                    _mm256_storeu_ps(at(k + 3) + 8 * p, Floats(_mm_srli_si128(high, 8)));
                }
                k += kBlock;
            } else {
                for (int p = 0; p < 4; ++p) {
                    std::int32_t a, b;
                    std::memcpy(&a, lines[2 * p] + 4 * std::ptrdiff_t{k}, 4);
                    std::memcpy(&b, lines[2 * p + 1] + 4 * std::ptrdiff_t{k}, 4);
                    _mm256_storeu_ps(at(k) + 8 * p, Floats(_mm_setr_epi32(a, b, 0, 0)));
                }
                ++k;
            }
        }
        converted = std::max(converted, k);
        if (x % 2 == 0 && x + 1 < table.LineLength())
            continue;

        const int step = x % 2 + 1;
        const FloatTable::Entry* entries = &table[x + 1 - step];
        __m256 sums[2][4];
#pragma GCC unroll 2
        for (auto& sum : sums)
            sum[0] = sum[1] = sum[2] = sum[3] = _mm256_setzero_ps();
        for (int j = 0; j < table.WindowSize(); ++j)
#pragma GCC unroll 2
            for (int o = 0; o < 2; ++o) {
                const __m256 w = _mm256_set1_ps(entries[o].weights[j]);
                const float* from = at(entries[o].left + j);
#pragma GCC unroll 4
                for (int p = 0; p < 4; ++p)
                    sums[o][p] = _mm256_fmadd_ps(w, _mm256_loadu_ps(from + 8 * p), sums[o][p]);
            }
        const std::ptrdiff_t o = 4 * std::ptrdiff_t{x + 1 - step};
#pragma GCC unroll 4
        for (int p = 0; p < 4; ++p) {
            if (step == 2) {
                _mm256_storeu_ps(outputs[2 * p] + o,
                                 _mm256_permute2f128_ps(sums[0][p], sums[1][p], 0x20));
                _mm256_storeu_ps(outputs[2 * p + 1] + o,
                                 _mm256_permute2f128_ps(sums[0][p], sums[1][p], 0x31));
            } else {
                _mm_storeu_ps(outputs[2 * p] + o, _mm256_castps256_ps128(sums[0][p]));
                _mm_storeu_ps(outputs[2 * p + 1] + o, _mm256_extractf128_ps(sums[0][p], 1));
            }
        }
    }
}

// Eight sums rounded to bytes.
SKIMLET_AVX2_FMA inline void StoreLevels(std::uint8_t* output, __m256 sum) {
    const __m256i levels = _mm256_cvtps_epi32(_mm256_max_ps(sum, _mm256_setzero_ps()));
    const __m128i words =
        _mm_packus_epi32(_mm256_castsi256_si128(levels), _mm256_extracti128_si256(levels, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(output), _mm_packus_epi16(words, words));
}

SKIMLET_AVX2_FMA void VerticalAvx2(const FloatTable::Entry& e, const float* const* rows, int width,
                                   std::uint8_t* output) {
    const std::ptrdiff_t n = 4 * static_cast<std::ptrdiff_t>(width);
    const float* const* in = rows + e.left;
    std::ptrdiff_t i = 0;
    for (; i + 32 <= n; i += 32) {
        __m256 a0 = _mm256_setzero_ps(), a1 = a0, a2 = a0, a3 = a0;
        for (int j = 0; j < e.count; ++j) {
            const __m256 w = _mm256_set1_ps(e.weights[j]);
            const float* p = in[j] + i;
            a0 = _mm256_fmadd_ps(w, _mm256_loadu_ps(p), a0);
            a1 = _mm256_fmadd_ps(w, _mm256_loadu_ps(p + 8), a1);
            a2 = _mm256_fmadd_ps(w, _mm256_loadu_ps(p + 16), a2);
            a3 = _mm256_fmadd_ps(w, _mm256_loadu_ps(p + 24), a3);
        }
        StoreLevels(output + i, a0);
        StoreLevels(output + i + 8, a1);
        StoreLevels(output + i + 16, a2);
        StoreLevels(output + i + 24, a3);
    }
    PortableVertical(e, rows, i, n, output);
}

#else

ResizeSimd VectorsInUse() {
    return ResizeSimd::Portable;
}

#endif

} // namespace

std::size_t HorizontalScratchSize(const FloatTable& table) {
    // The ring of eight lines, then a line for the outputs of missing lines.
    return 32 * static_cast<std::size_t>(table.RingPositions()) +
           4 * static_cast<std::size_t>(table.LineLength());
}

void Horizontal(const FloatTable& table, const std::uint8_t* const* lines, int lineCount,
                float* const* outputs, float* scratch) {
    if (lineCount < 1)
        return;
#ifdef SKIMLET_FLOAT_VECTORS
    if (const ResizeSimd simd = VectorsInUse(); simd != ResizeSimd::Portable) {
        // Missing lines repeat the last one into a line of their own.
        const std::uint8_t* in[kSweepLines];
        float* out[kSweepLines];
        float* spare = scratch + 32 * static_cast<std::size_t>(table.RingPositions());
        for (int r = 0; r < kSweepLines; ++r) {
            in[r] = lines[std::min(r, lineCount - 1)];
            out[r] = r < lineCount ? outputs[r] : spare;
        }
        if (simd == ResizeSimd::Avx512)
            SweepEight(table, in, out, scratch);
        else
            SweepEightAvx2(table, in, out, scratch);
        return;
    }
#endif
    for (int r = 0; r < lineCount; ++r)
        PortableHorizontal(table, lines[r], outputs[r]);
}

void Vertical(const FloatTable::Entry& entry, const float* const* rows, int width,
              std::uint8_t* output) {
#ifdef SKIMLET_FLOAT_VECTORS
    switch (VectorsInUse()) {
    case ResizeSimd::Avx512:
        VectorVertical(entry, rows, width, output);
        return;
    case ResizeSimd::Avx2:
        VerticalAvx2(entry, rows, width, output);
        return;
    default:
        break;
    }
#endif
    PortableVertical(entry, rows, 0, 4 * static_cast<std::ptrdiff_t>(width), output);
}

} // namespace floatresample

} // namespace skimlet
