// The discrete Fourier transform of a real sequence whose length is any
// power of two from 4 up to the largest the transform was made for, in
// double precision. Its tables (twiddles, bit reversal) are made once, for
// the largest length, and serve every shorter one by stride; transforming
// allocates nothing. It knows nothing of windows, samples or the display:
// callers window their sequence first.
#pragma once

#include <cstdint>
#include <vector>

namespace varmolen {

class RealFft {
public:
    // `maxLength`: a power of two of at least 4 (anything else is raised to
    // the next one).
    explicit RealFft(int maxLength);

    int maxLength() const { return maxLength_; }
    // Whether `n` is a length this transform can take.
    bool accepts(int n) const { return n >= 4 && n <= maxLength_ && (n & (n - 1)) == 0; }

    // X[k] = sum over t of x[t] e^(-2 pi i k t / n) for k = 0..n/2 into
    // re[0..n/2] and im[0..n/2]. Returns false (writing nothing) for a length
    // it does not accept.
    bool forward(const double* x, int n, double* re, double* im);
    // |X[k]|^2 for k = 0..n/2 into power[0..n/2].
    bool power(const double* x, int n, double* power);
    // |X[k]|^2 of the record (x[t] - offset) * window[t * windowStride],
    // t < n: the window is applied as the samples are packed for the
    // transform, so no windowed copy of the record is made.
    bool windowedPower(const std::int32_t* x, double offset, const double* window, int windowStride, int n,
                       double* power);

private:
    // The n/2-point complex transform of the packed even and odd samples,
    // left in workRe_/workIm_.
    void halfTransform(const double* x, int n);
    int reverseShift(int n) const;  // bit-reversal table's shift for length n
    void passes(int n);             // the transform of the packed values
    void splitPower(int n, double* power) const;
    // Bin k of the real transform from the half-length one.
    void split(int k, int n, double& xr, double& xi) const;

    int maxLength_ = 4;
    int maxBits_ = 1;                      // log2 of maxLength_ / 2
    std::vector<double> twiddleRe_;        // e^(-2 pi i k / (maxLength/2)), k <= 3 maxLength/8
    std::vector<double> twiddleIm_;
    std::vector<double> splitRe_;          // e^(-2 pi i k / maxLength), k <= maxLength/2
    std::vector<double> splitIm_;
    std::vector<std::uint32_t> bitReverse_;  // over log2(maxLength/2) bits
    std::vector<double> spanTwiddles_;       // the radix-4 passes' turns, per span
    std::vector<double> workRe_;
    std::vector<double> workIm_;
};

}  // namespace varmolen
