#include "panel/widgets/ToggleSwitch.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>

#include "panel/widgets/FocusFrame.h"

namespace varmolen {

namespace {
const QColor kInk(240, 242, 252);
const QColor kDimInk(130, 140, 186);
const QColor kSkyBlue(135, 206, 235);
}  // namespace

ToggleSwitch::ToggleSwitch(QWidget* parent) : SwitchBase(parent) {}

QString ToggleSwitch::positionText(bool checked) const { return checked ? checkedLabel_ : uncheckedLabel_; }

void ToggleSwitch::setLabels(const QString& checkedLabel, const QString& uncheckedLabel)
{
    checkedLabel_ = checkedLabel;
    uncheckedLabel_ = uncheckedLabel;
    updateGeometry();
    update();
}

QSize ToggleSwitch::sizeHint() const
{
    const QFontMetricsF fm(font());
    const double text = std::max(fm.horizontalAdvance(checkedLabel_), fm.horizontalAdvance(uncheckedLabel_));
    return {std::max(40, static_cast<int>(text) + 6), 80};
}

void ToggleSwitch::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetricsF fm(font());
    const double w = width();
    const double h = height();
    const double labelH = fm.height();

    // Position names: the one in force bright and bold, the other dim.
    QFont bold = font();
    bold.setBold(true);
    const QColor inForce = isEnabled() ? kInk : kDimInk;
    p.setFont(checked_ ? bold : font());
    p.setPen(checked_ ? inForce : kDimInk);
    p.drawText(QRectF(0, 0, w, labelH), Qt::AlignHCenter | Qt::AlignVCenter, checkedLabel_);
    p.setFont(checked_ ? font() : bold);
    p.setPen(checked_ ? kDimInk : inForce);
    p.drawText(QRectF(0, h - labelH, w, labelH), Qt::AlignHCenter | Qt::AlignVCenter, uncheckedLabel_);

    const double bodyTop = labelH + 1.0;
    const double bodyH = std::max(10.0, h - 2.0 * labelH - 2.0);
    const QPointF c(w / 2.0, bodyTop + bodyH / 2.0);
    const double nut = std::clamp(std::min(w * 0.3, bodyH * 0.24), 4.0, 20.0);

    // Mounting plate and chrome bushing nut.
    {
        QRadialGradient shadow(c + QPointF(1.0, 2.0), nut * 1.25);
        shadow.setColorAt(0.8, QColor(0, 0, 0, 110));
        shadow.setColorAt(1.0, QColor(0, 0, 0, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(shadow);
        p.drawEllipse(c + QPointF(1.0, 2.0), nut * 1.25, nut * 1.25);
        QLinearGradient chrome(c - QPointF(nut, nut), c + QPointF(nut, nut));
        chrome.setColorAt(0.0, QColor(236, 236, 240));
        chrome.setColorAt(0.5, QColor(140, 142, 150));
        chrome.setColorAt(1.0, QColor(60, 62, 70));
        p.setPen(QPen(QColor(20, 20, 28), 1.0));
        p.setBrush(chrome);
        p.drawEllipse(c, nut, nut);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(16, 16, 20));
        p.drawEllipse(c, nut * 0.45, nut * 0.45);
    }

    // The lever: a bat that widens from the bushing to a sky-blue tip and
    // points at the position in force.
    {
        const double dir = checked_ ? -1.0 : 1.0;
        const double reach = std::max(nut * 1.2, bodyH / 2.0 - 1.0);
        const double baseHalf = nut * 0.3;
        const double tipHalf = nut * 0.5;
        const QPointF tip(c.x(), c.y() + dir * (reach - tipHalf));
        QPainterPath bat;
        bat.moveTo(c.x() - baseHalf, c.y());
        bat.lineTo(c.x() + baseHalf, c.y());
        bat.lineTo(tip.x() + tipHalf * 0.8, tip.y());
        bat.lineTo(tip.x() - tipHalf * 0.8, tip.y());
        bat.closeSubpath();
        QLinearGradient metal(QPointF(c.x() - tipHalf, 0), QPointF(c.x() + tipHalf, 0));
        metal.setColorAt(0.0, QColor(120, 122, 130));
        metal.setColorAt(0.35, QColor(245, 245, 250));
        metal.setColorAt(1.0, QColor(80, 82, 90));
        p.setPen(QPen(QColor(30, 30, 40), 0.8));
        p.setBrush(metal);
        p.drawPath(bat);

        QRadialGradient blue(tip - QPointF(tipHalf * 0.35, tipHalf * 0.4), tipHalf * 1.4);
        blue.setColorAt(0.0, kSkyBlue.lighter(140));
        blue.setColorAt(0.6, kSkyBlue);
        blue.setColorAt(1.0, kSkyBlue.darker(170));
        p.setPen(QPen(QColor(20, 40, 60), 0.8));
        p.setBrush(blue);
        p.drawEllipse(tip, tipHalf, tipHalf);
    }

    paintFocusFrame(p, *this);
}

}  // namespace varmolen
