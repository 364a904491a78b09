// Markers, cursor, readouts and time base: the display's pointer and keys,
// the marker switches, Exp., the threshold and Time dials, and the texts
// under the display and in the status panels that follow them.
#pragma once

#include <Qt>

#include <functional>
#include <optional>
#include <utility>

#include "window/PanelGroup.h"

class QObject;

namespace varmolen {

struct InstrumentSettings;
struct InstrumentView;

// The user's decimal separator as one byte, for every readout the window
// shows; '\0' (written as '.') where the locale's separator is not a single
// Latin-1 character.
char decimalSeparator();

class MarkerControls : public PanelGroup {
public:
    // The handlers write the markers' settings and what the pointer holds
    // in the view; axisLabelsChanged relabels the display's axes after a
    // new time base.
    MarkerControls(const PanelParts& panel, InstrumentSettings& settings, InstrumentView& view,
                   std::function<void()> axisLabelsChanged)
        : PanelGroup(panel), settings_(settings), view_(view), axisLabelsChanged_(std::move(axisLabelsChanged))
    {}

    void SpectrumBoxMouseDown(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void SpectrumBoxMouseMove(QObject* sender, Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y);
    void SpectrumBoxMouseUp(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    // The display with the keyboard: Left and Right carry the selected
    // marker one column (ten with Shift) by the same press, moves and
    // release as a mouse drag; M and Space select the other marker. On
    // entering, and after every key, the cursor readout points at the
    // selected marker.
    void SpectrumBoxEnter(QObject* sender);
    void SpectrumBoxKeyDown(QObject* sender, int key, Qt::KeyboardModifiers shift);
    // The pointer left the display: the cursor reading goes (or, with the
    // keyboard on the display, rests on the selected marker).
    void SpectrumBoxMouseLeave(QObject* sender);
    int keyboardMarker() const { return keyboardMarker_; }
    void Mkr1SwitchClick(QObject* sender);
    void Mkr2SwitchClick(QObject* sender);
    void ExpandSwClick(QObject* sender);
    void ThresholdDialClick(QObject* sender);
    void ThresholdDialValueChange(QObject* sender);
    void UpdateMarkerReadout();
    void UpdateTimeBase();
    void TimeBaseDialClick(QObject* sender);
    void TimeBaseDialValueChange(QObject* sender);

private:
    void markerSwitchClicked(int marker, bool checked);

    InstrumentSettings& settings_;
    InstrumentView& view_;
    std::function<void()> axisLabelsChanged_;
    int keyboardMarker_ = 1;  // the marker the display's keys move: 1 or 2
    // The display column under the pointer while the cursor reading
    // describes it; rewritten when the scale changes under it.
    std::optional<int> cursorColumn_;
};

}  // namespace varmolen
