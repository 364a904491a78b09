// The front panel's dial, rocker, toggle switch and lamp, worked as a user
// works them (mouse, wheel, keys on shown widgets) and set from the program.

#include "panel/widgets/Dial.h"
#include "panel/widgets/Led.h"
#include "panel/widgets/RockerSwitch.h"
#include "panel/widgets/ToggleSwitch.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace varmolen {
namespace {

// A shown widget in its own top-level window, focused for key input.
template <typename W>
std::unique_ptr<W> shown()
{
    auto w = std::make_unique<W>();
    w->resize(w->sizeHint());
    w->show();
    w->activateWindow();
    w->setFocus();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    return w;
}

// A gain or position dial as the channel columns have it.
std::unique_ptr<Dial> gainDial()
{
    auto d = shown<Dial>();
    d->setRange(0.0f, 100.0f);
    d->setLargeStep(5.0f);
    d->setScale(5, 2);
    d->setCaption("Gain");
    d->setUnit("%");
    d->setValue(50.0f);
    return d;
}

// The trigger threshold dial: -50 to 50 over 100 digital steps.
std::unique_ptr<Dial> thresholdDial()
{
    auto d = shown<Dial>();
    d->setRange(-50.0f, 50.0f);
    d->setDigitalSteps(100);
    d->setLargeStep(5.0f);
    d->setValue(0.0f);
    return d;
}

// The time base dial: 0.000001 to 100 over 100 digital steps.
std::unique_ptr<Dial> timeBaseDial()
{
    auto d = shown<Dial>();
    d->setRange(0.000001f, 100.0f);
    d->setDigitalSteps(100);
    d->setLargeStep(5.0f);
    d->setValue(100.0f);
    return d;
}

void wheel(QWidget* w, int delta)
{
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                  false);
    QApplication::sendEvent(w, &e);
}

// A move with the left button held and the given keyboard modifiers.
void dragTo(QWidget* w, QPoint to, Qt::KeyboardModifiers mods)
{
    const QPointF at(to);
    QMouseEvent e(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, mods);
    QApplication::sendEvent(w, &e);
}

// --- Dial: values set by the program -----------------------------------

TEST(Dial, SetValueClampsToTheRangeAndKeepsOffGridValues)
{
    auto d = thresholdDial();
    d->setValue(75.0f);
    EXPECT_FLOAT_EQ(d->value(), 50.0f);
    d->setValue(-1000.0f);
    EXPECT_FLOAT_EQ(d->value(), -50.0f);
    d->setValue(-12.7f);  // the loader's exact value stays, not snapped
    EXPECT_FLOAT_EQ(d->value(), -12.7f);

    auto g = gainDial();
    g->setValue(37.6f);
    EXPECT_FLOAT_EQ(g->value(), 37.6f);
    g->setValue(100.5f);
    EXPECT_FLOAT_EQ(g->value(), 100.0f);
    g->setValue(std::numeric_limits<float>::quiet_NaN());
    EXPECT_FLOAT_EQ(g->value(), 0.0f);
}

TEST(Dial, NarrowingTheRangeClampsTheValueAndReversedEndsAreOrdered)
{
    auto d = shown<Dial>();
    d->setRange(0.0f, 100.0f);
    d->setValue(80.0f);
    d->setRange(0.0f, 50.0f);
    EXPECT_FLOAT_EQ(d->value(), 50.0f);
    d->setRange(10.0f, -10.0f);
    EXPECT_FLOAT_EQ(d->minimum(), -10.0f);
    EXPECT_FLOAT_EQ(d->maximum(), 10.0f);
    EXPECT_FLOAT_EQ(d->value(), 10.0f);
}

