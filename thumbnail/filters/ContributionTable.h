#pragma once

#include <cstdint>
#include <vector>

namespace skimlet {

// The weighting function of a resampling filter and the distance beyond which
// it is zero (for an output position at unit scale).
struct ResizeKernel {
    double radius;
    double (*weight)(double x, double radius);
};

ResizeKernel TentKernel(double radius);
ResizeKernel BoxKernel(double radius);
ResizeKernel GaussianKernel(double radius);
ResizeKernel HammingKernel(double radius);

// Which input samples, and with what weights, make up each output sample of one
// resampling pass. Zero weights at either end of an entry are dropped: adding a
// zero product never changes a sum, and the passes then skip that work.
class ContributionTable {
public:
    struct Entry {
        int left;  // first input position used
        int count; // input positions left .. left + count - 1 (0 when all weights are zero)
        const double* weights;
    };

    // Throws CTextException 10 when the table would be unreasonably large.
    ContributionTable(int outputLength, int inputLength, double scale, const ResizeKernel& kernel);

    ContributionTable(const ContributionTable&) = delete;
    ContributionTable& operator=(const ContributionTable&) = delete;

    // The most input samples any output sample may use.
    int WindowSize() const { return windowSize_; }
    int InputLength() const { return inputLength_; }
    int LineLength() const { return static_cast<int>(entries_.size()); }
    const Entry& operator[](int position) const { return entries_[position]; }

private:
    int windowSize_ = 0;
    int inputLength_ = 0;
    std::vector<Entry> entries_;
    std::vector<double> weights_;
};

} // namespace skimlet
