#include "panel/widgets/RockerSwitch.h"

#include "panel/widgets/FocusFrame.h"
#include "panel/widgets/Led.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>

namespace varmolen {

namespace {
const QColor kInk(232, 236, 248);
const QColor kDimInk(168, 178, 214);
}  // namespace

RockerSwitch::RockerSwitch(QWidget* parent) : SwitchBase(parent) {}

QString RockerSwitch::positionText(bool checked) const
{
    return checked ? QStringLiteral("on") : QStringLiteral("off");
}

void RockerSwitch::setCaption(const QString& caption)
{
    caption_ = caption;
    updateGeometry();
    update();
}

void RockerSwitch::setLed(const QColor& on, const QColor& off)
{
    hasLed_ = true;
    ledOn_ = on;
    ledOff_ = off;
    update();
}

QSize RockerSwitch::sizeHint() const
{
    const QFontMetricsF fm(font());
    const int text = static_cast<int>(fm.horizontalAdvance(caption_)) + 8;
    return {std::max(56, text), 64};
}

void RockerSwitch::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetricsF fm(font());
    const double w = width();
    const double h = height();
    const double captionTop = h - fm.height() - 1.0;

    // LED dot above the rocker. Rockers without one keep the same body so
    // that switches in one column line up.
    const double rad = 4.0;
    const double top = 3.0 + 2.0 * rad + 4.0;
    if (hasLed_) {
        const QPointF c(w / 2.0, 3.0 + rad);
        Led::paintLamp(p, c, rad, checked_ ? ledOn_ : ledOff_, checked_);
    }

    // Bezel: a black moulded frame with a lighter lower lip.
    const double bodyH = std::max(12.0, captionTop - 3.0 - top);
    const double bodyW = std::clamp(bodyH * 0.8, 12.0, w - 12.0);
    const QRectF bezel(w / 2.0 - bodyW / 2.0, top, bodyW, bodyH);
    {
        QLinearGradient frame(bezel.topLeft(), bezel.bottomLeft());
        frame.setColorAt(0.0, QColor(20, 20, 24));
        frame.setColorAt(1.0, QColor(80, 80, 90));
        p.setPen(QPen(QColor(0, 0, 0), 1.0));
        p.setBrush(frame);
        p.drawRoundedRect(bezel, 3.0, 3.0);
    }

    // Rocker: the side pressed in (the "I" side when on, "O" when off) lies
    // dark in the bezel's shadow; the other side stands out and catches the
    // light, so the position reads at a glance.
    const QRectF face = bezel.adjusted(2.5, 2.5, -2.5, -2.5);
    // Seen from the front, the raised side looks taller than the pressed one.
    const double split = face.top() + face.height() * (checked_ ? 0.42 : 0.58);
    const QRectF upper(face.left(), face.top(), face.width(), split - face.top());
    const QRectF lower(face.left(), split, face.width(), face.bottom() - split);
    const QRectF& pressedHalf = checked_ ? upper : lower;
    const QRectF& raisedHalf = checked_ ? lower : upper;
    p.setPen(Qt::NoPen);
    {
        QLinearGradient dark(pressedHalf.topLeft(), pressedHalf.bottomLeft());
        dark.setColorAt(0.0, QColor(10, 10, 12));
        dark.setColorAt(1.0, QColor(26, 26, 30));
        p.setBrush(dark);
        p.drawRoundedRect(pressedHalf, 1.5, 1.5);
    }
    {
        QLinearGradient lit(raisedHalf.topLeft(), raisedHalf.bottomLeft());
        const bool raisedIsUpper = !checked_;
        lit.setColorAt(0.0, raisedIsUpper ? QColor(156, 156, 166) : QColor(86, 86, 94));
        lit.setColorAt(1.0, raisedIsUpper ? QColor(86, 86, 94) : QColor(160, 160, 170));
        p.setBrush(lit);
        p.drawRoundedRect(raisedHalf, 1.5, 1.5);
        // Highlight along the raised edge farthest from the pivot.
        p.setPen(QPen(QColor(225, 225, 235), 1.0));
        const double y = raisedIsUpper ? raisedHalf.top() + 0.8 : raisedHalf.bottom() - 0.8;
        p.drawLine(QPointF(raisedHalf.left() + 1.5, y), QPointF(raisedHalf.right() - 1.5, y));
    }
    // Printed marks: a bar on the upper ("on") half, a ring on the lower.
    {
        const double markLen = std::min(face.height() * 0.42, face.width()) * 0.45;
        QPen mark(QColor(235, 235, 240), std::max(1.2, face.width() * 0.09));
        mark.setCapStyle(Qt::RoundCap);
        p.setPen(mark);
        p.setBrush(Qt::NoBrush);
        const QPointF uc = upper.center();
        p.drawLine(uc - QPointF(0, markLen / 2.0), uc + QPointF(0, markLen / 2.0));
        p.drawEllipse(lower.center(), markLen * 0.35, markLen * 0.35);
    }

    p.setPen(isEnabled() ? kInk : kDimInk);
    p.setFont(font());
    p.drawText(QRectF(0, captionTop, w, fm.height()), Qt::AlignHCenter | Qt::AlignVCenter, caption_);

    paintFocusFrame(p, *this);
}

}  // namespace varmolen
