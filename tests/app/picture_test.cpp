// What the display shows agrees with the controls and the readouts: a held
// picture is drawn again from the block that made it, the trigger lamp says
// whether the trace was triggered. The window records from the built-in
// generator (a 1 kHz sine on channel 1) and is driven through its controls'
// own signals, as a user would drive it.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QFile>
#include <QAction>
#include <QLabel>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "WindowDriving.h"
#include "WindowTestFolders.h"
#include "app/Varmolen2.h"
#include "audio/GeneratorWaveInput.h"
#include "display/Raster.h"
#include "persist/ConfigFile.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/Led.h"
#include "panel/widgets/RockerSwitch.h"
#include "panel/widgets/ToggleSwitch.h"

namespace varmolen {
namespace {

class PictureTest : public test::WindowTestFolders {
protected:
    void SetUp() override
    {
        test::WindowTestFolders::SetUp();
        form = std::make_unique<TScopeForm>(generator);
        form->host().setRecordOnly(true);
        form->show();
        // Channel 1 on, red, range 1 at dial 4 (gain 2): the generator's
        // half-scale sine swings 32 rows about row 171.
        flip(form->Chan1EnbSwitch, true);
        form->Red1->trigger();
        form->Chan1GainTrackBar->setValue(1);
        turn(form->Chan1GainDial, 4.0f);
        turn(form->Chan1OffsetDial, 50.0f);
    }
    void TearDown() override
    {
        form.reset();
        test::WindowTestFolders::TearDown();
    }

    static void turn(Dial* dial, float value) { test::turn(dial, value); }
    static void flip(SwitchBase* control, bool checked) { test::flip(control, checked); }
    static void serve(int ms, const std::function<bool()>& done = {}) { test::serveUntil(ms, done); }

    // Serves events until `n` more display passes of new blocks have drawn.
    void passes(int n)
    {
        const int first = form->displayPasses();
        serve(3000, [&] { return form->displayPasses() - first >= n; });
        ASSERT_GE(form->displayPasses() - first, n) << "the display was not drawn";
    }

    // Rows the red trace covers, top and bottom, over all columns.
    std::pair<int, int> traceRows() const
    {
        int top = Raster::kHeight, bottom = -1;
        const Raster& r = form->displayBitmap();
        for (int y = 0; y < Raster::kHeight; ++y)
            for (int x = 8; x < 512; ++x)  // right of the trigger tick
                if (r.pixel(x, y) == static_cast<std::uint32_t>(colour::red)) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
        return {top, bottom};
    }
    // Upward crossings of the baseline row by the red trace, left to right.
    int traceCrossings() const
    {
        const Raster& r = form->displayBitmap();
        const int y0 = form->state().chan1TimeOffset;
        int crossings = 0;
        int previous = 0;
        for (int x = 8; x < 512; ++x) {
            int sum = 0, count = 0;
            for (int y = 0; y < Raster::kHeight; ++y)
                if (r.pixel(x, y) == static_cast<std::uint32_t>(colour::red)) {
                    sum += y;
                    ++count;
                }
            if (count == 0)
                continue;
            const int side = sum / count < y0 ? 1 : -1;  // above the baseline: positive
            crossings += previous == -1 && side == 1;
            previous = side;
        }
        return crossings;
    }

