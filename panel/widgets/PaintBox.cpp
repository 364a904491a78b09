#include "panel/widgets/PaintBox.h"

#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace varmolen {

TPaintBox::TPaintBox(const Raster& bitmap, QWidget* parent) : QWidget(parent), bitmap_(bitmap)
{
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    setMouseTracking(true);
    setFocusPolicy(Qt::TabFocus);
    setFixedSize(Raster::kWidth, Raster::kHeight);
}

void TPaintBox::paintEvent(QPaintEvent* event)
{
    // The bitmap is stored in the window surface's own layout: an RGB32
    // image of the same memory, drawn with a plain copy of the part asked for.
    const QImage view(reinterpret_cast<const uchar*>(bitmap_.data()), Raster::kWidth, Raster::kHeight,
                      Raster::bytesPerLine(), QImage::Format_RGB32);
    const QRect part = event->rect() & view.rect();
    QPainter painter(this);
    painter.drawImage(part.topLeft(), view, part);
    if (shown_ != nullptr)
        copyRect(bitmap_, *shown_, part.x(), part.y(), part.width(), part.height());
}

void TPaintBox::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    emit mouseLeft();
}

void TPaintBox::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    emit mousePressed(event->button(), event->modifiers(), p.x(), p.y());
}

void TPaintBox::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    emit mouseMoved(event->buttons(), event->modifiers(), p.x(), p.y());
}

void TPaintBox::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    emit mouseReleased(event->button(), event->modifiers(), p.x(), p.y());
}

void TPaintBox::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_M:
        case Qt::Key_Space:
            emit keyPressed(event->key(), event->modifiers());
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void TPaintBox::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    emit keyboardFocusChanged(true);
    emit keyboardEntered();
}

void TPaintBox::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    emit keyboardFocusChanged(false);
}

}  // namespace varmolen
