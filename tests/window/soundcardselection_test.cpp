#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>

#include "acquisition/AcquisitionRig.h"
#include "window/Soundcardselection.h"

namespace varmolen {
namespace {

struct DialogRig {
    AcquisitionRig r;
    int handlerRuns = 0;
    TSoundCardSelect dialog{r.s, r.device, [this] { runInputHandler(); }};

    DialogRig() { r.s.waveDeviceCount = static_cast<std::int32_t>(r.device.waveInGetNumDevs()); }

    // Stand-in for the main window's Mic1Click / Line1Click: stop, set the
    // recording format of the current input kind, start again.
    void runInputHandler()
    {
        ++handlerRuns;
        r.loop.StopBtnClick();
        if (r.s.inputSelect == 0)
            r.useMic(r.s.sampleRate);
        else
            r.useLine(r.s.sampleRate);
        r.loop.StartBtnClick();
    }
};

TEST(SoundCardSelect, WindowAndControlsHaveTheirPlaces)
{
    DialogRig d;
    EXPECT_EQ(d.dialog.size(), QSize(564, 107));
    EXPECT_FALSE(d.dialog.isModal());
    EXPECT_EQ(d.dialog.SoundCardManf->geometry(), QRect(43, 32, 414, 25));
    EXPECT_EQ(d.dialog.WaveUpDown->geometry(), QRect(455, 32, 17, 25));
    EXPECT_EQ(d.dialog.CloseBtn->geometry(), QRect(232, 74, 75, 25));
    EXPECT_EQ(d.dialog.CloseBtn->text(), "Select");
    EXPECT_EQ(d.dialog.WaveUpDown->minimum(), 0);
    EXPECT_EQ(d.dialog.WaveUpDown->maximum(), 5);
    EXPECT_EQ(d.dialog.WaveUpDown->position(), 0);
    EXPECT_TRUE(d.dialog.SoundCardManf->text().isEmpty());
}

TEST(SoundCardSelect, ShowsTheStoredDeviceAndClampsTheArrowToExistingDevices)
{
    DialogRig d;
    d.r.s.waveDeviceId = 1;
    d.dialog.show();
    EXPECT_EQ(d.dialog.WaveUpDown->position(), 1);
    EXPECT_EQ(d.dialog.SoundCardManf->text(), "Card B");

    d.dialog.WaveUpDown->upButton()->click();  // to 2, brought back to 1
    EXPECT_EQ(d.dialog.WaveUpDown->position(), 1);
    EXPECT_EQ(d.dialog.SoundCardManf->text(), "Card B");
    EXPECT_EQ(d.r.s.waveDeviceId, 1);

    d.dialog.WaveUpDown->downButton()->click();
    EXPECT_EQ(d.dialog.WaveUpDown->position(), 0);
    EXPECT_EQ(d.dialog.SoundCardManf->text(), "Card A");
    EXPECT_EQ(d.r.s.waveDeviceId, 0);  // takes effect at once
    EXPECT_EQ(d.handlerRuns, 0);
    EXPECT_FALSE(d.r.device.isOpen());  // opened only when the dialog closes
}

TEST(SoundCardSelect, StoredNumberOfAMissingDeviceChangesNothing)
{
    DialogRig d;
    d.r.s.waveDeviceId = 1;
    d.dialog.FormShow();
    d.r.s.waveDeviceId = 3;
    d.dialog.FormShow();
    EXPECT_EQ(d.dialog.WaveUpDown->position(), 1);
    EXPECT_EQ(d.dialog.SoundCardManf->text(), "Card B");
    EXPECT_EQ(d.r.s.waveDeviceId, 3);

    // With no device at all nothing is ever shown or chosen.
    d.r.s.waveDeviceCount = 0;
    d.dialog.SoundCardManf->clear();
    d.dialog.WaveUpDown->upButton()->click();
    EXPECT_TRUE(d.dialog.SoundCardManf->text().isEmpty());
    EXPECT_EQ(d.r.s.waveDeviceId, 3);
}

TEST(SoundCardSelect, OnlyDevicesZeroToFiveCanBeChosen)
{
    DialogRig d;
    MemoryWaveInput many({"d0", "d1", "d2", "d3", "d4", "d5", "d6", "d7"});
    TSoundCardSelect dialog(d.r.s, many, [] {});
    d.r.s.waveDeviceCount = 8;
    for (int i = 0; i < 10; ++i)
        dialog.WaveUpDown->stepUp();
    EXPECT_EQ(dialog.WaveUpDown->position(), 5);
    EXPECT_EQ(dialog.SoundCardManf->text(), "d5");
    EXPECT_EQ(d.r.s.waveDeviceId, 5);
}

TEST(SoundCardSelect, CloseBoxBehavesAsTheSelectButton)
{
    DialogRig viaButton;
    viaButton.dialog.show();
    viaButton.dialog.CloseBtn->click();
    EXPECT_FALSE(viaButton.dialog.isVisible());
    EXPECT_EQ(viaButton.handlerRuns, 1);

    DialogRig viaCloseBox;
    viaCloseBox.dialog.show();
    viaCloseBox.dialog.close();
    EXPECT_FALSE(viaCloseBox.dialog.isVisible());
    EXPECT_EQ(viaCloseBox.handlerRuns, 1);
    EXPECT_TRUE(viaCloseBox.r.loop.running());
}

TEST(SoundCardSelect, ClosingWithLineInputReopensTheChosenDeviceInStereo)
{
    DialogRig d;
    d.r.useMic(22050);
    d.r.s.inputSelect = 1;
    d.r.s.waveDeviceId = 0;
    d.r.loop.StartBtnClick();  // acquisition running on device 0
    ASSERT_EQ(d.r.device.openedDevice(), 0u);
    d.dialog.show();
    d.dialog.WaveUpDown->stepUp();
    d.dialog.CloseBtn->click();
    EXPECT_TRUE(d.r.loop.running());
    EXPECT_EQ(d.r.device.openedDevice(), 1u);
    EXPECT_EQ(d.r.device.openedFormat().nChannels + 0, 2);
    EXPECT_EQ(d.r.device.openedFormat().nSamplesPerSec + 0, 22050u);
    EXPECT_TRUE(d.r.host.messages.empty());
}

// ALSA's names run past the capability record's 31 bytes: the label shows
// them whole, smaller where they must, cut in the middle only when even the
// smallest font leaves no room, and the tooltip always holds the whole name.
TEST(SoundCardSelect, ShowsWholeNamesThatFitTheLabel)
{
    DialogRig d;
    const std::string pulse = "Playback/recording through the PulseAudio sound server";
    const std::string huge =
        "USB Audio Interface With Eight Inputs And A Very Long Product Name, "
        "USB Audio Multichannel Input";
    MemoryWaveInput named({"Card", pulse, huge});
    TSoundCardSelect dialog(d.r.s, named, [] {});
    d.r.s.waveDeviceCount = 3;
    QLabel* label = dialog.SoundCardManf;
    const struct {
        int device;
        std::string name;
        bool whole;
        int largestPixels;
    } cases[] = {{1, pulse, true, 16}, {2, huge, false, 11}, {0, "Card", true, 16}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        d.r.s.waveDeviceId = c.device;
        dialog.FormShow();
        const QString shown = label->text();
        EXPECT_EQ(label->toolTip().toStdString(), c.name);
        EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(shown), label->contentsRect().width());
        EXPECT_GE(label->font().pixelSize(), 11);
        EXPECT_LE(label->font().pixelSize(), c.largestPixels);
        if (c.whole) {
            EXPECT_EQ(shown.toStdString(), c.name);
        } else {
            EXPECT_TRUE(shown.startsWith("USB Audio Interface")) << shown.toStdString();
            EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
            EXPECT_TRUE(shown.endsWith("Input")) << shown.toStdString();
        }
    }
    EXPECT_EQ(label->font().pixelSize(), 16) << "a short name is shown at the label's own size";
}

}  // namespace
}  // namespace varmolen
