// The spectrogram: its history's ring, the colour map, where rows and
// columns of the history land on the display, and the cursor's reading.
#include "display/SpectrogramRenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "dsp/SpectrogramHistory.h"

using namespace varmolen;

namespace {

// Matplotlib's published ends of viridis, #440154 and #FDE725, as colour words.
constexpr std::uint32_t kViridisBottom = 0x540144;
constexpr std::uint32_t kViridisTop = 0x25E7FD;
constexpr std::uint32_t kUntouched = 0x123456;

// The history the drawing tests use: 8 rows appended to a ring of 6, so it
// has wrapped, half a second apart, the newest at 12.5 s. 700 columns: more
// than the image's 497 pixels at the display's own size, fewer than its 994
// at twice the size. Rows are 10 dB apart and neighbouring columns 40 dB, so
// a pixel one row or column off shows another colour.
constexpr int kColumns = 700;
double Level(int ago, int column) { return -(10.0 * ago + 40.0 * (column % 2) + 0.01 * column); }

SpectrogramHistory WrappedHistory()
{
    SpectrogramHistory h;
    h.reset(kColumns, 6);
    for (int k = 0; k < 8; ++k) {
        std::vector<float> row(kColumns);
        for (int c = 0; c < kColumns; ++c)
            row[c] = static_cast<float>(Level(7 - k, c));
        h.append(row.data(), 9.0 + 0.5 * k);
    }
    return h;
}

// Relative luminance of a colour word (sRGB, the red byte lowest).
double Luminance(std::uint32_t word)
{
    const auto linear = [](std::uint32_t byte) {
        const double v = byte / 255.0;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(word & 0xFF) + 0.7152 * linear((word >> 8) & 0xFF) + 0.0722 * linear((word >> 16) & 0xFF);
}

}  // namespace

TEST(SpectrogramHistory, KeepsTheNewestRowsInOrderAfterWrapping)
{
    SpectrogramHistory h;
    h.reset(3, 4);
    for (int appended = 1; appended <= 9; ++appended) {
        const float row[3] = {appended * 10.0f, appended * 10.0f + 1, appended * 10.0f + 2};
        h.append(row, appended * 0.25);
        ASSERT_EQ(h.size(), std::min(appended, 4));
        for (int ago = 0; ago < h.size(); ++ago) {
            const int k = appended - ago;
            EXPECT_EQ(h.row(ago)[0], k * 10.0f) << appended << " appended, " << ago << " ago";
            EXPECT_EQ(h.row(ago)[2], k * 10.0f + 2) << appended << " appended, " << ago << " ago";
            EXPECT_EQ(h.seconds(ago), k * 0.25) << appended << " appended, " << ago << " ago";
        }
    }
    h.clear();
    EXPECT_TRUE(h.empty());
    EXPECT_EQ(h.capacity(), 4);
    EXPECT_EQ(h.rowAt(10.0), -1);
}

TEST(SpectrogramHistory, RowAtTakesTheNewestRowAtOrBeforeATime)
{
    const SpectrogramHistory h = WrappedHistory();  // rows at 10.0, 10.5, ... 12.5 s
    struct Case {
        double seconds;
        int ago;
    };
    const Case cases[] = {
        {12.5, 0}, {99.0, 0}, {12.49, 1}, {11.0, 3}, {10.01, 5}, {10.0, 5}, {9.99, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(h.rowAt(c.seconds), c.ago) << c.seconds << " s";
}

TEST(SpectrogramColours, TheRangesEndsAndBeyondTakeTheMapsEnds)
{
    struct Case {
        double db;
        std::uint32_t colour;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {-20.0, kViridisTop},     {5.0, kViridisTop},     {inf, kViridisTop},
        {-100.0, kViridisBottom}, {-140, kViridisBottom}, {-inf, kViridisBottom},
    };
    for (const Case& c : cases)
        EXPECT_EQ(levelColour(c.db, -20.0, 80.0), c.colour) << c.db << " dB";
    EXPECT_EQ(colourMapWord(0.0), kViridisBottom);
    EXPECT_EQ(colourMapWord(1.0), kViridisTop);
}

TEST(SpectrogramColours, LightnessRisesAlongTheMap)
{
    // Coarsely it rises at every step; finely, the 8-bit channels may fall
    // back by a rounding step's worth, never more.
    for (int i = 0; i < 32; ++i)
        EXPECT_LT(Luminance(colourMapWord(i / 32.0)), Luminance(colourMapWord((i + 1) / 32.0))) << i << "/32";
    constexpr int kFine = 4096;
    for (int i = 0; i < kFine; ++i) {
        const double here = Luminance(colourMapWord(static_cast<double>(i) / kFine));
        const double next = Luminance(colourMapWord(static_cast<double>(i + 1) / kFine));
        ASSERT_GT(next, here - 1e-3) << i << "/" << kFine;
    }
}

TEST(SpectrogramDisplay, HistoryCellsLandOnTheirPixelsAndTheCursorReadsThem)
{
    const SpectrogramHistory h = WrappedHistory();
    // Drawn over 10 s: at 513 pixels, rows [20, 120), 0.1 s a pixel row,
    // image columns [0, 497); at twice the size rows [40, 240), 0.05 s a
    // pixel row, image columns [0, 994). ago -1: left as it was, and
    // nothing for the cursor.
    struct Case {
        int width;
        int x;
        int y;
        int ago;
        int column;
    };
    const Case cases[] = {
        {513, 0, 20, 0, 0},       // newest row at the top
        {513, 70, 20, 0, 98},     // 70 * 700 / 497 = 98.6
        {513, 71, 21, 0, 100},    // 71 * 700 / 497 = 100 exactly
        {513, 300, 23, 1, 422},   // 12.15 s: nearer 12.0 than 12.5
        {513, 496, 30, 2, 698},   // 11.45 s: nearer 11.5 than 11.0
        {513, 10, 44, 5, 14},     // 10.05 s: the oldest row
        {513, 10, 45, -1, 0},     // 9.95 s: older than the history
        {513, 10, 19, -1, 0},     // above the spectrogram
        {513, 497, 20, -1, 0},    // the gap before the colour bar
        {1026, 70, 40, 0, 49},    // 70 * 700 / 994 = 49.3
        {1026, 71, 40, 0, 50},    // 71 * 700 / 994 = 50 exactly
        {1026, 72, 41, 0, 50},    // 72 * 700 / 994 = 50.7
        {1026, 993, 89, 5, 699},  // 10.025 s, the last column
        {1026, 5, 90, -1, 0},     // 9.975 s
        {1026, 994, 40, -1, 0},   // the gap's first pixel
        {1026, 1001, 40, -1, 0},  // and its last
    };
    for (const int width : {513, 1026}) {
        const int scale = width / 513;
        const int top = 20 * scale;
        const int bottom = 120 * scale;
        auto r = std::make_unique<Raster>();
        r->resize(width, 343 * scale);
        r->fill(kUntouched);
        r->takeChangedRows();
        drawSpectrogram(*r, h, top, bottom, 10.0, 0.0, 100.0);
        const RowBand changed = r->takeChangedRows();
        EXPECT_LE(changed.first, top);
        EXPECT_GE(changed.first + changed.count, bottom);

        for (const Case& c : cases) {
            if (c.width != width)
                continue;
            const auto reading = spectrogramAt(h, width, top, bottom, 10.0, c.x, c.y);
            if (c.ago < 0) {
                EXPECT_EQ(r->pixel(c.x, c.y), kUntouched) << c.x << "," << c.y;
                EXPECT_FALSE(reading.has_value()) << c.x << "," << c.y;
                continue;
            }
            const double level = static_cast<float>(Level(c.ago, c.column));  // as the history keeps it
            EXPECT_EQ(r->pixel(c.x, c.y), levelColour(level, 0.0, 100.0)) << c.x << "," << c.y;
            ASSERT_TRUE(reading.has_value()) << c.x << "," << c.y;
            EXPECT_NEAR(reading->secondsAgo, 0.5 * c.ago, 1e-9) << c.x << "," << c.y;
            EXPECT_EQ(reading->column, c.column) << c.x << "," << c.y;
            EXPECT_EQ(reading->levelDb, level) << c.x << "," << c.y;
        }

        // The colour bar: 12 columns at the right edge, the range's top on
        // the first row, its bottom on the last; nothing for the cursor.
        const int barFrom = width - 12 * scale;
        EXPECT_EQ(r->pixel(barFrom - 1, top), kUntouched) << width;
        EXPECT_EQ(r->pixel(barFrom, top), kViridisTop) << width;
        EXPECT_EQ(r->pixel(width - 1, bottom - 1), kViridisBottom) << width;
        EXPECT_EQ(r->pixel(width - 1, bottom), kUntouched) << width;
        EXPECT_FALSE(spectrogramAt(h, width, top, bottom, 10.0, barFrom, top).has_value()) << width;
    }
}

TEST(SpectrogramDisplay, ColourBarLabelsSpreadTheRangeOverTheBar)
{
    const std::vector<BarLabel> five = colourBarLabels(20, 120, 0.0, 100.0, 5);
    const std::vector<int> rows = {20, 45, 70, 94, 119};
    const std::vector<std::string> texts = {"0 dB", "-25 dB", "-50 dB", "-75 dB", "-100 dB"};
    ASSERT_EQ(five.size(), 5u);
    for (std::size_t i = 0; i < five.size(); ++i) {
        EXPECT_EQ(five[i].row, rows[i]);
        EXPECT_EQ(five[i].text, texts[i]);
    }
    const std::vector<BarLabel> four = colourBarLabels(0, 100, 10.0, 100.0, 4, ',');
    ASSERT_EQ(four.size(), 4u);
    EXPECT_EQ(four[0].text, "10 dB");
    EXPECT_EQ(four[1].text, "-23,3 dB");
    EXPECT_EQ(four[3].text, "-90 dB");
}
