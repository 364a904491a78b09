// The binding table against the window it binds: every control and menu
// item the panel builder made has a row for each signal a user's action
// emits, exactly one, and the table binds nothing that is not on the window.
#include <QAction>
#include <QMenu>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "PanelFormRig.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/PaintBox.h"
#include "panel/widgets/SwitchBase.h"
#include "window/BindingTable.h"

namespace varmolen::test {
namespace {

using BindingTableTest = PanelFormRig;

const char* signalName(Signal signal)
{
    switch (signal) {
        case Signal::Clicked:
            return "clicked";
        case Signal::ValueChanged:
            return "valueChanged";
        case Signal::Triggered:
            return "triggered";
        case Signal::Timeout:
            return "timeout";
        case Signal::MousePressed:
            return "mousePressed";
        case Signal::MouseMoved:
            return "mouseMoved";
        case Signal::MouseReleased:
            return "mouseReleased";
        case Signal::MouseLeft:
            return "mouseLeft";
        case Signal::KeyPressed:
            return "keyPressed";
        case Signal::KeyboardEntered:
            return "keyboardEntered";
    }
    return "?";
}

// The signals a user's action (or, for the two run timers, time) emits on
// each kind of control the window has.
std::vector<Signal> userSignals(QObject* control)
{
    if (qobject_cast<Dial*>(control) != nullptr)
        return {Signal::Clicked, Signal::ValueChanged};
    if (qobject_cast<SwitchBase*>(control) != nullptr || qobject_cast<QRadioButton*>(control) != nullptr)
        return {Signal::Clicked};
    if (qobject_cast<QSlider*>(control) != nullptr)
        return {Signal::ValueChanged};
    if (qobject_cast<TPaintBox*>(control) != nullptr)
        return {Signal::MousePressed, Signal::MouseMoved, Signal::MouseReleased,
                Signal::MouseLeft,    Signal::KeyPressed, Signal::KeyboardEntered};
    if (qobject_cast<QAction*>(control) != nullptr)
        return {Signal::Triggered};
    if (qobject_cast<QTimer*>(control) != nullptr)
        return {Signal::Timeout};
    return {};
}

TEST_F(BindingTableTest, EveryControlAndMenuItemIsBoundOnceForEachSignalOfAUsersAction)
{
    // What the window holds: the panel's controls, the menu items (not the
    // entries that open a submenu, nor separators) and the run timers.
    std::vector<QObject*> controls;
    for (QWidget* w : form->findChildren<QWidget*>())
        if (qobject_cast<Dial*>(w) || qobject_cast<SwitchBase*>(w) || qobject_cast<QRadioButton*>(w) ||
            qobject_cast<QSlider*>(w) || qobject_cast<TPaintBox*>(w))
            controls.push_back(w);
    for (QAction* item : form->findChildren<QAction*>())
        if (item->menu() == nullptr && !item->isSeparator() && !item->associatedObjects().isEmpty())
            controls.push_back(item);
    controls.push_back(form->controls().run.StartTimer);
    controls.push_back(form->controls().run.TimeoutTimer);
    // Enough to be the whole panel: a builder that lost its widgets would
    // pass a walk of nothing (the panel has 71).
    ASSERT_GE(controls.size(), 71u);

    std::map<std::pair<QObject*, Signal>, int> rows;
    for (const Binding& row : BindingTable(form->controls()))
        ++rows[{row.control, row.signal}];

    std::set<std::pair<QObject*, Signal>> expected;
    for (QObject* control : controls) {
        const std::vector<Signal> kinds = userSignals(control);
        ASSERT_FALSE(kinds.empty()) << control->objectName().toStdString();
        for (Signal signal : kinds) {
            expected.insert({control, signal});
            const auto found = rows.find({control, signal});
            EXPECT_EQ(found == rows.end() ? 0 : found->second, 1)
                << control->objectName().toStdString() << " " << signalName(signal);
        }
    }
    for (const auto& [key, count] : rows)
        EXPECT_TRUE(expected.count(key) == 1)
            << "a row binds " << (key.first != nullptr ? key.first->objectName().toStdString() : "nothing") << " "
            << signalName(key.second) << ", which the window does not offer a user";
}

}  // namespace
}  // namespace varmolen::test
