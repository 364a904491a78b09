#include "display/Raster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

using namespace varmolen;

namespace {
constexpr std::uint32_t kRed = 0x0000FF;
constexpr std::uint32_t kBlue = 0xFF0000;
constexpr std::uint32_t kWhite = 0xFFFFFF;

int CountColour(const Raster& r, std::uint32_t c)
{
    int n = 0;
    for (int y = 0; y < Raster::kHeight; ++y)
        for (int x = 0; x < Raster::kWidth; ++x)
            n += r.pixel(x, y) == c;
    return n;
}
}  // namespace

TEST(Raster, PixelsAreStoredAsWindowSurfaceWords)
{
    auto r = std::make_unique<Raster>();
    r->fill(0x00332211);                   // blue 0x33, green 0x22, red 0x11
    EXPECT_EQ(r->data()[0], 0xFF112233u);  // 0xFFRRGGBB
    r->setPenColor(0x00FF0000);            // blue pen
    r->MoveTo(0, 1);
    r->LineTo(2, 1);
    EXPECT_EQ(r->data()[Raster::kWidth], 0xFF0000FFu);
    EXPECT_EQ(r->pixel(0, 1), 0x00FF0000u);
    EXPECT_EQ(r->pixel(512, 342), 0x00332211u);
    EXPECT_EQ(Raster::bytesPerLine(), 513 * 4);
}

TEST(Raster, RectangleOutlinesAndFillsWithExclusiveEdges)
{
    auto r = std::make_unique<Raster>();
    r->fill(kWhite);
    r->setPenColor(kRed);
    r->setBrushColor(kBlue);
    r->Rectangle(10, 20, 15, 26);
    EXPECT_EQ(r->pixel(10, 20), kRed);
    EXPECT_EQ(r->pixel(14, 25), kRed);    // last column and row inside
    EXPECT_EQ(r->pixel(15, 22), kWhite);  // right edge exclusive
    EXPECT_EQ(r->pixel(12, 26), kWhite);  // bottom edge exclusive
    EXPECT_EQ(r->pixel(12, 22), kBlue);   // interior in the brush
    EXPECT_EQ(CountColour(*r, kBlue), 3 * 4);
    // A rectangle far larger than the bitmap fills it all.
    r->Rectangle(-2000000000, -2000000000, 2000000000, 2000000000);
    EXPECT_EQ(CountColour(*r, kBlue), 513 * 343);
}

TEST(Raster, LineToOmitsTheEndPointAndMovesThePen)
{
    auto r = std::make_unique<Raster>();
    r->fill(kWhite);
    r->setPenColor(kRed);
    r->MoveTo(5, 5);
    r->LineTo(10, 5);
    for (int x = 5; x < 10; ++x)
        EXPECT_EQ(r->pixel(x, 5), kRed) << x;
    EXPECT_EQ(r->pixel(10, 5), kWhite);
    r->LineTo(10, 8);  // continues from (10, 5)
    EXPECT_EQ(r->pixel(10, 5), kRed);
    EXPECT_EQ(r->pixel(10, 7), kRed);
    EXPECT_EQ(r->pixel(10, 8), kWhite);
    EXPECT_EQ(CountColour(*r, kRed), 5 + 3);
    // A line of zero length draws nothing.
    r->MoveTo(100, 100);
    r->LineTo(100, 100);
    EXPECT_EQ(r->pixel(100, 100), kWhite);
}

// A band of column spans: each column from its top to its bottom row, both
// included and clipped, none where top > bottom; the next whole clear wipes
// it although its pixels were not noted one by one.
TEST(Raster, ColumnSpansFillTheirRowsAndTheNextClearWipesThem)
{
    auto r = std::make_unique<Raster>();
    r->setPenColor(kWhite);
    r->setBrushColor(kWhite);
    r->Rectangle(0, 0, Raster::kWidth, Raster::kHeight);
    r->setPenColor(kRed);
    std::vector<int> top(Raster::kWidth, 1), bottom(Raster::kWidth, 0);  // empty
    const struct {
        int x, top, bottom;
        int pixels;  // expected in the column
    } spans[] = {{0, 10, 10, 1}, {1, 5, 9, 5}, {2, -40, 3, 4}, {3, 340, 900, 3}, {4, 20, 19, 0}, {512, 0, 342, 343}};
    for (const auto& sp : spans) {
        top[static_cast<std::size_t>(sp.x)] = sp.top;
        bottom[static_cast<std::size_t>(sp.x)] = sp.bottom;
    }
    r->fillColumnSpans(top.data(), bottom.data(), Raster::kWidth);
    int total = 0;
    for (const auto& sp : spans) {
        int n = 0;
        for (int y = 0; y < Raster::kHeight; ++y) {
            const bool red = r->pixel(sp.x, y) == kRed;
            n += red ? 1 : 0;
            if (red) {
                EXPECT_GE(y, sp.top) << sp.x;
                EXPECT_LE(y, sp.bottom) << sp.x;
            }
        }
        EXPECT_EQ(n, sp.pixels) << "column " << sp.x;
        total += sp.pixels;
    }
    EXPECT_EQ(CountColour(*r, kRed), total) << "nothing outside the spans";
    r->setPenColor(kWhite);
    r->Rectangle(0, 0, Raster::kWidth, Raster::kHeight);
    EXPECT_EQ(CountColour(*r, kRed), 0);
}

