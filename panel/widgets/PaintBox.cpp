#include "panel/widgets/PaintBox.h"

#include <algorithm>
#include <cstdint>

#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QWindow>

#include "display/DisplayScale.h"

namespace varmolen {

TPaintBox::TPaintBox(const Raster& bitmap, QWidget* parent) : QWidget(parent), bitmap_(bitmap)
{
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    setMouseTracking(true);
    setFocusPolicy(Qt::TabFocus);
    setFixedSize(Raster::kWidth, Raster::kHeight);
}

TPaintBox::~TPaintBox() = default;

void TPaintBox::shareWithServer(Raster& bitmap)
{
    auto presenter = std::make_unique<ShmPresenter>();
    if (!presenter->available())
        return;
    presenter_ = std::move(presenter);
    ShmPresenter* lender = presenter_.get();
    bitmap.setPixelLender([lender](std::size_t count) { return lender->lend(count); });
}

void TPaintBox::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    QWindow* window = this->window()->windowHandle();
    if (presenter_ && window && window != watched_) {
        if (watched_)
            watched_->removeEventFilter(this);
        watched_ = window;
        window->installEventFilter(this);
    }
}

bool TPaintBox::eventFilter(QObject* watched, QEvent* event)
{
    // Rows put straight to the server never reach the window's own surface,
    // which the toolkit sends again when the window is uncovered: marking the
    // box first makes it paint the bitmap as it is now instead.
    if (watched == watched_ && event->type() == QEvent::Expose)
        update();
    return QWidget::eventFilter(watched, event);
}

void TPaintBox::showPass(const RowBand& band)
{
    if (band.empty())
        return;  // the window shows this picture already
    // The bitmap's rows are device pixels; the box repaints in points.
    const int rows = std::max(1, height());
    const int pixels = bitmap_.height();
    const int top = band.first * rows / pixels;
    const int bottom = ((band.first + band.count) * rows + pixels - 1) / pixels;
    const QRect part(0, top, width(), bottom - top);
    if (presenter_) {
        // A child shown over the box (a peak tag) paints every pixel of its
        // own, and the toolkit repaints it when it changes or moves: the rows
        // go round it, and the part of the bitmap under it stays unseen.
        QRegion children;
        for (const QObject* child : this->children())
            if (child->isWidgetType() && static_cast<const QWidget*>(child)->isVisible())
                children += static_cast<const QWidget*>(child)->geometry() & part;
        if (presenter_->put(*this, bitmap_, band, children))
            return;
    }
    update(part);
}

void TPaintBox::paintEvent(QPaintEvent* event)
{
    // The bitmap is stored in the window surface's own layout: an RGB32
    // image of the same memory, drawn with a plain copy of the part asked for.
    // It may hold more pixels than the box has points (drawn in device
    // pixels on a screen that has more of them): the part is then the
    // matching rectangle of pixels.
    QImage view(reinterpret_cast<const uchar*>(bitmap_.data()), bitmap_.width(), bitmap_.height(), bitmap_.lineBytes(),
                QImage::Format_RGB32);
    const qreal ratio = width() > 0 ? std::max<qreal>(1.0, static_cast<qreal>(bitmap_.width()) / width()) : 1.0;
    view.setDevicePixelRatio(ratio);
    const QRectF asked(event->rect());
    const QRect part = QRectF(asked.topLeft() * ratio, asked.size() * ratio).toAlignedRect() &
                       QRect(0, 0, bitmap_.width(), bitmap_.height());
    QPainter painter(this);
    if (ratio == 1.0)
        painter.drawImage(part.topLeft(), view, part);
    else
        painter.drawImage(QRectF(QPointF(part.topLeft()) / ratio, QSizeF(part.size()) / ratio), view, QRectF(part));
}

int TPaintBox::columnAt(int x) const
{
    // The pointer's column by the display's own scale; beyond the box it
    // continues, so the handlers clamp it as they clamp any pointer.
    const std::int64_t column = pixelToColumn(x, width());
    return static_cast<int>(std::clamp<std::int64_t>(column, -1000000, 1000000));
}

void TPaintBox::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    emit mouseLeft();
}

void TPaintBox::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    emit mousePressed(event->button(), event->modifiers(), columnAt(p.x()), p.y());
}

void TPaintBox::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    emit mouseMoved(event->buttons(), event->modifiers(), columnAt(p.x()), p.y());
}

void TPaintBox::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    emit mouseReleased(event->button(), event->modifiers(), columnAt(p.x()), p.y());
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
