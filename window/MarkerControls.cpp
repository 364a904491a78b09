// Markers, cursor, readouts and the time base: the handlers read their
// control (switch, pointer, dial), let the readout functions do the
// arithmetic and copy the texts into the labels under the display, the
// status panels and the Uncal. lamp.
#include "window/MarkerControls.h"

#include <cmath>

#include "window/RecordTimeBase.h"

#include <QLabel>
#include <QLocale>
#include <QString>

#include "panel/PanelControls.h"
#include "state/InstrumentSettings.h"
#include "state/InstrumentView.h"
#include "window/QtHost.h"
#include "window/StatusPanels.h"
#include "panel/widgets/PaintBox.h"
#include "display/MarkerReadouts.h"
#include "display/ReadoutScales.h"
#include "window/MarkerInput.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/Led.h"
#include "panel/widgets/RockerSwitch.h"

namespace varmolen {

char decimalSeparator()
{
    const QString point = QLocale().decimalPoint();
    return point.size() == 1 ? point.at(0).toLatin1() : '\0';
}

namespace {

QString text(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

void MarkerControls::UpdateMarkerReadout()
{
    const MarkerReadout r = computeMarkerReadout(settings_, view_, decimalSeparator());
    controls_.screen.MarkerLabel->setText(text(r.markerLabel));
    status_.setText(4, text(r.statusPanel4));
}

void MarkerControls::UpdateTimeBase()
{
    const TimeBaseTexts t =
        computeTimeBase(settings_, view_, controls_.timeBase.TimeBaseDial->value(), decimalSeparator());
    controls_.timeBase.UncalLED->setChecked(t.uncalLedOn);
    controls_.screen.MarkerLabel->setText(text(t.markerLabel));
    if (t.statusPanel4)
        status_.setText(4, text(*t.statusPanel4));
    controls_.screen.HiFreqLabel->setText(text(t.hiFreqLabel));
    controls_.screen.LoFreqLabel->setText(text(t.loFreqLabel));
    // A cursor reading describes the column under the pointer: at a new
    // scale it is read again there.
    const QString cursor = status_.text(1);
    if (cursorColumn_ && cursor.startsWith(QLatin1String(readout::kCursor.data(), readout::kCursor.size())) &&
        cursor.size() > static_cast<qsizetype>(readout::kCursor.size()))
        status_.setText(1, text(cursorReadout(settings_, view_, *cursorColumn_, decimalSeparator())));
    axisLabelsChanged_();
}

void MarkerControls::TimeBaseDialClick(QObject* /*sender*/)
{
    showBlockPicture(settings_, controls_);
    UpdateTimeBase();
}

void MarkerControls::TimeBaseDialValueChange(QObject* /*sender*/)
{
    showBlockPicture(settings_, controls_);
    UpdateTimeBase();
}

void MarkerControls::SpectrumBoxMouseDown(QObject* /*sender*/, Qt::MouseButton /*button*/,
                                          Qt::KeyboardModifiers /*shift*/, int /*x*/, int /*y*/)
{
    // Any button, anywhere: a fresh press picks a marker only close by.
    markerMouseDown(view_);
}

void MarkerControls::SpectrumBoxMouseMove(QObject* /*sender*/, Qt::MouseButtons buttons,
                                          Qt::KeyboardModifiers /*shift*/, int x, int y)
{
    // The display row under the pointer, for the spectrogram's time.
    const int height = controls_.screen.SpectrumBox->height();
    const int row = height > 1 ? static_cast<int>(std::lround(y * 342.0 / (height - 1))) : y;
    const MouseMoveTexts t =
        markerMouseMove(settings_, view_, x, buttons.testFlag(Qt::LeftButton), decimalSeparator(), row);
    cursorColumn_ = clampColumn(x);
    status_.setText(1, text(t.cursorText));
    controls_.screen.MarkerLabel->setText(text(t.readout.markerLabel));
    status_.setText(4, text(t.readout.statusPanel4));
}

void MarkerControls::SpectrumBoxMouseUp(QObject* /*sender*/, Qt::MouseButton /*button*/,
                                        Qt::KeyboardModifiers /*shift*/, int /*x*/, int /*y*/)
{
    markerMouseUp(view_);
}

void MarkerControls::SpectrumBoxMouseLeave(QObject* sender)
{
    cursorColumn_.reset();
    if (controls_.screen.SpectrumBox->hasFocus()) {
        SpectrumBoxEnter(sender);
        return;
    }
    status_.setText(1, text(std::string(readout::kCursor)));
}

void MarkerControls::SpectrumBoxEnter(QObject* sender)
{
    // The pointer's readout, as if the pointer rested on the selected marker.
    const int column = markerColumn(settings_, keyboardMarker_);
    SpectrumBoxMouseMove(sender, Qt::NoButton, Qt::NoModifier, column, 0);
}

void MarkerControls::SpectrumBoxKeyDown(QObject* sender, int key, Qt::KeyboardModifiers shift)
{
    if (key == Qt::Key_M || key == Qt::Key_Space) {
        keyboardMarker_ = keyboardMarker_ == 1 ? 2 : 1;
    } else if (key == Qt::Key_Left || key == Qt::Key_Right) {
        if (!markerOn(settings_, keyboardMarker_))
            return;  // a marker that is off stays where it is, as under the mouse
        const int from = markerColumn(settings_, keyboardMarker_);
        const int columns = (shift.testFlag(Qt::ShiftModifier) ? 10 : 1) * (key == Qt::Key_Left ? -1 : 1);
        // A mouse drag that presses on the marker's line, picks it up there
        // and carries it the given columns, then lets go.
        SpectrumBoxMouseDown(sender, Qt::LeftButton, Qt::NoModifier, from, 0);
        lockOtherMarker(view_, keyboardMarker_);
        SpectrumBoxMouseMove(sender, Qt::LeftButton, Qt::NoModifier, from, 0);
        SpectrumBoxMouseMove(sender, Qt::LeftButton, Qt::NoModifier, from + columns, 0);
        SpectrumBoxMouseUp(sender, Qt::LeftButton, Qt::NoModifier, from + columns, 0);
    } else {
        return;
    }
    SpectrumBoxEnter(sender);
}

void MarkerControls::markerSwitchClicked(int marker, bool checked)
{
    const MarkerSwitchTexts t = markerSwitchClick(settings_, view_, marker, checked, decimalSeparator());
    if (t.uncheckExpandSw)
        controls_.display.ExpandSw->setChecked(false);
    if (t.markerLabel)
        controls_.screen.MarkerLabel->setText(text(*t.markerLabel));
    if (t.statusPanel4)
        status_.setText(4, text(*t.statusPanel4));
    UpdateTimeBase();
}

void MarkerControls::Mkr1SwitchClick(QObject* /*sender*/)
{
    markerSwitchClicked(1, controls_.chan1.Mkr1Switch->isChecked());
}

void MarkerControls::Mkr2SwitchClick(QObject* /*sender*/)
{
    markerSwitchClicked(2, controls_.chan2.Mkr2Switch->isChecked());
}

void MarkerControls::ExpandSwClick(QObject* /*sender*/)
{
    const ExpandOutcome outcome = expandSwitchClick(settings_, view_, controls_.display.ExpandSw->isChecked());
    if (outcome.refused) {
        controls_.display.ExpandSw->setChecked(false);
        host_.showMessage(outcome.message, outcome.caption);
    }
    UpdateTimeBase();
}

void MarkerControls::ThresholdDialClick(QObject* /*sender*/)
{
    status_.setText(2, text(thresholdDialChange(settings_, controls_.trigger.ThresholdDial->value())));
}

void MarkerControls::ThresholdDialValueChange(QObject* /*sender*/)
{
    status_.setText(2, text(thresholdDialChange(settings_, controls_.trigger.ThresholdDial->value())));
}

}  // namespace varmolen
