// A display drawn larger than 513 x 343: the pixels of the columns and rows,
// the round ticks of the labelled axes, and the passes at a larger size.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "display/AxisTicks.h"
#include "display/DisplayPass.h"
#include "display/DisplayScale.h"
#include "display/MarkerReadouts.h"
#include "display/ReadoutScales.h"
#include "display/TraceRenderer.h"
#include "display/DisplayTestState.h"
#include "tests/CountAllocations.h"

using namespace varmolen;
using varmolen::test::allocations;
using varmolen::testing::Bench;

namespace {

// Widths a display can have: its own, Large, an odd window and a wide screen
// drawn in device pixels.
constexpr int kWidths[] = {513, 1025, 777, 4001};

}  // namespace

TEST(DisplayScale, EveryColumnComesBackFromItsPixel)
{
    for (int width : kWidths) {
        std::int64_t previous = -1;
        for (int c = 0; c <= 512; ++c) {
            const std::int64_t x = columnToPixel(c, width);
            EXPECT_GT(x, previous) << "width " << width << " column " << c;
            EXPECT_EQ(pixelToColumn(x, width), c) << "width " << width;
            previous = x;
        }
        EXPECT_EQ(columnToPixel(512, width), width - 1);
        // The pointer off the display's left edge reads a column below 0.
        EXPECT_LT(pixelToColumn(-20, width), 0);
    }
    // The display's own size is the identity; Large doubles every column and row.
    for (int c : {0, 1, 51, 255, 511, 512}) {
        EXPECT_EQ(columnToPixel(c, 513), c);
        EXPECT_EQ(pixelToColumn(c, 513), c);
        EXPECT_EQ(columnToPixel(c, 1025), 2 * c);
    }
    for (int row : {0, 34, 171, 340, 342}) {
        EXPECT_EQ(rowToPixel(row, 343), row);
        EXPECT_EQ(rowToPixel(row, 685), 2 * row);
    }
}

TEST(AxisTicks, RoundStepsAndTheirTexts)
{
    const struct {
        double rough;
        double step;
    } steps[] = {{0.7, 1.0}, {1.0, 1.0}, {1.01, 2.0}, {2756.25, 5000.0}, {600.0, 1000.0}, {0.3, 0.5}, {150.0, 200.0}};
    for (const auto& c : steps)
        EXPECT_DOUBLE_EQ(roundStep(c.rough), c.step) << c.rough;
    EXPECT_EQ(roundStep(0.0), 0.0);
    EXPECT_EQ(roundStep(std::nan("")), 0.0);

    const struct {
        double hz;
        const char* text;
    } texts[] = {{0.0, "0 Hz"}, {500.0, "500 Hz"}, {1000.0, "1 kHz"}, {2500.0, "2,5 kHz"}, {20000.0, "20 kHz"}};
    for (const auto& c : texts)
        EXPECT_EQ(frequencyText(c.hz, ','), c.text);
}

