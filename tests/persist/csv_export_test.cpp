// The TIME export holds what the display shows: its rows run from the view's
// left end to its right end with the axis labels' time origin (the trace
// start), each channel's samples from the block its trace was drawn from,
// as recorded (raw) and as the display scales them.
#include "window/DisplayCsv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "display/DisplayPass.h"
#include "display/DisplayTestState.h"
#include "display/ReadoutScales.h"
#include "display/TraceRenderer.h"

namespace varmolen {
namespace {

std::vector<std::vector<std::string>> parse(const std::string& text)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> fields;
        std::istringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, ','))
            fields.push_back(cell);
        rows.push_back(fields);
    }
    return rows;
}

TEST(TimeExport, RowsSpanTheViewFromTheLabelsOriginWithTheDrawnTracesSamples)
{
    struct Case {
        const char* what;
        std::uint32_t rate;
        float timeDial;  // percent
        bool chop;
        int source;
        bool add;
        int marker1, marker2;  // expanded between them when marker1 >= 0
    };
    const Case cases[] = {
        {"full span, Chop", 44100, 100.0f, true, 1, false, -1, 0},
        {"zoomed to 211 samples, source 2", 11025, 40.0f, true, 2, false, -1, 0},
        {"Alt: each channel from its own trigger point", 22050, 100.0f, false, 1, false, -1, 0},
        {"Add", 44100, 70.0f, true, 1, true, -1, 0},
        {"expanded between the markers", 11025, 100.0f, true, 1, false, 142, 396},
        {"expanded and zoomed", 44100, 55.5f, true, 2, false, 101, 250},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        varmolen::testing::Bench b;
        InstrumentState& s = b.s;
        s.sampleRate = c.rate;
        s.chan1Enabled = 1;
        s.chan2Enabled = 1;
        s.chan1TimeGain = 9;
        s.chan2TimeGain = 5;
        s.triggerEnabled = 1;
        s.chopMode = c.chop ? 1 : 0;
        s.triggerChannel = c.source;
        s.addChannels = c.add ? 1 : 0;
        s.span = spanFromDial(c.timeDial);
        const ResampleBlock block = resampleBlockForSpan(s.span);
        s.blockSize = block.blockSize;
        s.interpFactor = block.interpFactor;
        if (c.marker1 >= 0) {
            s.marker1Enabled = s.marker2Enabled = s.expanded = 1;
            s.marker1Pos = c.marker1;
            s.marker2Pos = c.marker2;
        }
        // The blocks as recorded, and as the run loop leaves them: less the
        // slow DC level it keeps of each channel.
        s.chan1DcLevel = 812.9f;
        s.chan2DcLevel = -301.4f;
        std::array<std::vector<std::int32_t>, 2> recorded{std::vector<std::int32_t>(1024),
                                                          std::vector<std::int32_t>(1024)};
        for (int i = 0; i < 1024; ++i) {
            recorded[0][i] = 812 + static_cast<std::int32_t>(std::lround(9000 * std::sin(i * 0.045 + 1.0)));
            recorded[1][i] = -301 + static_cast<std::int32_t>(std::lround(12000 * std::sin(i * 0.031 + 2.0)));
            s.chan1Samples[i] = recorded[0][i] - 812;
            s.chan2Samples[i] = recorded[1][i] + 301;
        }
        runDisplayPass(s, s, s, b.r);
        // A new block arrives while held; the export stays with the picture.
        s.displayHold = 1;
        s.chan1Samples.fill(7);

        std::string whyNot;
        const auto rows = parse(composeDisplayCsv(s, whyNot));
        ASSERT_GT(rows.size(), 10u) << whyNot;
        ASSERT_EQ(rows[0].size(), 7u);
        EXPECT_EQ(rows[0][0], "Time (ms; 0 = trace start; " + std::to_string(c.rate) + " Hz)");
        std::array<int, 2> start{};
        for (int ch = 0; ch < 2; ++ch) {
            const std::string& name = rows[0][static_cast<std::size_t>(1 + 3 * ch)];
            const std::string prefix = "Channel " + std::to_string(ch + 1) + " raw (trace start: sample ";
            ASSERT_EQ(name.rfind(prefix, 0), 0u) << name;
            start[ch] = std::stoi(name.substr(prefix.size()));
        }
        // Chop: both traces start at the source's trigger point.
        EXPECT_GT(start[c.source - 1], 0) << "triggered";
        if (c.chop)
            EXPECT_EQ(start[0], start[1]);
        else
            EXPECT_NE(start[0], start[1]) << "the case should give the channels their own points";

        // Both ends: the axis labels' times (which truncate to hundredths); in
        // the expanded view a marker may lie up to a sample from the nearest one.
        const double sample = 1000.0 / c.rate;
        const double leftLabel = readoutTime(s, s, c.marker1 >= 0 ? c.marker1 : 0) / 100.0;
        const double rightLabel = readoutTime(s, s, c.marker1 >= 0 ? c.marker2 : 512) / 100.0;
        const double first = std::stod(rows[1][0]);
        const double last = std::stod(rows.back()[0]);
        if (c.marker1 < 0) {
            EXPECT_EQ(first, 0.0);
            EXPECT_EQ(rows.size(), static_cast<std::size_t>(s.span) + 2);
            EXPECT_GE(last - rightLabel, 0.0);
            EXPECT_LT(last - rightLabel, 0.02);
        } else {
            EXPECT_GE(first - leftLabel, 0.0);
            EXPECT_LT(first - leftLabel, sample + 0.02);
            EXPECT_GT(last - rightLabel, -sample);
            EXPECT_LT(last - rightLabel, 0.02);
        }

        // Each row: sample i after each trace start, raw as recorded, and as
        // drawn the value whose scaling is the trace on the display.
        const std::array<const std::int32_t*, 2> traces{s.chan1Trace.data(), s.chan2Trace.data()};
        const std::array<std::int32_t, 2> gains{s.chan1TimeGain, s.chan2TimeGain};
        for (std::size_t r = 1; r < rows.size(); ++r) {
            const double ms = std::stod(rows[r][0]);
            const int i = static_cast<int>(std::lround(ms / sample));
            ASSERT_NEAR(ms, i * sample, 1e-9) << "row " << r;
            for (int ch = 0; ch < 2; ++ch) {
                const auto at = static_cast<std::size_t>(start[ch] + i);
                const std::int32_t raw = std::stoi(rows[r][static_cast<std::size_t>(1 + 3 * ch)]);
                const std::int64_t drawn = std::stoll(rows[r][static_cast<std::size_t>(2 + 3 * ch)]);
                ASSERT_EQ(raw, recorded[ch][at]) << "row " << r << ", channel " << ch + 1;
                ASSERT_EQ(scaleSample(gains[ch], drawn), traces[ch][i]) << "row " << r << ", channel " << ch + 1;
            }
        }
    }
}

