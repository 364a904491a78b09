// Instrument states for the marker tests: the start-up state, and the same
// with both markers switched on. On the heap: the state carries its work
// arrays and cannot be moved.
#pragma once

#include <memory>

#include "state/InstrumentState.h"

namespace varmolen::test {

inline std::unique_ptr<InstrumentState> startupState() { return std::make_unique<InstrumentState>(); }

inline std::unique_ptr<InstrumentState> bothMarkersOn()
{
    auto s = startupState();
    s->marker1Enabled = 1;
    s->marker2Enabled = 1;
    return s;
}

}  // namespace varmolen::test
