// The main window's start-up and close paths on the offscreen platform.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QHash>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <memory>

#include "window/SignalBridge.h"
#include "acquisition/AcquisitionLoop.h"
#include "window/Varmolen2.h"
#include "panel/widgets/PaintBox.h"
#include "tests/ScopeFormSpy.h"
#include "audio/GeneratorWaveInput.h"
#include "window/Soundcardselection.h"
#include "persist/ConfigFile.h"
#include "window/OutputCommands.h"
#include "tests/support/FakeWaveInput.h"
#include "FaultHarness.h"
#include "WindowDriving.h"
#include "WindowTestFolders.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/Led.h"
#include "panel/widgets/RockerSwitch.h"
#include "panel/widgets/ToggleSwitch.h"

namespace varmolen {

using test::SpyScopeForm;
namespace {

// Each test gets its own install and help directories, so the user's own
// settings are never touched.
class ScopeFormTest : public test::WindowTestFolders {
protected:
    static void touch(const QString& path)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }

    test::ListingWaveInput noDevices;
};

TEST_F(ScopeFormTest, StartupWithoutFilesOrDevices)
{
    SpyScopeForm form(noDevices);
    const InstrumentState& s = form.state();

    EXPECT_EQ(form.windowTitle(), "Varmolen");
    EXPECT_EQ(s.configFilePath[0], '\0');
    EXPECT_EQ(s.helpFilePath[0], '\0');
    EXPECT_EQ(s.waveDeviceCount, 0);
    EXPECT_EQ(s.stopped, 1);
    EXPECT_EQ(s.loadingSettings, 0);  // the loader clears it on every return
    EXPECT_EQ(s.sampleRate, 11025u);
    ASSERT_NE(s.bufferA, nullptr);
    ASSERT_NE(s.bufferB, nullptr);

    // The display is exactly 513 x 343 and its columns 0 to 511 are white.
    EXPECT_EQ(form.controls().screen.SpectrumBox->width(), 513);
    EXPECT_EQ(form.controls().screen.SpectrumBox->height(), 343);
    EXPECT_EQ(form.displayBitmap().width(), 513);
    EXPECT_EQ(form.displayBitmap().height(), 343);
    int nonWhite = 0;
    for (int y = 0; y < 343; ++y)
        for (int x = 0; x < 512; ++x)
            nonWhite += form.displayBitmap().pixel(x, y) != 0xFFFFFFu;
    EXPECT_EQ(nonWhite, 0);

    // Both timers run from creation, at 250 ms.
    EXPECT_TRUE(form.controls().run.StartTimer->isActive());
    EXPECT_TRUE(form.controls().run.TimeoutTimer->isActive());
    EXPECT_EQ(form.controls().run.StartTimer->interval(), 250);
    EXPECT_EQ(form.controls().run.TimeoutTimer->interval(), 250);
}

TEST_F(ScopeFormTest, FindsHelpAndConfigurationFilesAndCountsDevices)
{
    touch(installDir.filePath("Varmolen.cfg"));
    touch(helpDir.filePath("index.html"));
    test::ListingWaveInput threeDevices({"default", "USB Audio", "Signal generator"});
    SpyScopeForm form(threeDevices);
    const InstrumentState& s = form.state();
    EXPECT_EQ(QString::fromUtf8(s.configFilePath.data()), installDir.filePath("Varmolen.cfg"));
    EXPECT_EQ(QString::fromUtf8(s.helpFilePath.data()), helpDir.filePath("index.html"));
    EXPECT_EQ(s.waveDeviceCount, 3);
}

TEST_F(ScopeFormTest, WindowIsFixedCentredAndNavy)
{
    SpyScopeForm form(noDevices);
    form.show();
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    // The panel behind the controls is navy.
    const QImage shot = form.centralWidget()->grab().toImage();
    EXPECT_EQ(shot.pixelColor(2, shot.height() - 2), QColor(0, 0, 128));
    // The display is inside the window, the start and stop buttons are not.
    const QRect client = form.centralWidget()->rect();
    const QRect box(form.controls().screen.SpectrumBox->mapTo(form.centralWidget(), QPoint(0, 0)),
                    form.controls().screen.SpectrumBox->size());
    EXPECT_TRUE(client.contains(box));
    EXPECT_FALSE(client.intersects(form.controls().run.StartBtn->geometry()));
    EXPECT_FALSE(client.intersects(form.controls().run.StopBtn->geometry()));
}

TEST_F(ScopeFormTest, ControlsShowTheSettingsInForce)
{
    SpyScopeForm form(noDevices);
    // Dials at their documented start positions.
    EXPECT_FLOAT_EQ(form.controls().chan1.Chan1GainDial->value(), 50.0f);
    EXPECT_FLOAT_EQ(form.controls().chan2.Chan2GainDial->value(), 50.0f);
    EXPECT_FLOAT_EQ(form.controls().chan1.Chan1OffsetDial->value(), 75.0f);
    EXPECT_FLOAT_EQ(form.controls().chan2.Chan2OffsetDial->value(), 25.0f);
    EXPECT_FLOAT_EQ(form.controls().trigger.ThresholdDial->value(), 0.0f);
    EXPECT_FLOAT_EQ(form.controls().timeBase.TimeBaseDial->value(), 100.0f);
    EXPECT_FLOAT_EQ(form.controls().trigger.ThresholdDial->minimum(), -50.0f);
    EXPECT_FLOAT_EQ(form.controls().timeBase.TimeBaseDial->minimum(), 0.000001f);
    EXPECT_EQ(form.controls().timeBase.TimeBaseDial->digitalSteps(), 100);
    // Range bars show the range in force (1), not "Gnd".
    EXPECT_EQ(form.controls().chan1.Chan1GainTrackBar->value(), 1);
    EXPECT_EQ(form.controls().chan2.Chan2GainTrackBar->maximum(), 3);
    // The trigger is off and the rate is 11025 Hz at start-up: the panel says so.
    EXPECT_FALSE(form.controls().trigger.TriggerEnableSwitch->isChecked());
    EXPECT_TRUE(form.controls().timeBase.LowSampleRateRadioBtn->isChecked());
    EXPECT_FALSE(form.controls().timeBase.HiSampleRateRadioBtn->isChecked());
    EXPECT_TRUE(form.controls().trigger.TrigSlopeSw->isChecked());
    EXPECT_TRUE(form.controls().trigger.ChannelSw->isChecked());
    EXPECT_TRUE(form.controls().trigger.ChopSw->isChecked());
    EXPECT_TRUE(form.controls().trigger.SineSquareSw->isChecked());
    EXPECT_EQ(form.controls().trigger.TrigSlopeSw->checkedLabel(), "+");
    EXPECT_EQ(form.controls().trigger.ChopSw->uncheckedLabel(), "Alt");
    for (RockerSwitch* r :
         {form.controls().chan1.Chan1EnbSwitch, form.controls().chan2.Chan2EnbSwitch, form.controls().chan1.Mkr1Switch,
          form.controls().chan2.Mkr2Switch, form.controls().trace.AddChanSw, form.controls().trace.TraceModeSw,
          form.controls().display.DisplayHoldSw, form.controls().display.SingleDisplaySw,
          form.controls().display.ExpandSw})
        EXPECT_FALSE(r->isChecked()) << r->objectName().toStdString();
    EXPECT_TRUE(form.controls().chan1.Chan1EnbSwitch->hasLed());
    EXPECT_FALSE(form.controls().chan1.Mkr1Switch->hasLed());
    EXPECT_FALSE(form.controls().timeBase.UncalLED->isChecked());
    EXPECT_EQ(form.controls().timeBase.LowSampleRateRadioBtn->text(), "46.44 ms");
    EXPECT_EQ(form.controls().timeBase.MidSampleRateRadioBtn->text(), "23.22 ms");
    EXPECT_EQ(form.controls().timeBase.HiSampleRateRadioBtn->text(), "11.61 ms");

    // Texts under the display and in the status bar.
    // Without a settings file no handler runs, yet every readout shows the
    // state in force: the TIME display's axis in milliseconds at 11025 Hz,
    // the microphone, the threshold.
    EXPECT_EQ(form.controls().screen.LoFreqLabel->text(), "0 ms");
    EXPECT_EQ(form.controls().screen.MarkerLabel->text(), "Marker Difference = ?");
    EXPECT_EQ(form.controls().screen.HiFreqLabel->text(), "46.43 ms");
    EXPECT_EQ(form.status().text(0), "Display = TIME");
    EXPECT_EQ(form.status().text(1), "Cursor = ");
    EXPECT_EQ(form.status().text(2), "Threshold = 0");
    EXPECT_EQ(form.status().text(3), "Input = MIC");
    EXPECT_EQ(form.status().text(4), "1/Mkr = ?");
    EXPECT_EQ(form.state().timeBaseSetting, 0) << "the stored dial position stays as start-up left it";
    EXPECT_EQ(form.status().panel(0)->minimumWidth(), 175);
    EXPECT_EQ(form.status().panel(2)->width(), 125);
    EXPECT_EQ(form.status().panel(3)->width(), 150);
}

TEST_F(ScopeFormTest, MenusCarryEveryItemWithItsCaptionAndCheckMark)
{
    SpyScopeForm form(noDevices);
    auto captions = [](QMenu* m) {
        QStringList out;
        for (QAction* a : m->actions())
            out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    };
    EXPECT_EQ(captions(form.controls().fileMenu.File1),
              QStringList({"Save Form", "Save Bitmap", "-", "Copy Form", "Copy Bitmap", "-", "Print Form", "-",
                           "Export Data...", "Export Span as WAV...", "Record WAV...", "Stop Recording",
                           "Recording Format", "-", "Quit"}));
    EXPECT_FALSE(form.controls().fileMenu.StopRecording1->isEnabled());
    EXPECT_EQ(captions(form.controls().displayMenu.Spectrum1),
              QStringList({"Average Off", "Average 4", "Average 16", "Average 64", "-", "Peak Hold", "-", "Reset", "-",
                           "Length", "Window", "Frequency Axis", "Level Axis", "Octave Bands", "Weighting"}));
    EXPECT_TRUE(form.controls().displayMenu.AverageOff1->isChecked());
    EXPECT_FALSE(form.controls().displayMenu.PeakHold1->isChecked());
    EXPECT_EQ(captions(form.controls().displayMenu.Channel1TraceColor1),
              QStringList({"Black", "Red", "Blue", "Teal", "Lime", "Yellow", "White"}));
    EXPECT_EQ(captions(form.controls().displayMenu.Chan2TraceColor1),
              captions(form.controls().displayMenu.Channel1TraceColor1));
    EXPECT_EQ(form.controls().displayMenu.Lime1->text(), "Teal");
    EXPECT_EQ(captions(form.controls().displayMenu.BackgroundColor1), QStringList({"White", "Teal", "Black"}));
    EXPECT_EQ(captions(form.controls().helpMenu.Help1), QStringList({"Help File", "-", "About"}));
    EXPECT_TRUE(form.controls().optionsMenu.Mic1->isChecked());
    EXPECT_FALSE(form.controls().optionsMenu.Line1->isChecked());
    EXPECT_TRUE(form.controls().displayMenu.Time1->isChecked());
    EXPECT_FALSE(form.controls().displayMenu.FFT1->isChecked());
    EXPECT_TRUE(form.controls().displayMenu.Enable1->isChecked());
    EXPECT_FALSE(form.controls().displayMenu.Disable1->isChecked());
    EXPECT_FALSE(form.controls().displayMenu.Red1->isCheckable());
    EXPECT_EQ(form.controls().optionsMenu.SelectCard->text(), "Select");
}

// A screen reader says what the panel prints beside a control, with its
// group; the identifiers stay for the code.
TEST_F(ScopeFormTest, ControlsAreNamedAsThePanelPrintsThem)
{
    SpyScopeForm form(noDevices);
    const std::pair<QWidget*, const char*> names[] = {
        {form.controls().chan1.Chan1GainDial, "Channel 1 Gain"},
        {form.controls().chan1.Chan1GainTrackBar, "Channel 1 Range"},
        {form.controls().chan1.Chan1OffsetDial, "Channel 1 Position"},
        {form.controls().chan1.Chan1EnbSwitch, "Channel 1 Enable"},
        {form.controls().chan1.Mkr1Switch, "Channel 1 Mkr1"},
        {form.controls().chan2.Chan2GainDial, "Channel 2 Gain"},
        {form.controls().chan2.Chan2GainTrackBar, "Channel 2 Range"},
        {form.controls().chan2.Chan2OffsetDial, "Channel 2 Position"},
        {form.controls().chan2.Chan2EnbSwitch, "Channel 2 Enable"},
        {form.controls().chan2.Mkr2Switch, "Channel 2 Mkr2"},
        {form.controls().trace.AddChanSw, "Trace Add"},
        {form.controls().trace.TraceModeSw, "Trace XY"},
        {form.controls().trigger.TriggerEnableSwitch, "Trigger: ON / OFF"},
        {form.controls().trigger.TrigSlopeSw, "Trigger slope: + / -"},
        {form.controls().trigger.ChannelSw, "Trigger source: Ch 1 / Ch 2"},
        {form.controls().trigger.ChopSw, "Trigger mode: Chop / Alt"},
        {form.controls().trigger.SineSquareSw, "Trigger detector: Sin / Sqv"},
        {form.controls().trigger.ThresholdDial, "Trigger Threshold"},
        {form.controls().display.DisplayHoldSw, "Display Hold"},
        {form.controls().display.SingleDisplaySw, "Display Single"},
        {form.controls().display.ExpandSw, "Display Exp"},
        {form.controls().timeBase.TimeBaseDial, "Time base"},
        {form.controls().timeBase.UncalLED, "Time base Uncal."},
        {form.controls().timeBase.LowSampleRateRadioBtn, "Time base 46.44 ms"},
        {form.controls().timeBase.MidSampleRateRadioBtn, "Time base 23.22 ms"},
        {form.controls().timeBase.HiSampleRateRadioBtn, "Time base 11.61 ms"},
        {form.controls().screen.SpectrumBox, "Display screen"},
    };
    for (const auto& [control, name] : names) {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(control);
        ASSERT_NE(iface, nullptr) << name;
        EXPECT_EQ(iface->text(QAccessible::Name).toStdString(), name);
        EXPECT_FALSE(control->objectName().isEmpty());
    }
    EXPECT_EQ(form.controls().chan1.Chan1GainDial->objectName(), "Chan1GainDial");
    // The toggle's name holds both positions; the one in force is its value.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(form.controls().trigger.TrigSlopeSw)->text(QAccessible::Value),
              "+");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(form.controls().chan1.Chan1GainTrackBar)->text(QAccessible::Value),
              "1");
}

