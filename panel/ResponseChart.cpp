#include "panel/ResponseChart.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <array>
#include <cmath>

#include "display/MeasurementReadouts.h"

namespace varmolen {

namespace {

constexpr int kGap = 4;

// The value axis: the fixed range, or whole steps around the curves.
std::pair<double, double> valueRange(const ChartAxes& axes, const std::vector<ChartCurve>& curves)
{
    if (axes.yRange)
        return *axes.yRange;
    double low = 0.0, high = 0.0;
    bool any = false;
    for (const ChartCurve& c : curves) {
        for (std::size_t i = 0; i < c.y.size() && i < c.x.size(); ++i) {
            if (!std::isfinite(c.y[i]) || c.x[i] < axes.xLow || c.x[i] > axes.xHigh)
                continue;
            low = any ? std::min(low, c.y[i]) : c.y[i];
            high = any ? std::max(high, c.y[i]) : c.y[i];
            any = true;
        }
    }
    const double step = axes.yStep > 0.0 ? axes.yStep : 10.0;
    high = std::ceil(high / step + 1e-9) * step;
    low = std::floor(low / step - 1e-9) * step;
    if (high - low < 2.0 * step)
        low = high - 2.0 * step;
    return {low, high};
}

}  // namespace

QString frequencyTick(double hz)
{
    return hz >= 1000.0 ? QString::number(hz / 1000.0) + QStringLiteral(" kHz")
                        : QString::number(hz) + QStringLiteral(" Hz");
}

void drawSideTitle(QPainter& p, const QRectF& area, double edge, int line, const QString& title, bool downwards)
{
    p.save();
    p.translate(edge, area.center().y());
    p.rotate(downwards ? 90 : -90);
    p.drawText(QRectF(-area.height() / 2, 0, area.height(), line), Qt::AlignCenter, title);
    p.restore();
}

QColor chartColour(int n)
{
    static const std::array<QColor, 8> colours{QColor(0, 0, 170),   QColor(200, 0, 0),   QColor(0, 130, 0),
                                               QColor(160, 0, 160), QColor(200, 120, 0), QColor(0, 140, 150),
                                               QColor(90, 90, 90),  QColor(120, 60, 0)};
    return colours[static_cast<std::size_t>(n) % colours.size()];
}

ResponseChart::ResponseChart(const QString& accessibleName, QWidget* parent) : QWidget(parent)
{
    setMinimumSize(480, 170);
    setAccessibleName(accessibleName);
}

void ResponseChart::show(const ChartAxes& axes, std::vector<ChartCurve> curves)
{
    axes_ = axes;
    if (axes_.logX)
        axes_.xLow = std::max(axes_.xLow, 1e-3);
    if (!(axes_.xHigh > axes_.xLow))
        axes_.xHigh = axes_.logX ? axes_.xLow * 2.0 : axes_.xLow + 1.0;
    curves_ = std::move(curves);
    update();
}

void ResponseChart::paintEvent(QPaintEvent* /*event*/)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const std::pair<double, double> range = valueRange(axes_, curves_);
    const double bottom = range.first, top = range.second;
    const double step = axes_.yStep > 0.0 ? axes_.yStep : 10.0;
    const int decimals = step < 1.0 ? 1 : 0;
    const auto valueTick = [decimals](double v) { return QString::fromStdString(fixedText(v, decimals, '.')); };

    // The legend wraps in lines above the plot; the margins hold the ticks'
    // texts and the titles, the left one read upwards.
    const QFontMetrics fm = p.fontMetrics();
    const int line = fm.height();
    const double stroke = 2.0 * line;
    int legendLines = curves_.empty() ? 0 : 1;
    {
        double at = kGap;
        for (const ChartCurve& c : curves_) {
            const double w = stroke + kGap + fm.horizontalAdvance(c.name) + 3 * kGap;
            if (at + w > width() - kGap && at > kGap) {
                ++legendLines;
                at = kGap;
            }
            at += w;
        }
    }
    const int ticks = std::max(fm.horizontalAdvance(valueTick(top)), fm.horizontalAdvance(valueTick(bottom)));
    const int left = kGap + line + kGap + ticks + kGap;
    const int right = kGap + fm.horizontalAdvance(QStringLiteral("20 kHz")) / 2 + kGap;
    const int above = legendLines * line + 2 * kGap;
    const int below = kGap + line + kGap + line + kGap;
    const QRectF area(left, above, std::max(width() - left - right, 10), std::max(height() - above - below, 10));
    const double span = axes_.logX ? std::log(axes_.xHigh / axes_.xLow) : axes_.xHigh - axes_.xLow;
    const auto x = [&](double v) {
        const double d = axes_.logX ? std::log(std::max(v, 1e-12) / axes_.xLow) : v - axes_.xLow;
        return area.left() + area.width() * d / span;
    };
    const auto y = [&](double v) { return area.top() + area.height() * (top - v) / (top - bottom); };

