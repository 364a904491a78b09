#include "panel/widgets/SwitchBase.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace varmolen {

SwitchBase::SwitchBase(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void SwitchBase::setChecked(bool checked) {
    if (checked == checked_) return;
    checked_ = checked;
    refreshPositionText();
    update();
}

void SwitchBase::refreshPositionText() {
    setAccessibleDescription(positionText(checked_));
}

void SwitchBase::toggleByUser() {
    checked_ = !checked_;
    refreshPositionText();
    update();
    emit clicked();
}

void SwitchBase::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    pressed_ = true;
    event->accept();
}

void SwitchBase::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    pressed_ = false;
    event->accept();
    // Sliding off the switch before letting go cancels the click.
    if (rect().contains(event->position().toPoint())) toggleByUser();
}

void SwitchBase::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space) {
        if (!event->isAutoRepeat()) toggleByUser();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace varmolen
