// The strip's texts: numbers, units, digits and "?"; the calibration's
// refusals and conversions.
#include "display/MeasurementReadouts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "dsp/Calibration.h"

using namespace varmolen;

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

TEST(MeasurementTexts, Numbers)
{
    struct Case {
        std::function<std::string()> format;
        const char* expected;
    };
    const Case cases[] = {
        // Frequency and period to the digit four uncertainties fill.
        {[] { return formatFrequency(440.0, 0.001, '.'); }, "440.00 Hz"},
        {[] { return formatFrequency(440.00049, 0.0001, '.'); }, "440.000 Hz"},
        {[] { return formatFrequency(440.2, 0.3, '.'); }, "440 Hz"},
        {[] { return formatFrequency(12345.6, 3.0, '.'); }, "12300 Hz"},
        {[] { return formatFrequency(5.0, 0.0, '.'); }, "5.0000 Hz"},  // at most four decimals
        {[] { return formatFrequency(0.0, 0.1, '.'); }, "?"},
        {[] { return formatFrequency(kNaN, 0.1, '.'); }, "?"},
        {[] { return formatFrequency(1000.0, 0.001, ','); }, "1000,00 Hz"},
        {[] { return formatPeriod(440.0, 0.001, '.'); }, "2.2727 ms"},
        {[] { return formatPeriod(5.0, 1e-4, '.'); }, "200.0 ms"},
        {[] { return formatPeriod(0.5, 1e-5, '.'); }, "2.000 s"},
        {[] { return formatPeriod(20000.0, 0.1, '.'); }, "50.000 µs"},
        {[] { return formatPeriod(1000.00001, 1e-6, '.'); }, "1.0000 ms"},  // not "1000.0000 µs"
        {[] { return formatPeriod(-1.0, 0.1, '.'); }, "?"},
        // Levels against full scale.
        {[] { return formatPercent(0.5, '.'); }, "50.00 %"},
        {[] { return formatPercent(-32768.0 / 32767.0, '.'); }, "-100.00 %"},
        {[] { return formatPercent(-0.00001, '.'); }, "0.00 %"},
        {[] { return formatDecibels(0.5, "dBFS", '.'); }, "-6.02 dBFS"},
        {[] { return formatDecibels(-0.5, "dBFS", '.'); }, "-6.02 dBFS"},
        {[] { return formatDecibels(32768.0 / 32767.0, "dBFS", '.'); }, "0.00 dBFS"},
        {[] { return formatDecibels(0.0, "dBFS", '.'); }, "?"},
        {[] { return formatDecibels(0.01, "dB", ','); }, "-40,00 dB"},
        // Levels in dBFS: below -120 dBFS, 0 included, only that they are.
        {[] { return formatLevelDecibels(-0.5, '.'); }, "-6.02 dBFS"},
        {[] { return formatLevelDecibels(1.001e-6, '.'); }, "-119.99 dBFS"},
        {[] { return formatLevelDecibels(-9.9e-7, '.'); }, "< -120 dBFS"},
        {[] { return formatLevelDecibels(0.0, '.'); }, "< -120 dBFS"},
        {[] { return formatLevelDecibels(kNaN, '.'); }, "?"},
        // Volts: four significant digits, mV below 1 V.
        {[] { return formatVolts(1.2344, '.'); }, "1.234 V"},
        {[] { return formatVolts(-2.5, '.'); }, "-2.500 V"},
        {[] { return formatVolts(0.012344, '.'); }, "12.34 mV"},
        {[] { return formatVolts(0.0001234, '.'); }, "123.4 µV"},
        {[] { return formatVolts(-0.0001152e-3, '.'); }, "-115.2 nV"},
        {[] { return formatVolts(0.00099996, '.'); }, "1.000 mV"},
        {[] { return formatVolts(-999.96e-9, '.'); }, "-1.000 µV"},
        {[] { return formatVolts(9.99996e-6, '.'); }, "10.00 µV"},
        {[] { return formatVolts(0.99996, '.'); }, "1.000 V"},
        {[] { return formatVolts(999.96, '.'); }, "1000 V"},
        {[] { return formatVolts(0.0, '.'); }, "0.000 mV"},
        // Distortion: three significant digits.
        {[] { return formatDistortion(0.01, '.'); }, "1.00 %"},
        {[] { return formatDistortion(0.000123, '.'); }, "0.0123 %"},
        {[] { return formatDistortion(0.123, '.'); }, "12.3 %"},
        {[] { return formatDistortion(1.5, '.'); }, "150 %"},
        {[] { return formatDistortion(0.0, '.'); }, "0.00 %"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.format(), c.expected);
}

// A channel's rows, uncalibrated and calibrated, and a channel not recorded.
TEST(MeasurementTexts, Rows)
{
    ChannelReadings r;
    r.recorded = true;
    r.frequency = {true, 440.0, 0.001};
    const double half = 0.5 * kFullScaleCode;  // a half-scale sine with 1000 codes of DC
    r.levels = {true, 1000.0 + half, 1000.0 - half, 2.0 * half, 1000.0, half / std::sqrt(2.0)};
    r.tone = {true, 440.0, 0.004, half, true, 0.01, true, 0.0125};

    const TimeRowTexts t = timeTexts(r, 0.0, '.');
    EXPECT_EQ(t.frequency, "440.00 Hz");
    EXPECT_EQ(t.period, "2.2727 ms");
    EXPECT_EQ(t.peakToPeak, "50.00 %");
    EXPECT_EQ(t.peakToPeakDb, "-6.02 dBFS");
    EXPECT_EQ(t.maximum, "53.05 %");
    EXPECT_EQ(t.minimum, "-46.95 %");
    EXPECT_EQ(t.dcMean, "3.05 %");
    EXPECT_EQ(t.dcMeanDb, "-30.31 dBFS");
    EXPECT_EQ(t.rms, "50.00 %");
    EXPECT_EQ(t.rmsDb, "-6.02 dBFS");  // AES17: RMS against the full-scale sine's
    EXPECT_EQ(t.overload, "OK");

    // 2 V full scale: the same sine is 1 V peak, 0.7071 V RMS.
    const TimeRowTexts v = timeTexts(r, 2.0, '.');
    EXPECT_EQ(v.peakToPeak, "2.000 V");
    EXPECT_EQ(v.dcMean, "61.04 mV");
    EXPECT_EQ(v.rms, "707.1 mV");
    EXPECT_EQ(v.rmsDb, "");
    EXPECT_EQ(v.frequency, "440.00 Hz");

    const ToneRowTexts f = toneTexts(r, 0.0, '.');
    EXPECT_EQ(f.peakFrequency, "440.0 Hz");  // its own uncertainty
    EXPECT_EQ(f.peakLevel, "50.00 %");
    EXPECT_EQ(f.peakLevelDb, "-6.02 dBFS");
    EXPECT_EQ(f.thd, "1.00 %");
    EXPECT_EQ(f.thdDb, "-40.00 dB");
    EXPECT_EQ(f.thdN, "1.25 %");
    EXPECT_EQ(f.thdNDb, "-38.06 dB");
    EXPECT_EQ(f.imd, "?");
    EXPECT_EQ(f.imdMethod, "");
    r.imd = {.valid = true, .method = ImdMethod::Smpte, .ratio = 0.000123};
    const ToneRowTexts fi = toneTexts(r, 2.0, '.');  // calibrated or not, a ratio
    EXPECT_EQ(fi.imd, "0.0123 %");
    EXPECT_EQ(fi.imdDb, "-78.20 dB");
    EXPECT_EQ(fi.imdMethod, "SMPTE");
    const ToneRowTexts fv = toneTexts(r, 2.0, '.');
    EXPECT_EQ(fv.peakLevel, "707.1 mV");  // the tone's RMS
    EXPECT_EQ(fv.peakLevelDb, "");
    EXPECT_EQ(fv.thd, "1.00 %");

    // A DC mean within half a code of 0 reads 0; levels below -120 dBFS say so.
    ChannelReadings quiet = r;
    for (const double dc : {0.49, -0.49}) {
        quiet.levels.dcMean = dc;
        EXPECT_EQ(timeTexts(quiet, 0.0, '.').dcMean, "0.00 %") << dc;
        EXPECT_EQ(timeTexts(quiet, 0.0, '.').dcMeanDb, "< -120 dBFS") << dc;
        EXPECT_EQ(timeTexts(quiet, 2.0, '.').dcMean, "0.000 mV") << dc;
    }
    quiet.levels.dcMean = -0.5;
    EXPECT_EQ(timeTexts(quiet, 0.0, '.').dcMeanDb, "-96.33 dBFS");
    EXPECT_EQ(timeTexts(quiet, 2.0, '.').dcMean, "-30.52 µV");
    quiet.levels.acRms = 1e-5;  // -120 dBFS is 0.707 µV RMS on a 1 V channel
    EXPECT_EQ(timeTexts(quiet, 0.0, '.').rmsDb, "< -120 dBFS");
    EXPECT_EQ(timeTexts(quiet, 1.0, '.').rms, "< 707.1 nV");

    // A full-scale voltage the channel cannot use reads as uncalibrated.
    EXPECT_EQ(timeTexts(r, -1.0, '.').rms, "50.00 %");
    EXPECT_EQ(timeTexts(r, kNaN, '.').rms, "50.00 %");

    ChannelReadings none;
    const TimeRowTexts n = timeTexts(none, 0.0, '.');
    for (const std::string& text : {n.frequency, n.period, n.peakToPeak, n.peakToPeakDb, n.maximum, n.minimum, n.dcMean,
                                    n.rms, n.rmsDb, n.overload})
        EXPECT_EQ(text, "?");
    const ToneRowTexts nf = toneTexts(none, 0.0, '.');
    for (const std::string& text :
         {nf.peakFrequency, nf.peakLevel, nf.peakLevelDb, nf.thd, nf.thdDb, nf.thdN, nf.thdNDb, nf.imd, nf.imdDb})
        EXPECT_EQ(text, "?");
    none.imd = r.imd;  // nothing recorded: nothing read, whatever is left
    EXPECT_EQ(toneTexts(none, 0.0, '.').imdMethod, "");
    r.tone.thdValid = false;  // a tone too near the Nyquist frequency for harmonics
    EXPECT_EQ(toneTexts(r, 0.0, '.').thd, "?");
    EXPECT_EQ(toneTexts(r, 0.0, '.').thdN, "1.25 %");
}

// Calibration: the refusals the dialog shows, volts per channel, and the
// full scale found from a known RMS voltage.
TEST(MeasurementTexts, Calibration)
{
    struct Case {
        double volts;
        const char* problem;
    };
    const Case cases[] = {
        {1.5, ""},
        {0.001, ""},
        {1000.0, ""},
        {0.0, "Channel 2: the full scale must be more than 0 V."},
        {-3.0, "Channel 2: the full scale must be more than 0 V."},
        {0.0009, "Channel 2: the full scale must lie between 0.001 V and 1000 V."},
        {1e9, "Channel 2: the full scale must lie between 0.001 V and 1000 V."},
        {kNaN, "Channel 2: the full scale must be a number of volts."},
        {std::numeric_limits<double>::infinity(), "Channel 2: the full scale must be a number of volts."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fullScaleProblem(2, c.volts), c.problem) << c.volts;

    FeatureSettings f;
    f.fullScaleVolts = {2.0, 0.0};
    EXPECT_DOUBLE_EQ(channelVolts(f, 1, 32767.0).value(), 2.0);
    EXPECT_DOUBLE_EQ(channelVolts(f, 1, -16383.5).value(), -1.0);
    EXPECT_FALSE(channelVolts(f, 2, 100.0).has_value());
    EXPECT_FALSE(channelVolts(f, 3, 100.0).has_value());
    // 1 V RMS reads as a half-scale sine (RMS 11585 codes): full scale 2.828 V.
    EXPECT_NEAR(fullScaleFromApplied(1.0, 0.5 * kFullScaleCode / std::sqrt(2.0)), 2.0 * std::sqrt(2.0), 1e-12);
    EXPECT_EQ(fullScaleFromApplied(1.0, 0.0), 0.0);
}
