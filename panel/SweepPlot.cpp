#include "panel/SweepPlot.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace varmolen {

namespace {

constexpr int kMargin = 48;
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
    const QRectF area(kMargin, 12, width() - 2 * kMargin, height() - 12 - 28);
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
        p.drawText(QRectF(0, yLevel(db) - 8, kMargin - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(db, 'f', 0));
    for (double percent = kThdLowPercent; percent <= kThdHighPercent * 1.01; percent *= 100.0)
        p.drawText(QRectF(area.right() + 4, yThd(percent) - 8, kMargin - 4, 16), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::number(percent, 'g', 3) + QStringLiteral("%"));
    for (double decade = std::pow(10.0, std::ceil(std::log10(lowHz_))); decade <= highHz_; decade *= 10.0)
        p.drawText(QRectF(x(decade) - 30, area.bottom() + 4, 60, 16), Qt::AlignCenter,
                   decade >= 1000.0 ? QString::number(decade / 1000.0) + QStringLiteral(" kHz")
                                    : QString::number(decade) + QStringLiteral(" Hz"));

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
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 0, 160), 2));
    p.drawPath(level);
    p.setPen(QPen(QColor(190, 0, 0), 1.5, Qt::DashLine));
    p.drawPath(thd);
}

}  // namespace varmolen
