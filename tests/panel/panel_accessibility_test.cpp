// What assistive technology learns about the panel's own widgets: the role,
// the name people say (group and caption), the value as printed, the states,
// and the actions that work a control as a hand does (its signals fire, so
// its handler runs). The events that announce each change reach a listener
// only where a screen reader's bridge is active: the check over the
// accessibility bus (tests/e2e/accessibility_bus.sh) hears them.

#include "panel/widgets/PanelAccessibility.h"

#include <QAccessible>
#include <QGroupBox>
#include <QSignalSpy>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <limits>

#include "panel/widgets/Dial.h"
#include "panel/widgets/Led.h"
#include "panel/widgets/RockerSwitch.h"
#include "panel/widgets/ToggleSwitch.h"
#include "panel/widgets/TrackBar.h"

namespace varmolen {
namespace {

QAccessibleInterface* access(QWidget* w)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    EXPECT_NE(iface, nullptr);
    return iface;
}

bool hasAction(QAccessibleInterface* iface, const QString& name)
{
    return iface->actionInterface() != nullptr && iface->actionInterface()->actionNames().contains(name);
}

// Panel groups as the window has them, each holding its controls.
class PanelAccessibilityTest : public ::testing::Test {
protected:
    QGroupBox* group(const char* title)
    {
        auto* g = new QGroupBox(QString::fromUtf8(title), &window);
        g->setLayout(new QVBoxLayout);
        return g;
    }
    template <typename W>
    W* in(QGroupBox* g)
    {
        auto* w = new W(g);
        g->layout()->addWidget(w);
        return w;
    }