TEST(AxisTicks, FrequencyTicksSitAtTheColumnsWhereTheSpectrumDrawsThem)
{
    const struct {
        std::uint32_t rate;
        std::int32_t span;
        bool expanded;
        std::vector<std::string> texts;
        std::vector<double> columns;
    } cases[] = {
        // At most 7 ticks. 44100 Hz: 22050 Hz at column 512, 5 kHz steps.
        {44100,
         512,
         false,
         {"0 Hz", "5 kHz", "10 kHz", "15 kHz", "20 kHz"},
         {0.0, 5000 * 1024.0 / 44100, 10000 * 1024.0 / 44100, 15000 * 1024.0 / 44100, 20000 * 1024.0 / 44100}},
        // 11025 Hz: bin k at column k, 1 kHz steps up to 5 kHz.
        {11025,
         512,
         false,
         {"0 Hz", "1 kHz", "2 kHz", "3 kHz", "4 kHz", "5 kHz"},
         {0.0, 1000 * 1024.0 / 11025, 2000 * 1024.0 / 11025, 3000 * 1024.0 / 11025, 4000 * 1024.0 / 11025,
          5000 * 1024.0 / 11025}},
        // Half the span shows half the band over the full width.
        {11025,
         256,
         false,
         {"0 Hz", "500 Hz", "1 kHz", "1.5 kHz", "2 kHz", "2.5 kHz"},
         {0.0, 500 * 2048.0 / 11025, 1000 * 2048.0 / 11025, 1500 * 2048.0 / 11025, 2000 * 2048.0 / 11025,
          2500 * 2048.0 / 11025}},
        // 22050 Hz draws bin k one column later: 0 Hz lies at column 1.
        {22050,
         512,
         false,
         {"0 Hz", "2 kHz", "4 kHz", "6 kHz", "8 kHz", "10 kHz"},
         {1.0, 1.0 + 2000 * 1024.0 / 22050, 1.0 + 4000 * 1024.0 / 22050, 1.0 + 6000 * 1024.0 / 22050,
          1.0 + 8000 * 1024.0 / 22050, 1.0 + 10000 * 1024.0 / 22050}},
        // Expanded between columns 142 and 396 at 11025 Hz (1528.9 to 4263.8 Hz).
        {11025,
         512,
         true,
         {"2 kHz", "2.5 kHz", "3 kHz", "3.5 kHz", "4 kHz"},
         {(2000 * 1024.0 / 11025 - 142) * 512 / 254, (2500 * 1024.0 / 11025 - 142) * 512 / 254,
          (3000 * 1024.0 / 11025 - 142) * 512 / 254, (3500 * 1024.0 / 11025 - 142) * 512 / 254,
          (4000 * 1024.0 / 11025 - 142) * 512 / 254}},
    };
    for (const auto& c : cases) {
        const std::vector<AxisTick> ticks = frequencyTicks(c.rate, c.span, c.expanded, 142, 396, 7, '.');
        std::string got;
        for (const AxisTick& t : ticks)
            got += t.text + "; ";
        ASSERT_EQ(ticks.size(), c.texts.size()) << c.rate << " Hz span " << c.span << ": " << got;
        for (std::size_t i = 0; i < ticks.size(); ++i) {
            EXPECT_EQ(ticks[i].text, c.texts[i]) << c.rate << " Hz span " << c.span;
            EXPECT_NEAR(ticks[i].column, c.columns[i], 1e-6) << ticks[i].text;
        }
    }
}

TEST(AxisTicks, TimeTicksReadWhatTheCursorReadsOnEachGridLine)
{
    Bench b;
    b.s.marker1Enabled = 1;
    b.s.marker2Enabled = 1;
    // 11025 Hz, span 512: column 51 is 4.62 ms; expanded between 142 and
    // 396, column 0 reads marker 1's 12.87 ms and column 51 column 167's 15.14 ms.
    for (int expanded : {0, 1}) {
        b.s.expanded = static_cast<flag>(expanded);
        const std::vector<AxisTick> ticks = timeTicks(b.s, b.s, '.');
        ASSERT_EQ(ticks.size(), 11u);
        for (const AxisTick& t : ticks)
            EXPECT_EQ("Cursor = " + t.text + " ms", cursorReadout(b.s, b.s, static_cast<std::int32_t>(t.column), '.'));
        EXPECT_EQ(ticks[0].text, expanded ? "12.87" : "0.00");
        EXPECT_EQ(ticks[1].text, expanded ? "15.14" : "4.62");
        EXPECT_EQ(ticks[10].column, 510.0);
    }
}

TEST(AxisTicks, ScalesPerDivision)
{
    const struct {
        std::int32_t gain;
        double volts;
        const char* text;
    } time[] = {{25, 0.0, "4.25 %/div"},
                {100, 0.0, "1.06 %/div"},
                {25, 2.0, "85 mV/div"},
                {1, 2.0, "2.13 V/div"},
                {0, 0.0, "Gnd"}};
    for (const auto& c : time)
        EXPECT_EQ(timeDivisionText(c.gain, c.volts, '.'), c.text) << c.gain;
    // 34 rows of (10 ln P * g) >> 5: 108.8 / g of ln P, 472.5 / g dB.
    EXPECT_EQ(levelDivisionText(50, 10.0f, '.'), "9.45 dB/div");
    EXPECT_EQ(levelDivisionText(32, 10.0f, ','), "14,8 dB/div");
    EXPECT_EQ(levelDivisionText(0, 10.0f, '.'), "Gnd");
}

