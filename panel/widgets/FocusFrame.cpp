#include "panel/widgets/FocusFrame.h"

#include <QColor>
#include <QPainter>
#include <QPen>
#include <QWidget>

namespace varmolen {

namespace {
// A pale blue dotted line on the navy panel.
const QColor kFocusInk(200, 220, 255);
}  // namespace

void paintFocusFrame(QPainter& p, const QWidget& control)
{
    if (!control.hasFocus())
        return;
    // Crisp one-pixel dots on the widget's outermost pixels.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(kFocusInk, 1.0, Qt::DotLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(control.rect().adjusted(0, 0, -1, -1));
}

}  // namespace varmolen