// Spans laid in runs of neighbouring columns across the bitmap's 64-column
// words, beginning and ending on many rows, two fills in a row on one
// bitmap: every pixel as the rule says, none outside.
TEST(Raster, ColumnSpansOfABandMatchEveryPixelsOwnRule)
{
    auto r = std::make_unique<Raster>();
    r->fill(kWhite);
    const std::uint32_t colours[] = {kRed, kBlue};
    const int columns[] = {Raster::kWidth, Raster::kWidth - 3};
    std::vector<int> top[2], bottom[2];
    std::uint32_t seed = 12345u;
    for (int fill = 0; fill < 2; ++fill) {
        for (int x = 0; x < Raster::kWidth; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int centre = static_cast<int>((seed >> 8) % 400) - 30;
            const int half = static_cast<int>((seed >> 20) % 90) - 10;  // some empty
            top[fill].push_back(centre - half);
            bottom[fill].push_back(centre + half);
        }
        r->setPenColor(colours[fill]);
        r->fillColumnSpans(top[fill].data(), bottom[fill].data(), columns[fill]);
    }
    for (int x = 0; x < Raster::kWidth; ++x) {
        const auto column = static_cast<std::size_t>(x);
        for (int y = 0; y < Raster::kHeight; ++y) {
            std::uint32_t want = kWhite;  // the second fill over the first
            for (int fill = 0; fill < 2; ++fill) {
                if (x < columns[fill] && top[fill][column] <= y && y <= bottom[fill][column])
                    want = colours[fill];
            }
            ASSERT_EQ(r->pixel(x, y), want) << x << ", " << y;
        }
    }
}

TEST(Raster, DiagonalLinesHitEveryMajorStepOnce)
{
    auto r = std::make_unique<Raster>();
    r->fill(kWhite);
    r->setPenColor(kRed);
    r->MoveTo(0, 0);
    r->LineTo(100, 37);
    EXPECT_EQ(CountColour(*r, kRed), 100);
    for (int x = 0; x < 100; ++x) {
        const int y = (2 * 37 * x + 100) / 200;  // rounded ideal row
        EXPECT_EQ(r->pixel(x, y), kRed) << x;
    }
}

TEST(Raster, FarSegmentsAreClippedToTheVisiblePart)
{
    // A segment to a row two billion pixels away draws the same visible
    // pixels as one that just leaves the bitmap, in either direction.
    auto a = std::make_unique<Raster>();
    auto b = std::make_unique<Raster>();
    for (Raster* r : {a.get(), b.get()}) {
        r->fill(kWhite);
        r->setPenColor(kRed);
    }
    a->MoveTo(20, 100);
    a->LineTo(20, -2000000000);
    b->MoveTo(20, 100);
    b->LineTo(20, -1000);
    EXPECT_EQ(std::memcmp(a->data(), b->data(), 513 * 343 * 4), 0);
    EXPECT_EQ(CountColour(*a, kRed), 101);
    a->MoveTo(30, -2000000000);
    a->LineTo(31, 2000000000);
    EXPECT_EQ(CountColour(*a, kRed), 101 + 343);
    // Both ends far outside on opposite corners: the crossing is drawn.
    a->fill(kWhite);
    a->MoveTo(-2147483647 - 1, -2147483647 - 1);
    a->LineTo(2147483647, 2147483647);
    EXPECT_EQ(a->pixel(0, 0), kRed);
    EXPECT_EQ(a->pixel(200, 200), kRed);
    EXPECT_EQ(a->pixel(342, 342), kRed);
    EXPECT_EQ(CountColour(*a, kRed), 343);
    // Entirely outside: nothing.
    a->fill(kWhite);
    a->MoveTo(-50, -10);
    a->LineTo(-50, 3000);
    a->MoveTo(600, 5);
    a->LineTo(2000000000, 5);
    EXPECT_EQ(CountColour(*a, kRed), 0);
}