// The readouts are spoken by their live text; their descriptions say what
// they show.
TEST_F(ScopeFormTest, ReadoutsSpeakTheirTextAndSayWhatTheyShow)
{
    SpyScopeForm form(noDevices);
    const std::pair<QLabel*, const char*> readouts[] = {
        {form.controls().screen.LoFreqLabel, "Display left end"},
        {form.controls().screen.MarkerLabel, "Marker difference"},
        {form.controls().screen.HiFreqLabel, "Display right end"},
        {form.status().panel(0), "Display type"},
        {form.status().panel(1), "Cursor"},
        {form.status().panel(2), "Threshold"},
        {form.status().panel(3), "Input"},
        {form.status().panel(4), "Marker reciprocal"},
    };
    form.controls().screen.MarkerLabel->setText("Marker Difference = 23.03 ms");
    for (const auto& [label, shows] : readouts) {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(label);
        ASSERT_NE(iface, nullptr) << shows;
        EXPECT_FALSE(label->text().isEmpty()) << shows;
        EXPECT_EQ(iface->text(QAccessible::Name), label->text());
        EXPECT_EQ(iface->text(QAccessible::Description).toStdString(), shows);
    }
}

TEST_F(ScopeFormTest, SettingControlsFromTheProgramEmitsNothing)
{
    SpyScopeForm form(noDevices);
    QSignalSpy dialChange(form.controls().chan1.Chan1GainDial, &Dial::valueChanged);
    QSignalSpy dialClick(form.controls().chan1.Chan1GainDial, &Dial::clicked);
    QSignalSpy rockerClick(form.controls().chan1.Chan1EnbSwitch, &RockerSwitch::clicked);
    QSignalSpy toggleClick(form.controls().trigger.ChopSw, &ToggleSwitch::clicked);
    form.controls().chan1.Chan1GainDial->setValue(80.0f);
    form.controls().chan1.Chan1EnbSwitch->setChecked(true);
    form.controls().trigger.ChopSw->setChecked(false);
    EXPECT_FLOAT_EQ(form.controls().chan1.Chan1GainDial->value(), 80.0f);
    EXPECT_TRUE(form.controls().chan1.Chan1EnbSwitch->isChecked());
    EXPECT_FALSE(form.controls().trigger.ChopSw->isChecked());
    EXPECT_EQ(dialChange.count(), 0);
    EXPECT_EQ(dialClick.count(), 0);
    EXPECT_EQ(rockerClick.count(), 0);
    EXPECT_EQ(toggleClick.count(), 0);
}

