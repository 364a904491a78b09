// A rotary dial of the front panel, painted as a bench instrument's knob: a
// dark knurled knob with a white pointer over a printed scale with ticks and
// numbers, its caption above and its value readout ("##0.0" and the unit)
// below. The value is a single-precision number clamped to the dial's range;
// with digital steps the value moves on a grid of that many steps over the
// range. Worked by mouse drag, wheel and the keys PageUp/PageDown (large
// step), Home/End (ends) and the four arrows (one step). setValue from the
// program emits nothing. Every change of the value, by the user or the
// program, is told to assistive technology.
#pragma once

#include <QFont>
#include <QPointF>
#include <QString>
#include <QWidget>

namespace varmolen {

class Dial : public QWidget {
    Q_OBJECT
public:
    explicit Dial(QWidget* parent = nullptr);

    void setRange(float minimum, float maximum);
    float minimum() const { return minimum_; }
    float maximum() const { return maximum_; }
    // Number of digital steps over the range; 0 = continuous (arrow keys then
    // move by one hundredth of the range).
    void setDigitalSteps(int steps);
    int digitalSteps() const { return digitalSteps_; }
    void setLargeStep(float step) { largeStep_ = step; }
    float largeStep() const { return largeStep_; }
    // Printed scale: `steps` numbered divisions, each cut into `subSteps`.
    void setScale(int steps, int subSteps);
    void setCaption(const QString& caption);
    QString caption() const { return caption_; }
    void setUnit(const QString& unit);
    QString unit() const { return unit_; }

    float value() const { return value_; }
    // From the program: clamps, repaints, emits nothing.
    void setValue(float value);
    // The readout as shown under the knob, e.g. "50.0 %".
    QString valueText() const;

    // Turns the dial as the user's hand does (assistive technology calls
    // these): by whole steps, or to a value snapped to the digital steps;
    // emits valueChanged when the value changes.
    void turnBy(int steps) { stepBy(steps); }
    void turnTo(float value) { changeByUser(value); }
    // One step: the grid spacing, or a hundredth of the range without one.
    float stepSize() const { return smallStep(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The user clicked the dial (mouse press and release on it).
    void clicked();
    // The user changed the value (drag, wheel or key).
    void valueChanged(float value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    float clampAndSnap(float v) const;
    float smallStep() const;
    void changeByUser(float newValue);
    void valueChangedForAssistiveTechnology();
    float valueAtPoint(const QPointF& p) const;
    // Digital steps: the value of grid point k (0..steps, exact at both
    // ends) and the fractional grid position of a value.
    float gridValue(long long k) const;
    double gridPosition(float v) const;
    // A user's move by whole steps (arrows, wheel) or large steps (pages).
    void stepBy(long long steps);
    void largeStepBy(int direction);
    // Number printed at a division of the scale ("##0").
    QString scaleText(int division) const;

    // Where the parts of the dial go at the present size.
    struct Layout {
        double captionHeight = 0.0;
        QFont numberFont;
        QPointF centre;
        double radius = 0.0;     // outer end of the scale ticks
        double numberGap = 0.0;  // between tick ends and numbers
        double readoutTop = 0.0;
    };
    Layout layout() const;

    float minimum_ = 0.0f;
    float maximum_ = 100.0f;
    float value_ = 0.0f;
    int digitalSteps_ = 0;
    float largeStep_ = 5.0f;
    int scaleSteps_ = 5;
    int scaleSubSteps_ = 2;
    QString caption_;
    QString unit_;
    bool pressed_ = false;
    bool dragged_ = false;
    QPointF pressPos_;
    float pressValue_ = 0.0f;
    bool fineDrag_ = false;
    int wheelRemainder_ = 0;
};

}  // namespace varmolen