// The composer writes the columns it is given, with no display behind it: a
// row per bin 1..511 at k * rate / 1024 Hz, the two columns of each channel
// shown and none of a channel hidden, the spectrum history named in the header.
TEST(SpectrumExport, ComposerWritesTheGivenColumnsPerBin)
{
    SpectrumCsvColumns in;
    in.rate = 11025;
    in.spectrumAverage = 16;
    in.peakHold = true;
    in.shown = {false, true};
    for (int k = 0; k <= kCsvLastBin; ++k) {
        in.level[0][k] = 12345.75;
        in.level[1][k] = -k;
        in.drawn[1][k] = -k - 0.5;
    }
    const std::string text = composeSpectrumCsv(in);
    const std::string header =
        "Frequency (Hz),\"Channel 2 level (dBFS, average of 16, peak hold)\","
        "\"Channel 2 as drawn (dBFS, average of 16, peak hold)\"\r\n";
    ASSERT_EQ(text.substr(0, header.size()), header);
    const auto rows = parse(text.substr(header.size()));
    ASSERT_EQ(rows.size(), 511u);
    EXPECT_EQ(rows.front(), (std::vector<std::string>{"10.7666015625", "-1", "-1.5"}));
    EXPECT_EQ(rows.back(), (std::vector<std::string>{"5501.7333984375", "-511", "-511.5"}));
    EXPECT_EQ(text.find("12345"), std::string::npos) << "a hidden channel's columns";
}

