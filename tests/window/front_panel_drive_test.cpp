// The whole front panel worked as a user works it: the window shown, rockers
// and toggles clicked, dials and track bars turned with the keyboard, a
// marker dragged across the display, radio buttons and menu items chosen,
// the focus walked with Tab, while the state and the texts are read after
// every step.
#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include <array>
#include <string>
#include <vector>

#include "panel/widgets/PaintBox.h"
#include "PanelFormRig.h"
#include "acquisition/AcquisitionLoop.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/Led.h"
#include "panel/widgets/RockerSwitch.h"
#include "panel/widgets/ToggleSwitch.h"

namespace varmolen {

using test::SpyScopeForm;
namespace {

class FrontPanelDriveTest : public test::PanelFormRig {
protected:
    void SetUp() override
    {
        PanelFormRig::SetUp();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
    }
    void key(QWidget* w, Qt::Key k)
    {
        w->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(w, k);
    }
    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, w->rect().center()); }

    // The controls in the order Tab visits them.
    std::vector<QWidget*> panelOrder() const
    {
        SpyScopeForm& f = *form;
        return {f.controls().chan1.Chan1GainDial,     f.controls().chan1.Chan1GainTrackBar,
                f.controls().chan1.Chan1OffsetDial,   f.controls().chan1.Chan1EnbSwitch,
                f.controls().chan1.Mkr1Switch,        f.controls().trace.AddChanSw,
                f.controls().trace.TraceModeSw,       f.controls().screen.SpectrumBox,
                f.controls().chan2.Chan2GainDial,     f.controls().chan2.Chan2GainTrackBar,
                f.controls().chan2.Chan2OffsetDial,   f.controls().chan2.Chan2EnbSwitch,
                f.controls().chan2.Mkr2Switch,        f.controls().trigger.TriggerEnableSwitch,
                f.controls().trigger.TrigSlopeSw,     f.controls().trigger.ChannelSw,
                f.controls().trigger.ChopSw,          f.controls().trigger.SineSquareSw,
                f.controls().trigger.ThresholdDial,   f.controls().display.DisplayHoldSw,
                f.controls().display.SingleDisplaySw, f.controls().display.ExpandSw,
                f.controls().timeBase.TimeBaseDial,   f.controls().timeBase.LowSampleRateRadioBtn};
    }
};

TEST_F(FrontPanelDriveTest, SwitchesByMouse)
{
    click(form->controls().chan1.Chan1EnbSwitch);
    EXPECT_TRUE(form->controls().chan1.Chan1EnbSwitch->isChecked());
    EXPECT_EQ(s().chan1Enabled, 1);
    click(form->controls().trace.AddChanSw);
    EXPECT_EQ(s().addChannels, 1);
    click(form->controls().trace.TraceModeSw);
    EXPECT_EQ(s().traceMode, 2);
    click(form->controls().trace.TraceModeSw);
    EXPECT_EQ(s().traceMode, 1);

    click(form->controls().trigger.TriggerEnableSwitch);
    EXPECT_EQ(s().triggerEnabled, 1);
    click(form->controls().trigger.ChannelSw);
    EXPECT_EQ(s().triggerChannel, 2);
    click(form->controls().trigger.ChopSw);
    EXPECT_EQ(s().chopMode, 0);
    click(form->controls().trigger.SineSquareSw);
    EXPECT_EQ(s().triggerShape, 2);
    click(form->controls().trigger.TrigSlopeSw);
    EXPECT_EQ(s().triggerSlope, 0);
    EXPECT_EQ(status(2), "Threshold = 0");

    click(form->controls().display.DisplayHoldSw);
    EXPECT_EQ(s().displayHold, 1);
    click(form->controls().display.SingleDisplaySw);
    EXPECT_EQ(s().singleSweep, 1);
    click(form->controls().display.SingleDisplaySw);
    EXPECT_EQ(s().singleSweep, 0);
    EXPECT_EQ(s().displayHold, 0);
    EXPECT_TRUE(form->controls().display.DisplayHoldSw->isChecked());

    // Expand with the markers off is refused.
    click(form->controls().display.ExpandSw);
    EXPECT_FALSE(form->controls().display.ExpandSw->isChecked());
    ASSERT_EQ(form->host().recordedMessages().size(), 1u);
    EXPECT_EQ(form->host().recordedMessages()[0].first, "Both markers must be enabled!");
}

