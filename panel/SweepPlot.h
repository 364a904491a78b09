// The response sweep's plot: level in dBFS over log frequency (left axis),
// THD in % on a log scale on a second axis (right), one point a row, the
// frequency range of the sweep's steps; each axis titled and a legend
// naming the two curves.
#pragma once

#include <QWidget>

#include <vector>

#include "dsp/ResponseSweep.h"

namespace varmolen {

class SweepPlot : public QWidget {
public:
    explicit SweepPlot(QWidget* parent = nullptr);

    // The frequency span of the axis and the rows to draw.
    void show(double lowHz, double highHz, const std::vector<SweepRow>& rows);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double lowHz_ = 20.0;
    double highHz_ = 20000.0;
    std::vector<SweepRow> rows_;
};

}  // namespace varmolen
