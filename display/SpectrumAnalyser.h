// The spectrum analyser's FREQUENCY display: long transforms of the record,
// a chosen window, a linear or logarithmic frequency axis from a start to a
// stop, a level axis of a chosen top and range in dBFS, dBV, dBu or dBFS/Hz,
// fractional-octave bands as bars, and the spectrogram. It takes the place
// of the block's spectrum as soon as one of its settings leaves its default
// (analyserChosen); until then nothing here runs.
//
// A new transform is taken from the newest frames of the record when at
// least a hop of new frames arrived: a quarter of the length, and no more
// than a tenth of a second, so that a long transform still updates ten
// times a second. Columns show the strongest bin they cover (a narrow tone
// shows at its level at every width), or where a column is narrower than a
// bin, the level between the two bins around it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "display/AxisTicks.h"
#include "display/Raster.h"
#include "dsp/SampleRing.h"
#include "dsp/SpectrumAnalysis.h"
#include "state/InstrumentSettings.h"
#include "state/InstrumentView.h"

namespace varmolen {

// Whether the display shows the analyser: FREQUENCY, and its settings chosen.
bool analyserShown(const InstrumentSettings& s);

// The frequency axis over display columns 0..512.
struct FrequencyAxis {
    double lowHz = 0.0;
    double highHz = 1.0;
    bool log = false;

    double hzAt(double column) const;
    double columnOf(double hz) const;
    bool operator==(const FrequencyAxis&) const = default;
};

// The axis the settings give at `rate`: from the start (on a logarithmic
// axis at least a bin, kLogAxisStartDefault when unset) to the stop (half
// the rate when unset or above it).
FrequencyAxis settingsAxis(const AnalyserSettings& a, std::uint32_t rate, std::int32_t length);
// The settings' axis at the rate and length of the picture shown.
FrequencyAxis baseAxis(const InstrumentSettings& s, const InstrumentView& view);
// The axis as drawn: the settings' at the picture's rate, narrowed in the
// expanded view (Exp) to the frequencies under the two markers.
FrequencyAxis shownAxis(const InstrumentSettings& s, const InstrumentView& view);

// What the level axis reads for channel n: the unit's name, and the dB to
// add to a power's dBFS for it (dBV and dBu need a calibrated channel, and
// read dBFS otherwise; dBFS/Hz is per bin, the window's noise bandwidth
// taken out).
struct LevelUnit {
    const char* name = "dBFS";
    double offsetDb = 0.0;
    bool density = false;
};
LevelUnit levelUnit(const InstrumentSettings& s, const AnalyserPicture& picture, int n);

// The level (in the unit's dB) channel n's spectrum shows over columns
// [from, to) of `axis`; nothing without a spectrum.
std::optional<double> columnLevel(const InstrumentSettings& s, const AnalyserPicture& picture,
                                  const FrequencyAxis& axis, int n, double from, double to);

// What the analyser shows of channel n, point by point, for a script: with
// bands on, each band's level at its mid-band frequency; otherwise each
// bin's level from the axis's start to its stop, at the bin's frequency;
// levels in the unit of the level axis. False, leaving both empty, when the
// channel has no spectrum.
bool analyserPoints(const InstrumentSettings& s, const InstrumentView& view, int n, std::vector<float>& hz,
                    std::vector<float>& levels);

// A spectrogram row's level where a column has no spectrum.
constexpr float kNoSpectrogramLevel = -1000.0f;

// Takes the analyser's transforms from the record; owned by the window.
class AnalyserSweep {
public:
    AnalyserSweep();
    // Takes a new spectrum of each channel shown when a hop of new frames
    // reached the record, the run loop's DC levels taken off, and adds the
    // spectrogram's rows for a display `width` pixels wide. True when it
    // took one.
    bool advance(const InstrumentSettings& s, InstrumentView& view, const SampleRing& ring,
                 std::array<float, 2> dcLevels, int width);
    // A held picture whose length or window changed: transforms the frames
    // it was taken from again (a length longer than they are waits for the
    // next spectrum). True when it did.
    bool retake(const InstrumentSettings& s, InstrumentView& view);
    // Starts afresh: the averages, the held peaks and the spectrogram.
    void restart(InstrumentView& view);

private:
    // Sizes the transform and the arrays for the length chosen, or the
    // longest a record of `capacity` frames holds; starts afresh at a new rate.
    bool prepare(const InstrumentSettings& s, InstrumentView& view, std::uint32_t rate, std::size_t capacity);
    // The picture's arrays and shape for the transform as prepared, the
    // averages and held peaks afresh.
    void takeShape(AnalyserPicture& p) const;
    void transformChannels(const InstrumentSettings& s, InstrumentView& view);
    void addSpectrogramRows(const InstrumentSettings& s, InstrumentView& view, int width);