// Every way of closing runs the stop request and the destruction exactly once.
TEST_F(ScopeFormTest, CloseBoxRunsFormDestroyOnce)
{
    auto form = std::make_unique<SpyScopeForm>(noDevices);
    int destroyed = 0;
    form->setDestroyObserver([&] { ++destroyed; });
    form->show();
    form->state().stopped = 0;  // as if a run were active
    EXPECT_TRUE(form->close());
    EXPECT_EQ(form->state().stopped, 1);
    EXPECT_FALSE(form->isVisible());
    form->close();  // a second close changes nothing
    form.reset();
    EXPECT_EQ(destroyed, 1);
}

TEST_F(ScopeFormTest, QuitMenuClosesLikeTheCloseBox)
{
    auto form = std::make_unique<SpyScopeForm>(noDevices);
    int destroyed = 0;
    form->setDestroyObserver([&] { ++destroyed; });
    form->show();
    form->controls().fileMenu.Quit1->trigger();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->state().stopped, 1);
    form.reset();
    EXPECT_EQ(destroyed, 1);
}

TEST_F(ScopeFormTest, TerminationSignalClosesTheWindowThroughTheEventLoop)
{
    auto form = std::make_unique<SpyScopeForm>(noDevices);
    int destroyed = 0;
    form->setDestroyObserver([&] { ++destroyed; });
    form->show();
    SignalBridge bridge(form.get());
    ASSERT_TRUE(bridge.installed());
    bool timedOut = false;
    QTimer::singleShot(0, [] { std::raise(SIGTERM); });
    QTimer::singleShot(5000, [&] {
        timedOut = true;
        QCoreApplication::quit();
    });
    QCoreApplication::exec();  // FormClose ends the loop
    EXPECT_FALSE(timedOut);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(destroyed, 0);  // destruction comes when the window is destroyed
    form.reset();
    EXPECT_EQ(destroyed, 1);
}