TEST(Dial, ReadoutShowsOneDecimalAndTheUnit)
{
    auto d = gainDial();
    EXPECT_EQ(d->valueText(), "50.0 %");
    d->setValue(37.66f);
    EXPECT_EQ(d->valueText(), "37.7 %");
    auto t = thresholdDial();
    t->setUnit("%");
    t->setValue(-0.02f);
    EXPECT_EQ(t->valueText(), "0.0 %");
    t->setValue(-12.7f);
    EXPECT_EQ(t->valueText(), "-12.7 %");
    auto b = timeBaseDial();
    b->setUnit("%");
    b->setValue(0.0f);  // clamps to the tiny minimum, which reads as zero
    EXPECT_EQ(b->valueText(), "0.0 %");
    b->setUnit("");
    EXPECT_EQ(b->valueText(), "0.0");
}

TEST(Dial, SettingFromTheProgramEmitsNothing)
{
    auto d = gainDial();
    QSignalSpy changed(d.get(), &Dial::valueChanged);
    QSignalSpy clicked(d.get(), &Dial::clicked);
    d->setValue(12.0f);
    d->setValue(200.0f);
    d->setRange(0.0f, 50.0f);
    EXPECT_FLOAT_EQ(d->value(), 50.0f);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(clicked.count(), 0);
}

// --- Dial: keys ---------------------------------------------------------

TEST(Dial, KeysOnAContinuousDialMoveByOneHundredthAndByTheLargeStep)
{
    auto d = gainDial();
    QSignalSpy changed(d.get(), &Dial::valueChanged);
    QSignalSpy clicked(d.get(), &Dial::clicked);

    QTest::keyClick(d.get(), Qt::Key_Up);
    EXPECT_FLOAT_EQ(d->value(), 51.0f);
    QTest::keyClick(d.get(), Qt::Key_Right);
    EXPECT_FLOAT_EQ(d->value(), 52.0f);
    QTest::keyClick(d.get(), Qt::Key_Down);
    EXPECT_FLOAT_EQ(d->value(), 51.0f);
    QTest::keyClick(d.get(), Qt::Key_Left);
    EXPECT_FLOAT_EQ(d->value(), 50.0f);
    QTest::keyClick(d.get(), Qt::Key_PageUp);
    EXPECT_FLOAT_EQ(d->value(), 55.0f);
    QTest::keyClick(d.get(), Qt::Key_PageDown);
    QTest::keyClick(d.get(), Qt::Key_PageDown);
    EXPECT_FLOAT_EQ(d->value(), 45.0f);
    QTest::keyClick(d.get(), Qt::Key_End);
    EXPECT_FLOAT_EQ(d->value(), 100.0f);
    QTest::keyClick(d.get(), Qt::Key_Home);
    EXPECT_FLOAT_EQ(d->value(), 0.0f);

    ASSERT_EQ(changed.count(), 9);
    EXPECT_FLOAT_EQ(changed.at(0).at(0).toFloat(), 51.0f);
    EXPECT_FLOAT_EQ(changed.at(8).at(0).toFloat(), 0.0f);
    EXPECT_EQ(clicked.count(), 0);  // keys only change the value
}

TEST(Dial, KeysStopAtTheEndsAndReportNoChangeThere)
{
    auto d = gainDial();
    d->setValue(98.0f);
    QSignalSpy changed(d.get(), &Dial::valueChanged);
    QTest::keyClick(d.get(), Qt::Key_PageUp);
    EXPECT_FLOAT_EQ(d->value(), 100.0f);
    QTest::keyClick(d.get(), Qt::Key_Up);
    QTest::keyClick(d.get(), Qt::Key_End);
    EXPECT_FLOAT_EQ(d->value(), 100.0f);
    EXPECT_EQ(changed.count(), 1);

    d->setValue(0.0f);
    QTest::keyClick(d.get(), Qt::Key_Down);
    QTest::keyClick(d.get(), Qt::Key_PageDown);
    QTest::keyClick(d.get(), Qt::Key_Home);
    EXPECT_FLOAT_EQ(d->value(), 0.0f);
    EXPECT_EQ(changed.count(), 1);
}

