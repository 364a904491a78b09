#include "display/SpectrumAnalyser.h"

#include <algorithm>
#include <array>
#include <span>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <numbers>

#include "display/AxisTicks.h"
#include "display/DisplayScale.h"
#include "display/MarkerReadouts.h"
#include "display/SpectrogramRenderer.h"

namespace varmolen {

namespace {

constexpr double kLastColumn = 512.0;
// The level axis's ten divisions of 34 rows.
constexpr double kLevelRows = 340.0;
constexpr int kBottomRow = 342;
// dBu against dBV: 0 dBu is 0.7746 V (1 mW in 600 ohms).
constexpr double kDbuOverDbv = 2.2184874961635637;

const AnalyserSettings& settingsOf(const InstrumentSettings& s) { return s.features.analyser; }

// The rate the picture's frames were recorded at, or the rate in force before the first.
std::uint32_t pictureRate(const InstrumentSettings& s, const InstrumentView& view)
{
    return view.analyser.valid && view.analyser.rate != 0 ? view.analyser.rate : s.sampleRate;
}

std::int32_t pictureLength(const InstrumentSettings& s, const InstrumentView& view)
{
    return view.analyser.valid && view.analyser.length != 0 ? view.analyser.length : settingsOf(s).length;
}

// The largest analysis length the record can hold, at most `length`.
std::int32_t lengthTheRecordHolds(std::int32_t length, std::size_t capacity)
{
    while (length > kAnalysisMinLength && static_cast<std::size_t>(length) > capacity)
        length /= 2;
    return length;
}

// Frames between two transforms: a quarter of the length, at most a tenth of a second.
std::int64_t hopFrames(std::int32_t length, std::uint32_t rate)
{
    return std::max<std::int64_t>(1, std::min<std::int64_t>(length / 4, rate / 10));
}

// The row (fractional, 0 at the top) of a level on the level axis.
double levelRow(const AnalyserSettings& a, double db) { return (a.topDb - db) / a.rangeDb * kLevelRows; }

// The columns pixel x covers on a display `width` pixels wide.
struct PixelColumns {
    double from;
    double to;
};
PixelColumns pixelColumns(int x, int width)
{
    const double perPixel = width > 1 ? kLastColumn / (width - 1) : kLastColumn;
    return {(x - 0.5) * perPixel, (x + 0.5) * perPixel};
}

std::vector<Band>& bandScratch()
{
    // The bands of the axis, formed at every pass: room for the narrowest
    // bands over the widest axis, taken once.
    static thread_local std::vector<Band> bands = [] {
        std::vector<Band> v;
        v.reserve(512);
        return v;
    }();
    return bands;
}

// Each band of `axis` that channel n's spectrum reaches, with its level in
// the level axis's unit (a band is a power, so dBFS/Hz reads dBFS there):
// fn(band, levelDb). False when the channel has no spectrum.
template <typename Fn>
bool forEachBand(const InstrumentSettings& s, const AnalyserPicture& p, const FrequencyAxis& axis, int n, Fn fn)
{
    const auto index = static_cast<std::size_t>(n == 1 ? 0 : 1);
    const double bin = p.binHz();
    std::vector<Band>& bands = bandScratch();
    if (!p.taken[index] || p.power[index].empty() || !(bin > 0.0) ||
        !fractionalOctaveBands(settingsOf(s).bands, std::max(axis.lowHz, bin), axis.highHz, bands))
        return false;
    const LevelUnit unit = levelUnit(s, p, n);
    const double offset = unit.density ? 0.0 : unit.offsetDb;
    for (const Band& band : bands)
        fn(band,
           powerDbfs(bandPower(p.power[index], bin, p.enbwBins, band.lowHz, band.highHz, settingsOf(s).weighting)) +
               offset);
    return true;
}

}  // namespace

bool analyserShown(const InstrumentSettings& s)
{
    return s.displayType == kFrequencyDisplayType && analyserChosen(settingsOf(s));
}

double FrequencyAxis::hzAt(double column) const
{
    const double t = column / kLastColumn;
    if (log)
        return lowHz * std::pow(highHz / lowHz, t);
    return lowHz + (highHz - lowHz) * t;
}

double FrequencyAxis::columnOf(double hz) const
{
    if (log)
        return hz > 0.0 ? kLastColumn * std::log(hz / lowHz) / std::log(highHz / lowHz)
                        : -std::numeric_limits<double>::infinity();
    return kLastColumn * (hz - lowHz) / (highHz - lowHz);
}

FrequencyAxis settingsAxis(const AnalyserSettings& a, std::uint32_t rate, std::int32_t length)
{
    const double nyquist = rate > 0 ? rate / 2.0 : 22050.0;
    const double bin = 2.0 * nyquist / std::max(length, kAnalysisMinLength);
    FrequencyAxis axis;
    axis.log = a.logFrequency;
    double low = a.startHz;
    double high = a.stopHz > 0.0 ? std::min(a.stopHz, nyquist) : nyquist;
    if (axis.log)
        low = std::max(low > 0.0 ? low : kLogAxisStartDefault, bin);
    if (!(low < high))
        low = axis.log ? std::min(bin, high / 2.0) : 0.0;
    axis.lowHz = low;
    axis.highHz = high;
    return axis;
}

FrequencyAxis baseAxis(const InstrumentSettings& s, const InstrumentView& view)
{
    return settingsAxis(settingsOf(s), pictureRate(s, view), pictureLength(s, view));
}

FrequencyAxis shownAxis(const InstrumentSettings& s, const InstrumentView& view)
{
    const FrequencyAxis axis = baseAxis(s, view);
    const bool expanded = view.expanded == 1 && s.marker1Enabled == 1 && s.marker2Enabled == 1;
    if (!expanded || s.marker2Pos <= s.marker1Pos)
        return axis;
    FrequencyAxis stretch = axis;
    stretch.lowHz = axis.hzAt(std::clamp(s.marker1Pos, 0, 512));
    stretch.highHz = axis.hzAt(std::clamp(s.marker2Pos, 0, 512));
    if (stretch.log && !(stretch.lowHz > 0.0))
        return axis;
    return stretch;
}

LevelUnit levelUnit(const InstrumentSettings& s, const AnalyserPicture& picture, int n)
{
    LevelUnit unit;
    const std::int32_t chosen = settingsOf(s).unit;
    if (chosen == kDbfsPerHzUnit) {
        unit.name = "dBFS/Hz";
        unit.density = true;
        const double perBin = picture.enbwBins * picture.binHz();
        unit.offsetDb = perBin > 0.0 ? -10.0 * std::log10(perBin) : 0.0;
        return unit;
    }
    const double volts = s.features.fullScaleVolts[n == 1 ? 0 : 1];
    if ((chosen == kDbvUnit || chosen == kDbuUnit) && volts > 0.0) {
        // A full-scale sine's RMS voltage.
        unit.offsetDb = 20.0 * std::log10(volts / std::numbers::sqrt2);
        unit.name = "dBV";
        if (chosen == kDbuUnit) {
            unit.offsetDb += kDbuOverDbv;
            unit.name = "dBu";
        }
    }
    return unit;
}

std::optional<double> columnLevel(const InstrumentSettings& s, const AnalyserPicture& picture,
                                  const FrequencyAxis& axis, int n, double from, double to)
{
    const auto index = static_cast<std::size_t>(n == 1 ? 0 : 1);
    const std::vector<float>& power = picture.power[index];
    const double bin = picture.binHz();
    if (!picture.taken[index] || power.empty() || !(bin > 0.0))
        return std::nullopt;
    double f0 = axis.hzAt(std::max(from, 0.0));
    double f1 = axis.hzAt(std::min(to, kLastColumn));
    if (f1 < f0)
        std::swap(f0, f1);
    const auto last = static_cast<std::int64_t>(power.size()) - 1;
    const std::int64_t k0 = std::max<std::int64_t>(0, static_cast<std::int64_t>(std::ceil(f0 / bin)));
    const std::int64_t k1 = std::min<std::int64_t>(last, static_cast<std::int64_t>(std::ceil(f1 / bin)) - 1);
    double value = 0.0;
    if (k0 <= k1) {
        // The strongest bin the column covers.
        float strongest = power[static_cast<std::size_t>(k0)];
        for (std::int64_t k = k0 + 1; k <= k1; ++k)
            strongest = std::max(strongest, power[static_cast<std::size_t>(k)]);
        value = powerDbfs(strongest);
    } else {
        // Narrower than a bin: between the two bins around its middle, in dB.
        const double x = std::clamp((f0 + f1) / 2.0 / bin, 0.0, static_cast<double>(last));
        const auto k = std::min<std::int64_t>(static_cast<std::int64_t>(x), std::max<std::int64_t>(last - 1, 0));
        const double t = x - static_cast<double>(k);
        const double a = powerDbfs(power[static_cast<std::size_t>(k)]);
        const double b = powerDbfs(power[static_cast<std::size_t>(std::min(k + 1, last))]);
        value = a + (b - a) * t;
    }
    return value + levelUnit(s, picture, n).offsetDb;
}

bool analyserPoints(const InstrumentSettings& s, const InstrumentView& view, int n, std::vector<float>& hz,
                    std::vector<float>& levels)
{
    hz.clear();
    levels.clear();
    const AnalyserPicture& p = view.analyser;
    const auto index = static_cast<std::size_t>(n == 1 ? 0 : 1);
    const double bin = p.binHz();
    if (!p.valid || !p.taken[index] || p.power[index].empty() || !(bin > 0.0))
        return false;
    const FrequencyAxis axis = shownAxis(s, view);
    const LevelUnit unit = levelUnit(s, p, n);
    if (settingsOf(s).bands != 0)
        return forEachBand(s, p, axis, n, [&](const Band& band, double db) {
            hz.push_back(static_cast<float>(band.centreHz));
            levels.push_back(static_cast<float>(db));
        });
    const auto last = static_cast<std::int64_t>(p.power[index].size()) - 1;
    const auto from = std::max<std::int64_t>(0, static_cast<std::int64_t>(std::ceil(axis.lowHz / bin - 1e-9)));
    const auto to = std::min<std::int64_t>(last, static_cast<std::int64_t>(std::floor(axis.highHz / bin + 1e-9)));
    for (std::int64_t k = from; k <= to; ++k) {
        hz.push_back(static_cast<float>(k * bin));
        levels.push_back(static_cast<float>(powerDbfs(p.power[index][static_cast<std::size_t>(k)]) + unit.offsetDb));
    }
    return true;
}

AnalyserSweep::AnalyserSweep() = default;

void AnalyserSweep::takeShape(AnalyserPicture& p) const
{
    const auto bins = static_cast<std::size_t>(transform_.bins());
    for (int c = 0; c < 2; ++c) {
        p.power[c].assign(bins, 0.0f);
        p.average[c].assign(bins, 0.0f);
        p.peak[c].assign(bins, 0.0f);
    }
    p.averaged = {};
    p.held = {};
    p.length = transform_.length();
    p.window = transform_.window();
    p.enbwBins = transform_.shape().enbwBins();
}

bool AnalyserSweep::prepare(const InstrumentSettings& s, InstrumentView& view, std::uint32_t rate, std::size_t capacity)
{
    AnalyserPicture& p = view.analyser;
    // A record shorter than the length chosen: the longest it holds.
    const std::int32_t length = lengthTheRecordHolds(settingsOf(s).length, capacity);
    const AnalysisWindow window = settingsOf(s).window;
    if (transform_.length() != length || transform_.window() != window) {
        if (!transform_.prepare(length, window))
            return false;
        takeShape(p);
        p.taken = {};
        p.valid = false;
    }
    if (p.rate != rate) {
        restart(view);
        p.rate = rate;
        p.end = -1;
        p.valid = false;
    }
    return true;
}

void AnalyserSweep::transformChannels(const InstrumentSettings& s, InstrumentView& view)
{
    AnalyserPicture& p = view.analyser;
    const std::int32_t blocks = s.features.spectrumAverage;
    for (int n : {1, 2}) {
        const auto c = static_cast<std::size_t>(n - 1);
        if (!channelSettings(s, n).on()) {
            p.taken[c] = false;
            continue;
        }
        std::vector<float>& power = p.power[c];
        transform_.power(frames_[c].data(), dc_[c], power);
        p.taken[c] = true;
        if (blocks > 0) {
            // Exponential on power: the first transforms evenly, then each a 1/blocks share.
            std::vector<float>& average = p.average[c];
            p.averaged[c] = std::min(p.averaged[c] + 1, blocks);
            const float weight = 1.0f / static_cast<float>(p.averaged[c]);
            for (std::size_t k = 0; k < power.size(); ++k) {
                average[k] += (power[k] - average[k]) * weight;
                power[k] = average[k];
            }
        } else {
            p.averaged[c] = 0;
        }
        if (s.features.peakHold) {
            std::vector<float>& peak = p.peak[c];
            if (p.held[c] == 0)
                std::copy(power.begin(), power.end(), peak.begin());
            for (std::size_t k = 0; k < power.size(); ++k) {
                peak[k] = std::max(peak[k], power[k]);
                power[k] = peak[k];
            }
            ++p.held[c];
        } else {
            p.held[c] = 0;
        }
    }
}

bool AnalyserSweep::advance(const InstrumentSettings& s, InstrumentView& view, const SampleRing& ring,
                            std::array<float, 2> dcLevels, int width)
{
    if (!analyserShown(s) || ring.rate() == 0)
        return false;
    const std::uint32_t rate = ring.rate();
    if (!prepare(s, view, rate, ring.capacity()))
        return false;
    AnalyserPicture& p = view.analyser;
    const std::int32_t length = p.length;
    const std::int64_t end = ring.end();
    if (end - ring.oldest() < length)
        return false;  // the record does not hold a whole transform yet
    if (p.end >= 0 && end >= p.end && end - p.end < hopFrames(length, rate))
        return false;
    for (int c = 0; c < 2; ++c) {
        if (frames_[c].size() < static_cast<std::size_t>(length))
            frames_[c].resize(static_cast<std::size_t>(length));
        ring.copy(c + 1, end - length, static_cast<std::size_t>(length), frames_[c].data());
    }
    framesLength_ = length;
    dc_ = dcLevels;
    p.end = end;
    p.seconds = static_cast<double>(end) / rate;
    transformChannels(s, view);
    p.valid = true;
    if (settingsOf(s).spectrogram)
        addSpectrogramRows(s, view, width);
    return true;
}

bool AnalyserSweep::retake(const InstrumentSettings& s, InstrumentView& view)
{
    AnalyserPicture& p = view.analyser;
    if (!p.valid || !analyserShown(s))
        return false;
    const std::int32_t length = settingsOf(s).length;
    if ((length == p.length && settingsOf(s).window == p.window) || length > framesLength_)
        return false;
    if (!transform_.prepare(length, settingsOf(s).window))
        return false;
    // The newest `length` of the frames kept.
    const std::size_t skip = static_cast<std::size_t>(framesLength_ - length);
    takeShape(p);
    for (int c = 0; c < 2; ++c) {
        if (p.taken[c])
            transform_.power(frames_[c].data() + skip, dc_[c], p.power[c]);
    }
    return true;
}

void AnalyserSweep::restart(InstrumentView& view)
{
    AnalyserPicture& p = view.analyser;
    p.averaged = {};
    p.held = {};
    for (SpectrogramHistory& h : p.spectrogram)
        h.clear();
}

void AnalyserSweep::addSpectrogramRows(const InstrumentSettings& s, InstrumentView& view, int displayWidth)
{
    AnalyserPicture& p = view.analyser;
    // A row holds the image's pixel columns: each the frequencies of the
    // same pixel of the display's axis (the colour bar covers its top end).
    const int width = std::max(spectrogramImageWidth(displayWidth), 1);
    const FrequencyAxis axis = shownAxis(s, view);
    if (width != rowsWidth_ || axis != rowsAxis_ || p.length != rowsLength_ || p.window != rowsWindow_ ||
        settingsOf(s).unit != rowsUnit_) {
        // Rows enough for the history shown at the rate transforms are taken
        // (no faster than the blocks arrive).
        const double perSecond = static_cast<double>(p.rate) /
                                 static_cast<double>(std::max<std::int64_t>(hopFrames(p.length, p.rate), 1024));
        const int rows = static_cast<int>(std::ceil(spectrogramSeconds() * perSecond)) + 4;
        for (SpectrogramHistory& h : p.spectrogram)
            h.reset(std::max(width, 1), rows);
        row_.assign(static_cast<std::size_t>(std::max(width, 1)), kNoSpectrogramLevel);
        rowsWidth_ = width;
        rowsAxis_ = axis;
        rowsLength_ = p.length;
        rowsWindow_ = p.window;
        rowsUnit_ = settingsOf(s).unit;
    }
    for (int n : {1, 2}) {
        if (!p.taken[static_cast<std::size_t>(n - 1)])
            continue;
        for (int x = 0; x < width; ++x) {
            const PixelColumns c = pixelColumns(x, displayWidth);
            row_[static_cast<std::size_t>(x)] =
                static_cast<float>(columnLevel(s, p, axis, n, c.from, c.to).value_or(kNoSpectrogramLevel));
        }
        p.spectrogram[static_cast<std::size_t>(n - 1)].append(row_.data(), p.seconds);
    }
}

std::optional<SpectrogramBand> spectrogramRows(const InstrumentSettings& s, int n)
{
    const bool one = s.chan1Enabled == 1;
    const bool two = s.chan2Enabled == 1;
    if (!channelSettings(s, n).on())
        return std::nullopt;
    if (one && two)
        return n == 1 ? SpectrogramBand{0, kDisplayRows / 2} : SpectrogramBand{kDisplayRows / 2 + 1, kDisplayRows};
    return SpectrogramBand{0, kDisplayRows};
}

double spectrogramSeconds() { return kSpectrogramSeconds; }

namespace {

void drawTrace(const InstrumentSettings& s, const InstrumentView& view, const FrequencyAxis& axis, Raster& r, int n)
{
    const AnalyserSettings& a = settingsOf(s);
    const bool fine = r.finerThanOwnSize();
    const int width = fine ? r.width() : kDisplayColumns;
    bool drawing = false;
    for (int x = 0; x < width; ++x) {
        const PixelColumns c = pixelColumns(x, width);
        const std::optional<double> level = columnLevel(s, view.analyser, axis, n, c.from, c.to);
        if (!level) {
            drawing = false;
            continue;
        }
        const double row = std::clamp(levelRow(a, *level), 0.0, static_cast<double>(kBottomRow));
        if (fine) {
            const long long fx = pixelToFineColumn(x, width);
            const auto fy = static_cast<long long>(std::lround(row * kFineSteps));
            drawing ? r.lineToFine(fx, fy) : r.moveToFine(fx, fy);
        } else {
            const int y = static_cast<int>(std::lround(row));
            drawing ? r.LineTo(x, y) : r.MoveTo(x, y);
        }
        drawing = true;
    }
}

void drawBands(const InstrumentSettings& s, const InstrumentView& view, const FrequencyAxis& axis, Raster& r, int n)
{
    const bool both = s.chan1Enabled == 1 && s.chan2Enabled == 1;
    forEachBand(s, view.analyser, axis, n, [&](const Band& band, double db) {
        const double row = std::clamp(levelRow(settingsOf(s), db), 0.0, kLevelRows);
        double left = std::clamp(axis.columnOf(band.lowHz), 0.0, kLastColumn);
        double right = std::clamp(axis.columnOf(band.highHz), 0.0, kLastColumn);
        if (both) {
            const double middle = (left + right) / 2.0;
            (n == 1 ? right : left) = middle;
        }
        const int x1 = static_cast<int>(std::lround(left)) + 1;
        const int x2 = std::max(static_cast<int>(std::lround(right)), x1 + 1);
        r.Rectangle(x1, static_cast<int>(std::lround(row)), x2, static_cast<int>(kLevelRows) + 1);
    });
}

}  // namespace

void drawAnalyser(const InstrumentSettings& s, const InstrumentView& view, Raster& r)
{
    const AnalyserSettings& a = settingsOf(s);
    const FrequencyAxis axis = shownAxis(s, view);
    for (int n : {1, 2}) {
        const auto channel = channelSettings(s, n);
        if (!channel.on())
            continue;
        const auto colour = static_cast<std::uint32_t>(static_cast<std::int32_t>(channel.color()));
        r.setPenColor(colour);
        r.setBrushColor(colour);
        if (a.spectrogram) {
            const std::optional<SpectrogramBand> rows = spectrogramRows(s, n);
            const SpectrogramHistory& history = view.analyser.spectrogram[static_cast<std::size_t>(n - 1)];
            if (rows && !history.empty())
                drawSpectrogram(r, history, static_cast<int>(rowToPixel(rows->top, r.height())),
                                static_cast<int>(rowToPixel(rows->bottom, r.height())), spectrogramSeconds(), a.topDb,
                                a.rangeDb);
        } else if (a.bands != 0) {
            drawBands(s, view, axis, r, n);
        } else {
            drawTrace(s, view, axis, r, n);
        }
    }
}

}  // namespace varmolen