// A box waiting for a click (a message before the window shows, a dialog)
// does not keep the process alive: the signal closes it first, and the
// program then knows not to start.
TEST_F(ScopeFormTest, TerminationSignalEndsABoxThatWaitsForAClick)
{
    auto form = std::make_unique<SpyScopeForm>(noDevices);
    SignalBridge bridge(form.get());
    ASSERT_TRUE(bridge.installed());
    EXPECT_FALSE(bridge.signalled());
    bool timedOut = false;
    QTimer::singleShot(0, [] { std::raise(SIGTERM); });
    QTimer::singleShot(5000, [&] {
        timedOut = true;
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    });
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Remote Control"), QStringLiteral("cannot listen"),
                    QMessageBox::Ok, form.get());
    box.exec();
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(bridge.signalled());
}

}  // namespace
}  // namespace varmolen

namespace varmolen {
namespace {

// With the built-in generator as the only device, the window starts
// acquisition on its own and every completed block is drawn: after a second
// the enabled channel's trace is on the display.
TEST_F(ScopeFormTest, AcquisitionStartsByItselfAndDrawsTheGeneratorsTrace)
{
    GeneratorWaveInput generator;
    SpyScopeForm form(generator);
    form.host().setRecordOnly(true);
    InstrumentState& s = form.state();
    EXPECT_EQ(s.waveDeviceCount, 1);
    s.chan1Enabled = 1;
    s.chan1Color = colour::kRed;
    form.show();

    // A local loop: quitting the application would close its windows.
    QEventLoop wait;
    QTimer::singleShot(1500, &wait, &QEventLoop::quit);
    wait.exec();

    EXPECT_EQ(s.stopped, 0) << "a run is active";
    EXPECT_TRUE(form.host().recordedMessages().empty());
    int red = 0;
    for (int y = 0; y < 343; ++y)
        for (int x = 0; x < 513; ++x)
            red += form.displayBitmap().pixel(x, y) == 0x0000FFu;
    EXPECT_GT(red, 400) << "the sine of channel 1 is drawn across the display";
    // Without a settings file the microphone is in force: the device records
    // mono, so channel 1 holds the 1 kHz sine at 11025 Hz, 92.9 periods per
    // block, not the generator's two stereo channels interleaved.
    EXPECT_EQ(s.channelCount, 1);
    int rising = 0;
    for (int i = 1; i < 1024; ++i)
        rising += s.chan1Samples[i - 1] < 0 && s.chan1Samples[i] >= 0;
    EXPECT_GE(rising, 92);
    EXPECT_LE(rising, 93);
    form.close();
    EXPECT_EQ(s.stopped, 1);
}

// The Input Device group names the device acquisition opened, whole. When
// the generator is the only device, the window says once, without a box,
// that no sound input was found: the notice goes after its time and a
// restart does not bring it back. Chosen where a card exists, the generator
// is named without the notice.
TEST_F(ScopeFormTest, NamesTheInputDeviceAndSaysOnceThatNoSoundInputWasFound)
{
    {
        GeneratorWaveInput generator;
        SpyScopeForm form(generator);
        form.host().setRecordOnly(true);
        form.controls().input.InputNoticeTimer->setInterval(300);
        EXPECT_EQ(QAccessible::queryAccessibleInterface(form.controls().input.InputDeviceLabel)
                      ->text(QAccessible::Description),
                  "Input device");
        EXPECT_TRUE(form.controls().input.InputDeviceLabel->text().isEmpty()) << "nothing is open yet";
        test::runFor(3000, [&] { return !form.controls().input.InputDeviceLabel->text().isEmpty(); });
        EXPECT_EQ(form.controls().input.InputDeviceLabel->text(), "Signal generator");
        EXPECT_EQ(
            QAccessible::queryAccessibleInterface(form.controls().input.InputDeviceLabel)->text(QAccessible::Name),
            "Signal generator");
        EXPECT_TRUE(form.controls().input.InputNoticeLabel->isVisibleTo(&form));
        EXPECT_EQ(form.controls().input.InputNoticeLabel->text(),
                  "No sound input was found: the built-in generator stands in.");
        test::runFor(3000, [&] { return !form.controls().input.InputNoticeLabel->isVisibleTo(&form); });
        EXPECT_FALSE(form.controls().input.InputNoticeLabel->isVisibleTo(&form)) << "the notice goes after its time";
        form.menus().Line1Click(form.controls().optionsMenu.Line1);  // stops and starts acquisition again
        EXPECT_EQ(form.state().stopped, 0);
        EXPECT_FALSE(form.controls().input.InputNoticeLabel->isVisibleTo(&form)) << "said once only";
        EXPECT_TRUE(form.host().recordedMessages().empty());
        form.close();
    }
    const std::string card = "HDA Intel PCH, ALC892 Analog Front microphone";
    StreamWaveInput cards({{card, [] { return std::make_unique<GeneratorSource>(); }}, generatorDevice()});
    SpyScopeForm form(cards);
    form.host().setRecordOnly(true);
    form.state().waveDeviceId = 1;
    test::runFor(3000, [&] { return !form.controls().input.InputDeviceLabel->text().isEmpty(); });
    EXPECT_EQ(form.controls().input.InputDeviceLabel->text(), "Signal generator");
    EXPECT_FALSE(form.controls().input.InputNoticeLabel->isVisibleTo(&form))
        << "the generator was chosen, not a stand-in";
    form.state().waveDeviceId = 0;
    form.menus().Mic1Click(form.controls().optionsMenu.Mic1);
    EXPECT_EQ(form.controls().input.InputDeviceLabel->text().toStdString(), card);
    EXPECT_EQ(form.controls().input.InputDeviceLabel->toolTip().toStdString(), card);
    form.close();
}

// The generator, noting every device it opens; its format query can be made
// to fail while the open itself still works.
class CountingGenerator : public GeneratorWaveInput {
public:
    MMRESULT waveInOpen(HWAVEIN* h, UINT id, const WAVEFORMATEX* f, std::uintptr_t cb, std::uintptr_t inst,
                        std::uint32_t flags) override
    {
        if (flags & WAVE_FORMAT_QUERY) {
            if (failQueries)
                return WAVERR_BADFORMAT;
        } else {
            ++opens;
        }
        return GeneratorWaveInput::waveInOpen(h, id, f, cb, inst, flags);
    }
    bool failQueries = false;
    int opens = 0;
};

using test::serveUntil;

// Shows the window and serves events until its first run records.
void showRecording(SpyScopeForm& form)
{
    form.host().setRecordOnly(true);
    form.show();
    serveUntil(2000, [&] { return form.state().stopped == 0; });
}

// Answers every message box 400 ms after it appeared, long enough for the
// 250 ms timers to tick inside its modal loop.
class SlowAnswerer {
public:
    SlowAnswerer()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (box == nullptr || !box->isVisible())
                    continue;
                if (!seen_.contains(box))
                    seen_.insert(box, clock_.elapsed());
                else if (clock_.elapsed() - seen_.value(box) >= 400)
                    box->done(QMessageBox::Ok);
            }
        });
        clock_.start();
        timer_.start(10);
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    QHash<QMessageBox*, qint64> seen_;
};