    SpectrumTransform transform_;
    // [n - 1]: the frames of channel n the last spectrum came from, and
    // the DC level taken off them.
    std::array<std::vector<float>, 2> frames_;
    std::array<float, 2> dc_{};
    std::int32_t framesLength_ = 0;
    std::vector<float> row_;  // a spectrogram row being formed
    // What the spectrogram's rows were formed for: a change starts it afresh.
    FrequencyAxis rowsAxis_;
    int rowsWidth_ = 0;
    std::int32_t rowsLength_ = 0;
    AnalysisWindow rowsWindow_ = AnalysisWindow::Specified;
    std::int32_t rowsUnit_ = 0;
};

// Draws the analyser's picture: each channel's spectrum or bands, or the
// spectrogram, in the channel's colour over the cleared display.
void drawAnalyser(const InstrumentSettings& s, const InstrumentView& view, Raster& r);

// The display rows [top, bottom) channel n's spectrogram takes: the whole
// height for one channel, the upper half for channel 1 and the lower for
// channel 2 when both are on; nothing for a channel that is off.
struct SpectrogramBand {
    int top = 0;
    int bottom = 0;
};
std::optional<SpectrogramBand> spectrogramRows(const InstrumentSettings& s, int n);
// How many seconds of history the spectrogram's height shows.
double spectrogramSeconds();

// Columns (0..512) of the vertical graticule lines into `columns`, at most
// its size: the round frequencies the axis is labelled at. Their count.
std::size_t analyserGridColumns(const InstrumentSettings& s, const InstrumentView& view, std::span<double> columns);

// The readouts (display/AnalyserReadouts.cpp).

// Round frequencies along `axis`, at most `maxTicks` (at least 2), each at
// its column: 1-2-5 steps on a linear axis; on a logarithmic one 1, 2 and 5
// of each decade (20, 50, 100, 200 Hz, ...), or only the decades where
// those are too many.
std::vector<AxisTick> analyserFrequencyTicks(const FrequencyAxis& axis, int maxTicks, char decimalSeparator);
// The level axis's label at each of its eleven horizontal lines, top first
// ("0", "-12", ...; a tenth of the range apart), with the unit of channel n.
std::vector<std::string> analyserLevelTicks(const InstrumentSettings& s, const InstrumentView& view, int n,
                                            char decimalSeparator);
// The unit the level axis of channel n reads ("dBFS", "dBV", "dBu", "dBFS/Hz").
std::string analyserUnitName(const InstrumentSettings& s, const InstrumentView& view, int n);

// The frequency at column p (0..512) as the readouts say it ("1234.5").
std::string analyserHzText(const InstrumentSettings& s, const InstrumentView& view, double column,
                           char decimalSeparator);
// The cursor's reading at column p: frequency, and the level of the first
// channel shown there ("Cursor = 1000.0 Hz, -12.5 dBFS"); in the
// spectrogram at row y also how long ago.
std::string analyserCursorText(const InstrumentSettings& s, const InstrumentView& view, std::int32_t column,
                               std::int32_t row, char decimalSeparator);
// The marker readout: the frequencies' difference between the two markers.
std::string analyserMarkerText(const InstrumentSettings& s, const InstrumentView& view, char decimalSeparator);

}  // namespace varmolen