TEST(DisplaySizes, AClearAfterDrawingLeavesNothingOfTheDrawingBehind)
{
    // Drawing, then a clear of the whole bitmap and a new drawing, gives the
    // picture of the new drawing alone: after a few lines, after more lines
    // than the bitmap notes, after a write through data(), after a clear in
    // another colour and after a rectangle of part of the bitmap.
    enum Before { kFewLines, kManyLines, kDirectWrite, kOtherGround, kPartRectangle };
    for (Before before : {kFewLines, kManyLines, kDirectWrite, kOtherGround, kPartRectangle}) {
        Raster used;
        used.resize(777, 500);
        auto clear = [](Raster& r, std::uint32_t colour) {
            r.setPenColor(colour);
            r.setBrushColor(colour);
            r.Rectangle(0, 0, 513, 343);
        };
        auto draw = [](Raster& r, int lines, int seed) {
            r.setPenColor(0x0000FF);
            r.MoveTo(0, 0);
            for (int i = 0; i < lines; ++i)
                r.LineTo((i * 37 + seed) % 513, (i * 91 + seed) % 343);
        };
        clear(used, before == kOtherGround ? 0x000000 : 0xFFFFFF);
        draw(used, before == kManyLines ? 5000 : 40, 3);
        if (before == kDirectWrite)
            used.data()[777 * 250 + 400] = 0xFF123456u;
        if (before == kPartRectangle) {
            used.setBrushColor(0x00FF00);
            used.Rectangle(100, 100, 200, 200);
        }
        clear(used, 0xFFFFFF);
        draw(used, 40, 11);

        Raster fresh;
        fresh.resize(777, 500);
        fresh.fill(0xFFFFFF);
        draw(fresh, 40, 11);
        EXPECT_TRUE(std::equal(fresh.data(), fresh.data() + 777 * 500, used.data())) << "case " << before;
    }
}

TEST(DisplaySizes, ALargePassDrawsTheGraticuleAtTheDoubledPixelsAndAllocatesNothing)
{
    Bench b;
    b.r.resize(1025, 685);
    b.s.chan1Color = 0x000000;
    b.s.chan1Enabled = 1;
    b.s.triggerEnabled = 1;
    b.s.marker1Enabled = 1;
    b.s.marker2Enabled = 1;
    for (int i = 0; i < 1024; ++i)
        b.s.chan1Samples[i] = static_cast<int>(9000 * std::sin(i * 0.07));
    const long start = allocations.load();
    for (int type : {kFrequencyDisplayType, kTimeDisplayType}) {
        b.s.displayType = type;
        for (int expanded : {1, 0}) {
            b.s.expanded = static_cast<flag>(expanded);
            for (int pass = 0; pass < 2; ++pass)
                runDisplayPass(b.s, b.s, b.s, b.r);
        }
    }
    EXPECT_EQ(allocations.load() - start, 0);

    const std::uint32_t teal = 0x808000;
    const std::uint32_t magenta = 0xFF00FF;
    // TIME grid lines at columns 51 i are pixels 102 i, rows 34 i pixels 68 i;
    // the pixels between them are not grid.
    EXPECT_EQ(b.r.pixel(102, 300), teal);
    EXPECT_EQ(b.r.pixel(1020, 300), teal);
    EXPECT_EQ(b.r.pixel(600, 68), teal);
    EXPECT_NE(b.r.pixel(103, 301), teal);
    EXPECT_NE(b.r.pixel(600, 69), teal);
    // Marker 1 at column 142 is pixel 284, down to row 340 (pixel 680).
    EXPECT_EQ(b.r.pixel(284, 101), magenta);
    EXPECT_EQ(b.r.pixel(284, 679), magenta);
    EXPECT_NE(b.r.pixel(283, 101), magenta);
    // The trigger tick: five columns, three rows wide at the display's own size.
    int tickRows = 0;
    for (int y = 0; y < b.r.height(); ++y)
        tickRows += b.r.pixel(3, y) == 0x0000FFu;
    EXPECT_EQ(tickRows, 6);
}