// Save Bitmap stops acquisition, runs its file dialog (a real modal loop,
// answered here by a timer after 700 ms) and starts acquisition again: no
// tick of the start timer inside the dialog may start a run meanwhile.
TEST_F(ScopeFormTest, CommandsHoldAcquisitionStoppedWhileTheirDialogsAreOpen)
{
    CountingGenerator generator;
    SpyScopeForm form(generator);
    showRecording(form);
    InstrumentState& s = form.state();
    ASSERT_EQ(s.stopped, 0);
    const int opensBefore = generator.opens;
    int opensInDialog = -1;
    OutputCommands& commands = form.output();
    commands.runSaveDialog = [&](QFileDialog& dialog) {
        QTimer::singleShot(700, &dialog, &QDialog::reject);
        dialog.exec();
        opensInDialog = generator.opens - opensBefore;
        return QString();
    };
    form.controls().fileMenu.SaveBitmap1->trigger();
    EXPECT_EQ(opensInDialog, 0) << "acquisition ran inside the command's dialog";
    EXPECT_EQ(generator.opens, opensBefore + 1) << "the command restarts acquisition once, itself";
    EXPECT_EQ(s.stopped, 0);
    form.close();
}

// A restart whose format query fails shows its message in a real box; the
// start timer, armed by the stop, ticks inside that box but starts no second
// start sequence, so the message appears once and the open that follows
// succeeds instead of finding the device taken.
TEST_F(ScopeFormTest, OneStartSequenceRunsAtATimeWhileItsMessageBoxIsOpen)
{
    CountingGenerator generator;
    SpyScopeForm form(generator);
    showRecording(form);
    InstrumentState& s = form.state();
    ASSERT_EQ(s.stopped, 0);

    generator.failQueries = true;
    form.host().setRecordOnly(false);
    const SlowAnswerer answerer;
    const int opensBefore = generator.opens;
    form.controls().optionsMenu.Mic1->trigger();
    form.host().setRecordOnly(true);
    int queryFailures = 0;
    for (const auto& [text, caption] : form.host().recordedMessages()) {
        EXPECT_EQ(text, "Could not open the input wave device");
        queryFailures += text == "Could not open the input wave device";
    }
    EXPECT_EQ(queryFailures, 1);
    EXPECT_EQ(generator.opens, opensBefore + 1);
    EXPECT_EQ(form.host().endRequests(), 0);
    EXPECT_EQ(s.stopped, 0) << "the restarted run goes on";
    form.close();
}

