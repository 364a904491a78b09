#include "panel/widgets/PanelAccessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QGroupBox>

#include <cmath>

#include "panel/widgets/Dial.h"
#include "panel/widgets/Led.h"
#include "panel/widgets/RockerSwitch.h"
#include "panel/widgets/ToggleSwitch.h"
#include "panel/widgets/TrackBar.h"

namespace varmolen {

namespace {

// The title of the nearest group box around the control, without its
// mnemonic marker; empty outside any group.
QString groupTitle(const QWidget* control)
{
    for (const QWidget* p = control->parentWidget(); p != nullptr; p = p->parentWidget()) {
        if (const auto* group = qobject_cast<const QGroupBox*>(p)) {
            QString title = group->title();
            return title.remove(QLatin1Char('&'));
        }
    }
    return {};
}

QString joined(const QString& first, const QString& second)
{
    if (first.isEmpty())
        return second;
    if (second.isEmpty())
        return first;
    return first + QLatin1Char(' ') + second;
}

// ------------------------------------------------ Dials and track bars

// What a dial and a labelled track bar say alike: a number (current, minimum,
// maximum, step) with the text the panel prints for it, set as the hand sets
// it, and Increase and Decrease, which move the control one step. A disabled
// control takes neither a value nor an action.
class SteppedValueInterface : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    SteppedValueInterface(QWidget* control, QAccessible::Role role) : QAccessibleWidget(control, role) {}

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return spokenName();
        if (t == QAccessible::Value)
            return valueText();
        return QAccessibleWidget::text(t);
    }

    void setCurrentValue(const QVariant& value) override
    {
        bool ok = false;
        const double v = value.toDouble(&ok);
        if (ok && widget()->isEnabled())
            moveTo(v);
    }

    QStringList actionNames() const override
    {
        return QStringList{increaseAction(), decreaseAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override
    {
        if (name == increaseAction() || name == decreaseAction()) {
            if (widget()->isEnabled())
                stepBy(name == increaseAction() ? 1 : -1);
        } else {
            QAccessibleWidget::doAction(name);
        }
    }

protected:
    // What the control is called aloud.
    virtual QString spokenName() const = 0;
    // The value as the panel prints it.
    virtual QString valueText() const = 0;
    // Moves the enabled control to the number, as far as it can go there.
    virtual void moveTo(double v) = 0;
    // Moves the enabled control one step up (+1) or down (-1).
    virtual void stepBy(int direction) = 0;
};

// A dial reads as it prints its value ("74.0 %") and is valued with its number.
class DialInterface : public SteppedValueInterface {
public:
    explicit DialInterface(Dial* dial) : SteppedValueInterface(dial, QAccessible::Dial) {}

    QVariant currentValue() const override { return static_cast<double>(dial()->value()); }
    QVariant maximumValue() const override { return static_cast<double>(dial()->maximum()); }
    QVariant minimumValue() const override { return static_cast<double>(dial()->minimum()); }
    QVariant minimumStepSize() const override { return static_cast<double>(dial()->stepSize()); }

protected:
    QString spokenName() const override { return varmolen::spokenName(dial(), dial()->caption()); }
    QString valueText() const override { return dial()->valueText(); }
    void moveTo(double v) override
    {
        if (std::isfinite(v))
            dial()->turnTo(static_cast<float>(v));
    }
    void stepBy(int direction) override { dial()->turnBy(direction); }

private:
    Dial* dial() const { return static_cast<Dial*>(widget()); }
};

// A labelled track bar reads as a slider valued with its positions' names.
class TrackBarInterface : public SteppedValueInterface {
public:
    explicit TrackBarInterface(TrackBar* bar) : SteppedValueInterface(bar, QAccessible::Slider) {}

    // The numbers the positions stand for, so that a reader that speaks
    // only numbers still says 0, 1, 10, 100 rather than 0 to 3.
    QVariant currentValue() const override { return bar()->positionNumber(bar()->value()); }
    QVariant maximumValue() const override { return bar()->positionNumber(bar()->positionCount() - 1); }
    QVariant minimumValue() const override { return bar()->positionNumber(0); }
    QVariant minimumStepSize() const override { return 0.0; }

protected:
    QString spokenName() const override { return varmolen::spokenName(bar(), QString()); }
    QString valueText() const override { return bar()->positionName(bar()->value()); }
    void moveTo(double v) override
    {
        if (bar()->positionCount() > 0)
            bar()->setValue(bar()->positionNearest(v));
    }
    void stepBy(int direction) override
    {
        bar()->triggerAction(direction > 0 ? QAbstractSlider::SliderSingleStepAdd
                                           : QAbstractSlider::SliderSingleStepSub);
    }

private:
    TrackBar* bar() const { return static_cast<TrackBar*>(widget()); }
};

// ----------------------------------------------- Rocker and toggle switches

class SwitchInterface : public QAccessibleWidget {
public:
    SwitchInterface(SwitchBase* control, QAccessible::Role role) : QAccessibleWidget(control, role) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            if (const auto* toggle = qobject_cast<const ToggleSwitch*>(control())) {
                // A lever has no caption of its own: its name says what it
                // sets and both positions, checked one first.
                const QString what = toggle->accessibleName().isEmpty() ? groupTitle(toggle) : toggle->accessibleName();
                return QStringLiteral("%1: %2 / %3").arg(what, toggle->checkedLabel(), toggle->uncheckedLabel());
            }
            const auto* rocker = static_cast<const RockerSwitch*>(control());
            return spokenName(rocker, rocker->caption());
        }
        if (t == QAccessible::Value)
            return control()->positionText(control()->isChecked());
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = control()->isChecked();
        return s;
    }