TEST(Raster, WidePenCoversThreePixels)
{
    auto r = std::make_unique<Raster>();
    r->fill(kWhite);
    r->setPenColor(kRed);
    r->setPenWidth(3);
    r->MoveTo(0, 50);
    r->LineTo(5, 50);
    for (int x = 0; x <= 5; ++x)
        for (int y = 49; y <= 51; ++y)
            EXPECT_EQ(r->pixel(x, y), kRed) << x << "," << y;
    EXPECT_EQ(r->pixel(6, 50), kWhite);
    EXPECT_EQ(r->pixel(2, 52), kWhite);
    // The wide pen still clips at the edges.
    r->MoveTo(-1, 0);
    r->LineTo(3, 0);
    EXPECT_EQ(r->pixel(0, 0), kRed);
    EXPECT_EQ(r->pixel(0, 1), kRed);
}

TEST(Raster, ChangedRowsAreReportedOnceAndTheirBandSpansThem)
{
    auto r = std::make_unique<Raster>();
    r->fill(kWhite);
    // Nothing was sent before: every row.
    const RowBand first = r->takeChangedRows();
    EXPECT_EQ(first.first, 0);
    EXPECT_EQ(first.count, Raster::kHeight);
    EXPECT_TRUE(r->takeChangedRows().empty());

    // Two changed pixels far apart: the band spans both rows.
    r->setPenColor(kRed);
    r->MoveTo(512, 7);
    r->LineTo(513, 7);
    r->MoveTo(0, 200);
    r->LineTo(1, 200);
    const RowBand band = r->takeChangedRows();
    EXPECT_EQ(band.first, 7);
    EXPECT_EQ(band.count, 194);
    // Once reported, the same picture needs nothing more.
    EXPECT_TRUE(r->takeChangedRows().empty());

    // The first and last rows count too.
    r->fill(kRed);
    const RowBand all = r->takeChangedRows();
    EXPECT_EQ(all.first, 0);
    EXPECT_EQ(all.count, Raster::kHeight);
}

TEST(Raster, APictureDrawnAgainAfterItsClearIsNoChangeButAMovedOrUnseenWriteIs)
{
    // A display pass: clear to white, a line, the graticule's row over it.
    const auto pass = [](Raster& r, int row) {
        r.setPenColor(kWhite);
        r.setBrushColor(kWhite);
        r.Rectangle(0, 0, Raster::kWidth, Raster::kHeight);
        r.setPenColor(0x0000FF);
        r.MoveTo(0, row);
        r.LineTo(300, row + 40);
        r.setPenColor(kRed);
        r.MoveTo(0, 100);
        r.LineTo(512, 100);
    };
    for (const int height : {Raster::kHeight, 2 * Raster::kHeight - 1}) {
        auto r = std::make_unique<Raster>();
        r->resize(2 * Raster::kWidth - 1, height);
        pass(*r, 10);
        EXPECT_EQ(r->takeChangedRows().count, height);
        pass(*r, 10);
        EXPECT_TRUE(r->takeChangedRows().empty()) << height;
        // The line one row lower: the rows it left and the rows it reached.
        pass(*r, 11);
        const RowBand moved = r->takeChangedRows();
        EXPECT_FALSE(moved.empty());
        EXPECT_LE(moved.first, r->height() * 10 / Raster::kHeight + 1);
        EXPECT_GE(moved.first + moved.count, r->height() * 50 / Raster::kHeight);
        // A write the bitmap cannot see: every row.
        r->data()[0] = 0xFF00FF00u;
        EXPECT_EQ(r->takeChangedRows().count, height);
    }
}