    QWidget window;
};

TEST_F(PanelAccessibilityTest, DialReadsAsPrintedAndTurnsThroughItsActions)
{
    auto* gain = in<Dial>(group("Channel 1"));
    gain->setCaption("Gain");
    gain->setUnit("%");
    gain->setRange(0.0f, 100.0f);
    gain->setValue(74.0f);
    QAccessibleInterface* iface = access(gain);
    EXPECT_EQ(iface->role(), QAccessible::Dial);
    EXPECT_EQ(iface->text(QAccessible::Name), "Channel 1 Gain");
    EXPECT_EQ(iface->text(QAccessible::Value), "74.0 %");
    QAccessibleValueInterface* value = iface->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_DOUBLE_EQ(value->currentValue().toDouble(), 74.0);
    EXPECT_DOUBLE_EQ(value->minimumValue().toDouble(), 0.0);
    EXPECT_DOUBLE_EQ(value->maximumValue().toDouble(), 100.0);
    EXPECT_DOUBLE_EQ(value->minimumStepSize().toDouble(), 1.0);

    QSignalSpy turned(gain, &Dial::valueChanged);
    ASSERT_TRUE(hasAction(iface, QAccessibleActionInterface::increaseAction()));
    iface->actionInterface()->doAction(QAccessibleActionInterface::increaseAction());
    EXPECT_FLOAT_EQ(gain->value(), 75.0f);
    iface->actionInterface()->doAction(QAccessibleActionInterface::decreaseAction());
    iface->actionInterface()->doAction(QAccessibleActionInterface::decreaseAction());
    EXPECT_FLOAT_EQ(gain->value(), 73.0f);
    EXPECT_EQ(turned.count(), 3);
    EXPECT_EQ(iface->text(QAccessible::Value), "73.0 %");
    EXPECT_DOUBLE_EQ(value->currentValue().toDouble(), 73.0);

    // A disabled dial does not turn.
    gain->setEnabled(false);
    iface->actionInterface()->doAction(QAccessibleActionInterface::increaseAction());
    value->setCurrentValue(10.0);
    EXPECT_FLOAT_EQ(gain->value(), 73.0f);
}

TEST_F(PanelAccessibilityTest, DialSetThroughItsValueSnapsAsTheHandDoes)
{
    auto* threshold = in<Dial>(group("Trigger"));
    threshold->setCaption("Threshold");
    threshold->setRange(-50.0f, 50.0f);
    threshold->setDigitalSteps(100);
    QAccessibleValueInterface* value = access(threshold)->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(access(threshold)->text(QAccessible::Name), "Trigger Threshold");
    QSignalSpy turned(threshold, &Dial::valueChanged);
    value->setCurrentValue(-12.7);
    EXPECT_FLOAT_EQ(threshold->value(), -13.0f);
    value->setCurrentValue(400.0);
    EXPECT_FLOAT_EQ(threshold->value(), 50.0f);
    value->setCurrentValue(std::numeric_limits<double>::quiet_NaN());
    value->setCurrentValue(QStringLiteral("not a number"));
    EXPECT_FLOAT_EQ(threshold->value(), 50.0f);
    EXPECT_EQ(turned.count(), 2);
}

// Rockers and levers: check boxes with both positions spoken, flipped by the
// press and toggle actions as by a click.
TEST_F(PanelAccessibilityTest, SwitchesAreCheckBoxesThatFlipThroughTheirActions)
{
    auto* enable = in<RockerSwitch>(group("Channel 1"));
    enable->setCaption("Enable");
    QGroupBox* trigger = group("Trigger");
    auto* onOff = in<ToggleSwitch>(trigger);
    onOff->setLabels("ON", "OFF");
    auto* slope = in<ToggleSwitch>(trigger);
    slope->setLabels("+", "-");
    slope->setAccessibleName("Trigger slope");

    struct Case {
        SwitchBase* control;
        const char* name;
        const char* uncheckedValue;
        const char* checkedValue;
    };
    const Case cases[] = {
        {enable, "Channel 1 Enable", "off", "on"},
        {onOff, "Trigger: ON / OFF", "OFF", "ON"},
        {slope, "Trigger slope: + / -", "-", "+"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QAccessibleInterface* iface = access(c.control);
        EXPECT_EQ(iface->role(), QAccessible::CheckBox);
        EXPECT_EQ(iface->text(QAccessible::Name), c.name);
        EXPECT_TRUE(iface->state().checkable);
        EXPECT_FALSE(iface->state().checked);
        EXPECT_EQ(iface->text(QAccessible::Value), c.uncheckedValue);

        QSignalSpy clicked(c.control, &SwitchBase::clicked);
        ASSERT_TRUE(hasAction(iface, QAccessibleActionInterface::pressAction()));
        iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        EXPECT_TRUE(c.control->isChecked());
        EXPECT_TRUE(iface->state().checked);
        EXPECT_EQ(iface->text(QAccessible::Value), c.checkedValue);
        iface->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        EXPECT_FALSE(c.control->isChecked());
        EXPECT_EQ(clicked.count(), 2);
    }

    // A disabled switch does not move.
    enable->setEnabled(false);
    access(enable)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_FALSE(enable->isChecked());
}

TEST_F(PanelAccessibilityTest, LampIsAStatusIndicatorOnOrOff)
{
    auto* uncal = in<Led>(group("Time Base"));
    uncal->setCaption("Uncal.");
    QAccessibleInterface* iface = access(uncal);
    EXPECT_EQ(iface->role(), QAccessible::Indicator);
    EXPECT_EQ(iface->text(QAccessible::Name), "Time Base Uncal.");
    EXPECT_EQ(iface->text(QAccessible::Value), "off");
    EXPECT_FALSE(iface->state().checked);

    uncal->setChecked(true);
    EXPECT_EQ(iface->text(QAccessible::Value), "on");
    EXPECT_TRUE(iface->state().checked);
    EXPECT_TRUE(iface->state().readOnly);
    EXPECT_FALSE(hasAction(iface, QAccessibleActionInterface::toggleAction()));
}

TEST_F(PanelAccessibilityTest, RangeBarReadsItsPrintedPositions)
{
    auto* range = in<TrackBar>(group("Channel 1"));
    range->setAccessibleName("Channel 1 Range");
    range->setPositions({"Gnd", "1", "10", "100"}, {0.0, 1.0, 10.0, 100.0});
    QAccessibleInterface* iface = access(range);
    EXPECT_EQ(iface->role(), QAccessible::Slider);
    EXPECT_EQ(iface->text(QAccessible::Name), "Channel 1 Range");
    QAccessibleValueInterface* value = iface->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_DOUBLE_EQ(value->minimumValue().toDouble(), 0.0);
    EXPECT_DOUBLE_EQ(value->maximumValue().toDouble(), 100.0);

    const struct {
        int position;
        const char* text;
        double number;
    } positions[] = {{0, "Gnd", 0.0}, {1, "1", 1.0}, {2, "10", 10.0}, {3, "100", 100.0}};
    for (const auto& p : positions) {
        range->setValue(p.position);
        EXPECT_EQ(iface->text(QAccessible::Value), p.text);
        EXPECT_DOUBLE_EQ(value->currentValue().toDouble(), p.number);
    }

    range->setValue(1);
    QSignalSpy moved(range, &QSlider::valueChanged);
    iface->actionInterface()->doAction(QAccessibleActionInterface::increaseAction());
    EXPECT_EQ(iface->text(QAccessible::Value), "10");
    value->setCurrentValue(4.0);  // nearest printed number: 1
    EXPECT_EQ(range->value(), 1);
    value->setCurrentValue(100.0);
    EXPECT_EQ(range->value(), 3);
    iface->actionInterface()->doAction(QAccessibleActionInterface::increaseAction());
    EXPECT_EQ(range->value(), 3);
    EXPECT_EQ(moved.count(), 3);
}

}  // namespace
}  // namespace varmolen
