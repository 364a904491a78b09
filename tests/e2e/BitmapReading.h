// Reading a trace back from the display bitmap, column by column: where a
// colour's pixels lie, where the trace first crosses its middle going up,
// and which column reaches highest.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "display/Raster.h"

namespace varmolen::test {

struct ColumnRows {
    // Per column: the topmost row and the mean row of the colour's pixels,
    // -1 where the column holds none.
    std::array<int, Raster::kWidth> top{};
    std::array<double, Raster::kWidth> mean{};
};

inline ColumnRows traceRows(const Raster& r, std::uint32_t colour)
{
    ColumnRows rows;
    for (int x = 0; x < Raster::kWidth; ++x) {
        int count = 0;
        long sum = 0;
        int top = -1;
        for (int y = 0; y < Raster::kHeight; ++y) {
            if (r.pixel(x, y) != colour)
                continue;
            if (top < 0)
                top = y;
            sum += y;
            ++count;
        }
        rows.top[x] = top;
        rows.mean[x] = count > 0 ? static_cast<double>(sum) / count : -1.0;
    }
    return rows;
}

// Halfway between the trace's highest and lowest points (by mean rows), and
// the distance between them; a negative middle when the colour is nowhere.
struct TraceExtent {
    double middle = -1.0;
    double height = 0.0;
};

inline TraceExtent traceExtent(const ColumnRows& rows)
{
    double lo = 1e9, hi = -1e9;
    for (double m : rows.mean)
        if (m >= 0) {
            lo = std::min(lo, m);
            hi = std::max(hi, m);
        }
    if (hi < lo)
        return {};
    return {(lo + hi) / 2, hi - lo};
}

// The column at which the trace first passes its middle row going up the
// screen (a rising signal), counted from the left; -1 if it never does.
inline int firstRisingCrossing(const ColumnRows& rows)
{
    const double middle = traceExtent(rows).middle;
    if (middle < 0)
        return -1;
    for (int x = 1; x < Raster::kWidth; ++x) {
        const double before = rows.mean[x - 1], here = rows.mean[x];
        if (before >= 0 && here >= 0 && before > middle && here <= middle)
            return x;
    }
    return -1;
}

// The column whose topmost pixel is highest on the screen; where a peak is
// cut flat at the top, the middle of the leftmost such stretch. -1 if the
// colour is nowhere.
inline int highestColumn(const ColumnRows& rows)
{
    int best = -1;
    for (int x = 0; x < Raster::kWidth; ++x)
        if (rows.top[x] >= 0 && (best < 0 || rows.top[x] < rows.top[best]))
            best = x;
    if (best < 0)
        return -1;
    int last = best;
    while (last + 1 < Raster::kWidth && rows.top[last + 1] == rows.top[best])
        ++last;
    return (best + last) / 2;
}

inline std::string join(const std::vector<int>& values)
{
    std::ostringstream out;
    for (std::size_t i = 0; i < values.size(); ++i)
        out << (i ? " " : "") << values[i];
    return out.str();
}

}  // namespace varmolen::test
