// The spectrum analyser's display: a tone recorded into the record reads its
// level where its frequency lies on a linear and a logarithmic axis, the
// trace is drawn at that level's row, the bands and the points a script
// reads agree, and the logarithmic axis is labelled at round frequencies.
#include "display/SpectrumAnalyser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "display/DisplayPass.h"
#include "display/DisplayTestState.h"
#include "display/MarkerReadouts.h"
#include "dsp/SampleRing.h"

using namespace varmolen;
using varmolen::testing::Bench;

namespace {

constexpr std::uint32_t kRate = 48000;
constexpr double kAmplitude = 16384.0;  // -6.02 dBFS
const double kLevelDb = 20.0 * std::log10(kAmplitude / 32767.0);

// A 1 kHz tone of kAmplitude on channel 1 (channel 2 silent), `frames` of it.
void recordTone(SampleRing& ring, std::size_t frames)
{
    std::vector<float> chan1(frames);
    std::vector<float> chan2(frames, 0.0f);
    for (std::size_t i = 0; i < frames; ++i)
        chan1[i] = static_cast<float>(kAmplitude * std::sin(2.0 * std::numbers::pi * 1000.0 * i / kRate));
    ring.append(chan1.data(), chan2.data(), frames, true);
}

}  // namespace

TEST(SpectrumAnalyser, AToneReadsItsLevelAtItsFrequencyOnEveryAxis)
{
    Bench b;
    b.s.displayType = kFrequencyDisplayType;
    b.s.chan1Enabled = 1;
    b.s.gridEnabled = 0;
    b.s.sampleRate = kRate;
    AnalyserSettings& a = b.s.features.analyser;
    a.length = 16384;
    a.window = AnalysisWindow::FlatTop;
    SampleRing ring(4 * 16384);
    ring.restart(kRate);
    recordTone(ring, 20000);
    AnalyserSweep sweep;
    ASSERT_TRUE(sweep.advance(b.s, b.s, ring, {0.0f, 0.0f}, b.r.width()));
    EXPECT_FALSE(sweep.advance(b.s, b.s, ring, {0.0f, 0.0f}, b.r.width())) << "no new frames, no new spectrum";

    for (const bool log : {false, true}) {
        a.logFrequency = log;
        const FrequencyAxis axis = shownAxis(b.s, b.s);
        // The axis's own ends, by an independent reading of the settings.
        EXPECT_DOUBLE_EQ(axis.lowHz, log ? 20.0 : 0.0);
        EXPECT_DOUBLE_EQ(axis.highHz, 24000.0);
        const double expectedColumn =
            log ? 512.0 * std::log(1000.0 / 20.0) / std::log(24000.0 / 20.0) : 512.0 * 1000.0 / 24000.0;
        ASSERT_NEAR(axis.columnOf(1000.0), expectedColumn, 1e-9);
        const int column = static_cast<int>(std::lround(expectedColumn));
        // The columns around 1 kHz hold the bins either side of it.
        const std::optional<double> level = columnLevel(b.s, b.s.analyser, axis, 1, column - 1.0, column + 1.0);
        ASSERT_TRUE(level.has_value());
        EXPECT_NEAR(*level, kLevelDb, 0.05) << (log ? "log" : "linear");
        // Drawn at its row: the top 0 dB, 120 dB over 340 rows.
        runDisplayPass(b.s, b.s, b.s, b.r);
        const int row = static_cast<int>(std::lround(-kLevelDb / 120.0 * 340.0));
        bool drawn = false;
        for (int y = row - 1; y <= row + 1; ++y)
            drawn = drawn || b.r.pixel(column, y) == static_cast<std::uint32_t>(b.s.chan1Color);
        EXPECT_TRUE(drawn) << "the trace's peak at row " << row;
        // The cursor reads the column's frequency and level.
        const std::string cursor = cursorReadout(b.s, b.s, column, '.');
        const std::size_t comma = cursor.find(", ");
        ASSERT_NE(comma, std::string::npos) << cursor;
        EXPECT_NEAR(std::stod(cursor.substr(std::string("Cursor = ").size())), axis.hzAt(column), 0.05) << cursor;
        EXPECT_NEAR(std::stod(cursor.substr(comma + 2)), kLevelDb, 0.15) << cursor;
        EXPECT_NE(cursor.find(" dBFS"), std::string::npos) << cursor;
    }

    // Exp with both markers on spans the markers' frequencies, and the
    // cursor at the display's left end reads marker 1's.
    b.s.marker1Enabled = 1;
    b.s.marker2Enabled = 1;
    b.s.marker1Pos = 100;
    b.s.marker2Pos = 300;
    const FrequencyAxis whole = shownAxis(b.s, b.s);
    b.s.expanded = 1;
    const FrequencyAxis zoomed = shownAxis(b.s, b.s);
    EXPECT_DOUBLE_EQ(zoomed.lowHz, whole.hzAt(100));
    EXPECT_DOUBLE_EQ(zoomed.highHz, whole.hzAt(300));
    const std::string left = cursorReadout(b.s, b.s, 0, '.');
    EXPECT_NEAR(std::stod(left.substr(std::string("Cursor = ").size())), whole.hzAt(100), 0.05) << left;
    b.s.expanded = 0;

    // A script's points: every bin from start to stop, and the third-octave
    // band around 1 kHz holding the tone's level.
    std::vector<float> hz;
    std::vector<float> levels;
    a.logFrequency = false;
    a.startHz = 900.0;
    a.stopHz = 1100.0;
    ASSERT_TRUE(analyserPoints(b.s, b.s, 1, hz, levels));
    const double bin = kRate / 16384.0;
    EXPECT_EQ(hz.size(), static_cast<std::size_t>(std::floor(1100.0 / bin) - std::ceil(900.0 / bin) + 1));
    a.startHz = 0.0;
    a.stopHz = 0.0;
    a.bands = 3;
    ASSERT_TRUE(analyserPoints(b.s, b.s, 1, hz, levels));
    bool found = false;
    for (std::size_t i = 0; i < hz.size(); ++i) {
        if (std::abs(hz[i] - 1000.0f) < 0.01f) {
            found = true;
            EXPECT_NEAR(levels[i], kLevelDb, 0.1);
        }
    }
    EXPECT_TRUE(found);
    EXPECT_FALSE(analyserPoints(b.s, b.s, 2, hz, levels)) << "channel 2 is off";
}

