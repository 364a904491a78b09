// What the display shows agrees with the controls and the readouts: a held
// picture is drawn again from the block that made it, the trigger lamp says
// whether the trace was triggered. The window records from the built-in
// generator (a 1 kHz sine on channel 1) and is driven through its controls'
// own signals, as a user would drive it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QAction>
#include <QLabel>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "WindowDriving.h"
#include "WindowTestFolders.h"
#include "window/Varmolen2.h"
#include "tests/ScopeFormSpy.h"
#include "audio/GeneratorWaveInput.h"
#include "tests/support/MemoryWaveInput.h"
#include "display/Raster.h"
#include "persist/ConfigFile.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/Led.h"
#include "panel/widgets/RockerSwitch.h"
#include "panel/widgets/ToggleSwitch.h"

namespace varmolen {

using test::SpyScopeForm;
namespace {

class PictureTest : public test::WindowTestFolders {
protected:
    void SetUp() override
    {
        test::WindowTestFolders::SetUp();
        form = std::make_unique<SpyScopeForm>(generator);
        form->host().setRecordOnly(true);
        form->show();
        // Channel 1 on, red, range 1 at dial 4 (gain 2): the generator's
        // half-scale sine swings 32 rows about row 171.
        flip(form->controls().chan1.Chan1EnbSwitch, true);
        form->controls().displayMenu.Red1->trigger();
        form->controls().chan1.Chan1GainTrackBar->setValue(1);
        turn(form->controls().chan1.Chan1GainDial, 4.0f);
        turn(form->controls().chan1.Chan1OffsetDial, 50.0f);
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
                if (r.pixel(x, y) == static_cast<std::uint32_t>(colour::kRed)) {
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
                if (r.pixel(x, y) == static_cast<std::uint32_t>(colour::kRed)) {
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
    std::unique_ptr<SpyScopeForm> form;
};

// In Hold the time base still changes the picture: the held block is drawn
// again at the new span, so the picture shows what the axis label says, and
// no new samples appear until the hold ends.
TEST_F(PictureTest, HeldPictureFollowsTheTimeBaseWithoutNewSamples)
{
    passes(3);
    flip(form->controls().display.DisplayHoldSw, true);
    serve(300);
    const int fullSpanPeriods = traceCrossings();
    EXPECT_NEAR(fullSpanPeriods, 46, 2) << "512 samples of 1 kHz at 11025 Hz";

    turn(form->controls().timeBase.TimeBaseDial, 50.0f);
    EXPECT_EQ(form->controls().screen.HiFreqLabel->text(), "23.57 ms");
    const int halfSpanPeriods = traceCrossings();
    EXPECT_NEAR(halfSpanPeriods, 23, 2) << "the held picture was not drawn again at the new span";

    const std::vector<std::uint32_t> held(form->displayBitmap().data(),
                                          form->displayBitmap().data() + Raster::kWidth * Raster::kHeight);
    serve(400);  // two blocks arrive meanwhile
    EXPECT_TRUE(std::equal(held.begin(), held.end(), form->displayBitmap().data())) << "new samples appeared";

    flip(form->controls().display.DisplayHoldSw, false);
    passes(2);
    EXPECT_NEAR(traceCrossings(), 23, 2);
}

// A channel that keeps its previous trace (Sqv finds no edge on a sine, yet
// the level is crossed) still answers its gain: the kept trace is drawn again
// from the block that made it.
TEST_F(PictureTest, KeptTraceAnswersItsGain)
{
    flip(form->controls().trigger.TriggerEnableSwitch, true);
    passes(3);
    EXPECT_TRUE(form->controls().trigger.TrigdLED->isChecked());
    flip(form->controls().trigger.SineSquareSw, false);  // Sqv
    passes(3);
    ASSERT_EQ(form->state().traceKept[0], 1) << "the sine should leave no Sqv edge at gain 2";
    const auto [top2, bottom2] = traceRows();
    turn(form->controls().chan1.Chan1GainDial, 6.0f);  // gain 3
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
        std::function<void(SpyScopeForm&)> act;
        bool lit;
    } steps[] = {
        {"trigger off", [](SpyScopeForm&) {}, false},
        {"trigger on, Sin, level within the sine",
         [](SpyScopeForm& f) { flip(f.controls().trigger.TriggerEnableSwitch, true); }, true},
        {"level above the sine: running free", [](SpyScopeForm& f) { turn(f.controls().trigger.ThresholdDial, 40.0f); },
         false},
        {"level back, Sqv: the previous trace kept",
         [](SpyScopeForm& f) {
             turn(f.controls().trigger.ThresholdDial, 0.0f);
             flip(f.controls().trigger.SineSquareSw, false);
         },
         false},
        {"Sin again", [](SpyScopeForm& f) { flip(f.controls().trigger.SineSquareSw, true); }, true},
        {"trigger off again", [](SpyScopeForm& f) { flip(f.controls().trigger.TriggerEnableSwitch, false); }, false},
    };
    for (const auto& step : steps) {
        step.act(*form);
        passes(2);
        EXPECT_EQ(form->controls().trigger.TrigdLED->isChecked(), step.lit) << step.what;
    }
    EXPECT_EQ(form->controls().trigger.TrigdLED->caption(), "Trig'd");
}

// A held picture is a record: with the trigger on, in every trigger setting,
// each control that changes how blocks are drawn draws the held blocks again
// and nothing else. The picture then stays as that redraw left it while new
// blocks arrive (none is drawn, Hold stays on), the Trig'd lamp keeps its
// word, and turning the control back gives the held picture pixel for
// pixel. The device is a memory one whose blocks are noisy, so a block drawn
// by mistake always shows.
class HeldPictureRuleTest : public test::WindowTestFolders {
protected:
    void SetUp() override
    {
        test::WindowTestFolders::SetUp();
        form = std::make_unique<SpyScopeForm>(device);
        form->host().setRecordOnly(true);
        form->controls().run.StartTimer->stop();
        form->controls().run.TimeoutTimer->stop();
        // Channel 1 a noisy sine, channel 2 (a frame's first value) a noisy
        // square: the Sin detector finds points in both, the Sqv detector
        // finds some and misses others, as noise has it.
        device.setFrameSource([](std::uint64_t n) -> std::array<std::int16_t, 2> {
            const auto noise = [n](std::uint64_t salt) {
                std::uint64_t z = (n * 2 + salt) * 0x9E3779B97F4A7C15ull;
                z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
                z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
                return static_cast<double>((z ^ (z >> 31)) % 6001) - 3000.0;
            };
            const double sine = 8000.0 * std::sin(static_cast<double>(n) * 0.15);
            const double square = (n / 45) % 2 == 0 ? 6000.0 : -6000.0;
            return {static_cast<std::int16_t>(square + noise(1)), static_cast<std::int16_t>(sine + noise(0))};
        });
        form->controls().optionsMenu.Line1->trigger();  // starts acquisition on the device, stereo
        flip(form->controls().chan1.Chan1EnbSwitch, true);
        flip(form->controls().chan2.Chan2EnbSwitch, true);
        form->controls().displayMenu.Red1->trigger();
        form->controls().displayMenu.Blue2->trigger();
        form->controls().displayMenu.White1->trigger();
        form->controls().displayMenu.Enable1->trigger();
        for (QSlider* bar : {form->controls().chan1.Chan1GainTrackBar, form->controls().chan2.Chan2GainTrackBar})
            test::slide(bar, 1);
        turn(form->controls().chan1.Chan1GainDial, 20.0f);  // gain 10: the sine swings about 78 rows
        turn(form->controls().chan2.Chan2GainDial, 20.0f);
        turn(form->controls().chan1.Chan1OffsetDial, 70.0f);
        turn(form->controls().chan2.Chan2OffsetDial, 30.0f);
        flip(form->controls().trigger.TriggerEnableSwitch, true);
    }
    void TearDown() override
    {
        form.reset();
        test::WindowTestFolders::TearDown();
    }

    static void turn(Dial* dial, float value) { test::turn(dial, value); }
    static void flip(SwitchBase* control, bool checked) { test::flip(control, checked); }

    // The device records `blocks` blocks; the window serves each as it comes.
    void record(int blocks)
    {
        for (int i = 0; i < 2 * blocks; ++i) {
            device.advanceFrames(512);
            QCoreApplication::processEvents();
        }
    }
    std::vector<std::uint32_t> picture() const
    {
        return {form->displayBitmap().data(), form->displayBitmap().data() + Raster::kWidth * Raster::kHeight};
    }

    MemoryWaveInput device;
    std::unique_ptr<SpyScopeForm> form;
};

TEST_F(HeldPictureRuleTest, ControlsRedrawTheHeldBlocksAndNothingElseWithTheTriggerOn)
{
    SpyScopeForm& f = *form;
    const struct {
        const char* what;
        std::function<void()> change, back;
    } controls[] = {
        {"channel 1 gain", [&] { turn(f.controls().chan1.Chan1GainDial, 35.0f); },
         [&] { turn(f.controls().chan1.Chan1GainDial, 20.0f); }},
        {"channel 2 gain", [&] { turn(f.controls().chan2.Chan2GainDial, 9.0f); },
         [&] { turn(f.controls().chan2.Chan2GainDial, 20.0f); }},
        {"channel 1 range", [&] { test::slide(f.controls().chan1.Chan1GainTrackBar, 2); },
         [&] { test::slide(f.controls().chan1.Chan1GainTrackBar, 1); }},
        {"channel 2 range", [&] { test::slide(f.controls().chan2.Chan2GainTrackBar, 0); },
         [&] { test::slide(f.controls().chan2.Chan2GainTrackBar, 1); }},
        {"channel 1 position", [&] { turn(f.controls().chan1.Chan1OffsetDial, 55.0f); },
         [&] { turn(f.controls().chan1.Chan1OffsetDial, 70.0f); }},
        {"channel 2 position", [&] { turn(f.controls().chan2.Chan2OffsetDial, 10.0f); },
         [&] { turn(f.controls().chan2.Chan2OffsetDial, 30.0f); }},
        {"time base", [&] { turn(f.controls().timeBase.TimeBaseDial, 40.0f); },
         [&] { turn(f.controls().timeBase.TimeBaseDial, 100.0f); }},
        {"markers",
         [&] {
             flip(f.controls().chan1.Mkr1Switch, true);
             flip(f.controls().chan2.Mkr2Switch, true);
         },
         [&] {
             flip(f.controls().chan2.Mkr2Switch, false);
             flip(f.controls().chan1.Mkr1Switch, false);
         }},
        {"Exp",
         [&] {
             flip(f.controls().chan1.Mkr1Switch, true);
             flip(f.controls().chan2.Mkr2Switch, true);
             flip(f.controls().display.ExpandSw, true);
         },
         [&] {
             flip(f.controls().display.ExpandSw, false);
             flip(f.controls().chan2.Mkr2Switch, false);
             flip(f.controls().chan1.Mkr1Switch, false);
         }},
        {"channel colours",
         [&] {
             f.controls().displayMenu.Lime2->trigger();
             f.controls().displayMenu.Yellow2->trigger();
         },
         [&] {
             f.controls().displayMenu.Red1->trigger();
             f.controls().displayMenu.Blue2->trigger();
         }},
        {"background", [&] { f.controls().displayMenu.Black1->trigger(); },
         [&] { f.controls().displayMenu.White1->trigger(); }},
        {"grid", [&] { f.controls().displayMenu.Disable1->trigger(); },
         [&] { f.controls().displayMenu.Enable1->trigger(); }},
        {"display type", [&] { f.controls().displayMenu.FFT1->trigger(); },
         [&] { f.controls().displayMenu.Time1->trigger(); }},
    };
    for (const bool sin : {true, false})
        for (const bool chop : {true, false})
            for (const bool source1 : {true, false}) {
                SCOPED_TRACE(::testing::Message() << (sin ? "Sin" : "Sqv") << ", " << (chop ? "Chop" : "Alt")
                                                  << ", source channel " << (source1 ? 1 : 2));
                flip(f.controls().trigger.SineSquareSw, sin);
                flip(f.controls().trigger.ChopSw, chop);
                flip(f.controls().trigger.ChannelSw, source1);
                const int running = f.displayPasses();
                record(3);
                ASSERT_EQ(f.displayPasses(), running + 3) << "the blocks are drawn while running";
                flip(f.controls().display.DisplayHoldSw, true);
                const std::vector<std::uint32_t> held = picture();
                const bool lamp = f.controls().trigger.TrigdLED->isChecked();
                for (const auto& control : controls) {
                    SCOPED_TRACE(control.what);
                    control.change();
                    const std::vector<std::uint32_t> redrawn = picture();
                    const int passes = f.displayPasses();
                    record(3);
                    EXPECT_TRUE(f.controls().display.DisplayHoldSw->isChecked());
                    EXPECT_EQ(f.state().displayHold, 1) << "the display is no longer held";
                    EXPECT_EQ(f.displayPasses(), passes) << "new blocks were drawn while held";
                    EXPECT_TRUE(picture() == redrawn) << "the picture changed while held";
                    EXPECT_EQ(f.controls().trigger.TrigdLED->isChecked(), lamp);
                    control.back();
                    record(1);
                    EXPECT_TRUE(picture() == held) << "the control turned back does not give the held picture";
                }
                flip(f.controls().display.DisplayHoldSw, false);
            }
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
    SpyScopeForm form(generator);
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
    EXPECT_TRUE(form.controls().trigger.TrigdLED->isChecked());
    // The background is white; neither trace is.
    EXPECT_EQ(form.displayBitmap().pixel(300, 20), static_cast<std::uint32_t>(colour::kWhite));
    EXPECT_NE(s.chan1Color, colour::kWhite);
    EXPECT_NE(s.chan2Color, colour::kWhite);
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
