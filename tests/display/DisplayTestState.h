// A fresh instrument state with the start-up values and the window table, and
// a bitmap, for the display tests.
#pragma once

#include <cstdint>
#include <memory>

#include "state/InstrumentState.h"
#include "display/Raster.h"
#include "dsp/Graphicinterpolate.h"

namespace varmolen::testing {

struct Bench {
    std::unique_ptr<InstrumentState> state = std::make_unique<InstrumentState>();
    std::unique_ptr<Raster> raster = std::make_unique<Raster>();
    InstrumentState& s = *state;
    Raster& r = *raster;

    Bench()
    {
        fillWindowTable(s.windowTable, s.blockSamples);
        s.loadingSettings = 0;
        s.chan1Color = 0x0000FF;  // red is the tick colour; tests pick their own
        s.chan2Color = 0xFF0000;
    }

    int CountRow(int y, std::uint32_t c, int x0 = 0, int x1 = 512) const
    {
        int n = 0;
        for (int x = x0; x <= x1; ++x)
            n += r.pixel(x, y) == c;
        return n;
    }
    int CountAll(std::uint32_t c) const
    {
        int n = 0;
        for (int y = 0; y < Raster::kHeight; ++y)
            n += CountRow(y, c);
        return n;
    }
};

}  // namespace varmolen::testing
