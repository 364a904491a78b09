// The spectrogram display: frequency across, time down (the newest row at
// the top), level as colour on a perceptually uniform map, with a colour bar
// at the right edge. The colour map runs from the bottom of the level range
// (darkest) to its top (brightest); levels outside it take the end colours.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "display/Raster.h"
#include "dsp/SpectrogramHistory.h"

namespace varmolen {

// Columns the colour bar takes at the right edge of the display (at its own
// size; a larger display scales it), and the gap before it.
constexpr int kColourBarColumns = 12;
constexpr int kColourBarGap = 4;

// The pixel columns the image takes on a display `width` pixels wide: the
// rest is the gap and the colour bar.
int spectrogramImageWidth(int width);

// The colour word (0x00BBGGRR, as the Raster's pen takes it) of a place
// 0..1 on the colour map (clamped), and of a level in dB against the range
// [topDb - rangeDb, topDb].
std::uint32_t colourMapWord(double place);
std::uint32_t levelColour(double db, double topDb, double rangeDb);

// Draws `history` into rows [top, bottom) of the raster, over columns
// [0, r.width() - colour bar - gap) (the bar and gap scaled by the raster's
// width over the display's own, rounded, at least 1): pixel row y shows the
// history row nearest in time to the middle of its share of `seconds`
// (the newest row's time - (y - top + 0.5) * seconds / (bottom - top)), the
// newest at `top`; pixel column x shows history column
// floor(x * columns / image width). Rows older than the history holds are
// left as they are, and so is the gap. Then the colour bar over the same
// rows, the top of the range on row `top`, its bottom on row `bottom - 1`.
// Allocates nothing; the raster counts every row as changed afterwards.
void drawSpectrogram(Raster& r, const SpectrogramHistory& history, int top, int bottom, double seconds, double topDb,
                     double rangeDb);

// What the cursor reads at pixel (x, y) of a spectrogram drawn as above:
// how long ago (s) the row it shows was taken, and its level (dB) in the
// history's column under x. Nothing where nothing of the history is drawn:
// outside the rows, below the oldest row, over the gap or the colour bar.
struct SpectrogramReading {
    double secondsAgo = 0.0;
    int column = 0;  // history column
    double levelDb = 0.0;
};
std::optional<SpectrogramReading> spectrogramAt(const SpectrogramHistory& history, int width, int top, int bottom,
                                                double seconds, int x, int y);

// Labels of the colour bar: the level (dB) at evenly spaced places from the
// top of the range to its bottom, each with its row in [top, bottom) and its
// text to a tenth of a dB, the tenth only where it is not 0 ("-60 dB",
// "-37.5 dB"), with the given decimal separator; `count` at least 2.
struct BarLabel {
    int row = 0;
    std::string text;
};
std::vector<BarLabel> colourBarLabels(int top, int bottom, double topDb, double rangeDb, int count,
                                      char decimalSeparator = '.');

}  // namespace varmolen