TEST_F(FrontPanelDriveTest, DialsAndTrackBarsByKeyboard)
{
    key(form->controls().chan1.Chan1GainDial, Qt::Key_End);
    EXPECT_EQ(s().chan1TimeGain, 50);
    EXPECT_EQ(s().chan1TimeGainDial, 100);
    key(form->controls().chan1.Chan1GainDial, Qt::Key_PageDown);
    EXPECT_EQ(s().chan1TimeGainDial, 95);
    EXPECT_EQ(s().chan1TimeGain, 47);
    key(form->controls().chan1.Chan1GainTrackBar, Qt::Key_Right);
    EXPECT_EQ(form->controls().chan1.Chan1GainTrackBar->value(), 2);
    EXPECT_EQ(s().chan1TimeRange, 10);
    EXPECT_EQ(s().chan1TimeGain, 475);
    key(form->controls().chan1.Chan1GainTrackBar, Qt::Key_Home);
    EXPECT_EQ(s().chan1TimeRange, 0);
    EXPECT_EQ(s().chan1TimeGain, 0);

    key(form->controls().chan2.Chan2OffsetDial, Qt::Key_End);
    EXPECT_EQ(s().chan2TimeOffset, 0);
    key(form->controls().chan2.Chan2OffsetDial, Qt::Key_Home);
    EXPECT_EQ(s().chan2TimeOffset, 343);

    key(form->controls().trigger.ThresholdDial, Qt::Key_Home);
    EXPECT_EQ(s().triggerThreshold, -100);
    EXPECT_EQ(status(2), "Threshold = -100");
    key(form->controls().trigger.ThresholdDial, Qt::Key_Up);
    EXPECT_EQ(status(2), "Threshold = -98");

    key(form->controls().timeBase.TimeBaseDial, Qt::Key_PageDown);
    EXPECT_EQ(s().timeBaseSetting, 95);
    EXPECT_EQ(s().span, 486);
    EXPECT_TRUE(form->controls().timeBase.UncalLED->isChecked());
    EXPECT_EQ(hi(), "44.07 ms");
    key(form->controls().timeBase.TimeBaseDial, Qt::Key_End);
    EXPECT_EQ(s().span, 512);
    EXPECT_FALSE(form->controls().timeBase.UncalLED->isChecked());
    EXPECT_EQ(hi(), "46.43 ms");
}

