#include "panel/widgets/Dial.h"

#include <QAccessible>
#include <QFocusEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "panel/widgets/FocusFrame.h"
#include "panel/widgets/PanelAccessibility.h"

namespace varmolen {

namespace {

// Printed on the navy panel: light ink for the scale, caption and readout.
const QColor kInk(232, 236, 248);
const QColor kDimInk(168, 178, 214);

// The knob turns through 270 degrees, from lower left (minimum) to lower
// right (maximum); angles in degrees, counter-clockwise from three o'clock.
constexpr double kStartAngle = 225.0;
constexpr double kSweep = 270.0;
constexpr double kPi = 3.14159265358979323846;

// Mouse drag: this many pixels of travel sweep the whole range; with Shift
// held the drag is five times finer.
constexpr double kDragPixels = 200.0;
constexpr double kFineDragPixels = 1000.0;
// A press that moves less than this stays a click.
constexpr int kDragThreshold = 3;

// Upper bounds that keep painting cheap whatever the program asks for.
constexpr int kMaxScaleSteps = 20;
constexpr int kMaxScaleTicks = 200;

QPointF polar(const QPointF& centre, double radius, double degrees)
{
    const double a = degrees * kPi / 180.0;
    return {centre.x() + radius * std::cos(a), centre.y() - radius * std::sin(a)};
}

// "##0": whole number, no minus sign in front of a zero.
QString wholeNumberText(double v)
{
    double r = std::round(v);
    if (r == 0.0)
        r = 0.0;  // folds -0 into 0
    return QString::number(r, 'f', 0);
}

}  // namespace

Dial::Dial(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    installPanelAccessibility();
}

void Dial::setRange(float minimum, float maximum)
{
    if (!std::isfinite(minimum) || !std::isfinite(maximum))
        return;
    if (minimum > maximum)
        std::swap(minimum, maximum);
    minimum_ = minimum;
    maximum_ = maximum;
    const float clamped = std::clamp(value_, minimum_, maximum_);
    if (clamped != value_) {
        value_ = clamped;
        valueChangedForAssistiveTechnology();
    }
    update();
}

void Dial::setDigitalSteps(int steps) { digitalSteps_ = std::max(0, steps); }

void Dial::setScale(int steps, int subSteps)
{
    scaleSteps_ = std::clamp(steps, 0, kMaxScaleSteps);
    scaleSubSteps_ = std::clamp(subSteps, 1, kMaxScaleTicks);
    update();
}

void Dial::setCaption(const QString& caption)
{
    caption_ = caption;
    update();
}

void Dial::setUnit(const QString& unit)
{
    unit_ = unit;
    update();
}

void Dial::setValue(float value)
{
    // From the program (e.g. the configuration loader): clamp, but keep the
    // exact value even off the digital grid.
    float v = value;
    if (std::isnan(v))
        v = minimum_;
    v = std::clamp(v, minimum_, maximum_);
    if (v == value_)
        return;
    value_ = v;
    valueChangedForAssistiveTechnology();
    update();
}

void Dial::valueChangedForAssistiveTechnology()
{
    QAccessibleValueChangeEvent event(this, static_cast<double>(value_));
    QAccessible::updateAccessibility(&event);
}

QString Dial::valueText() const
{
    // "##0.0": one decimal, no minus sign in front of a zero reading.
    double shown = std::round(static_cast<double>(value_) * 10.0) / 10.0;
    if (shown == 0.0)
        shown = 0.0;
    QString text = QString::number(shown, 'f', 1);
    if (!unit_.isEmpty())
        text += QLatin1Char(' ') + unit_;
    return text;
}

QSize Dial::sizeHint() const { return {120, 130}; }

QSize Dial::minimumSizeHint() const { return {80, 90}; }

// --- value arithmetic ---------------------------------------------------

float Dial::gridValue(long long k) const
{
    if (k <= 0)
        return minimum_;
    if (k >= digitalSteps_)
        return maximum_;
    const double range = static_cast<double>(maximum_) - static_cast<double>(minimum_);
    const double v = static_cast<double>(minimum_) + static_cast<double>(k) * range / digitalSteps_;
    return std::clamp(static_cast<float>(v), minimum_, maximum_);
}

double Dial::gridPosition(float v) const
{
    const double range = static_cast<double>(maximum_) - static_cast<double>(minimum_);
    if (range <= 0.0)
        return 0.0;
    return (static_cast<double>(v) - static_cast<double>(minimum_)) / range * digitalSteps_;
}

float Dial::clampAndSnap(float v) const
{
    if (std::isnan(v))
        return value_;
    v = std::clamp(v, minimum_, maximum_);
    if (digitalSteps_ > 0 && maximum_ > minimum_) {
        const double pos = std::clamp(gridPosition(v), 0.0, static_cast<double>(digitalSteps_));
        return gridValue(std::llround(pos));
    }
    return v;
}

float Dial::smallStep() const
{
    const float range = maximum_ - minimum_;
    return digitalSteps_ > 0 ? range / static_cast<float>(digitalSteps_) : range / 100.0f;
}

void Dial::changeByUser(float newValue)
{
    const float v = clampAndSnap(newValue);
    if (v == value_)
        return;
    value_ = v;
    valueChangedForAssistiveTechnology();
    update();
    emit valueChanged(value_);
}

void Dial::stepBy(long long steps)
{
    if (steps == 0)
        return;
    if (digitalSteps_ > 0 && maximum_ > minimum_) {
        // Move from grid point to grid point; a value the program set between
        // two points goes to the neighbouring point in the direction asked.
        const double pos = gridPosition(value_);
        const double tolerance = 1e-6;
        long long k = steps > 0 ? static_cast<long long>(std::floor(pos + tolerance))
                                : static_cast<long long>(std::ceil(pos - tolerance));
        k = std::clamp(k + steps, 0LL, static_cast<long long>(digitalSteps_));
        changeByUser(gridValue(k));
    } else {
        changeByUser(value_ + static_cast<float>(steps) * smallStep());
    }
}

void Dial::largeStepBy(int direction)
{
    if (digitalSteps_ > 0 && maximum_ > minimum_) {
        const double small = (static_cast<double>(maximum_) - static_cast<double>(minimum_)) / digitalSteps_;
        long long n = 1;
        if (std::isfinite(largeStep_) && largeStep_ > 0.0f) {
            n = std::max(1LL, std::llround(std::min(static_cast<double>(largeStep_) / small, 1e12)));
        }
        stepBy(direction * n);
    } else if (std::isfinite(largeStep_) && largeStep_ > 0.0f) {
        changeByUser(value_ + static_cast<float>(direction) * largeStep_);
    } else {
        stepBy(direction);
    }
}

float Dial::valueAtPoint(const QPointF& p) const
{
    // Dragging up or to the right turns the knob clockwise (up the scale).
    const double travel = (p.x() - pressPos_.x()) - (p.y() - pressPos_.y());
    const double range = static_cast<double>(maximum_) - static_cast<double>(minimum_);
    const double pixels = fineDrag_ ? kFineDragPixels : kDragPixels;
    return static_cast<float>(static_cast<double>(pressValue_) + travel * range / pixels);
}

// --- input --------------------------------------------------------------

void Dial::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    pressed_ = true;
    dragged_ = false;
    pressPos_ = event->position();
    pressValue_ = value_;
    fineDrag_ = event->modifiers().testFlag(Qt::ShiftModifier);
    event->accept();
}