    GeneratorWaveInput generator;
    std::unique_ptr<TScopeForm> form;
};

// In Hold the time base still changes the picture: the held block is drawn
// again at the new span, so the picture shows what the axis label says, and
// no new samples appear until the hold ends.
TEST_F(PictureTest, HeldPictureFollowsTheTimeBaseWithoutNewSamples)
{
    passes(3);
    flip(form->DisplayHoldSw, true);
    serve(300);
    const int fullSpanPeriods = traceCrossings();
    EXPECT_NEAR(fullSpanPeriods, 46, 2) << "512 samples of 1 kHz at 11025 Hz";

    turn(form->TimeBaseDial, 50.0f);
    EXPECT_EQ(form->HiFreqLabel->text(), "23.57 ms");
    const int halfSpanPeriods = traceCrossings();
    EXPECT_NEAR(halfSpanPeriods, 23, 2) << "the held picture was not drawn again at the new span";

    const std::vector<std::uint32_t> held(form->displayBitmap().data(),
                                          form->displayBitmap().data() + Raster::kWidth * Raster::kHeight);
    serve(400);  // two blocks arrive meanwhile
    EXPECT_TRUE(std::equal(held.begin(), held.end(), form->displayBitmap().data())) << "new samples appeared";

    flip(form->DisplayHoldSw, false);
    passes(2);
    EXPECT_NEAR(traceCrossings(), 23, 2);
}

// A channel that keeps its previous trace (Sqv finds no edge on a sine, yet
// the level is crossed) still answers its gain: the kept trace is drawn again
// from the block that made it.
TEST_F(PictureTest, KeptTraceAnswersItsGain)
{
    flip(form->TriggerEnableSwitch, true);
    passes(3);
    EXPECT_TRUE(form->TrigdLED->isChecked());
    flip(form->SineSquareSw, false);  // Sqv
    passes(3);
    ASSERT_EQ(form->state().traceKept[0], 1) << "the sine should leave no Sqv edge at gain 2";
    const auto [top2, bottom2] = traceRows();
    turn(form->Chan1GainDial, 6.0f);  // gain 3
    const auto [top3, bottom3] = traceRows();
    EXPECT_NEAR(bottom2 - top2, 64, 4);
    EXPECT_NEAR(bottom3 - top3, 96, 4) << "the gain changed nothing on the screen";
    passes(2);
    EXPECT_EQ(form->state().traceKept[0], 1);
    const auto [topLater, bottomLater] = traceRows();
    EXPECT_NEAR(bottomLater - topLater, 96, 4) << "later passes went back to the old trace";
}

// The trigger lamp: lit while the last pass found its trigger point, dark
// while the trace runs free, is kept, or the trigger is off.
TEST_F(PictureTest, TriggerLampSaysWhetherTheTraceWasTriggered)
{
    const struct {
        const char* what;
        std::function<void(TScopeForm&)> act;
        bool lit;
    } steps[] = {
        {"trigger off", [](TScopeForm&) {}, false},
        {"trigger on, Sin, level within the sine", [](TScopeForm& f) { flip(f.TriggerEnableSwitch, true); }, true},
        {"level above the sine: running free", [](TScopeForm& f) { turn(f.ThresholdDial, 40.0f); }, false},
        {"level back, Sqv: the previous trace kept",
         [](TScopeForm& f) {
             turn(f.ThresholdDial, 0.0f);
             flip(f.SineSquareSw, false);
         },
         false},
        {"Sin again", [](TScopeForm& f) { flip(f.SineSquareSw, true); }, true},
        {"trigger off again", [](TScopeForm& f) { flip(f.TriggerEnableSwitch, false); }, false},
    };
    for (const auto& step : steps) {
        step.act(*form);
        passes(2);
        EXPECT_EQ(form->TrigdLED->isChecked(), step.lit) << step.what;
    }
    EXPECT_EQ(form->TrigdLED->caption(), "Trig'd");
}

// The set-up tool's settings file makes a working first picture on the
// generator: both traces on the display with room to spare, apart from each
// other, in colours that differ from each other and from the background,
// triggered so that the sine holds still.
using FirstPictureTest = test::WindowTestFolders;

TEST_F(FirstPictureTest, DefaultFileShowsBothGeneratorSignalsTriggered)
{
    ASSERT_TRUE(test::writeSettings(installDir.filePath(QStringLiteral("Varmolen.cfg")), defaultConfiguration()));

    GeneratorWaveInput generator;
    TScopeForm form(generator);
    form.host().setRecordOnly(true);
    form.show();
    const InstrumentState& s = form.state();
    ASSERT_NE(s.chan1Color, s.chan2Color);
    const auto rowsOf = [&](std::int32_t colourWord) {
        std::vector<int> rows;
        for (int y = 0; y < Raster::kHeight; ++y)
            for (int x = 8; x < 512; ++x)
                if (form.displayBitmap().pixel(x, y) == static_cast<std::uint32_t>(colourWord))
                    rows.push_back(y);
        return rows;
    };
    test::serveUntil(1200);
    ASSERT_GT(form.displayPasses(), 3);
    const std::vector<int> sine = rowsOf(s.chan1Color);
    const std::vector<int> square = rowsOf(s.chan2Color);
    ASSERT_GT(sine.size(), 1000u) << "the sine is not drawn";
    ASSERT_GT(square.size(), 300u) << "the square is not drawn";
    const auto [sineTop, sineBottom] = std::minmax_element(sine.begin(), sine.end());
    const auto [squareTop, squareBottom] = std::minmax_element(square.begin(), square.end());
    EXPECT_GE(*sineTop, 10) << "the sine is clipped at the top";
    EXPECT_LT(*sineBottom, *squareTop) << "the traces overlap";
    EXPECT_LE(*squareBottom, Raster::kHeight - 10) << "the square is clipped at the bottom";
    EXPECT_GT(*sineBottom - *sineTop, 100) << "the sine is too small to see";
    EXPECT_GT(*squareBottom - *squareTop, 100);
    EXPECT_TRUE(form.TrigdLED->isChecked());
    // The background is white; neither trace is.
    EXPECT_EQ(form.displayBitmap().pixel(300, 20), static_cast<std::uint32_t>(colour::white));
    EXPECT_NE(s.chan1Color, colour::white);
    EXPECT_NE(s.chan2Color, colour::white);
    // Triggered: pass after pass the sine starts at the left edge rising
    // through the level (within the Sin detector's band), so it holds still
    // up to a sample's step.
    for (int pass = 0; pass < 5; ++pass) {
        const int before = form.displayPasses();
        test::serveUntil(1000, [&] { return form.displayPasses() > before; });
        EXPECT_GT(s.chan1Trace[0], 0) << pass;
        EXPECT_LT(s.chan1Trace[0], 5) << pass;
        EXPECT_GT(s.chan1Trace[1], s.chan1Trace[0]) << pass;
    }
    form.close();
}

}  // namespace
}  // namespace varmolen
