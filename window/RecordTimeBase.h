// The Time/Div menu's state, for the groups whose controls change it: the
// Time dial and the rate buttons put the view back on the picture of one
// block (see window/RecordTimeBase.cpp).
#pragma once

#include "panel/PanelControls.h"
#include "state/InstrumentSettings.h"

namespace varmolen {

// The Time/Div items: the steps the rate and the record offer enabled, the
// settings' time a division (or the Time dial's item), Roll and the sweep checked.
void showTimeBaseSteps(const InstrumentSettings& settings, const DisplayMenu& menu);
// The picture of one block again (not while the settings are applied).
void showBlockPicture(InstrumentSettings& settings, const DisplayMenu& menu);

}  // namespace varmolen
