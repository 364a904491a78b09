#include "dsp/CycleTable.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <mutex>
#include <numbers>
#include <utility>

namespace varmolen {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// The fewest points a table has, and the fewest per cycle of its highest harmonic.
constexpr std::size_t kMinPoints = 4096;
constexpr std::size_t kPointsPerTopCycle = 12;
// The tables kept after their last user let go, by their bytes: enough for
// a frequency dial turned back and forth, little beside the program.
constexpr std::size_t kKeptBytes = std::size_t{8} << 20;

// y[n] = sum over k of c[k] e^(+2 pi i k n / N), in place, N a power of
// two: an iterative radix-2 transform with every twiddle computed directly,
// so that it keeps double precision at any length.
void synthesise(std::vector<double>& re, std::vector<double>& im)
{
    const std::size_t n = re.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }
    std::vector<double> cosines(n / 2), sines(n / 2);
    for (std::size_t k = 0; k < n / 2; ++k) {
        const double angle = kTwoPi * static_cast<double>(k) / static_cast<double>(n);
        cosines[k] = std::cos(angle);
        sines[k] = std::sin(angle);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const std::size_t half = len / 2, stride = n / len;
        for (std::size_t i = 0; i < n; i += len) {
            for (std::size_t j = 0; j < half; ++j) {
                const double wr = cosines[j * stride], wi = sines[j * stride];
                const std::size_t u = i + j, v = u + half;
                const double tr = re[v] * wr - im[v] * wi, ti = re[v] * wi + im[v] * wr;
                re[v] = re[u] - tr;
                im[v] = im[u] - ti;
                re[u] += tr;
                im[u] += ti;
            }
        }
    }
}

// The cut series and its first two derivatives at `t` (in cycles).
struct SeriesPoint {
    double value = 0.0, slope = 0.0, curve = 0.0;
};
SeriesPoint seriesAt(CycleShape shape, int harmonics, double t)
{
    SeriesPoint s;
    for (int k = 1; k <= harmonics; ++k) {
        const double c = cycleCoefficient(shape, k);
        if (c == 0.0)
            continue;
        const double w = kTwoPi * k;
        const double angle = kTwoPi * std::fmod(static_cast<double>(k) * t, 1.0);
        const double sn = std::sin(angle), cs = std::cos(angle);
        s.value += c * sn;
        s.slope += c * w * cs;
        s.curve -= c * w * w * sn;
    }
    return s;
}

// The largest |series| near the table's largest point `t0`, `step` cycles
// apart from its neighbours: the root of the slope between them, by Newton's
// method kept inside that bracket (by halving where it would leave it).
double truePeak(CycleShape shape, int harmonics, double t0, double step, double gridPeak)
{
    double lo = t0 - step, hi = t0 + step;
    double slopeLo = seriesAt(shape, harmonics, lo).slope;
    if ((slopeLo > 0.0) == (seriesAt(shape, harmonics, hi).slope > 0.0))
        return gridPeak;  // no turn between the neighbours: the point is the peak
    double t = t0;
    // A millionth of a point from the peak is far closer than needed: the
    // value there is off by the square of that, relative.
    const double enough = 1e-6 * step;
    for (int i = 0; i < 60 && hi - lo > enough; ++i) {
        const SeriesPoint s = seriesAt(shape, harmonics, t);
        if ((s.slope > 0.0) == (slopeLo > 0.0))
            lo = t;
        else
            hi = t;
        double next = s.curve != 0.0 ? t - s.slope / s.curve : 0.5 * (lo + hi);
        if (!(next > lo && next < hi))
            next = 0.5 * (lo + hi);
        if (std::abs(next - t) < enough)
            break;
        t = next;
    }
    return std::max(gridPeak, std::abs(seriesAt(shape, harmonics, t).value));
}

}  // namespace

int harmonicsBelowHalfRate(double hz, double rate)
{
    if (!(hz > 0.0) || !(rate > 0.0))
        return 1;
    const double count = std::ceil(0.5 * rate / hz) - 1.0;  // the largest k with k * hz < rate / 2
    if (!(count >= 1.0))
        return 1;
    return count >= kMaxCycleHarmonics ? kMaxCycleHarmonics : static_cast<int>(count);
}

