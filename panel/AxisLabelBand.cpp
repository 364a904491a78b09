#include "panel/AxisLabelBand.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "display/ReadoutScales.h"
#include "display/DisplayScale.h"
#include "display/MeasurementReadouts.h"
#include "display/RecordTraces.h"
#include "display/SpectrogramRenderer.h"
#include "display/SpectrumAnalyser.h"
#include "panel/FrontPanel.h"

namespace varmolen {

namespace {

constexpr int kTickLength = 4;
constexpr int kLineHeight = 15;
// Room a frequency tick's text needs at most ("12.5 kHz"), in points.
constexpr int kFrequencyTextWidth = 64;

// A level step in dB: "12", "7.5".
std::string levelStepText(double db, char decimalSeparator)
{
    return fixedText(db, db == std::round(db) ? 0 : 1, decimalSeparator);
}

}  // namespace

QMargins AxisLabelBand::margins() { return {22, 0, 26, kTickLength + 2 * kLineHeight + 4}; }

AxisLabelBand::AxisLabelBand(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("AxisLabelBand"));
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    nameLabel(this, "AxisLabelBand", "Axis labels");
}

void AxisLabelBand::setDisplayRect(const QRect& box)
{
    box_ = box;
    formed_ = false;
    update();
}

void AxisLabelBand::refresh(const InstrumentState& s, char decimalSeparator)
{
    const bool time = s.displayType == kTimeDisplayType;
    const Inputs now{s.displayType,
                     s.traceMode,
                     s.backgroundScheme,
                     readoutRate(s, s),
                     s.span,
                     s.marker1Pos,
                     s.marker2Pos,
                     box_.width(),
                     s.expanded,
                     s.chan1Enabled,
                     s.chan2Enabled,
                     time ? s.chan1TimeGain : s.chan1FreqGain,
                     time ? s.chan2TimeGain : s.chan2FreqGain,
                     s.chan1Color,
                     s.chan2Color,
                     s.features.fullScaleVolts[0],
                     s.features.fullScaleVolts[1],
                     s.spectrumScale,
                     decimalSeparator,
                     recordPictureShown(s) ? recordPerDiv(s, s) : 0.0,
                     s.features.analyser,
                     s.analyser.length,
                     analyserShown(s)};
    if (formed_ && now == inputs_)
        return;
    formed_ = true;
    inputs_ = now;
    ticks_.clear();
    scales_.clear();
    sideLabels_.clear();
    scaleColours_.clear();
    background_ = backgroundColour(s.backgroundScheme);
    // The texts under the display in the colours of the strip below it.
    ink_ = s.backgroundScheme == kWhiteBackground ? colour::kRed : colour::kYellow;
    const bool xy = time && s.traceMode != kYtTraceMode;
    if (time && !xy) {
        ticks_ = timeTicks(s, s, decimalSeparator);
        unit_ = timeAxisUnit(s, s);
    } else if (now.analyserShown) {
        const int most = std::max(2, box_.width() / kFrequencyTextWidth);
        ticks_ = analyserFrequencyTicks(shownAxis(s, s), most, decimalSeparator);
        unit_.clear();
        analyserScales(s, decimalSeparator);
        update();
        return;
    } else if (!time) {
        const int most = std::max(2, box_.width() / kFrequencyTextWidth);
        ticks_ = frequencyTicks(now.rate, s.span, s.expanded != 0, s.marker1Pos, s.marker2Pos, most, decimalSeparator);
        unit_.clear();
    }
    if (!xy) {
        for (int n = 1; n <= 2; ++n) {
            if (!channelSettings(s, n).on())
                continue;
            const std::int32_t gain = n == 1 ? now.gain1 : now.gain2;
            const std::string text = time ? timeDivisionText(gain, s.features.fullScaleVolts[n - 1], decimalSeparator)
                                          : levelDivisionText(gain, s.spectrumScale, decimalSeparator);
            scales_.push_back("Ch" + std::to_string(n) + " " + text);
            scaleColours_.push_back(channelSettings(s, n).color());
        }
    }
    update();
}