TEST(DisplaySizes, ALargerDisplayDrawsTheTraceFinerThanTheDisplaysOwnColumnsAndRows)
{
    // A level half-way between two rows (10.5 rows, 168 sixteenths): the
    // display's own size draws row y0 - 10, a doubled picture would put it
    // on pixel row 2 (y0 - 10); drawn finely it lies on the odd pixel row
    // between. Drawn directly, resampled to a shorter time base and
    // stretched between the markers, with every pixel column up to column
    // 511's covered. And the resampled points of a curve land on the pixels
    // of the columns the display's own size resamples it to, sixteen times
    // finer.
    struct Case {
        const char* name;
        float dial;  // time base
        bool expanded;
    };
    constexpr int y0 = 200;
    for (const Case c : {Case{"direct", 100.0f, false}, Case{"time base", 40.0f, false}, Case{"expanded", 40.0f, true},
                         Case{"expanded, whole span", 100.0f, true}}) {
        SCOPED_TRACE(c.name);
        Bench normal;
        Bench large;
        large.r.resize(1025, 685);
        for (Bench* b : {&normal, &large}) {
            computeTimeBase(b->s, b->s, c.dial, '.');
            b->s.expanded = c.expanded ? 1 : 0;
            b->s.marker1Enabled = 1;
            b->s.marker1Pos = 100;
            b->s.marker2Pos = 300;
            b->r.fill(0xFFFFFF);
            b->r.setPenColor(0x000000);
        }
        // (Arrays, not vectors: this file counts the heap's allocations.)
        std::array<std::int32_t, kArrayLength> level, fineLevel, curve, fineCurve;
        level.fill(10);
        fineLevel.fill(168);
        drawZoomedTrace(normal.s, normal.s, normal.s, normal.r, level.data(), nullptr, y0, 513.0f);
        drawZoomedTrace(large.s, large.s, large.s, large.r, level.data(), fineLevel.data(), y0, 513.0f);
        // Columns 0..n-1 at the display's own size (the last point is not
        // drawn), pixels 0 up to column n's at Large.
        const int columns = normal.CountRow(y0 - 10, 0x000000, 0, 512);
        EXPECT_EQ(columns, c.dial == 100.0f && !c.expanded ? 512 : 511);
        EXPECT_EQ(large.CountRow(2 * y0 - 21, 0x000000, 0, 1024), columnToPixel(columns, 1025));
        EXPECT_EQ(large.CountRow(2 * y0 - 20, 0x000000, 0, 1024), 0);

        // A curve, and the same sixteen times finer: at the pixel of each
        // column, the point the display's own size resamples there.
        for (int i = 0; i < kArrayLength; ++i) {
            curve[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(80 * std::sin(i * 0.05));
            fineCurve[static_cast<std::size_t>(i)] = 16 * curve[static_cast<std::size_t>(i)];
        }
        drawZoomedTrace(normal.s, normal.s, normal.s, normal.r, curve.data(), nullptr, y0, 513.0f);
        drawZoomedTrace(large.s, large.s, large.s, large.r, curve.data(), fineCurve.data(), y0, 513.0f);
        if (c.dial == 100.0f && !c.expanded)
            continue;  // drawn from the trace itself: nothing resampled
        // Within the truncation to whole rows; the display's own size
        // truncates the time base's columns again before stretching them.
        const std::int32_t* own = c.expanded ? normal.s.expandedTrace.data() : normal.s.resampledTrace.data();
        const int within = c.expanded && c.dial < 100.0f ? 48 : 16;
        for (int k = 0; k <= 511; k += 7)
            EXPECT_NEAR(large.s.finePixels[static_cast<std::size_t>(2 * k)], 16 * own[k], within) << "column " << k;
    }
}
