// A horizontal track bar whose positions are printed under it as names
// ("Gnd", "1", "10", "100") that stand for numbers (the range multipliers
// 0, 1, 10, 100). It is a QSlider in every other way: its position runs from
// 0 to the number of names less one, and valueChanged reports the position.
// The names and numbers are what assistive technology reads as its value.
#pragma once

#include <QList>
#include <QSlider>
#include <QStringList>

namespace varmolen {

class TrackBar : public QSlider {
    Q_OBJECT
public:
    explicit TrackBar(QWidget* parent = nullptr);

    // One name and one number per position; the range becomes 0..n-1. Lists
    // of different lengths keep the shorter one's length.
    void setPositions(const QStringList& names, const QList<double>& numbers);
    int positionCount() const { return static_cast<int>(names_.size()); }
    // Name and number of a position; empty and 0 outside the range.
    QString positionName(int position) const;
    double positionNumber(int position) const;
    // The position whose number lies nearest to `number` (the lower one on a tie).
    int positionNearest(double number) const;

private:
    QStringList names_;
    QList<double> numbers_;
};

}  // namespace varmolen