void AxisLabelBand::analyserScales(const InstrumentState& s, char decimalSeparator)
{
    const AnalyserSettings& a = s.features.analyser;
    const std::vector<std::string> levels = analyserLevelTicks(s, s, 1, decimalSeparator);
    for (int n = 1; n <= 2; ++n) {
        if (!channelSettings(s, n).on())
            continue;
        const std::string unit = analyserUnitName(s, s, n);
        // The spectrogram's colours run from the bottom of the range to its top.
        const std::string text = a.spectrogram ? levels.back() + ".." + levels.front() + " " + unit + ", " +
                                                     std::to_string(static_cast<int>(spectrogramSeconds())) + " s"
                                               : "top " + levels.front() + " " + unit + ", " +
                                                     levelStepText(a.rangeDb / 10.0, decimalSeparator) + " dB/div";
        scales_.push_back("Ch" + std::to_string(n) + " " + text);
        scaleColours_.push_back(channelSettings(s, n).color());
        if (!a.spectrogram && sideLabels_.empty()) {
            // The level at each horizontal line of the graticule, beside the display.
            for (std::size_t i = 0; i < levels.size(); ++i)
                sideLabels_.emplace_back(static_cast<int>(i) * kRowsPerDivision, levels[i]);
        }
        if (const std::optional<SpectrogramBand> rows = spectrogramRows(s, n); a.spectrogram && rows) {
            // The bar's top, middle and bottom levels, without their unit (said below).
            for (BarLabel& label : colourBarLabels(rows->top, rows->bottom, a.topDb, a.rangeDb, 3, decimalSeparator)) {
                const std::size_t unit = label.text.rfind(" dB");
                sideLabels_.emplace_back(label.row, label.text.substr(0, unit));
            }
        }
    }
}

void AxisLabelBand::paintEvent(QPaintEvent* /*event*/)
{
    QPainter p(this);
    p.fillRect(rect(), colourOf(background_));
    if (box_.isEmpty())
        return;
    const QFontMetrics metrics(font());
    const int tickTop = box_.bottom() + 1;
    p.setPen(colourOf(ink_));
    for (const AxisTick& t : ticks_) {
        const int x = box_.left() + static_cast<int>(t.column * (box_.width() - 1) / 512.0 + 0.5);
        p.drawLine(x, tickTop, x, tickTop + kTickLength - 1);
        const QString text = QString::fromStdString(t.text);
        const int w = metrics.horizontalAdvance(text);
        const int left = std::clamp(x - w / 2, 0, std::max(0, width() - w));
        p.drawText(QRect(left, tickTop + kTickLength, w, kLineHeight), Qt::AlignCenter, text);
    }
    int lastLabel = -2 * kLineHeight;
    for (const auto& [row, text] : sideLabels_) {
        const int y = box_.top() + static_cast<int>(rowToPixel(row, box_.height()));
        if (y - lastLabel < kLineHeight)
            continue;  // too near the one above (a small display, or two bars meeting)
        lastLabel = y;
        const QRect place(box_.right() + 2, std::clamp(y - kLineHeight / 2, 0, std::max(0, height() - kLineHeight)),
                          std::max(0, width() - box_.right() - 2), kLineHeight);
        p.drawText(place, Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(text));
    }
    const int second = tickTop + kTickLength + kLineHeight;
    if (!unit_.empty())
        p.drawText(QRect(box_.left(), second, box_.width(), kLineHeight), Qt::AlignRight | Qt::AlignVCenter,
                   QString::fromStdString(unit_));
    int x = box_.left();
    for (std::size_t i = 0; i < scales_.size(); ++i) {
        const QString text = QString::fromStdString(scales_[i]);
        p.setPen(colourOf(scaleColours_[i]));
        p.drawText(QRect(x, second, metrics.horizontalAdvance(text) + 2, kLineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   text);
        x += metrics.horizontalAdvance(text) + 24;
    }
}

}  // namespace varmolen
