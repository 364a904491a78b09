// The channel columns and the Trace group: gain dials, range track bars,
// position dials and the Enable, Add and XY rockers. Each handler reads its
// own channel's control and writes the copy of the display type in force;
// the next display pass shows the change.
#include "window/ChannelControls.h"

#include <QSlider>

#include "panel/PanelControls.h"
#include "state/InstrumentSettings.h"
#include "state/InstrumentView.h"
#include "panel/ChannelMath.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/RockerSwitch.h"

namespace varmolen {

void ChannelControls::Chan1GainDialClick(QObject* /*sender*/)
{
    applyGainDial(settings_, 1, controls_.chan1.Chan1GainDial->value());
}

void ChannelControls::Chan1GainDialValueChange(QObject* /*sender*/)
{
    applyGainDial(settings_, 1, controls_.chan1.Chan1GainDial->value());
}

void ChannelControls::Chan2GainDialClick(QObject* /*sender*/)
{
    applyGainDial(settings_, 2, controls_.chan2.Chan2GainDial->value());
}

void ChannelControls::Chan2GainDialValueChange(QObject* /*sender*/)
{
    applyGainDial(settings_, 2, controls_.chan2.Chan2GainDial->value());
}

void ChannelControls::Chan1GainTrackBarChange(QObject* /*sender*/)
{
    applyRangePosition(settings_, 1, controls_.chan1.Chan1GainTrackBar->value(),
                       controls_.chan1.Chan1GainDial->value());
}

void ChannelControls::Chan2GainTrackBarChange(QObject* /*sender*/)
{
    applyRangePosition(settings_, 2, controls_.chan2.Chan2GainTrackBar->value(),
                       controls_.chan2.Chan2GainDial->value());
}

void ChannelControls::Chan1OffsetDialClick(QObject* /*sender*/)
{
    applyOffsetDial(settings_, view_.displayHeight, 1, controls_.chan1.Chan1OffsetDial->value());
}

void ChannelControls::Chan1OffsetDialValueChange(QObject* /*sender*/)
{
    applyOffsetDial(settings_, view_.displayHeight, 1, controls_.chan1.Chan1OffsetDial->value());
}

void ChannelControls::Chan2OffsetDialClick(QObject* /*sender*/)
{
    applyOffsetDial(settings_, view_.displayHeight, 2, controls_.chan2.Chan2OffsetDial->value());
}

void ChannelControls::Chan2OffsetDialValueChange(QObject* /*sender*/)
{
    applyOffsetDial(settings_, view_.displayHeight, 2, controls_.chan2.Chan2OffsetDial->value());
}

void ChannelControls::Chan1EnbSwitchClick(QObject* /*sender*/)
{
    settings_.chan1Enabled = controls_.chan1.Chan1EnbSwitch->isChecked() ? 1 : 0;
}

void ChannelControls::Chan2EnbSwitchClick(QObject* /*sender*/)
{
    settings_.chan2Enabled = controls_.chan2.Chan2EnbSwitch->isChecked() ? 1 : 0;
}

void ChannelControls::AddChanSwClick(QObject* /*sender*/)
{
    settings_.addChannels = controls_.trace.AddChanSw->isChecked() ? 1 : 0;
}

void ChannelControls::TraceModeSwClick(QObject* /*sender*/)
{
    // 1 = each channel against time, 2 = XY.
    settings_.traceMode = controls_.trace.TraceModeSw->isChecked() ? kXyTraceMode : kYtTraceMode;
}

}  // namespace varmolen