int tableHarmonics(CycleShape shape, double hz, double rate)
{
    const int harmonics = harmonicsBelowHalfRate(hz, rate);
    return shape != CycleShape::Sawtooth && harmonics % 2 == 0 ? harmonics - 1 : harmonics;
}

double cycleCoefficient(CycleShape shape, int k)
{
    const double kd = k;
    switch (shape) {
        case CycleShape::Square:
            return k % 2 == 1 ? 4.0 / (std::numbers::pi * kd) : 0.0;
        case CycleShape::Triangle:
            return k % 2 == 1 ? ((k / 2) % 2 == 0 ? 8.0 : -8.0) / (std::numbers::pi * std::numbers::pi * kd * kd) : 0.0;
        case CycleShape::Sawtooth:
            return (k % 2 == 1 ? 2.0 : -2.0) / (std::numbers::pi * kd);
    }
    return 0.0;
}

CycleTable::CycleTable(CycleShape shape, int harmonics)
    : shape_(shape), harmonics_(std::clamp(harmonics, 1, kMaxCycleHarmonics))
{
    size_ = kMinPoints;
    while (size_ < kPointsPerTopCycle * static_cast<std::size_t>(harmonics_))
        size_ *= 2;
    // The sum over k of c_k sin(2 pi k n / N) is the imaginary part of the
    // transform of c_k placed at bin k.
    std::vector<double> re(size_, 0.0), im(size_, 0.0);
    for (int k = 1; k <= harmonics_; ++k)
        re[static_cast<std::size_t>(k)] = cycleCoefficient(shape_, k);
    synthesise(re, im);
    re.clear();
    re.shrink_to_fit();

    const auto top =
        std::max_element(im.begin(), im.end(), [](double a, double b) { return std::abs(a) < std::abs(b); });
    const double step = 1.0 / static_cast<double>(size_);
    seriesPeak_ = truePeak(shape_, harmonics_, static_cast<double>(top - im.begin()) * step, step, std::abs(*top));

    const double scale = 1.0 / seriesPeak_;
    points_.resize(size_ + 7);
    for (std::size_t j = 0; j < points_.size(); ++j)
        points_[j] = scale * im[(j + size_ - 3) % size_];
}

namespace {

struct TableKey {
    CycleShape shape;
    int harmonics;
    auto operator<=>(const TableKey&) const = default;
};

// Every table still in use by someone, and the latest ones let go.
struct TableCache {
    std::mutex mutex;
    std::map<TableKey, std::weak_ptr<const CycleTable>> tables;
    std::deque<std::shared_ptr<const CycleTable>> kept;
    std::size_t keptBytes = 0;

    void keep(const std::shared_ptr<const CycleTable>& table)
    {
        kept.push_front(table);
        keptBytes += table->size() * sizeof(double);
        while (keptBytes > kKeptBytes && kept.size() > 1) {
            keptBytes -= kept.back()->size() * sizeof(double);
            kept.pop_back();
        }
        std::erase_if(tables, [](const auto& entry) { return entry.second.expired(); });
    }
};

}  // namespace

std::shared_ptr<const CycleTable> cycleTable(CycleShape shape, double hz, double rate)
{
    static TableCache cache;
    const TableKey key{shape, tableHarmonics(shape, hz, rate)};
    {
        std::lock_guard lock(cache.mutex);
        const auto found = cache.tables.find(key);
        if (found != cache.tables.end()) {
            if (auto table = found->second.lock())
                return table;
        }
    }
    auto built = std::make_shared<const CycleTable>(shape, key.harmonics);
    std::lock_guard lock(cache.mutex);
    std::weak_ptr<const CycleTable>& slot = cache.tables[key];
    if (auto other = slot.lock())
        return other;  // another thread built it meanwhile
    slot = built;
    cache.keep(built);
    return built;
}

}  // namespace varmolen
