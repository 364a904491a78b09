// The input, display-type, grid, background and trace-colour menus on the
// window: items chosen as a user would (triggered), state and texts read back.
#include <QAction>
#include <QFrame>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QSlider>

#include <algorithm>

#include "PanelFormRig.h"
#include "panel/widgets/Dial.h"

namespace varmolen {
namespace {

using MenusTest = test::PanelFormRig;

TEST_F(MenusTest, InputSetsTheFormatAndTheBuffer)
{
    s().loadingSettings = 1;
    s().sampleRate = 44100;
    form->controls().optionsMenu.Mic1->trigger();
    EXPECT_TRUE(form->controls().optionsMenu.Mic1->isChecked());
    EXPECT_FALSE(form->controls().optionsMenu.Line1->isChecked());
    EXPECT_EQ(s().inputSelect, 0);
    EXPECT_EQ(s().channelCount, 1);
    EXPECT_EQ(s().blockAlign, 2);
    EXPECT_EQ(s().bitsPerSample, 16);
    EXPECT_EQ(s().bytesPerSample, 2);
    EXPECT_EQ(s().bufferBytes, 4096);
    EXPECT_EQ(status(3), "Input = MIC");

    s().sampleRate = 11025;
    form->controls().optionsMenu.Line1->trigger();
    EXPECT_TRUE(form->controls().optionsMenu.Line1->isChecked());
    EXPECT_FALSE(form->controls().optionsMenu.Mic1->isChecked());
    EXPECT_EQ(s().inputSelect, 1);
    EXPECT_EQ(s().channelCount, 2);
    EXPECT_EQ(s().blockAlign, 4);
    EXPECT_EQ(s().bufferBytes, 4096);
    EXPECT_EQ(status(3), "Input = LINE");

    s().sampleRate = 44100;
    form->controls().optionsMenu.Line1->trigger();
    EXPECT_EQ(s().bufferBytes, 8192);
}

TEST_F(MenusTest, ChoosingTheSameInputAgainStillRestarts)
{
    ASSERT_TRUE(form->controls().optionsMenu.Mic1->isChecked());
    const int stops = form->stopRuns();
    const int starts = form->startRuns();
    form->controls().optionsMenu.Mic1->trigger();
    EXPECT_EQ(form->stopRuns(), stops + 1);
    EXPECT_EQ(form->startRuns(), starts + 1);
    EXPECT_EQ(s().stopped, 0);
    EXPECT_EQ(device.openedFormat().nChannels, 1);
    device.clearCallLog();

    form->controls().optionsMenu.Mic1->trigger();
    EXPECT_EQ(form->stopRuns(), stops + 2);
    EXPECT_EQ(form->startRuns(), starts + 2);
    EXPECT_TRUE(form->controls().optionsMenu.Mic1->isChecked());
    ASSERT_FALSE(device.calls().empty());
    EXPECT_NE(std::find(device.calls().begin(), device.calls().end(), WaveCall::Close), device.calls().end());
    EXPECT_NE(std::find(device.calls().begin(), device.calls().end(), WaveCall::Open), device.calls().end());
    EXPECT_EQ(s().stopped, 0);

    // While the settings load, the input changes without touching the device.
    s().loadingSettings = 1;
    form->controls().optionsMenu.Line1->trigger();
    EXPECT_EQ(form->stopRuns(), stops + 2);
    EXPECT_EQ(form->startRuns(), starts + 2);
}

TEST_F(MenusTest, DisplayTypeRestoresEachTypesControls)
{
    // TIME: range 10, gain dial 37.6, zero lines at rows 86 and 258.
    form->controls().chan1.Chan1GainTrackBar->setValue(2);
    turn(form->controls().chan1.Chan1GainDial, 37.6f);
    form->controls().chan2.Chan2GainTrackBar->setValue(0);
    s().chan1TimeOffset = 86;
    s().chan2TimeOffset = 258;
    ASSERT_EQ(s().chan1TimeGain, 187);  // 10 × 37.6 × 0.5, truncated
    ASSERT_EQ(s().chan2TimeGain, 0);

    form->controls().displayMenu.FFT1->trigger();
    EXPECT_TRUE(form->controls().displayMenu.FFT1->isChecked());
    EXPECT_FALSE(form->controls().displayMenu.Time1->isChecked());
    EXPECT_EQ(s().displayType, 1);
    EXPECT_EQ(status(0), "Display = FREQUENCY");
    EXPECT_EQ(status(1), "Frequency = ");
    EXPECT_EQ(form->controls().chan1.Chan1GainTrackBar->value(), 1);
    EXPECT_EQ(form->controls().chan2.Chan2GainTrackBar->value(), 1);
    EXPECT_EQ(form->controls().chan1.Chan1GainDial->value(), 0.0f);
    EXPECT_EQ(s().chan1FreqGain, 0);
    EXPECT_EQ(form->controls().chan1.Chan1OffsetDial->value(), 49.0f);
    EXPECT_EQ(s().chan1FreqOffset, 174);
    EXPECT_EQ(form->controls().chan2.Chan2OffsetDial->value(), 0.0f);
    EXPECT_EQ(s().chan2FreqOffset, 343);

    form->controls().displayMenu.Time1->trigger();
    EXPECT_EQ(s().displayType, 2);
    EXPECT_EQ(status(0), "Display = TIME");
    EXPECT_EQ(status(1), "Time = ");
    EXPECT_EQ(form->controls().chan1.Chan1GainTrackBar->value(), 2);
    EXPECT_EQ(form->controls().chan2.Chan2GainTrackBar->value(), 0);
    EXPECT_EQ(form->controls().chan1.Chan1GainDial->value(), 37.0f);
    EXPECT_EQ(s().chan1TimeGain, 185);  // 10 × 37 × 0.5
    EXPECT_EQ(s().chan2TimeGain, 0);    // Gnd
    EXPECT_EQ(form->controls().chan1.Chan1OffsetDial->value(), 74.0f);
    EXPECT_EQ(s().chan1TimeOffset, 89);
    EXPECT_EQ(form->controls().chan2.Chan2OffsetDial->value(), 24.0f);
    EXPECT_EQ(s().chan2TimeOffset, 260);
}

TEST_F(MenusTest, DisplayTypeSetsTrackBarsSilentlyAndKeepsUnshowableRanges)
{
    s().chan1FreqRange = 100;
    s().chan2FreqRange = 7;  // no position shows it
    s().chan2FreqGainDial = 60;
    QSignalSpy moved(form->controls().chan1.Chan1GainTrackBar, &QSlider::valueChanged);
    form->controls().displayMenu.FFT1->trigger();
    EXPECT_EQ(form->controls().chan1.Chan1GainTrackBar->value(), 3);
    EXPECT_EQ(moved.count(), 0);
    EXPECT_EQ(s().chan1FreqRange, 100);
    EXPECT_EQ(form->controls().chan2.Chan2GainTrackBar->value(), 1);
    EXPECT_EQ(s().chan2FreqRange, 7);
    EXPECT_EQ(s().chan2FreqGain, 210);  // 7 × 60 × 0.5, from the stored range
}

TEST_F(MenusTest, DisplayTypeRecomputesTheBufferForKnownRates)
{
    s().channelCount = 1;
    s().bufferBytes = 1234;
    s().sampleRate = 22050;
    form->controls().displayMenu.FFT1->trigger();
    EXPECT_EQ(s().bufferBytes, 2048);
    s().sampleRate = 44100;
    form->controls().displayMenu.Time1->trigger();
    EXPECT_EQ(s().bufferBytes, 4096);
    s().sampleRate = 47999;
    s().bufferBytes = 1234;
    form->controls().displayMenu.FFT1->trigger();
    EXPECT_EQ(s().bufferBytes, 1234);
}

TEST_F(MenusTest, GridItemsKeepOneCheckMark)
{
    form->controls().displayMenu.Disable1->trigger();
    EXPECT_EQ(s().gridEnabled, 0);
    EXPECT_TRUE(form->controls().displayMenu.Disable1->isChecked());
    EXPECT_FALSE(form->controls().displayMenu.Enable1->isChecked());
    form->controls().displayMenu.Enable1->trigger();
    EXPECT_EQ(s().gridEnabled, 1);
    EXPECT_TRUE(form->controls().displayMenu.Enable1->isChecked());
    EXPECT_FALSE(form->controls().displayMenu.Disable1->isChecked());
}

// The colour a menu entry's swatch shows (its centre pixel).
QColor swatchColour(const QIcon& icon)
{
    const QImage image = icon.pixmap(14, 14).toImage();
    return image.isNull() ? QColor() : QColor(image.pixel(7, 7));
}

QColor wordColour(std::int32_t word)
{
    const auto w = static_cast<std::uint32_t>(word);
    return QColor(static_cast<int>(w & 0xFF), static_cast<int>((w >> 8) & 0xFF), static_cast<int>((w >> 16) & 0xFF));
}

TEST_F(MenusTest, BackgroundSchemesColourTheStrip)
{
    const struct {
        QAction* item;
        std::int32_t scheme;
        const char* panel;
        const char* labels;
    } cases[] = {{form->controls().displayMenu.Black1, 2, "#000000", "#ffff00"},
                 {form->controls().displayMenu.Teal1, 3, "#008080", "#ffff00"},
                 {form->controls().displayMenu.White1, 1, "#ffffff", "#ff0000"}};
    for (const auto& c : cases) {
        c.item->trigger();
        EXPECT_EQ(s().backgroundScheme, c.scheme);
        EXPECT_EQ(form->controls().screen.ScopeStatusPanel->styleSheet(),
                  QStringLiteral("QFrame#ScopeStatusPanel { background-color: %1; }").arg(c.panel));
        for (QLabel* label : {form->controls().screen.LoFreqLabel, form->controls().screen.MarkerLabel,
                              form->controls().screen.HiFreqLabel})
            EXPECT_EQ(label->styleSheet(), QStringLiteral("color: %1;").arg(c.labels)) << c.scheme;
        EXPECT_FALSE(c.item->isChecked());
        EXPECT_EQ(swatchColour(form->controls().displayMenu.BackgroundColor1->icon()), QColor(c.panel)) << c.scheme;
    }
}

TEST_F(MenusTest, TraceColourItems)
{
    const struct {
        QAction* item;
        const char* caption;
        std::int32_t word;
    } one[] = {{form->controls().displayMenu.Red1, "Red", 0x0000FF},
               {form->controls().displayMenu.Blue1, "Blue", 0xFF0000},
               {form->controls().displayMenu.Lime1, "Teal", 0x808000},
               {form->controls().displayMenu.Lime2, "Lime", 0x00FF00},
               {form->controls().displayMenu.Yellow1, "Yellow", 0x00FFFF},
               {form->controls().displayMenu.White2, "White", 0xFFFFFF},
               {form->controls().displayMenu.Black2, "Black", 0x000000}},
      two[] = {{form->controls().displayMenu.Red2, "Red", 0x0000FF},
               {form->controls().displayMenu.Blue2, "Blue", 0xFF0000},
               {form->controls().displayMenu.Teal2, "Teal", 0x808000},
               {form->controls().displayMenu.Lime3, "Lime", 0x00FF00},
               {form->controls().displayMenu.Yellow2, "Yellow", 0x00FFFF},
               {form->controls().displayMenu.White3, "White", 0xFFFFFF},
               {form->controls().displayMenu.Black3, "Black", 0x000000}};
    EXPECT_EQ(s().chan1Color, 0);
    EXPECT_EQ(s().chan2Color, 0);
    for (const auto& c : one) {
        s().chan2Color = 0x123456;
        c.item->trigger();
        EXPECT_EQ(c.item->text(), c.caption);
        EXPECT_EQ(s().chan1Color, c.word) << c.caption;
        EXPECT_EQ(s().chan2Color, 0x123456);
        EXPECT_FALSE(c.item->isChecked());
        // The colour in force shows on the entry that opens the menu.
        EXPECT_EQ(swatchColour(form->controls().displayMenu.Channel1TraceColor1->icon()), wordColour(c.word))
            << c.caption;
        EXPECT_EQ(swatchColour(c.item->icon()), wordColour(c.word)) << c.caption;
    }
    for (const auto& c : two) {
        s().chan1Color = 0x654321;
        c.item->trigger();
        EXPECT_EQ(c.item->text(), c.caption);
        EXPECT_EQ(s().chan2Color, c.word) << c.caption;
        EXPECT_EQ(s().chan1Color, 0x654321);
        EXPECT_FALSE(c.item->isChecked());
        EXPECT_EQ(swatchColour(form->controls().displayMenu.Chan2TraceColor1->icon()), wordColour(c.word)) << c.caption;
    }
}

TEST_F(MenusTest, VolumeControlFolder)
{
    form->menus().Windows2KClick(form.get());
    EXPECT_EQ(s().osVariant, 2);
    form->menus().WindowsXPClick(form.get());
    EXPECT_EQ(s().osVariant, 1);
}

}  // namespace
}  // namespace varmolen