// A span of the record: a row for every frame, the time exact to the frame
// from the span's left end (adjacent frames told apart at 192 kHz near 600
// s), the samples as recorded and less the picture's DC level, the volts of
// a calibrated channel, and the frames after a break marked.
TEST(SpanExport, EveryFrameOfTheSpanWithItsExactTimeAndTheBreaksMarked)
{
    constexpr std::uint32_t kRate = 192000;
    constexpr std::int64_t kFrames = 3000;
    constexpr std::int64_t kBreak = 1700;  // index in the record
    SampleRing ring(4096);
    ring.restart(kRate);
    std::vector<float> a;
    std::vector<float> b;
    for (std::int64_t i = 0; i < kFrames; ++i) {
        a.push_back(static_cast<float>((i * 37) % 65536 - 32768));
        b.push_back(static_cast<float>(i % 100) * 0.25f - 7.0f);
    }
    ring.append(a.data(), b.data(), kBreak, true);
    ring.append(a.data() + kBreak, b.data() + kBreak, kFrames - kBreak, false);
    struct Case {
        const char* what;
        std::int64_t from, count, offset;
        bool breaks;
    };
    const Case cases[] = {
        {"the span began 37 frames before the record", 0, 2500, 37, true},
        {"frames near 600 s into the span", 1000, 600, 600 * std::int64_t{kRate} - 600, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SpanCsvInput in{{&ring, c.from, c.count, c.offset}, {true, true}, {10.5f, -3.0f}, {0.0, 2.0}};
        const std::string text = composeSpanCsv(in);
        const auto rows = parse(text);
        ASSERT_EQ(rows.size(), static_cast<std::size_t>(c.count) + 1);
        std::vector<std::string> header{"Time (s; 0 = the span's left end; 192000 Hz)",
                                        "Channel 1 raw",
                                        "Channel 1 as drawn",
                                        "Channel 1 (% of full scale)",
                                        "Channel 2 raw",
                                        "Channel 2 as drawn",
                                        "Channel 2 (V)"};
        if (c.breaks)
            header.emplace_back("Break (1: the frame does not follow the one before)");
        EXPECT_EQ(rows[0], header);
        double before = -1.0;
        for (std::int64_t j = 0; j < c.count; ++j) {
            const auto& row = rows[static_cast<std::size_t>(j) + 1];
            const std::int64_t i = c.from + j;
            ASSERT_EQ(row.size(), header.size()) << j;
            const double time = std::strtod(row[0].c_str(), nullptr);
            ASSERT_EQ(time, static_cast<double>(c.offset + j) / kRate) << j << ": " << row[0];
            ASSERT_GT(time, before) << j;
            before = time;
            for (int ch = 1; ch <= 2; ++ch) {
                const float raw = ring.at(ch, i);
                const std::size_t col = 1 + 3 * static_cast<std::size_t>(ch - 1);
                ASSERT_EQ(std::strtof(row[col].c_str(), nullptr), raw) << j;
                ASSERT_EQ(std::strtof(row[col + 1].c_str(), nullptr), raw - in.dcLevels[ch - 1]) << j;
                const double scaled = ch == 1 ? raw * 100.0 / 32767.0 : raw * 2.0 / 32767.0;
                ASSERT_EQ(std::strtod(row[col + 2].c_str(), nullptr), scaled) << j;
            }
            if (c.breaks) {
                ASSERT_EQ(row.back(), i == kBreak ? "1" : "0") << j;
            }
        }
    }
    // A sink that refuses a piece stops the export; a span beyond the bound
    // is refused whole.
    SampleRing large(kMaxSpanCsvFrames + 64);
    large.restart(kRate);
    const std::vector<float> zeros(static_cast<std::size_t>(kMaxSpanCsvFrames) + 1, 0.0f);
    large.append(zeros.data(), zeros.data(), zeros.size(), true);
    int pieces = 0;
    EXPECT_FALSE(writeSpanCsv({{&large, 0, kMaxSpanCsvFrames, 0}, {true, false}, {}, {}},
                              [&](std::string_view) { return ++pieces < 2; }));
    EXPECT_EQ(pieces, 2);
    EXPECT_EQ(composeSpanCsv({{&large, 0, kMaxSpanCsvFrames + 1, 0}, {true, false}, {}, {}}), "");
}

}  // namespace
// A sample finer than a 16-bit code is written with the digits that make
// it exact: a 24-bit step (a whole number of 1/256 codes) in full, where the
// float's shortest text would round it; a whole code and any other fraction
// as before.
TEST(SpanExport, ASampleWithAFractionKeepsEveryDigitOfIt)
{
    const struct {
        float value;
        const char* text;
    } cases[] = {
        {32767.99609375f, "32767.99609375"},  // full scale of a 24-bit card, less nothing
        {-0.00390625f, "-0.00390625"},        // -1 LSB at 24 bits
        {-32768.0f, "-32768"},                // whole codes: as the 16-bit path writes them
        {1234.0f, "1234"},
        {-1024.50390625f, "-1024.50390625"},
        {12.5f, "12.5"},
        {0.1f, "0.1"},  // no 24-bit step: the float's shortest text
    };
    SampleRing ring(64);
    ring.restart(48000);
    for (const auto& c : cases)
        ring.append(&c.value, &c.value, 1, false);
    const auto rows = parse(composeSpanCsv({{&ring, 0, std::size(cases), 0}, {true, false}, {}, {}}));
    ASSERT_EQ(rows.size(), std::size(cases) + 1);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(rows[i + 1][1], cases[i].text);
        EXPECT_EQ(std::strtof(rows[i + 1][1].c_str(), nullptr), cases[i].value);
    }
}

}  // namespace varmolen
