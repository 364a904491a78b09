#include "dsp/SpectrumAnalysis.h"

#include <fftw3.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <mutex>

#include "dsp/SpectrumKernel.h"

namespace varmolen {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Hann, w = 0.5 - 0.5 cos(a).
constexpr std::array<double, 2> kHann = {0.5, 0.5};
// The five-term flat top of common analysers: w = a0 - a1 cos(a) + a2
// cos(2a) - a3 cos(3a) + a4 cos(4a); its passband is flat within a few
// thousandths of a dB across a bin.
constexpr std::array<double, 5> kFlatTop = {0.21557895, 0.41663158, 0.277263158, 0.083578947, 0.006947368};

constexpr std::size_t at(int i) { return static_cast<std::size_t>(i); }

// The periodic cosine-sum window with terms a[m], signs alternating, in
// double precision, over `length` points.
template <std::size_t Terms>
void fillCosineSum(const std::array<double, Terms>& a, std::span<float> out, int length)
{
    for (int t = 0; t < length; ++t) {
        const double angle = 2.0 * kPi * t / length;
        double w = 0.0;
        for (std::size_t m = 0; m < Terms; ++m)
            w += (m % 2 == 0 ? a[m] : -a[m]) * std::cos(static_cast<double>(m) * angle);
        out[at(t)] = static_cast<float>(w);
    }
}

// FFTW's planner (making and destroying plans) is not safe to call from two
// threads at once; the transforms themselves are.
std::mutex& plannerLock()
{
    static std::mutex lock;
    return lock;
}

// The frequency weightings' poles, in Hz, and their gains at 1 kHz.
constexpr double kPole1 = 20.598997;  // 20.6
constexpr double kPole2 = 107.65265;  // 107.7
constexpr double kPole3 = 737.86223;  // 737.9
constexpr double kPole4 = 12194.217;  // 12194
constexpr double kA1000Db = -2.000;
constexpr double kC1000Db = -0.062;

// The weighting's gain as a factor on power (the square of its response),
// with its value at 1 kHz taken out: 10^(weightingDb / 10).
double weightingPowerGain(Weighting weighting, double hz)
{
    if (weighting != Weighting::A && weighting != Weighting::C)
        return 1.0;
    if (!(hz > 0.0))
        return 0.0;
    const double f2 = hz * hz;
    const double p1 = kPole1 * kPole1;
    const double p4 = kPole4 * kPole4;
    if (weighting == Weighting::C) {
        const double r = p4 * f2 / ((f2 + p1) * (f2 + p4));
        return r * r * std::pow(10.0, -kC1000Db / 10.0);
    }
    const double p2 = kPole2 * kPole2;
    const double p3 = kPole3 * kPole3;
    // R_A^2 = p4^2 f^8 / ((f^2 + p1)^2 (f^2 + p2) (f^2 + p3) (f^2 + p4)^2).
    const double r = p4 * f2 * f2 / ((f2 + p1) * (f2 + p4));
    return r * r / ((f2 + p2) * (f2 + p3)) * std::pow(10.0, -kA1000Db / 10.0);
}

constexpr double kFloorDb = -400.0;

}  // namespace

void fillAnalysisWindow(AnalysisWindow window, std::span<float> out, int length)
{
    if (length < 1 || out.size() < at(length))
        return;
    switch (window) {
        case AnalysisWindow::Specified:
            // The display's table has length + 1 entries; its last repeats the first.
            if (out.size() > at(length)) {
                fillWindowTable(out.first(at(length) + 1), length);
            } else {
                std::vector<float> table(at(length) + 1);
                fillWindowTable(std::span<float>(table), length);
                std::copy_n(table.begin(), length, out.begin());
            }
            return;
        case AnalysisWindow::Rectangular:
            std::fill_n(out.begin(), length, 1.0f);
            return;
        case AnalysisWindow::Hann:
            fillCosineSum(kHann, out, length);
            return;
        case AnalysisWindow::BlackmanHarris:
            fillCosineSum(std::to_array(kBlackmanHarris), out, length);
            return;
        case AnalysisWindow::FlatTop:
            fillCosineSum(kFlatTop, out, length);
            return;
    }
}

WindowShape windowShape(std::span<const float> window, int length)
{
    WindowShape shape;
    shape.length = std::clamp(length, 0, static_cast<int>(std::min<std::size_t>(window.size(), 1u << 30)));
    for (int t = 0; t < shape.length; ++t) {
        const double w = window[at(t)];
        shape.sum += w;
        shape.sumSquares += w * w;
    }
    return shape;
}

// The arrays FFTW works in (its own allocation, aligned for its vector code)
// and the plan that transforms one into the other.
struct SpectrumTransform::Plan {
    float* in = nullptr;           // `length` values
    fftwf_complex* out = nullptr;  // length / 2 + 1 values
    fftwf_plan plan = nullptr;

    explicit Plan(int length)
    {
        const std::lock_guard<std::mutex> guard(plannerLock());
        in = fftwf_alloc_real(at(length));
        out = fftwf_alloc_complex(at(length / 2 + 1));
        // power() fills `in` afresh every time, so FFTW may overwrite it.
        if (in != nullptr && out != nullptr)
            plan = fftwf_plan_dft_r2c_1d(length, in, out, FFTW_ESTIMATE | FFTW_DESTROY_INPUT);
    }
    ~Plan()
    {
        const std::lock_guard<std::mutex> guard(plannerLock());
        if (plan != nullptr)
            fftwf_destroy_plan(plan);
        fftwf_free(in);
        fftwf_free(out);
    }
    Plan(const Plan&) = delete;
    Plan& operator=(const Plan&) = delete;
};