TEST_F(FrontPanelDriveTest, MarkerDragAndCursorWithTheMouse)
{
    click(form->controls().chan1.Mkr1Switch);
    click(form->controls().chan2.Mkr2Switch);
    EXPECT_EQ(marker(), "Marker Difference = 23.03 ms");
    EXPECT_EQ(status(4), "1/Mkr = 43 Hz");

    QWidget* box = form->controls().screen.SpectrumBox;
    QTest::mouseMove(box, QPoint(300, 100));
    EXPECT_EQ(status(1), "Cursor = 27.21 ms");

    // Press 3 pixels right of marker 1 and drag it to column 100.
    QTest::mousePress(box, Qt::LeftButton, Qt::NoModifier, QPoint(145, 100));
    for (int x = 140; x >= 100; x -= 10)
        QTest::mouseMove(box, QPoint(x, 100));
    QTest::mouseRelease(box, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    EXPECT_EQ(s().marker1Pos, 100);
    EXPECT_EQ(s().marker2Pos, 396);
    EXPECT_EQ(s().grabLeft, 5);
    EXPECT_EQ(s().marker1Grabbable, 1);
    EXPECT_EQ(s().marker2Grabbable, 1);
    EXPECT_EQ(marker(), "Marker Difference = 26.84 ms");
    EXPECT_EQ(status(4), "1/Mkr = 37 Hz");

    // Moving without the button moves nothing.
    QTest::mouseMove(box, QPoint(396, 100));
    QTest::mouseMove(box, QPoint(380, 100));
    EXPECT_EQ(s().marker2Pos, 396);
    EXPECT_EQ(status(1), "Cursor = 34.46 ms");

    // Expand now that both markers are on: the end labels follow the markers.
    click(form->controls().display.ExpandSw);
    EXPECT_EQ(s().expanded, 1);
    EXPECT_EQ(lo(), "9.07 ms");
    EXPECT_EQ(hi(), "35.91 ms");
}

// A second window, worked with the mouse only, to hold the keyboard against.
class KeyboardMarkerTest : public FrontPanelDriveTest {
protected:
    void SetUp() override
    {
        FrontPanelDriveTest::SetUp();
        mouseForm = std::make_unique<SpyScopeForm>(mouseDevice);
        mouseForm->host().setRecordOnly(true);
        mouseForm->controls().run.StartTimer->stop();
        mouseForm->controls().run.TimeoutTimer->stop();
        mouseForm->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(mouseForm.get()));
        for (SpyScopeForm* f : {form.get(), mouseForm.get()}) {
            click(f->controls().chan1.Mkr1Switch);
            click(f->controls().chan2.Mkr2Switch);
        }
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        form->controls().trace.TraceModeSw->setFocus(Qt::TabFocusReason);
        QTest::keyClick(form->controls().trace.TraceModeSw, Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), form->controls().screen.SpectrumBox);
    }
    void TearDown() override
    {
        mouseForm.reset();
        FrontPanelDriveTest::TearDown();
    }
    void keys(Qt::Key k, int times, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        for (int i = 0; i < times; ++i)
            QTest::keyClick(form->controls().screen.SpectrumBox, k, mods);
    }
    // A drag with the mouse through the given columns; the pointer rests
    // where it let go.
    void drag(std::initializer_list<int> columns)
    {
        QWidget* box = mouseForm->controls().screen.SpectrumBox;
        QTest::mousePress(box, Qt::LeftButton, Qt::NoModifier, QPoint(*columns.begin(), 100));
        for (int x : columns)
            QTest::mouseMove(box, QPoint(x, 100));
        QTest::mouseRelease(box, Qt::LeftButton, Qt::NoModifier, QPoint(*(columns.end() - 1), 100));
    }
    // The pointer comes to rest over a column of the mouse window's display
    // (sent straight to it: that window is not the active one).
    void hover(int column)
    {
        QWidget* box = mouseForm->controls().screen.SpectrumBox;
        const QPointF at(column, 100);
        QMouseEvent move(QEvent::MouseMove, at, box->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(box, &move);
    }
    void expectSameAsTheMouse(const char* step)
    {
        SCOPED_TRACE(step);
        const InstrumentState& m = mouseForm->state();
        EXPECT_EQ(s().marker1Pos, m.marker1Pos);
        EXPECT_EQ(s().marker2Pos, m.marker2Pos);
        EXPECT_EQ(s().grabLeft, m.grabLeft);
        EXPECT_EQ(s().marker1Grabbable, m.marker1Grabbable);
        EXPECT_EQ(s().marker2Grabbable, m.marker2Grabbable);
        EXPECT_EQ(marker(), mouseForm->controls().screen.MarkerLabel->text());
        for (int panel : {1, 4})
            EXPECT_EQ(status(panel), mouseForm->status().text(panel));
    }

    MemoryWaveInput mouseDevice;
    std::unique_ptr<SpyScopeForm> mouseForm;
};

