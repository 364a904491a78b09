// Display > Size and Axis Labels in the window: the pointer's readouts at
// Large and at a fitted size are those at Normal for the same trace point,
// the window returns to its own size at Normal, and the labels follow the
// display's scale.
#include <QAction>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QRadioButton>

#include <map>
#include <string>
#include <vector>

#include "display/DisplayScale.h"
#include "panel/AxisLabelBand.h"
#include "panel/MeasureStrip.h"
#include "panel/widgets/PaintBox.h"
#include "panel/widgets/RockerSwitch.h"
#include "tests/window/PanelFormRig.h"

namespace varmolen::test {
namespace {

class DisplaySizeTest : public PanelFormRig {
protected:
    TPaintBox* box() { return form->controls().screen.SpectrumBox; }
    const DisplayMenu& menu() { return form->controls().displayMenu; }

    // The pointer moved onto pixel x of the display (no button held).
    void pointAt(int x)
    {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, 50), box()->mapToGlobal(QPointF(x, 50)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(box(), &move);
    }

    // The size chosen from the menu; a fitted window is then given `fit`.
    void choose(QAction* size, QSize fit = {})
    {
        size->trigger();
        if (fit.isValid()) {
            form->resize(fit);
            serveUntil(2000, [&] { return form->size() == fit && box()->width() != 513; });
        }
        QCoreApplication::processEvents();
    }
};

TEST_F(DisplaySizeTest, ThePointerReadsTheSameAtEverySizeForTheSameTracePoint)
{
    form->show();
    flip(form->controls().chan1.Mkr1Switch, true);
    flip(form->controls().chan2.Mkr2Switch, true);
    const int columns[] = {0, 1, 142, 255, 300, 396, 511, 512};
    struct Size {
        QAction* action;
        QSize fit;
        const char* name;
    };
    const Size sizes[] = {{menu().SizeNormal1, {}, "Normal"},
                          {menu().SizeLarge1, {}, "Large"},
                          {menu().SizeFit1, {1371, 1003}, "Fit 1371 x 1003"}};
    for (QAction* type : {menu().Time1, menu().FFT1}) {
        type->trigger();
        for (bool expanded : {false, true}) {
            flip(form->controls().display.ExpandSw, expanded);
            ASSERT_EQ(s().expanded, expanded ? 1 : 0);
            std::map<int, QString> atNormal;
            for (const Size& size : sizes) {
                choose(size.action, size.fit);
                const int width = box()->width();
                EXPECT_EQ(form->displayBitmap().width(), width) << size.name;
                for (int column : columns) {
                    pointAt(static_cast<int>(columnToPixel(column, width)));
                    if (size.action == menu().SizeNormal1)
                        atNormal[column] = status(1);
                    else
                        EXPECT_EQ(status(1), atNormal[column])
                            << size.name << " " << type->text().toStdString() << " column " << column;
                }
            }
            // Beyond the right edge the pointer reads the last column.
            pointAt(box()->width() + 40);
            EXPECT_EQ(status(1), atNormal[512]);
        }
    }
    // The fitted display is neither of the fixed sizes, and its bitmap has its pixels.
    choose(menu().SizeFit1, {1371, 1003});
    EXPECT_NE(box()->width(), 513);
    EXPECT_NE(box()->width(), 1025);
    EXPECT_EQ(form->displayBitmap().height(), box()->height());
}

TEST_F(DisplaySizeTest, NormalIsTheInstrumentsOwnWindowAndTheLabelsFollowTheScale)
{
    const QSize own = form->size();
    AxisLabelBand* band = form->controls().screen.AxisLabels;
    EXPECT_TRUE(band->isHidden());
    EXPECT_FALSE(menu().AxisLabels1->isChecked());

    menu().SizeLarge1->trigger();
    EXPECT_EQ(box()->size(), QSize(1025, 685));
    EXPECT_EQ(form->displayBitmap().width(), 1025);
    EXPECT_GT(form->width(), own.width() + 512);
    EXPECT_FALSE(band->isHidden()) << "labels are on at Large unless switched off";
    EXPECT_TRUE(menu().AxisLabels1->isChecked());
    EXPECT_EQ(s().features.displaySize, kLargeDisplaySize);

    // TIME at 11025 Hz: the last grid line reads 46.25 ms; at 44100 Hz 11.56 ms.
    form->refreshAxisLabels();
    ASSERT_EQ(band->ticks().size(), 11u);
    EXPECT_EQ(band->ticks().back().text, "46.25");
    form->controls().timeBase.HiSampleRateRadioBtn->click();
    form->refreshAxisLabels();
    EXPECT_EQ(band->ticks().back().text, "11.56");
    // Channel 1 shown: its scale per division, in % of full scale.
    flip(form->controls().chan1.Chan1EnbSwitch, true);
    form->refreshAxisLabels();
    ASSERT_EQ(band->scales().size(), 1u);
    EXPECT_EQ(band->scales()[0].rfind("Ch1 ", 0), 0u);
    EXPECT_NE(band->scales()[0].find("%/div"), std::string::npos);
    // FREQUENCY: round frequencies up to 22.05 kHz, in kHz above 1000 Hz.
    menu().FFT1->trigger();
    turn(form->controls().chan1.Chan1GainDial, 60.0f);
    form->refreshAxisLabels();
    ASSERT_GE(band->ticks().size(), 3u);
    EXPECT_EQ(band->ticks().front().text, "0 Hz");
    EXPECT_NE(band->ticks().back().text.find("kHz"), std::string::npos);
    EXPECT_NE(band->scales()[0].find("dB/div"), std::string::npos) << band->scales()[0];

    // Switched off, the band goes; the choice is kept.
    menu().AxisLabels1->trigger();
    EXPECT_TRUE(band->isHidden());
    EXPECT_EQ(s().features.axisLabels, kAxisLabelsOff);

    menu().SizeNormal1->trigger();
    EXPECT_EQ(form->size(), own);
    EXPECT_EQ(box()->size(), QSize(513, 343));
    EXPECT_EQ(form->displayBitmap().width(), 513);
    EXPECT_EQ(form->controls().screen.ImagePanel->geometry(), QRect(186, 10, 517, 347));
}

TEST_F(DisplaySizeTest, AFittedWindowKeepsItsOwnSizeWithoutTheMeasurementStrip)
{
    form->show();
    choose(menu().SizeFit1, {1300, 950});
    form->controls().measureMenu.ShowMeasurements1->trigger();
    serveUntil(2000, [&] { return form->height() == 950 + MeasureStrip::kHeight; });
    ASSERT_EQ(form->height(), 950 + MeasureStrip::kHeight);
    QCoreApplication::processEvents();
    // What Varmolen.ini keeps is the window without the strip, which the
    // strip adds again when it is shown at the next start.
    EXPECT_EQ(s().features.fitWidth, 1300);
    EXPECT_EQ(s().features.fitHeight, 950);
    EXPECT_EQ(form->displayBitmap().width(), box()->width());
}

}  // namespace
}  // namespace varmolen::test
