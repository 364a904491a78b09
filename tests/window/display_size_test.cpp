// Display > Size and Axis Labels in the window: the pointer's readouts at
// Large and at a fitted size are those at Normal for the same trace point,
// the window returns to its own size at Normal, the labels follow the
// display's scale, and at Large the window stays inside its screen. The
// program runs on the screens of display_size_screens.json; the first by
// name, "big", is the primary screen and has room for Large.
#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScreen>
#include <QWindow>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "display/DisplayScale.h"
#include "panel/AxisLabelBand.h"
#include "panel/FrontPanel.h"
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

// Large's box for the room a screen leaves, with a frame of 1, 30, 1, 1 and
// 424 x 526 around the display: Large needs 1451 x 1242.
TEST(LargeBoxFit, LargeWhereItFitsElseTheLargestOfItsShapeNeverBelowNormal)
{
    const QMargins frame(1, 30, 1, 1);
    const QSize around(424, 526);
    const struct {
        QSize room;
        QSize box;
        bool reduced;
    } cases[] = {
        {{1451, 1242}, {1025, 685}, false},  // exactly
        {{3840, 2160}, {1025, 685}, false},
        {{1451, 1241}, {1023, 684}, true},  // 683 rows set the scale: 683 * 1024 / 684 = 1022.5 columns
        {{1450, 1242}, {1024, 684}, true},  // spans 1023 x 1023 * 684 / 1024 = 683.3
        {{1920, 1053}, {742, 496}, true},   // rows 495 set the scale: 495 * 1024 / 684 = 741.05 columns
        {{1280, 1600}, {854, 570}, true},   // columns 853: 853 * 684 / 1024 = 569.8 rows
        {{3000, 901}, {514, 344}, true},    // 343 rows: the least box above Normal
        {{3000, 900}, {513, 343}, true},    // 342 rows: no better than Normal
        {{800, 600}, {513, 343}, true},
    };
    for (const auto& c : cases) {
        const LargeBoxFit fit = fitLargeDisplayBox(c.room, frame, around);
        EXPECT_EQ(fit.box, c.box) << c.room.width() << " x " << c.room.height();
        EXPECT_EQ(fit.reduced, c.reduced) << c.room.width() << " x " << c.room.height();
        // Whatever is larger than Normal fits, in Large's shape within a pixel.
        if (fit.box.width() > 513) {
            EXPECT_LE(fit.box.width() + around.width() + 2, c.room.width());
            EXPECT_LE(fit.box.height() + around.height() + 31, c.room.height());
            EXPECT_NEAR((fit.box.width() - 1) * 684.0 / 1024.0, fit.box.height() - 1, 1.0);
        }
    }
}

TEST_F(DisplaySizeTest, AtLargeTheWindowStaysInsideTheScreenItIsOn)
{
    form->show();
    const QSize normal = form->size();
    menu().SizeLarge1->trigger();
    // The window moved onto a screen, once it has taken the size it fixed.
    auto placeOn = [&](const char* name, QPoint at = {}) {
        for (QScreen* screen : QGuiApplication::screens())
            if (screen->name() == QLatin1String(name)) {
                form->move(screen->availableGeometry().topLeft() + at);
                form->windowHandle()->setScreen(screen);
                serveUntil(2000, [&] { return form->size() == form->minimumSize(); });
                return screen->availableGeometry();
            }
        ADD_FAILURE() << "no screen " << name;
        return QRect();
    };
    // 1920 x 1080 in points on "hidpi" (3840 x 2160 at twice the density);
    // "small" holds no more than Normal.
    const struct {
        const char* screen;
        bool reduced;
    } screens[] = {{"hd", true}, {"hidpi", true}, {"small", true}, {"big", false}};
    for (const auto& on : screens) {
        const QRect room = placeOn(on.screen);
        EXPECT_EQ(menu().SizeLarge1->text() != "Large", on.reduced) << on.screen;
        EXPECT_TRUE(menu().SizeLarge1->isChecked());
        EXPECT_EQ(s().features.displaySize, kLargeDisplaySize) << "what is kept stays Large";
        EXPECT_EQ(form->displayBitmap().width(), std::lround(box()->width() * form->devicePixelRatioF()));
        if (box()->width() > 513) {
            EXPECT_LE(form->frameGeometry().width(), room.width()) << on.screen;
            EXPECT_LE(form->frameGeometry().height(), room.height()) << on.screen;
        } else {
            EXPECT_EQ(box()->height(), 343) << on.screen;
        }
    }
    EXPECT_EQ(box()->size(), QSize(1025, 685));
    // Normal stays as it is; Large chosen low on the screen moves up into it.
    menu().SizeNormal1->trigger();
    EXPECT_EQ(form->size(), normal);
    EXPECT_EQ(menu().SizeLarge1->text(), "Large");
    const QRect room = placeOn("hd", {0, 300});
    menu().SizeLarge1->trigger();
    serveUntil(2000, [&] { return room.contains(form->frameGeometry()); });
    EXPECT_TRUE(room.contains(form->frameGeometry()));
    // The measurement strip grows the window: the display makes room for it.
    const QSize without = box()->size();
    form->controls().measureMenu.ShowMeasurements1->trigger();
    serveUntil(2000, [&] { return box()->height() < without.height() && form->size() == form->minimumSize(); });
    EXPECT_EQ(box()->height(), without.height() - MeasureStrip::kHeight);
    EXPECT_LE(form->frameGeometry().height(), room.height());
}

}  // namespace
}  // namespace varmolen::test
