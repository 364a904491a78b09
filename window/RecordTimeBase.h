// The Time/Div menu's and the panel's Time/Div list's state, for the groups whose controls change it: the
// Time dial and the rate buttons put the view back on the picture of one
// block (see window/RecordTimeBase.cpp).
#pragma once

#include "panel/PanelControls.h"
#include "state/InstrumentSettings.h"

namespace varmolen {

// The Time/Div items and the panel's list: the steps the rate and the
// record offer enabled, the settings' time a division (or the Time dial's
// item) chosen, Roll and the sweep checked.
void showTimeBaseSteps(const InstrumentSettings& settings, const PanelControls& controls);
// The picture of one block again (not while the settings are applied).
void showBlockPicture(InstrumentSettings& settings, const PanelControls& controls);

}  // namespace varmolen
