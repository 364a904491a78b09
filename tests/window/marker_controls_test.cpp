// The markers, cursor, threshold and time base on the window: set the control
// as a user would, run its handler, read the state, the labels under the
// display, the status panels and the Uncal. lamp.
#include <QCoreApplication>
#include <QEvent>
#include <QLocale>
#include <QRadioButton>

#include <cmath>

#include "panel/widgets/PaintBox.h"
#include "PanelFormRig.h"
#include "display/ReadoutScales.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/Led.h"
#include "panel/widgets/RockerSwitch.h"

namespace varmolen {
namespace {

class MarkerControlsTest : public test::PanelFormRig {
protected:
    using PanelFormRig::press;  // the dial's, beside the pointer's below
    void markers(bool one, bool two)
    {
        flip(form->controls().chan1.Mkr1Switch, one);
        flip(form->controls().chan2.Mkr2Switch, two);
    }
    void expand(bool on) { flip(form->controls().display.ExpandSw, on); }
    void timeBase(float percent) { turn(form->controls().timeBase.TimeBaseDial, percent); }
    void press(int x)
    {
        form->markers().SpectrumBoxMouseDown(form->controls().screen.SpectrumBox, Qt::LeftButton, Qt::NoModifier, x,
                                             100);
    }
    void drag(int x)
    {
        form->markers().SpectrumBoxMouseMove(form->controls().screen.SpectrumBox, Qt::LeftButton, Qt::NoModifier, x,
                                             100);
    }
    void hover(int x)
    {
        form->markers().SpectrumBoxMouseMove(form->controls().screen.SpectrumBox, Qt::NoButton, Qt::NoModifier, x, 100);
    }
    void release(int x)
    {
        form->markers().SpectrumBoxMouseUp(form->controls().screen.SpectrumBox, Qt::LeftButton, Qt::NoModifier, x, 100);
    }
};

TEST_F(MarkerControlsTest, FullScaleTimeBaseAt11025Hz)
{
    ASSERT_EQ(s().sampleRate, 11025u);
    form->controls().timeBase.UncalLED->setChecked(true);
    emit form->controls().timeBase.TimeBaseDial->clicked();

    EXPECT_EQ(s().span, 512);
    EXPECT_EQ(s().blockSize, 512);
    EXPECT_EQ(s().interpFactor, 2);
    EXPECT_EQ(s().timeBaseSetting, 100);
    EXPECT_FALSE(form->controls().timeBase.UncalLED->isChecked());
    EXPECT_EQ(hi(), "46.43 ms");
    EXPECT_EQ(lo(), "0 ms");
    EXPECT_EQ(marker(), "Marker Difference = ?");
    EXPECT_EQ(status(4), "1/Mkr = ?");
}

TEST_F(MarkerControlsTest, DialBelowFullScaleLightsUncal)
{
    timeBase(99.0f);
    EXPECT_EQ(s().span, 506);
    EXPECT_EQ(s().blockSize, 512);
    EXPECT_EQ(s().timeBaseSetting, 99);
    EXPECT_TRUE(form->controls().timeBase.UncalLED->isChecked());

    timeBase(55.5f);
    EXPECT_EQ(s().span, 288);
    EXPECT_EQ(s().timeBaseSetting, 55);
}

TEST_F(MarkerControlsTest, DialMinimumAt44100Hz)
{
    form->controls().timeBase.HiSampleRateRadioBtn->click();
    press(form->controls().timeBase.TimeBaseDial, form->controls().timeBase.TimeBaseDial->minimum());

    EXPECT_EQ(s().span, 9);
    EXPECT_EQ(s().blockSize, 16);
    EXPECT_EQ(s().interpFactor, 64);
    EXPECT_EQ(s().timeBaseSetting, 0);
    EXPECT_TRUE(form->controls().timeBase.UncalLED->isChecked());
    EXPECT_EQ(hi(), "0.20 ms");
}

TEST_F(MarkerControlsTest, SpanTableBoundariesThroughTheDial)
{
    struct Row {
        int span, block, factor;
    };
    const Row rows[] = {{16, 16, 64},  {17, 32, 32},  {32, 32, 32},  {33, 64, 16},  {64, 64, 16}, {65, 128, 8},
                        {128, 128, 8}, {129, 256, 4}, {256, 256, 4}, {257, 512, 2}, {512, 512, 2}};
    for (const Row& row : rows) {
        // A dial value that gives this span: the first value past the
        // percent the span needs.
        float v = static_cast<float>((row.span - 9) / 5.03);
        while (spanFromDial(v) < row.span)
            v = std::nextafter(v, 101.0f);
        ASSERT_EQ(spanFromDial(v), row.span) << v;
        timeBase(v);
        EXPECT_EQ(s().span, row.span);
        EXPECT_EQ(s().blockSize, row.block) << "span " << row.span;
        EXPECT_EQ(s().interpFactor, row.factor) << "span " << row.span;
    }
}

TEST_F(MarkerControlsTest, MarkerDifferenceInTimeAndExpandedLabels)
{
    markers(true, true);
    EXPECT_EQ(marker(), "Marker Difference = 23.03 ms");
    EXPECT_EQ(status(4), "1/Mkr = 43 Hz");
    EXPECT_EQ(hi(), "46.43 ms");
    EXPECT_EQ(lo(), "0 ms");

    expand(true);
    EXPECT_EQ(s().expanded, 1);
    EXPECT_EQ(lo(), "12.87 ms");
    EXPECT_EQ(hi(), "35.91 ms");
    EXPECT_TRUE(form->host().recordedMessages().empty());

    expand(false);
    EXPECT_EQ(s().expanded, 0);
    EXPECT_EQ(lo(), "0 ms");
    EXPECT_EQ(hi(), "46.43 ms");
}

TEST_F(MarkerControlsTest, MarkerDifferenceInFrequency)
{
    form->controls().displayMenu.FFT1->trigger();
    EXPECT_EQ(hi(), "5512 Hz");
    EXPECT_EQ(lo(), "0");
    markers(true, true);
    EXPECT_EQ(marker(), "Marker Difference = 2734 Hz");
    EXPECT_EQ(status(4), "1/Mkr = ?");
    EXPECT_EQ(hi(), "5512 Hz");
    EXPECT_EQ(lo(), "0");

    expand(true);
    EXPECT_EQ(lo(), "1528 Hz");
    EXPECT_EQ(hi(), "4263 Hz");
}

TEST_F(MarkerControlsTest, FrequencyWithAMarkerOffKeepsTheReciprocalPanel)
{
    markers(true, true);
    ASSERT_EQ(lo(), "0 ms");
    ASSERT_EQ(status(4), "1/Mkr = 43 Hz");

    // The FREQUENCY display writes no reciprocal; the panel keeps its text.
    form->controls().displayMenu.FFT1->trigger();
    EXPECT_EQ(marker(), "Marker Difference = 2734 Hz");
    EXPECT_EQ(status(4), "1/Mkr = 43 Hz");
    flip(form->controls().chan2.Mkr2Switch, false);
    EXPECT_EQ(lo(), "0");
    EXPECT_EQ(hi(), "5512 Hz");
    EXPECT_EQ(marker(), "Marker Difference = ?");
    EXPECT_EQ(status(4), "1/Mkr = 43 Hz");

    // And back: all three labels in milliseconds again, the dial untouched.
    form->controls().displayMenu.Time1->trigger();
    EXPECT_EQ(lo(), "0 ms");
    EXPECT_EQ(hi(), "46.43 ms");
    EXPECT_EQ(marker(), "Marker Difference = ?");
    EXPECT_EQ(status(4), "1/Mkr = ?");
    EXPECT_EQ(form->controls().timeBase.TimeBaseDial->value(), 100.0f);
}

TEST_F(MarkerControlsTest, ZeroMarkerDifferenceHasNoReciprocal)
{
    // At the shortest span two columns are less than a hundredth of a
    // millisecond apart: the reciprocal would not fit a readout.
    form->controls().timeBase.TimeBaseDial->setValue(form->controls().timeBase.TimeBaseDial->minimum());
    s().marker1Pos = 200;
    s().marker2Pos = 201;
    markers(true, true);
    EXPECT_EQ(marker(), "Marker Difference = 0.00 ms");
    EXPECT_EQ(status(4), "1/Mkr = ?");

    // A pointer move rewrites the same readout.
    hover(300);
    EXPECT_EQ(status(4), "1/Mkr = ?");
}

TEST_F(MarkerControlsTest, LocaleDecimalSeparator)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    markers(true, true);
    EXPECT_EQ(marker(), "Marker Difference = 23,03 ms");
    EXPECT_EQ(hi(), "46,43 ms");
    hover(512);
    EXPECT_EQ(status(1), "Cursor = 46,43 ms");
}

TEST_F(MarkerControlsTest, PressPicksAMarkerOnlyCloseBy)
{
    markers(true, true);
    // 4 pixels left of marker 1: picked on the first move.
    press(138);
    drag(138);
    EXPECT_EQ(s().marker1Pos, 138);
    EXPECT_EQ(s().marker2Grabbable, 0);
    release(138);
    EXPECT_EQ(s().marker2Grabbable, 1);
    EXPECT_EQ(s().grabLeft, 5);

    // 5 pixels away: the first move picks nothing, the second (window now 44)
    // picks it.
    press(133);
    drag(133);
    EXPECT_EQ(s().marker1Pos, 138);
    EXPECT_EQ(s().grabLeft, 45);
    drag(120);
    EXPECT_EQ(s().marker1Pos, 120);
    release(120);
    EXPECT_EQ(s().marker2Pos, 396);
}

TEST_F(MarkerControlsTest, MarkersThreeApartMoveMarkerOneOnly)
{
    s().marker1Pos = 200;
    s().marker2Pos = 203;
    markers(true, true);
    press(201);
    drag(201);
    EXPECT_EQ(s().marker1Pos, 201);
    for (int x = 210; x <= 300; x += 10)
        drag(x);
    EXPECT_EQ(s().marker1Pos, 202);
    EXPECT_EQ(s().marker2Pos, 203);
    release(300);
}

TEST_F(MarkerControlsTest, MarkersNeverPass)
{
    markers(true, true);
    press(142);
    for (int x = 142; x <= 420; x += 20)
        drag(x);
    EXPECT_EQ(s().marker1Pos, 395);
    EXPECT_EQ(s().marker2Pos, 396);
    release(420);

    s().marker1Pos = 100;
    press(396);
    for (int x = 396; x >= 300; x -= 16)
        drag(x);
    EXPECT_EQ(s().marker2Pos, 300);
    // Marker 1 is locked out for the rest of this drag, even under the pointer.
    s().marker1Pos = 290;
    for (int x = 290; x >= 200; x -= 10)
        drag(x);
    EXPECT_EQ(s().marker1Pos, 290);
    EXPECT_EQ(s().marker2Pos, 291);
    release(200);
}

TEST_F(MarkerControlsTest, PointerOutsideTheBoxIsClamped)
{
    hover(-20);
    EXPECT_EQ(status(1), "Cursor = 0.00 ms");
    hover(600);
    EXPECT_EQ(status(1), "Cursor = 46.43 ms");

    markers(true, true);
    s().marker1Pos = 10;
    s().marker2Pos = 500;
    press(12);
    drag(12);
    drag(-20);
    EXPECT_EQ(s().marker1Pos, 0);
    release(-20);
    press(498);
    drag(498);
    drag(600);
    EXPECT_EQ(s().marker2Pos, 512);
    release(600);
}

TEST_F(MarkerControlsTest, ExpandedCursorSpansTheMarkers)
{
    markers(true, true);
    expand(true);
    hover(0);
    EXPECT_EQ(status(1), "Cursor = 12.87 ms");
    hover(512);
    EXPECT_EQ(status(1), "Cursor = 35.91 ms");

    form->controls().displayMenu.FFT1->trigger();
    hover(511);
    EXPECT_EQ(status(1), "Cursor = 4263 Hz");
    hover(0);
    EXPECT_EQ(status(1), "Cursor = 1528 Hz");
}

TEST_F(MarkerControlsTest, MarkerOffWhileExpandedEndsTheExpandedView)
{
    markers(true, true);
    expand(true);
    ASSERT_TRUE(form->controls().display.ExpandSw->isChecked());
    flip(form->controls().chan1.Mkr1Switch, false);
    EXPECT_FALSE(form->controls().display.ExpandSw->isChecked());
    EXPECT_EQ(s().expanded, 0);
    EXPECT_EQ(s().marker1Enabled, 0);
    EXPECT_EQ(marker(), "Marker Difference = ?");
    EXPECT_EQ(lo(), "0 ms");
    EXPECT_EQ(hi(), "46.43 ms");
}

TEST_F(MarkerControlsTest, ExpandNeedsBothMarkers)
{
    markers(true, false);
    expand(true);
    EXPECT_FALSE(form->controls().display.ExpandSw->isChecked());
    EXPECT_EQ(s().expanded, 0);
    ASSERT_EQ(form->host().recordedMessages().size(), 1u);
    EXPECT_EQ(form->host().recordedMessages()[0].first, "Both markers must be enabled!");
    EXPECT_EQ(form->host().recordedMessages()[0].second, "Error Message");
    EXPECT_EQ(hi(), "46.43 ms");
}

TEST_F(MarkerControlsTest, ThresholdReadsTwiceTheDial)
{
    turn(form->controls().trigger.ThresholdDial, -12.7f);
    EXPECT_EQ(s().triggerThreshold, -25);
    EXPECT_EQ(status(2), "Threshold = -25");

    press(form->controls().trigger.ThresholdDial, 50.0f);
    EXPECT_EQ(s().triggerThreshold, 100);
    EXPECT_EQ(status(2), "Threshold = 100");
}

// The cursor reading describes the column under the pointer: read again
// when the scale changes under it, gone when the pointer leaves the display.
TEST_F(MarkerControlsTest, CursorReadingFollowsTheScaleAndLeavesWithThePointer)
{
    emit form->controls().screen.SpectrumBox->mouseMoved(Qt::NoButton, Qt::NoModifier, 256, 100);
    EXPECT_EQ(status(1), "Cursor = 23.21 ms");
    timeBase(50.0f);  // span 260
    EXPECT_EQ(status(1), "Cursor = 11.78 ms");
    form->controls().displayMenu.FFT1->trigger();  // the display type writes its own caption there
    EXPECT_EQ(status(1), "Frequency = ");
    emit form->controls().screen.SpectrumBox->mouseMoved(Qt::NoButton, Qt::NoModifier, 256, 100);
    EXPECT_EQ(status(1), "Cursor = 1399 Hz");

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(form->controls().screen.SpectrumBox, &leave);
    EXPECT_EQ(status(1), "Cursor = ");
    timeBase(100.0f);
    EXPECT_EQ(status(1), "Cursor = ") << "a pointer that left describes no column";
}

}  // namespace
}  // namespace varmolen