TEST(Dial, KeysOnADigitalDialWalkTheGrid)
{
    auto d = thresholdDial();
    QTest::keyClick(d.get(), Qt::Key_Up);
    EXPECT_FLOAT_EQ(d->value(), 1.0f);
    QTest::keyClick(d.get(), Qt::Key_PageUp);
    EXPECT_FLOAT_EQ(d->value(), 6.0f);
    QTest::keyClick(d.get(), Qt::Key_PageDown);
    QTest::keyClick(d.get(), Qt::Key_PageDown);
    EXPECT_FLOAT_EQ(d->value(), -4.0f);
    QTest::keyClick(d.get(), Qt::Key_Home);
    EXPECT_FLOAT_EQ(d->value(), -50.0f);
    QTest::keyClick(d.get(), Qt::Key_End);
    EXPECT_FLOAT_EQ(d->value(), 50.0f);

    // From a value the program set between two grid points, a step goes
    // to the neighbouring point in that direction.
    d->setValue(-12.7f);
    QTest::keyClick(d.get(), Qt::Key_Up);
    EXPECT_FLOAT_EQ(d->value(), -12.0f);
    d->setValue(-12.7f);
    QTest::keyClick(d.get(), Qt::Key_Down);
    EXPECT_FLOAT_EQ(d->value(), -13.0f);
}

TEST(Dial, TimeBaseMinimumIsReachedExactlyByHomeAndBySteps)
{
    auto d = timeBaseDial();
    QTest::keyClick(d.get(), Qt::Key_Home);
    EXPECT_EQ(d->value(), 0.000001f);

    d->setValue(2.0f);
    QTest::keyClick(d.get(), Qt::Key_Down);
    EXPECT_NEAR(d->value(), 1.0f, 1e-5f);
    QTest::keyClick(d.get(), Qt::Key_Down);
    EXPECT_EQ(d->value(), 0.000001f);  // grid point 0 is the minimum itself
    QTest::keyClick(d.get(), Qt::Key_Down);
    EXPECT_EQ(d->value(), 0.000001f);

    d->setValue(3.0f);
    QTest::keyClick(d.get(), Qt::Key_PageDown);
    EXPECT_EQ(d->value(), 0.000001f);

    QTest::keyClick(d.get(), Qt::Key_End);
    EXPECT_EQ(d->value(), 100.0f);
    QTest::keyClick(d.get(), Qt::Key_Down);
    EXPECT_NEAR(d->value(), 99.0f, 1e-4f);
    QTest::keyClick(d.get(), Qt::Key_Up);
    EXPECT_EQ(d->value(), 100.0f);
}

// Each step of the time base lands on whole percent as the time base reads
// it (truncated), never just below it.
TEST(Dial, TimeBaseStepsTruncateToTheirOwnPercent)
{
    auto d = timeBaseDial();
    QTest::keyClick(d.get(), Qt::Key_Home);
    for (int k = 1; k <= 100; ++k) {
        QTest::keyClick(d.get(), Qt::Key_Up);
        EXPECT_EQ(static_cast<int>(d->value()), k);
    }
}

TEST(Dial, OtherKeysLeaveTheValueAlone)
{
    auto d = gainDial();
    QSignalSpy changed(d.get(), &Dial::valueChanged);
    QTest::keyClick(d.get(), Qt::Key_A);
    QTest::keyClick(d.get(), Qt::Key_Space);
    QTest::keyClick(d.get(), Qt::Key_Return);
    EXPECT_FLOAT_EQ(d->value(), 50.0f);
    EXPECT_EQ(changed.count(), 0);
}

// --- Dial: wheel --------------------------------------------------------

TEST(Dial, WheelMovesOneStepPerNotchAndGathersPartialNotches)
{
    auto d = gainDial();
    QSignalSpy changed(d.get(), &Dial::valueChanged);
    wheel(d.get(), 120);
    EXPECT_FLOAT_EQ(d->value(), 51.0f);
    wheel(d.get(), -240);
    EXPECT_FLOAT_EQ(d->value(), 49.0f);
    wheel(d.get(), 60);  // half a notch from a touchpad: nothing yet
    EXPECT_FLOAT_EQ(d->value(), 49.0f);
    wheel(d.get(), 60);
    EXPECT_FLOAT_EQ(d->value(), 50.0f);
    EXPECT_EQ(changed.count(), 3);

    auto t = thresholdDial();
    wheel(t.get(), 3 * 120);
    EXPECT_FLOAT_EQ(t->value(), 3.0f);
}