TEST(SpectrumAnalyser, TheLogarithmicAxisIsLabelledAtRoundFrequencies)
{
    const FrequencyAxis axis{20.0, 20000.0, true};
    const std::vector<AxisTick> all = analyserFrequencyTicks(axis, 12, '.');
    std::vector<std::string> texts;
    for (const AxisTick& t : all)
        texts.push_back(t.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"20 Hz", "50 Hz", "100 Hz", "200 Hz", "500 Hz", "1 kHz", "2 kHz",
                                               "5 kHz", "10 kHz", "20 kHz"}));
    EXPECT_NEAR(all[5].column, 512.0 * std::log10(1000.0 / 20.0) / 3.0, 1e-9);
    // With room for fewer, the decades alone.
    texts.clear();
    for (const AxisTick& t : analyserFrequencyTicks(axis, 5, '.'))
        texts.push_back(t.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"100 Hz", "1 kHz", "10 kHz"}));
}

// A length the record cannot hold takes the longest it does, and a held
// picture given a shorter length is transformed again from its own frames;
// the spectra after either go on with arrays of their own length.
TEST(SpectrumAnalyser, LengthsFollowTheRecordAndAHeldPicture)
{
    Bench b;
    b.s.displayType = kFrequencyDisplayType;
    b.s.chan1Enabled = 1;
    b.s.sampleRate = kRate;
    b.s.features.spectrumAverage = 4;
    b.s.features.peakHold = true;
    AnalyserSettings& a = b.s.features.analyser;
    a.length = 65536;
    SampleRing ring(20000);  // holds 16384 points, not 65536
    ring.restart(kRate);
    AnalyserSweep sweep;
    const AnalyserPicture& p = b.s.analyser;
    recordTone(ring, 16000);
    EXPECT_FALSE(sweep.advance(b.s, b.s, ring, {0.0f, 0.0f}, b.r.width())) << "not a whole transform yet";
    recordTone(ring, 4000);
    ASSERT_TRUE(sweep.advance(b.s, b.s, ring, {0.0f, 0.0f}, b.r.width()));
    EXPECT_EQ(p.length, 16384);
    EXPECT_EQ(p.power[0].size(), 8193u);

    b.s.displayHold = 1;
    a.length = 4096;
    ASSERT_TRUE(sweep.retake(b.s, b.s));
    EXPECT_EQ(p.length, 4096);
    for (const std::vector<float>* v : {&p.power[0], &p.average[0], &p.peak[0]})
        EXPECT_EQ(v->size(), 2049u);
    const FrequencyAxis axis = shownAxis(b.s, b.s);
    const double column = axis.columnOf(1000.0);
    EXPECT_NEAR(*columnLevel(b.s, p, axis, 1, column - 1.0, column + 1.0), kLevelDb, 0.5);
    b.s.displayHold = 0;
    recordTone(ring, 4800);
    ASSERT_TRUE(sweep.advance(b.s, b.s, ring, {0.0f, 0.0f}, b.r.width()));
    EXPECT_EQ(p.length, 4096);
    EXPECT_EQ(p.average[0].size(), p.power[0].size());
}
