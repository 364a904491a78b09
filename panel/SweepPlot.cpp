#include "panel/SweepPlot.h"

#include <QPainter>
#include <QFontMetrics>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "display/MeasurementReadouts.h"
#include "panel/ResponseChart.h"

namespace varmolen {

namespace {

constexpr int kGap = 4;
// The curves' names, as the table's columns read, and their strokes.
QString levelTitle() { return QStringLiteral("Level (dBFS)"); }
QString thdTitle() { return QStringLiteral("THD (%)"); }
QPen levelPen() { return {QColor(0, 0, 160), 2}; }
QPen thdPen() { return {QColor(190, 0, 0), 1.5, Qt::DashLine}; }

QString thdTick(double percent) { return QString::number(percent, 'g', 3) + QStringLiteral("%"); }
// The THD axis: 0.0001 % to 100 %, a decade a division.
constexpr double kThdLowPercent = 1e-4;
constexpr double kThdHighPercent = 100.0;

}  // namespace

SweepPlot::SweepPlot(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(480, 260);
    setAccessibleName(QStringLiteral("Response plot"));
}

void SweepPlot::show(double lowHz, double highHz, const std::vector<SweepRow>& rows)
{
    lowHz_ = std::max(lowHz, 1.0);
    highHz_ = std::max(highHz, lowHz_ * 2.0);
    rows_ = rows;
    update();
}

void SweepPlot::paintEvent(QPaintEvent* /*event*/)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    // The level axis: whole 10 dB steps around the rows' levels.
    double top = 0.0, bottom = -60.0;
    bool any = false;
    for (const SweepRow& r : rows_) {
        if (!r.valid)
            continue;
        if (!any)
            top = bottom = r.levelDbfs;
        top = std::max(top, r.levelDbfs);
        bottom = std::min(bottom, r.levelDbfs);
        any = true;
    }
    top = std::ceil((top + 1.0) / 10.0) * 10.0;
    bottom = std::min(std::floor((bottom - 1.0) / 10.0) * 10.0, top - 20.0);
    const auto levelTick = [](double db) { return QString::fromStdString(fixedText(db, 0, '.')); };

    // The margins hold the ticks' texts and the axes' titles (turned upright
    // at the sides), the band above the legend.
    const QFontMetrics fm = p.fontMetrics();
    const int line = fm.height();
    const int leftTicks = std::max(fm.horizontalAdvance(levelTick(top)), fm.horizontalAdvance(levelTick(bottom)));
    const int rightTicks = fm.horizontalAdvance(thdTick(kThdLowPercent));
    const int left = kGap + line + kGap + leftTicks + kGap;
    const int right = kGap + rightTicks + kGap + line + kGap;
    const int above = line + 2 * kGap;
    const int below = kGap + line + kGap + line + kGap;
    const QRectF area(left, above, width() - left - right, height() - above - below);
    const auto x = [&](double hz) {
        return area.left() + area.width() * std::log(hz / lowHz_) / std::log(highHz_ / lowHz_);
    };
    const auto yLevel = [&](double db) { return area.top() + area.height() * (top - db) / (top - bottom); };
    const auto yThd = [&](double percent) {
        const double v = std::clamp(percent, kThdLowPercent, kThdHighPercent);
        return area.top() +
               area.height() * std::log10(kThdHighPercent / v) / std::log10(kThdHighPercent / kThdLowPercent);
    };

    p.setPen(QColor(210, 210, 210));
    for (double decade = std::pow(10.0, std::floor(std::log10(lowHz_))); decade <= highHz_; decade *= 10.0) {
        for (int m = 1; m < 10; ++m) {
            const double hz = decade * m;
            if (hz >= lowHz_ && hz <= highHz_)
                p.drawLine(QPointF(x(hz), area.top()), QPointF(x(hz), area.bottom()));
        }
    }
    for (double db = bottom; db <= top; db += 10.0)
        p.drawLine(QPointF(area.left(), yLevel(db)), QPointF(area.right(), yLevel(db)));
    p.setPen(Qt::black);
    p.drawRect(area);
    for (double db = bottom; db <= top; db += 10.0)
        p.drawText(QRectF(area.left() - kGap - leftTicks, yLevel(db) - line, leftTicks, 2 * line),
                   Qt::AlignRight | Qt::AlignVCenter, levelTick(db));
    for (double percent = kThdLowPercent; percent <= kThdHighPercent * 1.01; percent *= 100.0)
        p.drawText(QRectF(area.right() + kGap, yThd(percent) - line, rightTicks, 2 * line),
                   Qt::AlignLeft | Qt::AlignVCenter, thdTick(percent));
    for (double decade = std::pow(10.0, std::ceil(std::log10(lowHz_))); decade <= highHz_; decade *= 10.0)
        p.drawText(QRectF(x(decade) - 40, area.bottom() + kGap, 80, line), Qt::AlignCenter, frequencyTick(decade));

    p.drawText(QRectF(area.left(), height() - kGap - line, area.width(), line), Qt::AlignCenter,
               QStringLiteral("Frequency"));
    // The side titles, read upwards on the left and downwards on the right.
    drawSideTitle(p, area, kGap, line, levelTitle());
    drawSideTitle(p, area, width() - kGap, line, thdTitle(), true);

    // The legend above the plot's right end: a stroke of each curve and its name.
    p.setRenderHint(QPainter::Antialiasing);
    const double stroke = 2.0 * line;
    double at = area.right();
    const struct {
        QPen pen;
        QString name;
    } legend[] = {{thdPen(), thdTitle()}, {levelPen(), levelTitle()}};
    for (const auto& entry : legend) {
        const int textWidth = fm.horizontalAdvance(entry.name);
        at -= textWidth;
        p.setPen(Qt::black);
        p.drawText(QRectF(at, kGap, textWidth, line), Qt::AlignLeft | Qt::AlignVCenter, entry.name);
        at -= kGap + stroke;
        p.setPen(entry.pen);
        p.drawLine(QPointF(at, kGap + line / 2.0), QPointF(at + stroke, kGap + line / 2.0));
        at -= 3 * kGap;
    }

    QPainterPath level, thd;
    bool levelStarted = false, thdStarted = false;
    for (const SweepRow& r : rows_) {
        if (r.valid) {
            const QPointF at(x(r.hz), yLevel(r.levelDbfs));
            levelStarted ? level.lineTo(at) : level.moveTo(at);
            levelStarted = true;
        }
        if (r.valid && r.thdValid) {
            const QPointF at(x(r.hz), yThd(r.thdPercent));
            thdStarted ? thd.lineTo(at) : thd.moveTo(at);
            thdStarted = true;
        }
    }
    p.setPen(levelPen());
    p.drawPath(level);
    p.setPen(thdPen());
    p.drawPath(thd);
}

}  // namespace varmolen
