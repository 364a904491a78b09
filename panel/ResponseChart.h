// A chart of curves over frequency (a log axis) or time (a linear one): the
// log sweep's magnitude, phase, group delay, harmonic responses and impulse
// response, each kept or loaded measurement overlaid in a colour of its own,
// the axes titled and a legend naming every curve. The value axis takes
// whole steps around the curves' extent unless a range is fixed.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

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