    // Grid, frame, ticks.
    p.setPen(QColor(215, 215, 215));
    std::vector<std::pair<double, QString>> xTicks;
    if (axes_.logX) {
        for (double decade = std::pow(10.0, std::floor(std::log10(axes_.xLow))); decade <= axes_.xHigh; decade *= 10.0)
            for (int m = 1; m < 10; ++m) {
                const double v = decade * m;
                if (v < axes_.xLow || v > axes_.xHigh)
                    continue;
                p.drawLine(QPointF(x(v), area.top()), QPointF(x(v), area.bottom()));
                if (m == 1 || m == 2 || m == 5)
                    xTicks.emplace_back(v, frequencyTick(v));
            }
    } else {
        const double raw = (axes_.xHigh - axes_.xLow) / 8.0;
        const double mag = std::pow(10.0, std::floor(std::log10(raw)));
        const double xStep = raw / mag < 2.0 ? 2.0 * mag : (raw / mag < 5.0 ? 5.0 * mag : 10.0 * mag);
        for (double v = std::ceil(axes_.xLow / xStep) * xStep; v <= axes_.xHigh + 1e-9; v += xStep) {
            p.drawLine(QPointF(x(v), area.top()), QPointF(x(v), area.bottom()));
            xTicks.emplace_back(v, QString::number(v, 'g', 4));
        }
    }
    const int rows = static_cast<int>(std::lround((top - bottom) / step));
    for (int i = 0; i <= rows; ++i)
        p.drawLine(QPointF(area.left(), y(bottom + i * step)), QPointF(area.right(), y(bottom + i * step)));
    p.setPen(Qt::black);
    p.drawRect(area);
    // Every tick's text where it does not crowd the one before.
    const int labelEvery = std::max(1, static_cast<int>(std::ceil(rows * 1.5 * line / std::max(area.height(), 1.0))));
    for (int i = 0; i <= rows; i += labelEvery)
        p.drawText(QRectF(area.left() - kGap - ticks, y(bottom + i * step) - line, ticks, 2 * line),
                   Qt::AlignRight | Qt::AlignVCenter, valueTick(bottom + i * step));
    double lastRight = -1e9;
    for (const auto& [v, text] : xTicks) {
        const double w = fm.horizontalAdvance(text);
        const double at = x(v) - w / 2.0;
        if (at < lastRight + kGap)
            continue;
        p.drawText(QRectF(at, area.bottom() + kGap, w, line), Qt::AlignCenter, text);
        lastRight = at + w;
    }
    p.drawText(QRectF(area.left(), height() - kGap - line, area.width(), line), Qt::AlignCenter, axes_.xTitle);
    drawSideTitle(p, area, kGap, line, axes_.yTitle);

    p.setRenderHint(QPainter::Antialiasing);
    {
        double at = kGap;
        int row = 0;
        for (const ChartCurve& c : curves_) {
            const double textWidth = fm.horizontalAdvance(c.name);
            const double w = stroke + kGap + textWidth + 3 * kGap;
            if (at + w > width() - kGap && at > kGap) {
                ++row;
                at = kGap;
            }
            const double mid = kGap + row * line + line / 2.0;
            p.setPen(QPen(c.colour, 2, c.dashed ? Qt::DashLine : Qt::SolidLine));
            p.drawLine(QPointF(at, mid), QPointF(at + stroke, mid));
            p.setPen(Qt::black);
            p.drawText(QRectF(at + stroke + kGap, mid - line / 2.0, textWidth, line), Qt::AlignLeft | Qt::AlignVCenter,
                       c.name);
            at += w;
        }
    }
    p.setClipRect(area);
    for (const ChartCurve& c : curves_) {
        QPainterPath path;
        bool started = false;
        for (std::size_t i = 0; i < c.x.size() && i < c.y.size(); ++i) {
            if (!std::isfinite(c.y[i]) || (axes_.logX && c.x[i] <= 0.0)) {
                started = false;
                continue;
            }
            const QPointF pt(x(c.x[i]), y(std::clamp(c.y[i], bottom - 1e3 * step, top + 1e3 * step)));
            started ? path.lineTo(pt) : path.moveTo(pt);
            started = true;
        }
        p.setPen(QPen(c.colour, 1.5, c.dashed ? Qt::DashLine : Qt::SolidLine));
        p.drawPath(path);
    }
}

}  // namespace varmolen
