// A chart of curves over frequency (a log axis) or time (a linear one): the
// log sweep's magnitude, phase, group delay, harmonic responses and impulse
// response, each kept or loaded measurement overlaid in a colour of its own,
// the axes titled and a legend naming every curve. The value axis takes
// whole steps around the curves' extent unless a range is fixed.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class QPainter;
class QRectF;

#include <optional>
#include <vector>

namespace varmolen {

struct ChartCurve {
    QString name;
    QColor colour;
    std::vector<double> x;
    std::vector<double> y;
    bool dashed = false;
};

struct ChartAxes {
    QString xTitle;
    QString yTitle;
    bool logX = true;
    double xLow = 20.0, xHigh = 20000.0;
    // A fixed value range; without one the curves' extent, in whole steps.
    std::optional<std::pair<double, double>> yRange;
    double yStep = 10.0;  // between grid lines
};

// The colour of the n-th overlaid curve: distinct from each other on white.
QColor chartColour(int n);
// A frequency axis's tick: "500 Hz", "2 kHz".
QString frequencyTick(double hz);
// An axis's title beside `area`, `line` high, centred on it: at `edge`
// (the widget's x) read upwards, or downwards with `downwards`.
void drawSideTitle(QPainter& p, const QRectF& area, double edge, int line, const QString& title,
                   bool downwards = false);

class ResponseChart : public QWidget {
public:
    explicit ResponseChart(const QString& accessibleName, QWidget* parent = nullptr);

    void show(const ChartAxes& axes, std::vector<ChartCurve> curves);
    const std::vector<ChartCurve>& curves() const { return curves_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ChartAxes axes_;
    std::vector<ChartCurve> curves_;
};

}  // namespace varmolen
