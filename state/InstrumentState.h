// The instrument state: its settings, its view, the work buffers of a display
// pass and the device records, each a part of its own under the names the
// whole program uses, so a function can take just the part it reads or
// writes. One instance lives as long as the main window, which hands the
// parts to what it builds; tests make their own. A fresh state holds the
// start-up values.
#pragma once

#include <array>

#include "state/DeviceRecords.h"
#include "state/InstrumentSettings.h"
#include "state/InstrumentView.h"
#include "state/PassBuffers.h"
#include "state/StateBasics.h"

namespace varmolen {

struct InstrumentState : InstrumentSettings, InstrumentView, PassBuffers, DeviceRecords {};

// Copies text into a fixed path field, cut to 255 characters and NUL-terminated.
void setPath(std::array<char, kPathLength>& field, const char* text);

}  // namespace varmolen
