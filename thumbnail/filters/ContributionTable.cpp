#include "filters/ContributionTable.h"

#include "base/TextException.h"
#include "bitmaps/RasterBitmap.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>
#include <numbers>

namespace skimlet {

namespace {

double Tent(double x, double r) {
    const double a = std::abs(x);
    return a < r ? r - a : 0.0;
}

double Box(double x, double r) {
    return std::abs(x) <= r ? 1.0 : 0.0;
}

double Gaussian(double x, double r) {
    if (std::abs(x) > r)
        return 0.0;
    return std::exp(-(x * x) / r - 1.0) / std::sqrt(2.0 * std::numbers::pi);
}

double Hamming(double x, double r) {
    if (std::abs(x) > r)
        return 0.0;
    if (x == 0.0)
        return 1.0;
    const double px = std::numbers::pi * x;
    return (0.54 + 0.46 * std::cos(2.0 * std::numbers::pi * x)) * std::sin(px) / px;
}

} // namespace

ResizeKernel TentKernel(double radius) {
    return {radius, Tent};
}
ResizeKernel BoxKernel(double radius) {
    return {radius, Box};
}
ResizeKernel GaussianKernel(double radius) {
    return {radius, Gaussian};
}
ResizeKernel HammingKernel(double radius) {
    return {radius, Hamming};
}

ContributionTable::ContributionTable(int outputLength, int inputLength, double scale,
                                     const ResizeKernel& kernel)
    : inputLength_(inputLength) {
    double width = kernel.radius;
    double kernelScale = 1.0;
    if (scale < 1.0) {
        width = kernel.radius / scale;
        kernelScale = scale;
    }
    // Kept in double: a huge radius must not overflow anything. No entry can
    // hold more than the input has, which bounds the storage.
    const double window = 2.0 * std::ceil(width) + 1.0;
    windowSize_ = window < INT_MAX ? static_cast<int>(window) : INT_MAX;
    const std::int64_t longest = std::min<std::int64_t>(windowSize_, inputLength);
    const std::int64_t bytes = static_cast<std::int64_t>(outputLength) *
                               (static_cast<std::int64_t>(sizeof(Entry)) + longest * 8);
    if (bytes > CRasterBitmap::kMaxStorageBytes)
        throw CTextException(SkimletCode::kOutOfMemory, "Out of memory resizing bitmap.");

    try {
        entries_.resize(static_cast<std::size_t>(outputLength));
        weights_.reserve(static_cast<std::size_t>(outputLength * longest));
        std::vector<double> entry(static_cast<std::size_t>(longest) + 1);
        std::vector<std::size_t> offsets(static_cast<std::size_t>(outputLength));
        const double last = inputLength - 1;

        for (int u = 0; u < outputLength; ++u) {
            const double center = u / scale;
            const double low = std::clamp(std::floor(center - width), 0.0, last);
            const double high = std::clamp(std::ceil(center + width), 0.0, last);
            int left = static_cast<int>(low);
            const int right = static_cast<int>(high);
            if (right - left + 1 > window)
                ++left;

            const int count = right - left + 1;
            double total = 0.0;
            for (int k = left; k <= right; ++k) {
                const double w =
                    kernelScale * kernel.weight(kernelScale * (center - k), kernel.radius);
                entry[static_cast<std::size_t>(k - left)] = w;
                total += w;
            }
            int first = 0;
            int end = count;
            if (total > 0.0)
                for (int j = 0; j < count; ++j)
                    entry[static_cast<std::size_t>(j)] /= total;
            while (first < end && entry[static_cast<std::size_t>(first)] == 0.0)
                ++first;
            while (end > first && entry[static_cast<std::size_t>(end - 1)] == 0.0)
                --end;

            offsets[static_cast<std::size_t>(u)] = weights_.size();
            weights_.insert(weights_.end(), entry.begin() + first, entry.begin() + end);
            // An all-zero entry reads nothing; position 0 keeps its pointers in range.
            entries_[static_cast<std::size_t>(u)] =
                Entry{end > first ? left + first : 0, end - first, nullptr};
        }
        for (std::size_t u = 0; u < entries_.size(); ++u)
            entries_[u].weights = weights_.data() + offsets[u];
    } catch (const std::bad_alloc&) {
        throw CTextException(SkimletCode::kOutOfMemory, "Out of memory resizing bitmap.");
    }
}

} // namespace skimlet
