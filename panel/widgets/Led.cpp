#include "panel/widgets/Led.h"

#include <QAccessible>
#include <QFontMetricsF>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>

#include "panel/widgets/PanelAccessibility.h"

namespace varmolen {

namespace {
const QColor kInk(232, 236, 248);
const QColor kDimInk(168, 178, 214);
}  // namespace

Led::Led(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    installPanelAccessibility();
}

void Led::setCaption(const QString& caption)
{
    caption_ = caption;
    updateGeometry();
    update();
}

void Led::setColors(const QColor& on, const QColor& off)
{
    on_ = on;
    off_ = off;
    update();
}

void Led::setChecked(bool checked)
{
    if (checked == checked_)
        return;
    checked_ = checked;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
    update();
}

QSize Led::sizeHint() const
{
    const QFontMetricsF fm(font());
    const int text = static_cast<int>(fm.horizontalAdvance(caption_)) + 26;
    return {std::max(70, text), 20};
}

void Led::paintLamp(QPainter& p, const QPointF& c, double rad, const QColor& base, bool lit)
{
    // A lit lamp glows onto the panel around it.
    if (lit) {
        QRadialGradient glow(c, rad * 1.9);
        QColor halo = base;
        halo.setAlpha(110);
        glow.setColorAt(0.45, halo);
        halo.setAlpha(0);
        glow.setColorAt(1.0, halo);
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(c, rad * 1.9, rad * 1.9);
    }

    // Bezel ring, then the lens: bright core and specular spot when lit,
    // a dull tint of the off colour otherwise.
    p.setPen(QPen(QColor(10, 10, 14), 1.0));
    p.setBrush(QColor(70, 72, 80));
    p.drawEllipse(c, rad + 1.0, rad + 1.0);
    QRadialGradient lens(c - QPointF(rad * 0.3, rad * 0.35), rad * 1.3);
    if (lit) {
        lens.setColorAt(0.0, base.lighter(170));
        lens.setColorAt(0.55, base);
        lens.setColorAt(1.0, base.darker(160));
    } else {
        lens.setColorAt(0.0, base.darker(110));
        lens.setColorAt(0.6, base.darker(190));
        lens.setColorAt(1.0, base.darker(300));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(lens);
    p.drawEllipse(c, rad - 0.5, rad - 0.5);
    p.setBrush(QColor(255, 255, 255, lit ? 170 : 70));
    p.drawEllipse(c - QPointF(rad * 0.32, rad * 0.36), rad * 0.28, rad * 0.2);
}

void Led::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double d = std::clamp(height() - 6.0, 6.0, 14.0);
    const double rad = d / 2.0;
    const QPointF c(3.0 + rad, height() / 2.0);

    paintLamp(p, c, rad, currentColor(), checked_);

    p.setPen(isEnabled() ? kInk : kDimInk);
    p.setFont(font());
    const double textLeft = c.x() + rad + 6.0;
    p.drawText(QRectF(textLeft, 0, width() - textLeft, height()), Qt::AlignLeft | Qt::AlignVCenter, caption_);
}

}  // namespace varmolen