void Dial::mouseMoveEvent(QMouseEvent* event)
{
    if (!pressed_ || !event->buttons().testFlag(Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPointF pos = event->position();
    const bool fine = event->modifiers().testFlag(Qt::ShiftModifier);
    if (!dragged_) {
        if ((pos - pressPos_).manhattanLength() < kDragThreshold)
            return;
        // The drag starts here, so the knob does not jump by the threshold.
        dragged_ = true;
        pressPos_ = pos;
        pressValue_ = value_;
        fineDrag_ = fine;
    }
    if (fine != fineDrag_) {
        // Shift pressed or let go mid-drag: continue from where the knob is.
        pressPos_ = pos;
        pressValue_ = value_;
        fineDrag_ = fine;
    }
    changeByUser(valueAtPoint(pos));
    event->accept();
}

void Dial::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !pressed_) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    pressed_ = false;
    dragged_ = false;
    event->accept();
    emit clicked();
}

void Dial::wheelEvent(QWheelEvent* event)
{
    QPoint delta = event->angleDelta();
    int d = delta.y() != 0 ? delta.y() : delta.x();
    if (event->inverted())
        d = -d;
    // Touchpads deliver fractions of a notch: gather them into whole notches.
    wheelRemainder_ += d;
    const int notches = wheelRemainder_ / 120;
    wheelRemainder_ -= notches * 120;
    if (notches != 0)
        stepBy(notches);
    event->accept();
}

