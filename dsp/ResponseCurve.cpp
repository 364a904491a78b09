#include "dsp/ResponseCurve.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace varmolen {

namespace {

// Points the log axis is cut into at most, whatever the ends asked for.
constexpr double kMaxIntervals = 100000.0;
// The smallest power a smoothed magnitude reads (-400 dB), so that a band of
// silence stays a finite number.
constexpr double kLeastPower = 1e-40;
constexpr double kPi = 3.14159265358979323846;

double wrapDegrees(double d) { return d - 360.0 * std::round(d / 360.0); }

}  // namespace

std::vector<double> logFrequencies(double startHz, double stopHz, int pointsPerOctave)
{
    if (!(startHz > 0.0) || !(stopHz >= startHz) || !std::isfinite(stopHz))
        return {};
    if (stopHz == startHz)
        return {startHz};
    const int perOctave = std::clamp(pointsPerOctave, 1, 96);
    const double octaves = std::log2(stopHz / startHz);
    const double intervals = std::max(1.0, std::ceil(octaves * perOctave - 1e-9));
    if (intervals > kMaxIntervals)
        return {};
    const auto count = static_cast<std::size_t>(intervals);
    std::vector<double> hz(count + 1);
    for (std::size_t i = 0; i < count; ++i)
        hz[i] = startHz * std::exp2(octaves * static_cast<double>(i) / intervals);
    hz[count] = stopHz;
    return hz;
}

void unwrapPhase(std::vector<double>& degrees, std::size_t anchor)
{
    if (anchor >= degrees.size())
        return;
    for (std::size_t i = anchor + 1; i < degrees.size(); ++i)
        degrees[i] = degrees[i - 1] + wrapDegrees(degrees[i] - degrees[i - 1]);
    for (std::size_t i = anchor; i > 0; --i)
        degrees[i - 1] = degrees[i] + wrapDegrees(degrees[i - 1] - degrees[i]);
}

void computeGroupDelays(std::vector<ResponsePoint>& points)
{
    const std::size_t n = points.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t a = i > 0 ? i - 1 : i;
        const std::size_t b = i + 1 < n ? i + 1 : i;
        const double df = points[b].hz - points[a].hz;
        points[i].groupDelayMs = df != 0.0 ? -(points[b].phaseDeg - points[a].phaseDeg) / (360.0 * df) * 1000.0 : 0.0;
    }
}

std::vector<ResponsePoint> divideResponse(const std::vector<ResponsePoint>& measured,
                                          const std::vector<ResponsePoint>& reference)
{
    if (reference.empty())
        return {};
    for (std::size_t i = 0; i < reference.size(); ++i)
        if (!(reference[i].hz > 0.0) || (i > 0 && !(reference[i].hz > reference[i - 1].hz)))
            return {};
    // Frequencies this close to an end of the reference count as inside it.
    constexpr double kEdge = 1e-9;
    const double low = reference.front().hz * (1.0 - kEdge);
    const double high = reference.back().hz * (1.0 + kEdge);
    std::vector<ResponsePoint> out;
    out.reserve(measured.size());
    for (const ResponsePoint& m : measured) {
        if (!(m.hz >= low && m.hz <= high))
            continue;
        // The reference's segment holding m.hz, and where on it m.hz lies on a log axis.
        const auto above = std::upper_bound(reference.begin(), reference.end(), m.hz,
                                            [](double hz, const ResponsePoint& p) { return hz < p.hz; });
        const std::size_t b = std::clamp<std::size_t>(static_cast<std::size_t>(above - reference.begin()), 1,
                                                      std::max<std::size_t>(reference.size() - 1, 1));
        const ResponsePoint& p = reference[reference.size() > 1 ? b - 1 : 0];
        const ResponsePoint& q = reference[reference.size() > 1 ? b : 0];
        const double span = std::log(q.hz / p.hz);
        const double u = span > 0.0 ? std::clamp(std::log(m.hz / p.hz) / span, 0.0, 1.0) : 0.0;
        const auto at = [u](double x, double y) { return x + (y - x) * u; };
        out.push_back({m.hz, m.magnitudeDb - at(p.magnitudeDb, q.magnitudeDb), m.phaseDeg - at(p.phaseDeg, q.phaseDeg),
                       m.groupDelayMs - at(p.groupDelayMs, q.groupDelayMs)});
    }
    return out;
}

std::vector<ResponsePoint> smoothResponse(const std::vector<ResponsePoint>& points, int octaveFraction)
{
    if (octaveFraction <= 0 || points.size() < 2)
        return points;
    const double lowest = points.front().hz;
    const double highest = points.back().hz;
    std::vector<ResponsePoint> out = points;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double centre = points[i].hz;
        if (!(centre > 0.0) || !(lowest > 0.0))
            continue;
        // Half the width in octaves, narrowed near the ends so that the
        // window stays centred.
        const double halfWidth =
            std::min({0.5 / octaveFraction, std::log2(centre / lowest), std::log2(highest / centre)}) + 1e-9;
        const double from = centre * std::exp2(-halfWidth);
        const double to = centre * std::exp2(halfWidth);
        const auto byHz = [](const ResponsePoint& p, double hz) { return p.hz < hz; };
        const auto first =
            static_cast<std::size_t>(std::lower_bound(points.begin(), points.end(), from, byHz) - points.begin());
        double power = 0.0;
        std::complex<double> sum = 0.0;
        std::size_t count = 0;
        for (std::size_t j = first; j < points.size() && points[j].hz <= to; ++j, ++count) {
            const double amplitude = std::pow(10.0, points[j].magnitudeDb / 20.0);
            power += amplitude * amplitude;
            sum += std::polar(amplitude, (points[j].phaseDeg - points[i].phaseDeg) * kPi / 180.0);
        }
        if (count == 0)
            continue;
        out[i].magnitudeDb = 10.0 * std::log10(std::max(power / static_cast<double>(count), kLeastPower));
        out[i].phaseDeg = points[i].phaseDeg + (std::abs(sum) > 0.0 ? std::arg(sum) * 180.0 / kPi : 0.0);
    }
    computeGroupDelays(out);
    return out;
}

}  // namespace varmolen