// --- Dial: mouse --------------------------------------------------------

TEST(Dial, DraggingUpIncreasesAndDraggingDownDecreases)
{
    auto d = gainDial();
    QSignalSpy changed(d.get(), &Dial::valueChanged);
    QSignalSpy clicked(d.get(), &Dial::clicked);
    const QPoint start(d->width() / 2, d->height() / 2);

    QTest::mousePress(d.get(), Qt::LeftButton, Qt::NoModifier, start);
    QTest::mouseMove(d.get(), start + QPoint(0, -10));
    QTest::mouseMove(d.get(), start + QPoint(0, -30));
    const float afterUp = d->value();
    EXPECT_GT(afterUp, 50.0f);
    QTest::mouseRelease(d.get(), Qt::LeftButton, Qt::NoModifier, start + QPoint(0, -30));
    EXPECT_GE(changed.count(), 1);
    EXPECT_EQ(clicked.count(), 1);  // release after a drag is a click too

    QTest::mousePress(d.get(), Qt::LeftButton, Qt::NoModifier, start);
    QTest::mouseMove(d.get(), start + QPoint(0, 10));
    QTest::mouseMove(d.get(), start + QPoint(0, 40));
    QTest::mouseRelease(d.get(), Qt::LeftButton, Qt::NoModifier, start + QPoint(0, 40));
    EXPECT_LT(d->value(), afterUp);
    EXPECT_EQ(clicked.count(), 2);
}

TEST(Dial, LongDragStopsAtTheEndsAndDigitalDragSnaps)
{
    auto d = gainDial();
    const QPoint start(d->width() / 2, d->height() - 5);
    QTest::mousePress(d.get(), Qt::LeftButton, Qt::NoModifier, start);
    for (int y = 1; y <= 20; ++y)
        QTest::mouseMove(d.get(), start - QPoint(0, y * 25));
    EXPECT_FLOAT_EQ(d->value(), 100.0f);
    QTest::mouseRelease(d.get(), Qt::LeftButton, Qt::NoModifier, start - QPoint(0, 500));

    auto t = thresholdDial();
    QSignalSpy changed(t.get(), &Dial::valueChanged);
    const QPoint c(t->width() / 2, t->height() / 2);
    QTest::mousePress(t.get(), Qt::LeftButton, Qt::NoModifier, c);
    QTest::mouseMove(t.get(), c + QPoint(0, -5));
    QTest::mouseMove(t.get(), c + QPoint(0, -12));
    QTest::mouseMove(t.get(), c + QPoint(0, -19));
    QTest::mouseRelease(t.get(), Qt::LeftButton, Qt::NoModifier, c + QPoint(0, -19));
    EXPECT_GT(t->value(), 0.0f);
    EXPECT_FLOAT_EQ(t->value(), std::round(t->value()));  // on the 1 % grid
    for (const auto& args : changed) {
        const float v = args.at(0).toFloat();
        EXPECT_FLOAT_EQ(v, std::round(v));
    }
}