void Dial::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Right:
            stepBy(1);
            break;
        case Qt::Key_Down:
        case Qt::Key_Left:
            stepBy(-1);
            break;
        case Qt::Key_PageUp:
            largeStepBy(1);
            break;
        case Qt::Key_PageDown:
            largeStepBy(-1);
            break;
        case Qt::Key_Home:
            changeByUser(minimum_);
            break;
        case Qt::Key_End:
            changeByUser(maximum_);
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
}

void Dial::focusInEvent(QFocusEvent* event)
{
    update();
    QWidget::focusInEvent(event);
}

void Dial::focusOutEvent(QFocusEvent* event)
{
    pressed_ = false;
    dragged_ = false;
    update();
    QWidget::focusOutEvent(event);
}

// --- painting -----------------------------------------------------------

QString Dial::scaleText(int division) const
{
    const double range = static_cast<double>(maximum_) - static_cast<double>(minimum_);
    const double v = static_cast<double>(minimum_) + range * division / std::max(1, scaleSteps_);
    return wholeNumberText(v);
}

Dial::Layout Dial::layout() const
{
    Layout g;
    const QFontMetricsF captionMetrics(font());
    g.captionHeight = captionMetrics.height();
    g.numberFont = font();
    g.numberFont.setPointSizeF(std::max(6.0, font().pointSizeF() * 0.8));
    const QFontMetricsF numberMetrics(g.numberFont);

    double maxNumberWidth = 0.0;
    for (int i = 0; i <= scaleSteps_; ++i) {
        maxNumberWidth = std::max(maxNumberWidth, numberMetrics.horizontalAdvance(scaleText(i)));
    }
    const double hw = maxNumberWidth / 2.0;
    const double hh = (scaleSteps_ > 0 ? numberMetrics.ascent() : 0.0) / 2.0;
    const double gap = 2.0;
    const double w = width();
    const double top = g.captionHeight + 1.0;
    const double bottom = height() - captionMetrics.height() - 4.0;
    const double availH = std::max(10.0, bottom - top);

    // Above the centre the numbers sit outside the ticks; below it, the
    // lowest numbers hang at 45 degrees on either side of the gap.
    const double below = 0.7071 * (gap + 0.7071 * (hw + hh)) + hh;
    const double byWidth = w / 2.0 - 2.0 - gap - 2.0 * hw;
    const double byHeight = (availH - gap - 2.0 * hh - below) / 1.7071;
    g.radius = std::max(8.0, std::min(byWidth, byHeight));
    const double extentAbove = g.radius + gap + 2.0 * hh;
    const double extentBelow = std::max(0.7071 * g.radius + below, 0.8 * g.radius);
    const double spare = std::max(0.0, availH - extentAbove - extentBelow);
    g.centre = QPointF(w / 2.0, top + extentAbove + spare / 2.0);
    g.numberGap = gap;
    g.readoutTop =
        std::min(static_cast<double>(height()) - captionMetrics.height() - 3.0, g.centre.y() + extentBelow + 1.0);
    return g;
}