// The screen gets the whole picture of the first pass: a black background
// restored from the settings file leaves no row of the white start picture
// behind (the bottom rows under the graticule stay black, too).
TEST_F(ScopeFormTest, FirstPassReachesTheScreenWhole)
{
    ConfigValues v = defaultConfiguration();
    v.backgroundScheme = 2;
    ASSERT_TRUE(test::writeSettings(installDir.filePath(QStringLiteral("Varmolen.cfg")), v));

    GeneratorWaveInput generator;
    SpyScopeForm form(generator);
    form.host().setRecordOnly(true);
    form.show();
    const Raster& bitmap = form.displayBitmap();
    serveUntil(2000, [&] { return bitmap.pixel(5, 5) == colour::kBlack; });
    ASSERT_EQ(bitmap.pixel(5, 5), static_cast<std::uint32_t>(colour::kBlack)) << "no pass was drawn";
    serveUntil(200, [] { return false; });  // the repaint that follows the pass

    const QPoint origin = form.controls().screen.SpectrumBox->mapTo(&form, QPoint(0, 0));
    const QImage shown = form.screen()->grabWindow(form.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(shown.isNull());
    int differ = 0;
    for (int y = 0; y < Raster::kHeight; ++y)
        for (int x = 0; x < Raster::kWidth; ++x) {
            const QRgb p = shown.pixel(origin.x() + x, origin.y() + y);
            const std::uint32_t word = static_cast<std::uint32_t>(qRed(p) | qGreen(p) << 8 | qBlue(p) << 16);
            differ += word != bitmap.pixel(x, y);
        }
    EXPECT_EQ(differ, 0) << "pixels on the screen that the display bitmap does not hold";
    form.close();
}

// Pipes at the places of the settings, feature settings and help files are
// no files: start-up looks at them without waiting for a writer, and exit
// leaves them as they are.
TEST_F(ScopeFormTest, PipesAtTheFilePlacesNeitherBlockNorGetReplaced)
{
    const QString pipes[] = {installDir.filePath(QStringLiteral("Varmolen.cfg")),
                             installDir.filePath(QStringLiteral("Varmolen.ini")),
                             helpDir.filePath(QStringLiteral("index.html"))};
    for (const QString& p : pipes)
        ASSERT_EQ(::mkfifo(QFile::encodeName(p).constData(), 0644), 0);
    ::alarm(20);  // a start-up that waits on a pipe ends the test here
    {
        test::ListingWaveInput devices({"Card"});
        SpyScopeForm form(devices);
        EXPECT_EQ(form.state().configFilePath[0], '\0');
        EXPECT_EQ(form.state().helpFilePath[0], '\0');
        EXPECT_EQ(form.state().features, FeatureSettings{});
        form.close();
    }
    ::alarm(0);
    for (const QString& p : pipes) {
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(p).constData(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode)) << p.toStdString();
    }
}

