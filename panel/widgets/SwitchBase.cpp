#include "panel/widgets/SwitchBase.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>

#include "panel/widgets/PanelAccessibility.h"

namespace varmolen {

SwitchBase::SwitchBase(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    installPanelAccessibility();
}

void SwitchBase::setChecked(bool checked)
{
    if (checked == checked_)
        return;
    checked_ = checked;
    checkedChangedForAssistiveTechnology();
    update();
}

void SwitchBase::click()
{
    checked_ = !checked_;
    checkedChangedForAssistiveTechnology();
    update();
    emit clicked();
}

void SwitchBase::checkedChangedForAssistiveTechnology()
{
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
}

void SwitchBase::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    pressed_ = true;
    event->accept();
}

void SwitchBase::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !pressed_) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    pressed_ = false;
    event->accept();
    // Sliding off the switch before letting go cancels the click.
    if (rect().contains(event->position().toPoint()))
        click();
}

void SwitchBase::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space) {
        if (!event->isAutoRepeat())
            click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace varmolen