    QStringList actionNames() const override
    {
        return QStringList{pressAction(), toggleAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override
    {
        if (name == pressAction() || name == toggleAction()) {
            if (control()->isEnabled())
                control()->click();
        } else {
            QAccessibleWidget::doAction(name);
        }
    }

private:
    SwitchBase* control() const { return static_cast<SwitchBase*>(widget()); }
};

// ---------------------------------------------------------------- Lamps

class LedInterface : public QAccessibleWidget {
public:
    explicit LedInterface(Led* led) : QAccessibleWidget(led, QAccessible::Indicator) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return spokenName(led(), led()->caption());
        if (t == QAccessible::Value)
            return led()->isChecked() ? QStringLiteral("on") : QStringLiteral("off");
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = led()->isChecked();
        s.readOnly = true;
        return s;
    }

private:
    Led* led() const { return static_cast<Led*>(widget()); }
};

// The factory is asked for every class of an object, most derived first, so
// a subclass of a panel widget gets its base's interface.
QAccessibleInterface* panelInterface(const QString& className, QObject* object)
{
    if (object == nullptr || !object->isWidgetType())
        return nullptr;
    const auto is = [&className](const QMetaObject& meta) { return className == QLatin1StringView(meta.className()); };
    if (is(Dial::staticMetaObject))
        return new DialInterface(static_cast<Dial*>(object));
    if (is(RockerSwitch::staticMetaObject))
        return new SwitchInterface(static_cast<RockerSwitch*>(object), QAccessible::CheckBox);
    if (is(ToggleSwitch::staticMetaObject))
        return new SwitchInterface(static_cast<ToggleSwitch*>(object), QAccessible::CheckBox);
    if (is(Led::staticMetaObject))
        return new LedInterface(static_cast<Led*>(object));
    if (is(TrackBar::staticMetaObject))
        return new TrackBarInterface(static_cast<TrackBar*>(object));
    return nullptr;
}

}  // namespace

void installPanelAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(panelInterface);
        return true;
    }();
    (void)installed;
}

QString spokenName(const QWidget* control, const QString& caption)
{
    if (!control->accessibleName().isEmpty())
        return control->accessibleName();
    return joined(groupTitle(control), caption);
}

}  // namespace varmolen