// Quitting closes every window; the sound-card dialog's close runs the input
// handler, which must not open the device once the main window is closing.
TEST_F(ScopeFormTest, ClosingWithTheSoundCardDialogOpenStartsNothing)
{
    CountingGenerator generator;
    SpyScopeForm form(generator);
    TSoundCardSelect dialog(form.state(), generator, [&] { form.menus().Mic1Click(&dialog); });
    form.menus().setSoundCardSelect(&dialog);
    showRecording(form);
    form.controls().optionsMenu.SelectCard->trigger();
    ASSERT_TRUE(dialog.isVisible());
    const int opens = generator.opens;
    form.close();
    dialog.close();
    EXPECT_EQ(generator.opens, opens);
    EXPECT_EQ(form.state().stopped, 1);
    EXPECT_FALSE(form.acquisition().running());
}

// A device service that keeps the window's setting-up waiting while events
// are served (as a message box would) and notes every attempt to record.
class SlowListingWaveInput : public test::ListingWaveInput {
public:
    SlowListingWaveInput() : ListingWaveInput({"Slow card"}) {}
    UINT waveInGetNumDevs() override
    {
        QEventLoop wait;
        QTimer::singleShot(600, &wait, &QEventLoop::quit);
        wait.exec();
        return ListingWaveInput::waveInGetNumDevs();
    }
    MMRESULT waveInOpen(HWAVEIN* h, UINT id, const WAVEFORMATEX* f, std::uintptr_t cb, std::uintptr_t inst,
                        std::uint32_t flags) override
    {
        ++opens;
        return ListingWaveInput::waveInOpen(h, id, f, cb, inst, flags);
    }
    int opens = 0;
};

// The start timer runs from the window's creation, so its first tick can
// come while the window is still being set up; acquisition must wait until
// the stored settings are in force, and start on a later tick.
TEST_F(ScopeFormTest, NoRunStartsBeforeTheWindowIsSetUp)
{
    // A run started too early reports the failed open in a message box;
    // it is answered here, so the test fails instead of waiting for a click.
    QTimer answer;
    answer.setInterval(20);
    QObject::connect(&answer, &QTimer::timeout, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible())
                box->done(QMessageBox::Ok);
    });
    answer.start();
    SlowListingWaveInput slow;
    SpyScopeForm form(slow);
    EXPECT_EQ(slow.opens, 0) << "a tick during the setting-up started a run";
    EXPECT_EQ(form.startRuns(), 0);
    EXPECT_TRUE(form.controls().run.StartTimer->isActive());
    form.host().setRecordOnly(true);

    QEventLoop wait;
    QTimer::singleShot(400, &wait, &QEventLoop::quit);
    wait.exec();
    EXPECT_GT(slow.opens, 0) << "a tick after the setting-up starts a run";
    form.close();
}

}  // namespace
}  // namespace varmolen