TEST_F(KeyboardMarkerTest, ArrowsMoveTheSelectedMarkerAsAMouseDragDoes)
{
    // Entering the display points the cursor readout at marker 1.
    hover(142);
    EXPECT_EQ(status(1), mouseForm->status().text(1));
    EXPECT_EQ(status(1), "Cursor = 12.87 ms");

    keys(Qt::Key_Right, 3);
    drag({142, 143, 144, 145});
    expectSameAsTheMouse("marker 1 three columns right");
    EXPECT_EQ(s().marker1Pos, 145);

    keys(Qt::Key_Left, 1, Qt::ShiftModifier);
    drag({145, 140, 135});
    expectSameAsTheMouse("marker 1 ten columns left");
    EXPECT_EQ(s().marker1Pos, 135);

    // M selects marker 2; the cursor readout goes with it.
    keys(Qt::Key_M, 1);
    EXPECT_EQ(form->markers().keyboardMarker(), 2);
    hover(396);
    expectSameAsTheMouse("marker 2 selected");
    keys(Qt::Key_Right, 2, Qt::ShiftModifier);
    drag({396, 406, 416});
    expectSameAsTheMouse("marker 2 twenty columns right");
    EXPECT_EQ(s().marker2Pos, 416);
    EXPECT_EQ(s().marker1Pos, 135);

    keys(Qt::Key_Space, 1);
    EXPECT_EQ(form->markers().keyboardMarker(), 1);
}

TEST_F(KeyboardMarkerTest, TheSelectedMarkerMovesAloneAndStopsWhereADragStops)
{
    // Three columns apart, a mouse pressed on marker 2 would pick marker 1;
    // the keyboard carries the marker it has selected.
    s().marker2Pos = 145;
    keys(Qt::Key_M, 1);
    keys(Qt::Key_Left, 1);
    EXPECT_EQ(s().marker1Pos, 142);
    EXPECT_EQ(s().marker2Pos, 144);
    EXPECT_EQ(s().marker1Grabbable, 1);

    keys(Qt::Key_Left, 5);
    EXPECT_EQ(s().marker2Pos, 143);  // one right of marker 1
    keys(Qt::Key_M, 1);
    keys(Qt::Key_Left, 20, Qt::ShiftModifier);
    EXPECT_EQ(s().marker1Pos, 0);

    // A marker that is off does not move, and nothing is read out anew.
    click(form->controls().chan2.Mkr2Switch);
    form->controls().screen.SpectrumBox->setFocus(Qt::TabFocusReason);
    keys(Qt::Key_M, 1);
    const QString cursor = status(1);
    keys(Qt::Key_Right, 4);
    EXPECT_EQ(s().marker2Pos, 143);
    EXPECT_EQ(status(1), cursor);
}

TEST_F(KeyboardMarkerTest, FocusFrameLeavesThePictureAloneAndTheMouseTakesNoFocus)
{
    QWidget* frame = form->controls().screen.ImagePanel;
    const QRect picture(form->controls().screen.SpectrumBox->geometry());
    ASSERT_EQ(picture.size(), QSize(513, 343));
    const QImage focused = frame->grab().toImage();
    form->controls().trace.TraceModeSw->setFocus(Qt::TabFocusReason);
    const QImage unfocused = frame->grab().toImage();
    EXPECT_EQ(focused.copy(picture), unfocused.copy(picture));
    EXPECT_NE(focused, unfocused);

    // A click on the display leaves the keyboard where it is.
    click(form->controls().screen.SpectrumBox);
    EXPECT_EQ(QApplication::focusWidget(), form->controls().trace.TraceModeSw);
}