void Dial::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const Layout g = layout();
    const QPointF c = g.centre;
    const double r = g.radius;
    const double range = static_cast<double>(maximum_) - static_cast<double>(minimum_);
    const double fraction = range > 0.0 ? (static_cast<double>(value_) - minimum_) / range : 0.0;
    const double pointerAngle = kStartAngle - kSweep * std::clamp(fraction, 0.0, 1.0);
    const bool enabled = isEnabled();
    const QColor ink = enabled ? kInk : kDimInk;

    // Caption above the knob.
    QFont captionFont = font();
    captionFont.setBold(true);
    p.setFont(captionFont);
    p.setPen(ink);
    p.drawText(QRectF(0, 0, width(), g.captionHeight), Qt::AlignHCenter | Qt::AlignVCenter, caption_);

    // Printed scale: major ticks with numbers, minor ticks between them.
    const double majorLength = std::max(3.0, r * 0.18);
    const double minorLength = std::max(2.0, r * 0.10);
    if (scaleSteps_ > 0) {
        const int perMajor = std::max(1, std::min(scaleSubSteps_, kMaxScaleTicks / scaleSteps_));
        const int ticks = scaleSteps_ * perMajor;
        QPen major(ink, std::max(1.2, r * 0.045));
        major.setCapStyle(Qt::FlatCap);
        QPen minor(ink, std::max(0.8, r * 0.025));
        minor.setCapStyle(Qt::FlatCap);
        for (int i = 0; i <= ticks; ++i) {
            const double a = kStartAngle - kSweep * i / ticks;
            const bool isMajor = i % perMajor == 0;
            p.setPen(isMajor ? major : minor);
            p.drawLine(polar(c, r - (isMajor ? majorLength : minorLength), a), polar(c, r, a));
        }
        p.setFont(g.numberFont);
        p.setPen(ink);
        const QFontMetricsF nm(g.numberFont);
        for (int i = 0; i <= scaleSteps_; ++i) {
            const double a = kStartAngle - kSweep * i / scaleSteps_;
            const QString text = scaleText(i);
            const double tw = nm.horizontalAdvance(text);
            const double th = nm.ascent();
            const double rad = a * kPi / 180.0;
            const double reach =
                r + g.numberGap + std::abs(std::cos(rad)) * tw / 2.0 + std::abs(std::sin(rad)) * th / 2.0;
            const QPointF at = polar(c, reach, a);
            p.drawText(QPointF(at.x() - tw / 2.0, at.y() + th / 2.0 - nm.descent() * 0.25), text);
        }
    }

    // The knob: a bevelled skirt, a knurled grip that turns with the value,
    // a domed cap and a white pointer line.
    const double knob = std::max(5.0, r - majorLength - 3.0);
    p.setPen(Qt::NoPen);
    {
        QRadialGradient shadow(c + QPointF(1.5, 2.5), knob * 1.08);
        shadow.setColorAt(0.85, QColor(0, 0, 0, 120));
        shadow.setColorAt(1.0, QColor(0, 0, 0, 0));
        p.setBrush(shadow);
        p.drawEllipse(c + QPointF(1.5, 2.5), knob * 1.08, knob * 1.08);
    }
    {
        QLinearGradient bevel(c - QPointF(knob, knob), c + QPointF(knob, knob));
        bevel.setColorAt(0.0, QColor(150, 150, 156));
        bevel.setColorAt(0.5, QColor(60, 60, 64));
        bevel.setColorAt(1.0, QColor(12, 12, 14));
        p.setBrush(bevel);
        p.drawEllipse(c, knob, knob);
    }
    const double grip = knob * 0.9;
    {
        QLinearGradient body(c - QPointF(0, grip), c + QPointF(0, grip));
        body.setColorAt(0.0, QColor(58, 58, 62));
        body.setColorAt(1.0, QColor(20, 20, 22));
        p.setBrush(body);
        p.drawEllipse(c, grip, grip);
    }
    {
        const int ridges = 36;
        QPen dark(QColor(8, 8, 10), std::max(1.0, grip * 0.05));
        QPen light(QColor(96, 96, 102), std::max(0.7, grip * 0.03));
        for (int i = 0; i < ridges; ++i) {
            const double a = pointerAngle + 360.0 * i / ridges;
            const QPointF inner = polar(c, grip * 0.80, a);
            const QPointF outer = polar(c, grip * 0.98, a);
            p.setPen(dark);
            p.drawLine(inner, outer);
            p.setPen(light);
            const double b = a + 180.0 / ridges;
            p.drawLine(polar(c, grip * 0.82, b), polar(c, grip * 0.96, b));
        }
    }
    const double cap = knob * 0.7;
    {
        p.setPen(QPen(QColor(8, 8, 10), 1.0));
        QRadialGradient dome(c - QPointF(cap * 0.35, cap * 0.45), cap * 1.4);
        dome.setColorAt(0.0, QColor(92, 92, 98));
        dome.setColorAt(0.6, QColor(38, 38, 42));
        dome.setColorAt(1.0, QColor(16, 16, 18));
        p.setBrush(dome);
        p.drawEllipse(c, cap, cap);
    }
    {
        QPen pointer(enabled ? Qt::white : QColor(190, 190, 190), std::max(2.0, knob * 0.1));
        pointer.setCapStyle(Qt::RoundCap);
        p.setPen(pointer);
        p.drawLine(polar(c, knob * 0.25, pointerAngle), polar(c, knob * 0.92, pointerAngle));
    }

    // Value readout in a dark window under the knob.
    p.setFont(font());
    const QFontMetricsF fm(font());
    const QString text = valueText();
    const double tw = fm.horizontalAdvance(text) + 10.0;
    const double th = fm.height() + 2.0;
    const QRectF window(width() / 2.0 - tw / 2.0, g.readoutTop, tw, th);
    p.setPen(QPen(QColor(110, 120, 170), 1.0));
    p.setBrush(QColor(6, 8, 30));
    p.drawRoundedRect(window, 2.5, 2.5);
    p.setPen(ink);
    p.drawText(window, Qt::AlignCenter, text);

    paintFocusFrame(p, *this);
}

}  // namespace varmolen