TEST(Dial, ClickWithoutDragEmitsClickedOnlyAndOtherButtonsNothing)
{
    auto d = gainDial();
    QSignalSpy changed(d.get(), &Dial::valueChanged);
    QSignalSpy clicked(d.get(), &Dial::clicked);
    QTest::mouseClick(d.get(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_FLOAT_EQ(d->value(), 50.0f);
    // A one-pixel tremble while clicking is still a click.
    QTest::mousePress(d.get(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    QTest::mouseMove(d.get(), QPoint(21, 20));
    QTest::mouseRelease(d.get(), Qt::LeftButton, Qt::NoModifier, QPoint(21, 20));
    EXPECT_EQ(clicked.count(), 2);
    EXPECT_EQ(changed.count(), 0);

    QTest::mouseClick(d.get(), Qt::RightButton, Qt::NoModifier, QPoint(20, 20));
    EXPECT_EQ(clicked.count(), 2);
}

TEST(Dial, ShiftDragIsFiner)
{
    auto coarse = gainDial();
    auto fine = gainDial();
    const QPoint c(coarse->width() / 2, coarse->height() / 2);
    for (Dial* d : {coarse.get(), fine.get()}) {
        const Qt::KeyboardModifiers mods = d == fine.get() ? Qt::ShiftModifier : Qt::NoModifier;
        QTest::mousePress(d, Qt::LeftButton, mods, c);
        dragTo(d, c + QPoint(0, -5), mods);
        dragTo(d, c + QPoint(0, -45), mods);
        QTest::mouseRelease(d, Qt::LeftButton, mods, c + QPoint(0, -45));
    }
    EXPECT_GT(coarse->value(), 50.0f);
    EXPECT_GT(fine->value(), 50.0f);
    EXPECT_LT(fine->value() - 50.0f, coarse->value() - 50.0f);
}

// --- Switches -----------------------------------------------------------

template <typename S>
void expectFlipsByMouseAndSpace()
{
    auto s = shown<S>();
    QSignalSpy clicked(s.get(), &S::clicked);
    EXPECT_FALSE(s->isChecked());

    QTest::mouseClick(s.get(), Qt::LeftButton, Qt::NoModifier, QPoint(s->width() / 2, s->height() / 2));
    EXPECT_TRUE(s->isChecked());
    EXPECT_EQ(clicked.count(), 1);

    QTest::keyClick(s.get(), Qt::Key_Space);
    EXPECT_FALSE(s->isChecked());
    EXPECT_EQ(clicked.count(), 2);

    // Other buttons and keys do nothing; sliding off before release cancels.
    QTest::mouseClick(s.get(), Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    QTest::keyClick(s.get(), Qt::Key_Up);
    QTest::mousePress(s.get(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QTest::mouseRelease(s.get(), Qt::LeftButton, Qt::NoModifier, QPoint(s->width() + 20, 5));
    EXPECT_FALSE(s->isChecked());
    EXPECT_EQ(clicked.count(), 2);
}

template <typename S>
void expectSetCheckedIsSilent()
{
    auto s = shown<S>();
    QSignalSpy clicked(s.get(), &S::clicked);
    s->setChecked(true);
    EXPECT_TRUE(s->isChecked());
    s->setChecked(true);
    s->setChecked(false);
    EXPECT_FALSE(s->isChecked());
    EXPECT_EQ(clicked.count(), 0);
}

TEST(RockerSwitch, FlipsByMouseAndSpace) { expectFlipsByMouseAndSpace<RockerSwitch>(); }

TEST(RockerSwitch, SetCheckedFromTheProgramEmitsNothing) { expectSetCheckedIsSilent<RockerSwitch>(); }

TEST(RockerSwitch, LedAndCaption)
{
    RockerSwitch s;
    EXPECT_FALSE(s.hasLed());
    s.setLed(QColor(0, 255, 0), QColor(0, 128, 0));
    s.setCaption("Enable");
    EXPECT_TRUE(s.hasLed());
    EXPECT_EQ(s.caption(), "Enable");
    EXPECT_EQ(s.focusPolicy(), Qt::StrongFocus);
}

TEST(ToggleSwitch, FlipsByMouseAndSpace) { expectFlipsByMouseAndSpace<ToggleSwitch>(); }

TEST(ToggleSwitch, SetCheckedFromTheProgramEmitsNothing) { expectSetCheckedIsSilent<ToggleSwitch>(); }

TEST(ToggleSwitch, NamesThePositionInForce)
{
    ToggleSwitch s;
    s.setLabels("Ch 1", "Ch 2");
    EXPECT_EQ(s.checkedLabel(), "Ch 1");
    EXPECT_EQ(s.uncheckedLabel(), "Ch 2");
    EXPECT_EQ(s.positionText(s.isChecked()), "Ch 2");
    s.setChecked(true);
    EXPECT_EQ(s.positionText(s.isChecked()), "Ch 1");
}

TEST(Led, ShowsItsOnOrOffColourAndTakesNoFocus)
{
    Led led;
    led.setCaption("Uncal.");
    led.setColors(QColor(255, 0, 0), QColor(128, 128, 128));
    EXPECT_EQ(led.currentColor(), QColor(128, 128, 128));
    led.setChecked(true);
    EXPECT_TRUE(led.isChecked());
    EXPECT_EQ(led.currentColor(), QColor(255, 0, 0));
    EXPECT_EQ(led.focusPolicy(), Qt::NoFocus);
}

TEST(Dial, TakesKeyboardFocusAndPrintsItsReadout)
{
    auto d = gainDial();
    EXPECT_EQ(d->focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(d->valueText(), "50.0 %");
    QTest::keyClick(d.get(), Qt::Key_Up);
    EXPECT_EQ(d->valueText(), "51.0 %");
}

// Where the white pointer lands on a dial rendered over the navy panel:
// the mean column of its pixels relative to the middle, or NaN if none.
double pointerColumnOffset(Dial& d)
{
    QImage img(d.size(), QImage::Format_ARGB32);
    img.fill(QColor(0, 0, 128));
    d.render(&img);
    double sum = 0.0;
    int count = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QRgb px = img.pixel(x, y);
            if (qRed(px) > 245 && qGreen(px) > 245 && qBlue(px) > 245) {
                sum += x;
                ++count;
            }
        }
    }
    return count > 0 ? sum / count - img.width() / 2.0 : std::nan("");
}

// The knob's pointer follows the value at the sizes the panel uses: lower
// left at the minimum, lower right at the maximum.
TEST(Painting, PointerFollowsTheValueAtPanelSizes)
{
    for (const QSize size : {QSize(120, 130), QSize(110, 120)}) {
        for (auto make : {gainDial, thresholdDial, timeBaseDial}) {
            auto d = make();
            d->resize(size);
            d->setValue(d->minimum());
            const double atMinimum = pointerColumnOffset(*d);
            d->setValue(d->maximum());
            const double atMaximum = pointerColumnOffset(*d);
            EXPECT_LT(atMinimum, -3.0) << size.width() << "x" << size.height();
            EXPECT_GT(atMaximum, 3.0) << size.width() << "x" << size.height();
        }
    }
}

// Count of pixels close to a colour on a widget rendered over the panel.
int pixelsNear(QWidget& w, const QColor& colour)
{
    QImage img(w.size(), QImage::Format_ARGB32);
    img.fill(QColor(0, 0, 128));
    w.render(&img);
    int count = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QColor px = img.pixelColor(x, y);
            if (std::abs(px.red() - colour.red()) < 40 && std::abs(px.green() - colour.green()) < 40 &&
                std::abs(px.blue() - colour.blue()) < 40)
                ++count;
        }
    }
    return count;
}

// A lamp reads at a glance: its on colour shows only while it is lit.
TEST(Painting, LampsShowTheirOnColourOnlyWhenLit)
{
    const QColor lime(0, 255, 0);
    RockerSwitch rocker;
    rocker.resize(rocker.sizeHint());
    rocker.setLed(lime, QColor(0, 128, 0));
    EXPECT_EQ(pixelsNear(rocker, lime), 0);
    rocker.setChecked(true);
    EXPECT_GT(pixelsNear(rocker, lime), 5);

    const QColor red(255, 0, 0);
    Led led;
    led.resize(led.sizeHint());
    led.setColors(red, QColor(128, 128, 128));
    led.setCaption("Uncal.");
    EXPECT_EQ(pixelsNear(led, red), 0);
    led.setChecked(true);
    EXPECT_GT(pixelsNear(led, red), 5);
}

}  // namespace
}  // namespace varmolen