TEST_F(FrontPanelDriveTest, RatesAndMenus)
{
    click(form->controls().timeBase.MidSampleRateRadioBtn);
    EXPECT_TRUE(form->controls().timeBase.MidSampleRateRadioBtn->isChecked());
    EXPECT_EQ(s().sampleRate, 22050u);
    EXPECT_EQ(hi(), "23.21 ms");
    EXPECT_EQ(s().stopped, 0);
    EXPECT_EQ(device.openedFormat().nSamplesPerSec, 22050u);

    // Arrow keys move the check within the rate buttons, as a user expects.
    key(form->controls().timeBase.MidSampleRateRadioBtn, Qt::Key_Down);
    EXPECT_TRUE(form->controls().timeBase.HiSampleRateRadioBtn->isChecked());
    EXPECT_EQ(s().sampleRate, 44100u);
    EXPECT_EQ(hi(), "11.60 ms");

    form->controls().optionsMenu.Line1->trigger();
    EXPECT_EQ(status(3), "Input = LINE");
    EXPECT_EQ(s().bufferBytes, 8192);
    EXPECT_EQ(device.openedFormat().nChannels, 2);

    form->controls().displayMenu.FFT1->trigger();
    EXPECT_EQ(status(0), "Display = FREQUENCY");
    EXPECT_EQ(hi(), "22050 Hz");
    EXPECT_EQ(lo(), "0");
    form->controls().displayMenu.Black1->trigger();
    EXPECT_EQ(s().backgroundScheme, 2);
    form->controls().displayMenu.Lime1->trigger();
    EXPECT_EQ(s().chan1Color, 0x808000);
    form->controls().displayMenu.Disable1->trigger();
    EXPECT_EQ(s().gridEnabled, 0);
}

TEST_F(FrontPanelDriveTest, TabWalksThePanelInOrderAndTooltipsSayWhatControlsDo)
{
    const std::vector<QWidget*> order = panelOrder();
    // Tooltips are words for people: no control's identifier in any of them.
    QStringList identifiers;
    for (const QObject* o : form->findChildren<QObject*>()) {
        if (!o->objectName().isEmpty())
            identifiers << o->objectName();
    }
    std::vector<QWidget*> tipped = order;
    tipped.insert(tipped.end(), {form->controls().timeBase.MidSampleRateRadioBtn,
                                 form->controls().timeBase.HiSampleRateRadioBtn, form->controls().timeBase.UncalLED});
    for (QWidget* w : tipped) {
        EXPECT_TRUE(w->focusPolicy() & Qt::TabFocus || w == form->controls().timeBase.UncalLED)
            << w->objectName().toStdString();
        if (w == form->controls().screen.SpectrumBox)
            continue;  // its tooltip is the drag hint, shown while a marker is on
        EXPECT_FALSE(w->toolTip().isEmpty()) << w->objectName().toStdString();
        for (const QString& id : identifiers)
            EXPECT_FALSE(w->toolTip().contains(id)) << w->toolTip().toStdString() << " names " << id.toStdString();
    }

    order.front()->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), order.front());
    std::vector<std::string> visited{order.front()->objectName().toStdString()};
    for (std::size_t i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget()->objectName().toStdString());
    }
    std::vector<std::string> expected;
    for (QWidget* w : order)
        expected.push_back(w->objectName().toStdString());
    EXPECT_EQ(visited, expected);

    // Space works the focused switch, as a click does.
    form->controls().chan2.Chan2EnbSwitch->setFocus(Qt::TabFocusReason);
    QTest::keyClick(form->controls().chan2.Chan2EnbSwitch, Qt::Key_Space);
    EXPECT_EQ(s().chan2Enabled, 1);
}

TEST_F(FrontPanelDriveTest, CursorFollowsTheMouseWhileAcquisitionRuns)
{
    form->controls().optionsMenu.Mic1->trigger();
    ASSERT_TRUE(form->acquisition().running());
    QWidget* box = form->controls().screen.SpectrumBox;
    device.setFrameSource([](std::uint64_t frame) {
        return std::array<std::int16_t, 2>{static_cast<std::int16_t>((frame % 64) * 256 - 8192), 0};
    });
    const std::uint32_t before = device.position();
    const char* const readings[] = {"0.00", "5.80", "11.60", "17.41", "23.21", "29.02", "34.82", "40.63", "46.43"};
    for (int i = 0; i <= 8; ++i) {
        device.advanceFrames(256);
        QCoreApplication::processEvents();
        QTest::mouseMove(box, QPoint(i * 64, 50));
        EXPECT_EQ(status(1), QStringLiteral("Cursor = %1 ms").arg(readings[i]));
    }
    EXPECT_TRUE(form->acquisition().running());
    EXPECT_GT(device.position(), before);
}

}  // namespace
}  // namespace varmolen
