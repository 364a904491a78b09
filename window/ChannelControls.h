// The channel columns and the Trace group: gain dials, range track bars,
// position dials and the Enable, Add and XY rockers.
#pragma once

#include "window/PanelGroup.h"

class QObject;

namespace varmolen {

struct InstrumentSettings;
struct InstrumentView;

class ChannelControls : public PanelGroup {
public:
    // The handlers write the channel fields of the settings; the position
    // dials read the display's height from the view.
    ChannelControls(const PanelParts& panel, InstrumentSettings& settings, const InstrumentView& view)
        : PanelGroup(panel), settings_(settings), view_(view)
    {}

    void Chan1GainDialClick(QObject* sender);
    void Chan1GainDialValueChange(QObject* sender);
    void Chan2GainDialClick(QObject* sender);
    void Chan2GainDialValueChange(QObject* sender);
    void Chan1GainTrackBarChange(QObject* sender);
    void Chan2GainTrackBarChange(QObject* sender);
    void Chan1OffsetDialClick(QObject* sender);
    void Chan1OffsetDialValueChange(QObject* sender);
    void Chan2OffsetDialClick(QObject* sender);
    void Chan2OffsetDialValueChange(QObject* sender);
    void Chan1EnbSwitchClick(QObject* sender);
    void Chan2EnbSwitchClick(QObject* sender);
    void AddChanSwClick(QObject* sender);
    void TraceModeSwClick(QObject* sender);

private:
    InstrumentSettings& settings_;
    const InstrumentView& view_;
};

}  // namespace varmolen