SpectrumTransform::SpectrumTransform() = default;
SpectrumTransform::~SpectrumTransform() = default;

bool SpectrumTransform::prepare(int length, AnalysisWindow window)
{
    if (!isAnalysisLength(length) || static_cast<std::int32_t>(window) < 0 ||
        static_cast<std::int32_t>(window) >= kAnalysisWindowCount)
        return false;
    // Planning with FFTW_ESTIMATE does not touch the arrays, and no measuring
    // run delays the start.
    auto plan = std::make_unique<Plan>(length);
    if (plan->plan == nullptr)
        return false;
    // One entry more than the window: room for the display's table to end
    // as it always does, so that no copy is needed.
    std::vector<float> table(at(length) + 1, 0.0f);
    fillAnalysisWindow(window, table, length);
    plan_ = std::move(plan);
    windowTable_ = std::move(table);
    shape_ = windowShape(windowTable_, length);
    length_ = length;
    window_ = window;
    return true;
}

bool SpectrumTransform::power(const float* x, float offset, std::span<float> out)
{
    if (plan_ == nullptr || x == nullptr || out.size() < at(bins()) || shape_.sum <= 0.0)
        return false;
    float* in = plan_->in;
    const float* w = windowTable_.data();
    for (int t = 0; t < length_; ++t)
        in[t] = (x[t] - offset) * w[t];
    fftwf_execute(plan_->plan);

    // A sine of amplitude A on bin k gives |X[k]| = A sum(w) / 2: its power
    // reads A^2. DC and Nyquist are real and have no mirror image: a constant
    // c gives X[0] = c sum(w) and reads c^2, its mean square (half what a sine
    // of the same mean square reads). A band holding bin 0 reads a constant
    // between c^2 and 2 c^2, by the window's lobe beside it.
    const fftwf_complex* bin = plan_->out;
    const int half = length_ / 2;
    const double scale = 4.0 / (shape_.sum * shape_.sum);
    for (int k = 1; k < half; ++k) {
        const double re = bin[k][0];
        const double im = bin[k][1];
        out[at(k)] = static_cast<float>((re * re + im * im) * scale);
    }
    const double dc = bin[0][0] / shape_.sum;
    const double nyquist = bin[half][0] / shape_.sum;
    out[0] = static_cast<float>(dc * dc);
    out[at(half)] = static_cast<float>(nyquist * nyquist);
    return true;
}

double powerDbfs(double power)
{
    if (!(power > 0.0))
        return kFloorDb;
    return std::max(kFloorDb, 10.0 * std::log10(power / (kAnalysisFullScale * kAnalysisFullScale)));
}

double weightingDb(Weighting weighting, double hz)
{
    const double gain = weightingPowerGain(weighting, hz);
    return gain > 0.0 ? std::max(kFloorDb, 10.0 * std::log10(gain)) : kFloorDb;
}

bool fractionalOctaveBands(int b, double fromHz, double toHz, std::vector<Band>& out)
{
    if (b != 1 && b != 3 && b != 6 && b != 12)
        return false;
    out.clear();
    if (!(fromHz > 0.0) || !(toHz >= fromHz) || !std::isfinite(toHz))
        return true;
    // Mid-band frequency 1000 G^(e / (2b)), e = 2x for odd b and 2x + 1 for
    // even b: whole steps of 1/b octave, the even ones offset by half a step.
    const double octave = 0.3 * std::log(10.0);  // ln G
    const double halfStep = octave / (2.0 * b);
    const int parity = b % 2 == 0 ? 1 : 0;
    // Within a millionth of a step of either end still counts, so that a
    // frequency written to a few digits keeps its own band.
    constexpr double kSlack = 1e-6;
    const double lowest = std::log(fromHz / 1000.0) / halfStep;
    const double highest = std::log(toHz / 1000.0) / halfStep;
    auto x = static_cast<long>(std::ceil((lowest - parity) / 2.0 - kSlack));
    const auto last = static_cast<long>(std::floor((highest - parity) / 2.0 + kSlack));
    for (; x <= last; ++x) {
        const double e = static_cast<double>(2 * x + parity);
        const double centre = 1000.0 * std::exp(e * halfStep);
        out.push_back({centre * std::exp(-halfStep), centre, centre * std::exp(halfStep)});
    }
    return true;
}

double bandPower(std::span<const float> power, double binHz, double enbwBins, double lowHz, double highHz,
                 Weighting weighting)
{
    if (!(binHz > 0.0) || !(enbwBins > 0.0) || power.empty() || !(highHz > lowHz))
        return 0.0;
    const double bins = static_cast<double>(power.size());
    // The first bin at or above lowHz, found by its own frequency k * binHz.
    auto k = static_cast<std::size_t>(std::clamp(std::ceil(lowHz / binHz), 0.0, bins));
    while (k > 0 && static_cast<double>(k - 1) * binHz >= lowHz)
        --k;
    while (k < power.size() && static_cast<double>(k) * binHz < lowHz)
        ++k;
    double sum = 0.0;
    for (; k < power.size(); ++k) {
        const double hz = static_cast<double>(k) * binHz;
        if (hz >= highHz)
            break;
        sum += static_cast<double>(power[k]) * weightingPowerGain(weighting, hz);
    }
    return sum / enbwBins;
}

}  // namespace varmolen