TEST(Raster, AGraticuleLeftInTheBitmapGivesThePictureDrawingItOverEveryPassGives)
{
    // Rows across and columns from the bottom up, as the display's own; then
    // another set (fewer columns, another colour) and none.
    std::vector<GraticuleLine> time;
    for (int i = 0; i < 11; ++i)
        time.push_back({1, 34 * i, 511, 34 * i});
    for (int i = 0; i < 11; ++i)
        time.push_back({51 * i, 340, 51 * i, 0});
    std::vector<GraticuleLine> frequency(time.begin(), time.begin() + 11);
    for (int i = 0; i < 9; ++i)
        frequency.push_back({64 * i, 340, 64 * i, 0});
    struct Pass {
        const std::vector<GraticuleLine>* lines;
        std::uint32_t colour;
        std::uint32_t ground;
        int shift;
        bool band;  // a band of column spans as well, whose pixels are not noted
    };
    const std::vector<GraticuleLine> none;
    const Pass passes[] = {{&time, 0x808000, 0, 0, false},      {&time, 0x808000, 0, 3, true},
                           {&time, 0x808000, 0, 3, false},      {&frequency, 0x808000, 0, 5, true},
                           {&frequency, 0, kWhite, 5, false},   {&none, 0, kWhite, 9, true},
                           {&time, 0x808000, kWhite, 12, true}, {&time, 0x808000, kWhite, 12, false}};
    for (const auto& [width, height] : {std::pair{513, 343}, std::pair{1025, 685}, std::pair{777, 500}}) {
        auto left = std::make_unique<Raster>();
        auto drawn = std::make_unique<Raster>();
        left->resize(width, height);
        drawn->resize(width, height);
        for (const Pass& p : passes) {
            for (Raster* r : {left.get(), drawn.get()}) {
                r->setPenWidth(1);
                r->setPenColor(p.ground);
                r->setBrushColor(p.ground);
                if (r == left.get())
                    r->setGraticule(p.colour, p.lines->data(), p.lines->size());
                r->Rectangle(0, 0, Raster::kWidth, Raster::kHeight);
                // A steep trace, a flat one across the rows of the grid, a wide pen.
                r->setPenColor(kRed);
                r->MoveTo(p.shift, 0);
                for (int x = 0; x < 512; x += 7)
                    r->LineTo(x + p.shift, (x * 37 + p.shift) % 343);
                r->MoveTo(0, 68);
                r->LineTo(512, 68 + p.shift);
                if (p.band) {
                    std::vector<int> top(static_cast<std::size_t>(width)), bottom(top.size());
                    for (std::size_t x = 0; x < top.size(); ++x) {
                        top[x] = static_cast<int>(x) % 97 + p.shift;
                        bottom[x] = height - 1 - static_cast<int>(x) % 89;
                    }
                    r->fillColumnSpans(top.data(), bottom.data(), width);
                }
                r->setPenWidth(3);
                r->MoveTo(100, 100 + p.shift);
                r->LineTo(110, 100 + p.shift);
                r->setPenWidth(1);
                r->setPenColor(p.colour);
                const bool covered =
                    r == left.get() && r->coverWithGraticule(p.colour, p.lines->data(), p.lines->size());
                if (r == left.get()) {
                    EXPECT_EQ(covered, !p.lines->empty());
                }
                if (!covered) {
                    for (const GraticuleLine& l : *p.lines) {
                        r->MoveTo(l.x1, l.y1);
                        r->LineTo(l.x2, l.y2);
                    }
                }
                // A marker over the graticule.
                r->setPenColor(kBlue);
                r->MoveTo(51 + p.shift, 340);
                r->LineTo(51 + p.shift, 0);
            }
            const std::uint32_t* pixels = std::as_const(*left).data();
            ASSERT_TRUE(std::equal(pixels, pixels + width * height, std::as_const(*drawn).data()))
                << width << " x " << height << ", shift " << p.shift;
        }
    }
}

TEST(Raster, LentPixelsKeepThePictureAndACopyOwnsItsOwn)
{
    // A lender as the window's shared memory is: one block at a time, the
    // one before taken back (overwritten here, so a stale use shows).
    std::vector<std::vector<std::uint32_t>> blocks;
    std::vector<std::size_t> asked;
    auto r = std::make_unique<Raster>();
    r->fill(kWhite);
    r->setPenColor(kRed);
    r->MoveTo(10, 20);
    r->LineTo(30, 20);
    const Raster before = *r;
    r->setPixelLender([&](std::size_t count) -> std::uint32_t* {
        asked.push_back(count);
        if (!blocks.empty())
            std::fill(blocks.back().begin(), blocks.back().end(), 0xDEADBEEFu);
        blocks.emplace_back(count);
        return blocks.back().data();
    });
    ASSERT_TRUE(r->pixelsLent());
    EXPECT_EQ(static_cast<const Raster&>(*r).data(), blocks.back().data());
    EXPECT_EQ(std::memcmp(before.data(), blocks.back().data(), before.lineBytes() * before.height()), 0);

    // A copy owns its pixels: drawing on the original leaves it as it was.
    const Raster copy = *r;
    EXPECT_FALSE(copy.pixelsLent());
    r->MoveTo(10, 40);
    r->LineTo(30, 40);
    EXPECT_EQ(CountColour(copy, kRed), CountColour(before, kRed));
    EXPECT_GT(CountColour(*r, kRed), CountColour(copy, kRed));

    // A resize asks again, for the new size, and draws into what it got.
    r->resize(1025, 685);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked.back(), 1025u * 685u);
    r->fill(kBlue);
    EXPECT_EQ(Raster::colourWord(blocks.back()[1025 * 685 - 1]), kBlue);

    // A lender with nothing to give leaves the bitmap its own memory.
    r->setPixelLender([](std::size_t) -> std::uint32_t* { return nullptr; });
    EXPECT_FALSE(r->pixelsLent());
    EXPECT_EQ(r->pixel(1024, 684), kBlue);
}
