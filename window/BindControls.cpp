// Binding the table's rows: each row's signal connected to its handler,
// the control told as the sender, and what follows the handler run after it.
#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QSlider>
#include <QTimer>

#include "window/BindingTable.h"
#include "window/Varmolen2.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/PaintBox.h"
#include "panel/widgets/SwitchBase.h"

namespace varmolen {

namespace {

// A row whose handler or signal does not fit its control is a fault of the
// table itself; the window cannot work without its bindings.
[[noreturn]] void misbound(const Binding& row)
{
    qFatal("The binding table binds '%s' to a signal or handler it does not have",
           row.control != nullptr ? qPrintable(row.control->objectName()) : "(no control)");
}

template <typename Fn>
const Fn& handlerOf(const Binding& row)
{
    const Fn* fn = std::get_if<Fn>(&row.handler);
    if (fn == nullptr || !*fn)
        misbound(row);
    return *fn;
}

void runThen(TScopeForm& form, Then then)
{
    switch (then) {
        case Then::ShowColours:
            form.menus().showColoursInForce();
            form.redrawHeldPicture();
            return;
        case Then::Redraw:
            form.redrawHeldPicture();
            return;
        case Then::Nothing:
        case Then::RedrawAfterDrag:  // these two depend on the event; see bindDisplay
        case Then::RedrawAfterMarkerKey:
            return;
    }
}

// A row of a plain control: the handler gets the control as sender.
void bindPlain(TScopeForm& form, const Binding& row)
{
    const Handler handler = handlerOf<Handler>(row);
    QObject* control = row.control;
    const Then then = row.then;
    const auto run = [&form, handler, control, then] {
        handler(form, control);
        runThen(form, then);
    };
    switch (row.signal) {
        case Signal::Clicked:
            if (auto* dial = qobject_cast<Dial*>(control)) {
                QObject::connect(dial, &Dial::clicked, &form, run);
                return;
            }
            if (auto* toggle = qobject_cast<SwitchBase*>(control)) {
                QObject::connect(toggle, &SwitchBase::clicked, &form, run);
                return;
            }
            if (auto* button = qobject_cast<QAbstractButton*>(control)) {
                QObject::connect(button, &QAbstractButton::clicked, &form, run);
                return;
            }
            break;
        case Signal::ValueChanged:
            if (auto* dial = qobject_cast<Dial*>(control)) {
                QObject::connect(dial, &Dial::valueChanged, &form, run);
                return;
            }
            if (auto* bar = qobject_cast<QSlider*>(control)) {
                QObject::connect(bar, &QSlider::valueChanged, &form, run);
                return;
            }
            // A list's item chosen by the user (not one set from code).
            if (auto* box = qobject_cast<QComboBox*>(control)) {
                QObject::connect(box, &QComboBox::activated, &form, run);
                return;
            }
            break;
        case Signal::Triggered:
            if (auto* item = qobject_cast<QAction*>(control)) {
                QObject::connect(item, &QAction::triggered, &form, run);
                return;
            }
            break;
        case Signal::Timeout:
            if (auto* timer = qobject_cast<QTimer*>(control)) {
                QObject::connect(timer, &QTimer::timeout, &form, run);
                return;
            }
            break;
        case Signal::MouseLeft:
            if (auto* box = qobject_cast<TPaintBox*>(control)) {
                QObject::connect(box, &TPaintBox::mouseLeft, &form, run);
                return;
            }
            break;
        case Signal::KeyboardEntered:
            if (auto* box = qobject_cast<TPaintBox*>(control)) {
                QObject::connect(box, &TPaintBox::keyboardEntered, &form, run);
                return;
            }
            break;
        default:
            break;
    }
    misbound(row);
}

// A row of the display's pointer and key events, which carry where and what.
void bindDisplay(TScopeForm& form, const Binding& row)
{
    auto* box = qobject_cast<TPaintBox*>(row.control);
    if (box == nullptr)
        misbound(row);
    const Then then = row.then;
    switch (row.signal) {
        case Signal::MousePressed:
        case Signal::MouseReleased: {
            const ButtonHandler handler = handlerOf<ButtonHandler>(row);
            const auto signal =
                row.signal == Signal::MousePressed ? &TPaintBox::mousePressed : &TPaintBox::mouseReleased;
            QObject::connect(box, signal, &form,
                             [&form, box, handler](Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
                                 handler(form, box, button, shift, x, y);
                             });
            return;
        }
        case Signal::MouseMoved: {
            const MoveHandler handler = handlerOf<MoveHandler>(row);
            QObject::connect(
                box, &TPaintBox::mouseMoved, &form,
                [&form, box, handler, then](Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y) {
                    handler(form, box, buttons, shift, x, y);
                    if (then == Then::RedrawAfterDrag && buttons.testFlag(Qt::LeftButton))
                        form.redrawHeldPicture();
                });
            return;
        }
        case Signal::KeyPressed: {
            const KeyHandler handler = handlerOf<KeyHandler>(row);
            QObject::connect(
                box, &TPaintBox::keyPressed, &form, [&form, box, handler, then](int key, Qt::KeyboardModifiers shift) {
                    handler(form, box, key, shift);
                    if (then == Then::RedrawAfterMarkerKey && (key == Qt::Key_Left || key == Qt::Key_Right))
                        form.redrawHeldPicture();
                });
            return;
        }
        default:
            misbound(row);
    }
}

}  // namespace

void runRow(TScopeForm& form, const Binding& row, QObject* sender, Then then)
{
    handlerOf<Handler>(row)(form, sender);
    runThen(form, then);
}

void bindControls(TScopeForm& form)
{
    for (const Binding& row : bindingTable(form.controls())) {
        if (std::holds_alternative<Handler>(row.handler))
            bindPlain(form, row);
        else
            bindDisplay(form, row);
    }
}

}  // namespace varmolen
