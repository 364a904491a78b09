// The settings file in the window: read once at start-up and applied through
// the front-panel handlers, written once when the window goes. Each test has
// its own install and help directories, so the user's settings are never
// touched.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <climits>
#include <cmath>
#include <memory>
#include <random>

#include "WindowTestFolders.h"
#include "tests/support/FakeWaveInput.h"
#include "window/Varmolen2.h"
#include "tests/ScopeFormSpy.h"
#include "display/DisplayPass.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/RockerSwitch.h"
#include "panel/widgets/ToggleSwitch.h"
#include "persist/ConfigFile.h"

namespace varmolen {

using test::SpyScopeForm;
namespace {

class SettingsApplyTest : public test::WindowTestFolders {
protected:
    QString cfgPath() const { return installDir.filePath("Varmolen.cfg"); }

    void writeBytes(const QByteArray& bytes) const
    {
        QFile f(cfgPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    void writeValues(const ConfigValues& v) const
    {
        const ConfigRecord r = encodeConfiguration(v);
        writeBytes(QByteArray(reinterpret_cast<const char*>(r.data()), static_cast<int>(r.size())));
    }
    QByteArray fileBytes() const
    {
        QFile f(cfgPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    ConfigValues fileValues() const
    {
        const auto contents = readConfigFile(cfgPath().toStdString());
        EXPECT_TRUE(contents.has_value());
        return contents ? decodeConfiguration(contents->view(), startupConfiguration()).values : startupConfiguration();
    }

    // The window as the program makes it, with its timers held so that no
    // acquisition starts while the test looks.
    std::unique_ptr<SpyScopeForm> openForm()
    {
        auto form = std::make_unique<SpyScopeForm>(devices);
        form->host().setRecordOnly(true);
        form->controls().run.StartTimer->stop();
        form->controls().run.TimeoutTimer->stop();
        return form;
    }

    test::ListingWaveInput devices{{"default", "USB Audio", "Signal generator"}};
};

ConfigValues everythingChanged()
{
    ConfigValues v = startupConfiguration();
    v.chan1Enabled = 1;
    v.chan2Enabled = 1;
    v.chan1TimeRange = 10;
    v.chan2TimeRange = 0;
    v.chan1FreqRange = 100;
    v.chan2FreqRange = 1;
    v.chan1TimeGainDial = 37;
    v.chan2TimeGainDial = 80;
    v.chan1TimeOffset = 100;
    v.chan2TimeOffset = 250;
    v.chan1FreqGainDial = 12;
    v.chan2FreqGainDial = 99;
    v.chan1FreqOffset = 200;
    v.chan2FreqOffset = 300;
    v.triggerThreshold = 37;
    v.triggerSlope = 0;
    v.chopMode = 0;
    v.addChannels = 1;
    v.displayHold = 1;
    v.singleSweep = 1;
    v.triggerEnabled = 1;
    v.traceMode = 2;
    v.sampleRate = 22050;
    v.timeBaseSetting = 40;
    v.inputSelect = 1;
    v.displayType = 2;
    v.backgroundScheme = 3;
    v.triggerChannel = 2;
    v.chan1Color = 0x00FF00;
    v.chan2Color = 0xFF0000;
    v.marker1Pos = 100;
    v.marker2Pos = 300;
    v.marker1Enabled = 1;
    v.marker2Enabled = 1;
    v.osVariant = 2;
    v.gridEnabled = 0;
    v.waveDeviceId = 2;
    return v;
}

TEST_F(SettingsApplyTest, FileAppliedThroughTheControlsAndWrittenBackOnExit)
{
    const ConfigValues stored = everythingChanged();
    writeValues(stored);
    {
        auto form = openForm();
        const InstrumentState& s = form->state();
        EXPECT_EQ(s.loadingSettings, 0);
        // Controls show the stored settings.
        EXPECT_TRUE(form->controls().chan1.Chan1EnbSwitch->isChecked());
        EXPECT_TRUE(form->controls().chan2.Chan2EnbSwitch->isChecked());
        EXPECT_EQ(form->controls().chan1.Chan1GainTrackBar->value(), 2);  // x10
        EXPECT_EQ(form->controls().chan2.Chan2GainTrackBar->value(), 0);  // Gnd
        EXPECT_FLOAT_EQ(form->controls().chan1.Chan1GainDial->value(), 37.0f);
        EXPECT_FLOAT_EQ(form->controls().chan2.Chan2GainDial->value(), 80.0f);
        EXPECT_FLOAT_EQ(form->controls().trigger.ThresholdDial->value(), 18.0f);
        EXPECT_FALSE(form->controls().trigger.TrigSlopeSw->isChecked());
        EXPECT_FALSE(form->controls().trigger.ChopSw->isChecked());
        EXPECT_TRUE(form->controls().trace.AddChanSw->isChecked());
        EXPECT_TRUE(form->controls().display.DisplayHoldSw->isChecked());
        EXPECT_TRUE(form->controls().display.SingleDisplaySw->isChecked());
        EXPECT_TRUE(form->controls().trigger.TriggerEnableSwitch->isChecked());
        EXPECT_TRUE(form->controls().trace.TraceModeSw->isChecked());
        EXPECT_TRUE(form->controls().timeBase.MidSampleRateRadioBtn->isChecked());
        EXPECT_FALSE(form->controls().timeBase.LowSampleRateRadioBtn->isChecked());
        EXPECT_FLOAT_EQ(form->controls().timeBase.TimeBaseDial->value(), 40.0f);
        EXPECT_TRUE(form->controls().optionsMenu.Line1->isChecked());
        EXPECT_FALSE(form->controls().optionsMenu.Mic1->isChecked());
        EXPECT_TRUE(form->controls().displayMenu.Time1->isChecked());
        EXPECT_FALSE(form->controls().trigger.ChannelSw->isChecked());
        EXPECT_TRUE(form->controls().chan1.Mkr1Switch->isChecked());
        EXPECT_TRUE(form->controls().chan2.Mkr2Switch->isChecked());
        EXPECT_TRUE(form->controls().displayMenu.Disable1->isChecked());
        EXPECT_FALSE(form->controls().displayMenu.Enable1->isChecked());
        EXPECT_EQ(form->status().text(0), "Display = TIME");
        EXPECT_EQ(form->status().text(2), "Threshold = 36");
        EXPECT_EQ(form->status().text(3), "Input = LINE");
        // Derived values follow from the handlers.
        EXPECT_EQ(s.chan1TimeGain, 185);  // x10 at 37 %, halved
        EXPECT_EQ(s.chan2TimeGain, 0);    // grounded
        EXPECT_EQ(s.channelCount, 2);
        EXPECT_EQ(s.bufferBytes, 4096);  // line at 22050 Hz
        EXPECT_EQ(s.triggerChannel, 2);
        EXPECT_EQ(s.backgroundScheme, 3);
        // No acquisition was stopped or started while the file was applied.
        EXPECT_EQ(form->stopRuns(), 0);
        EXPECT_EQ(form->startRuns(), 0);
        // Written once, at exit: the file is still the one read.
        EXPECT_EQ(fileValues(), stored);
    }

    // Back on disk: everything exactly, except the zero lines of the display
    // in force (through their dials' whole percent) and the odd threshold.
    const ConfigValues back = fileValues();
    ConfigValues expected = stored;
    expected.triggerThreshold = 36;
    EXPECT_LE(std::abs(back.chan1TimeOffset - stored.chan1TimeOffset), 4);
    EXPECT_LE(std::abs(back.chan2TimeOffset - stored.chan2TimeOffset), 4);
    expected.chan1TimeOffset = back.chan1TimeOffset;
    expected.chan2TimeOffset = back.chan2TimeOffset;
    EXPECT_EQ(back, expected);
    // Replaced through a rename: nothing else is left beside it.
    EXPECT_EQ(QDir(installDir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Varmolen.cfg"});
}

TEST_F(SettingsApplyTest, OddThresholdsComeBackOneStepNearerZero)
{
    for (const std::int32_t stored : {37, -37, 36, -100, 100}) {
        ConfigValues v = startupConfiguration();
        v.triggerThreshold = stored;
        writeValues(v);
        {
            auto form = openForm();
        }
        EXPECT_EQ(fileValues().triggerThreshold, stored / 2 * 2) << stored;
    }
}

TEST_F(SettingsApplyTest, FrequencyDisplayRunsChannelTwoHandlersLast)
{
    ConfigValues v = startupConfiguration();
    v.displayType = 1;
    v.chan1TimeRange = 1;
    v.chan2TimeRange = 10;  // the track bars show these before the display command
    v.chan1FreqRange = 7;   // no track bar position for either
    v.chan2FreqRange = 7;
    v.chan2FreqGainDial = 60;
    v.chan2FreqOffset = 300;
    writeValues(v);
    {
        auto form = openForm();
        const InstrumentState& s = form->state();
        EXPECT_EQ(s.displayType, 1);
        EXPECT_TRUE(form->controls().displayMenu.FFT1->isChecked());
        EXPECT_FALSE(form->controls().displayMenu.Time1->isChecked());
        EXPECT_EQ(form->status().text(0), "Display = FREQUENCY");
        // Channel 2's track bar handler ran after the display command: the
        // FREQUENCY range now is what its track bar shows.
        EXPECT_EQ(form->controls().chan2.Chan2GainTrackBar->value(), 2);
        EXPECT_EQ(s.chan2FreqRange, 10);
        EXPECT_EQ(s.chan2FreqGain, 300);  // x10 at 60 %, halved
        EXPECT_EQ(s.chan2FreqGainDial, 60);
        // Channel 1's handlers did not run: its stored range stays.
        EXPECT_EQ(s.chan1FreqRange, 7);
        // Channel 2's zero line went through its dial: (343-300)*100/343 =
        // 12 %, and back: 343 - 41.16 = 301.84, truncated.
        EXPECT_FLOAT_EQ(form->controls().chan2.Chan2OffsetDial->value(), 12.0f);
        EXPECT_EQ(s.chan2FreqOffset, 301);
    }
    const ConfigValues back = fileValues();
    EXPECT_EQ(back.displayType, 1);
    EXPECT_EQ(back.chan2FreqRange, 10);
    EXPECT_EQ(back.chan1FreqRange, 7);
}

TEST_F(SettingsApplyTest, LineInputAt44100UsesTheLoadedRateForItsBuffers)
{
    ConfigValues v = startupConfiguration();
    v.sampleRate = 44100;
    v.inputSelect = 1;
    writeValues(v);
    auto form = openForm();
    const InstrumentState& s = form->state();
    EXPECT_EQ(s.sampleRate, 44100u);
    EXPECT_TRUE(form->controls().timeBase.HiSampleRateRadioBtn->isChecked());
    EXPECT_EQ(s.channelCount, 2);
    EXPECT_EQ(s.blockAlign, 4);
    EXPECT_EQ(s.bufferBytes, 8192);
    EXPECT_EQ(form->stopRuns(), 0);
    EXPECT_EQ(form->startRuns(), 0);

    // Microphone at 44100 Hz: 4096 bytes.
    v.inputSelect = 0;
    writeValues(v);
    auto mic = openForm();
    EXPECT_EQ(mic->state().bufferBytes, 4096);
    EXPECT_EQ(mic->status().text(3), "Input = MIC");
}

TEST_F(SettingsApplyTest, EmptyFileRunsEveryStepWithTheStartupValues)
{
    writeBytes(QByteArray());
    {
        auto form = openForm();
        const InstrumentState& s = form->state();
        EXPECT_EQ(s.loadingSettings, 0);
        ConfigValues now = captureConfiguration(s);
        // The zero lines passed through their dials' whole percent.
        EXPECT_EQ(now.chan1TimeOffset, 89);
        EXPECT_EQ(now.chan2TimeOffset, 260);
        now.chan1TimeOffset = 86;
        now.chan2TimeOffset = 258;
        EXPECT_EQ(now, startupConfiguration());
        // The handlers ran: menus, radio buttons and status panels are set.
        EXPECT_TRUE(form->controls().optionsMenu.Mic1->isChecked());
        EXPECT_TRUE(form->controls().displayMenu.Time1->isChecked());
        EXPECT_TRUE(form->controls().displayMenu.Enable1->isChecked());
        EXPECT_TRUE(form->controls().timeBase.LowSampleRateRadioBtn->isChecked());
        EXPECT_EQ(form->status().text(0), "Display = TIME");
        EXPECT_EQ(form->status().text(3), "Input = MIC");
        EXPECT_EQ(form->status().text(2), "Threshold = 0");
        EXPECT_TRUE(form->controls().trigger.ChopSw->isChecked());
        EXPECT_TRUE(form->controls().trigger.ChannelSw->isChecked());
        EXPECT_TRUE(form->controls().trigger.TrigSlopeSw->isChecked());
    }
    EXPECT_EQ(fileBytes().size(), 118);
}

TEST_F(SettingsApplyTest, ShortAndLongFiles)
{
    // Four bytes: both enables read; the first range is cut in the middle
    // and keeps its start-up value.
    writeBytes(QByteArray("\x01\x01\x0a\x00", 4));
    {
        auto form = openForm();
        EXPECT_EQ(form->state().chan1Enabled, 1);
        EXPECT_EQ(form->state().chan2Enabled, 1);
        EXPECT_EQ(form->state().chan1TimeRange, 1);
        EXPECT_EQ(form->controls().chan1.Chan1GainTrackBar->value(), 1);
    }
    EXPECT_EQ(fileValues().chan1TimeRange, 1);

    // Bytes after the record are ignored.
    ConfigValues v = startupConfiguration();
    v.waveDeviceId = 1;
    v.gridEnabled = 0;
    const ConfigRecord r = encodeConfiguration(v);
    QByteArray longFile(reinterpret_cast<const char*>(r.data()), static_cast<int>(r.size()));
    longFile.append(QByteArray(82, '\x7f'));
    writeBytes(longFile);
    {
        auto form = openForm();
        EXPECT_EQ(form->state().waveDeviceId, 1);
        EXPECT_EQ(form->state().gridEnabled, 0);
        EXPECT_TRUE(form->controls().displayMenu.Disable1->isChecked());
    }
    EXPECT_EQ(fileBytes().size(), 118);  // rewritten as one record
}

TEST_F(SettingsApplyTest, RangesTheTrackBarCannotShowLeaveItAlone)
{
    ConfigValues v = startupConfiguration();
    v.chan1TimeRange = 5;
    v.chan2TimeRange = -1;
    writeValues(v);
    auto form = openForm();
    EXPECT_EQ(form->controls().chan1.Chan1GainTrackBar->value(), 1);
    EXPECT_EQ(form->controls().chan2.Chan2GainTrackBar->value(), 1);
    // Channel 1's track bar handler runs after the display command and
    // stores what the bar shows; channel 2's gain cannot leave its range.
    EXPECT_EQ(form->state().chan1TimeRange, 1);
    EXPECT_GE(form->state().chan2TimeGain, 0);
    EXPECT_LE(form->state().chan2TimeGain, 5000);
}

TEST_F(SettingsApplyTest, SwitchesAreOnOnlyForTheirNamedValue)
{
    ConfigValues v = startupConfiguration();
    v.chan1Enabled = 2;
    v.chopMode = 7;
    v.addChannels = 255;
    v.displayHold = 2;
    v.singleSweep = 9;
    v.triggerEnabled = 3;
    v.traceMode = 3;
    v.triggerSlope = 5;
    v.triggerChannel = 0;
    v.marker1Enabled = 4;
    v.gridEnabled = 2;
    v.osVariant = 7;
    v.backgroundScheme = 9;
    v.inputSelect = 5;
    writeValues(v);
    auto form = openForm();
    const InstrumentState& s = form->state();
    EXPECT_EQ(s.chan1Enabled, 0);
    EXPECT_FALSE(form->controls().trigger.ChopSw->isChecked());
    // Flags without a handler hold what their switch shows.
    EXPECT_EQ(s.chopMode, 0);
    EXPECT_EQ(s.addChannels, 0);
    EXPECT_EQ(s.displayHold, 0);
    EXPECT_EQ(s.singleSweep, 0);
    EXPECT_EQ(s.traceMode, 1);
    EXPECT_FALSE(form->controls().trace.TraceModeSw->isChecked());
    EXPECT_EQ(s.triggerEnabled, 0);
    EXPECT_EQ(s.triggerSlope, 0);
    EXPECT_EQ(s.triggerChannel, 2);
    EXPECT_EQ(s.marker1Enabled, 0);
    EXPECT_EQ(s.gridEnabled, 0);
    EXPECT_EQ(s.osVariant, 2);
    EXPECT_EQ(s.inputSelect, 1);
    EXPECT_TRUE(form->controls().optionsMenu.Line1->isChecked());
    // An unknown scheme runs no handler.
    EXPECT_EQ(s.backgroundScheme, 9);
}

TEST_F(SettingsApplyTest, RatesAndMarkersTheDisplayCannotUseFallBack)
{
    struct Case {
        std::uint32_t rate;
        std::int32_t m1, m2;
        std::uint32_t wantRate;
        std::int32_t want1, want2;
    };
    const Case cases[] = {
        {0, 142, 396, 11025, 142, 396},                                          // 0 Hz would divide by zero
        {12345, 142, 396, 11025, 142, 396},                                      // not a rate the device records at
        {44100, 600, 700, 44100, 142, 396},                                      // off the display
        {22050, -5, 100, 22050, 142, 396},  {11025, 300, 300, 11025, 142, 396},  // marker 1 not left of marker 2
        {11025, 400, 100, 11025, 142, 396}, {11025, 0, 512, 11025, 0, 512},      // the outermost columns are fine
    };
    for (const Case& c : cases) {
        ConfigValues v = startupConfiguration();
        v.sampleRate = c.rate;
        v.marker1Pos = c.m1;
        v.marker2Pos = c.m2;
        v.marker1Enabled = 1;
        v.marker2Enabled = 1;
        writeValues(v);
        auto form = openForm();
        InstrumentState& s = form->state();
        EXPECT_EQ(s.sampleRate, c.wantRate) << c.rate;
        EXPECT_EQ(s.marker1Pos, c.want1) << c.m1;
        EXPECT_EQ(s.marker2Pos, c.want2) << c.m2;
        const QRadioButton* checked = c.wantRate == 11025   ? form->controls().timeBase.LowSampleRateRadioBtn
                                      : c.wantRate == 22050 ? form->controls().timeBase.MidSampleRateRadioBtn
                                                            : form->controls().timeBase.HiSampleRateRadioBtn;
        EXPECT_TRUE(checked->isChecked());
        // The readouts and the expanded view work with what was kept.
        form->controls().display.ExpandSw->setChecked(true);
        form->markers().ExpandSwClick(form.get());
        EXPECT_EQ(s.expanded, 1);
        runDisplayPass(s, s, s, form->displayBitmap());
        form->markers().UpdateMarkerReadout();
        EXPECT_NE(form->controls().screen.MarkerLabel->text(), "Marker Difference = ?");
        EXPECT_TRUE(form->host().recordedMessages().empty());
    }
}

TEST_F(SettingsApplyTest, NoFileAtStartMeansNoFileAfterExit)
{
    {
        auto form = openForm();
        EXPECT_EQ(form->state().configFilePath[0], '\0');
        EXPECT_EQ(captureConfiguration(form->state()), startupConfiguration());
        form->controls().chan1.Chan1EnbSwitch->setChecked(true);
        form->channels().Chan1EnbSwitchClick(form.get());
    }
    EXPECT_FALSE(QFile::exists(cfgPath()));
    EXPECT_TRUE(QDir(installDir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(SettingsApplyTest, DefaultFileStepsAndEmptyPath)
{
    auto form = openForm();
    // An empty path reads nothing and makes nothing.
    form->LoadConfiguration(form.get(), "");
    EXPECT_EQ(form->state().loadingSettings, 0);
    EXPECT_TRUE(QDir(installDir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    form->SaveConfiguration("");
    EXPECT_TRUE(QDir(installDir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());

    // A file that cannot be opened for reading (here: gone since start-up)
    // is replaced by one holding the settings in force, the start-up values.
    const std::string path = cfgPath().toStdString();
    form->LoadConfiguration(form.get(), path.c_str());
    EXPECT_EQ(form->state().loadingSettings, 0);
    ASSERT_TRUE(QFile::exists(cfgPath()));
    EXPECT_EQ(fileValues(), startupConfiguration());
    EXPECT_EQ(fileBytes().size(), 118);
}

TEST_F(SettingsApplyTest, UnreadableFileIsReplacedByADefault)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop the superuser from reading";
    ConfigValues v = startupConfiguration();
    v.chan1Enabled = 1;
    writeValues(v);
    QFile::setPermissions(cfgPath(), QFileDevice::WriteOwner);
    // Found at start-up only when it opens for reading, so load it by hand.
    auto form = openForm();
    const std::string path = cfgPath().toStdString();
    form->LoadConfiguration(form.get(), path.c_str());
    EXPECT_EQ(form->state().chan1Enabled, 0);
    QFile::setPermissions(cfgPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(fileValues(), startupConfiguration());
}

// Random files of 0 to 200 bytes, then a display pass and every readout:
// whatever the file holds, the values the display and the readouts work
// with stay in their ranges (the sanitizer build catches any stray index or
// division by zero on the way).
TEST_F(SettingsApplyTest, RandomFilesKeepTheDisplayAndReadoutsInRange)
{
    auto form = openForm();
    InstrumentState& s = form->state();
    const std::string path = cfgPath().toStdString();
    std::mt19937 rng(0x5eed);
    const ConfigRecord base = encodeConfiguration(everythingChanged());
    const std::int32_t interesting[] = {0,   1,   2,   3,   -1,    10,    100,   101,     342,     343,
                                        344, 511, 512, 513, 11025, 22050, 44100, INT_MIN, INT_MAX, 0x7f7f7f7f};

    for (int i = 0; i < 10000; ++i) {
        const int length = static_cast<int>(rng() % 201);
        QByteArray bytes(length, '\0');
        const unsigned kind = rng() % 3;
        for (int b = 0; b < length; ++b)
            bytes[b] = kind == 0 || b >= static_cast<int>(base.size()) ? static_cast<char>(rng() & 0xFF)
                                                                       : static_cast<char>(base[b]);
        if (kind == 1) {
            for (int k = 0; k < 4 && length > 0; ++k)
                bytes[static_cast<int>(rng() % length)] = static_cast<char>(rng() & 0xFF);
        } else if (kind == 2) {
            // A few fields set to values at and beyond the edges of their ranges.
            for (int k = 0; k < 3; ++k) {
                const ConfigFieldInfo& f = kConfigFields[rng() % kConfigFieldCount];
                const std::int32_t value = interesting[rng() % std::size(interesting)];
                for (std::size_t w = 0; w < f.width && f.offset + w < static_cast<std::size_t>(length); ++w)
                    bytes[static_cast<int>(f.offset + w)] = static_cast<char>((value >> (8 * w)) & 0xFF);
            }
        }
        {
            QFile f(cfgPath());
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
        }
        form->LoadConfiguration(form.get(), path.c_str());
        SCOPED_TRACE(testing::Message() << "file " << i << ": " << bytes.toHex().constData());

        ASSERT_EQ(s.loadingSettings, 0);
        ASSERT_TRUE(s.sampleRate == 11025 || s.sampleRate == 22050 || s.sampleRate == 44100);
        ASSERT_GE(s.marker1Pos, 0);
        ASSERT_LT(s.marker1Pos, s.marker2Pos);
        ASSERT_LE(s.marker2Pos, 512);
        ASSERT_TRUE(s.displayType == 1 || s.displayType == 2);
        ASSERT_TRUE(s.inputSelect == 0 || s.inputSelect == 1);
        ASSERT_TRUE(s.traceMode == 1 || s.traceMode == 2);
        ASSERT_TRUE(s.triggerChannel == 1 || s.triggerChannel == 2);
        for (const flag f : {s.chan1Enabled, s.chan2Enabled, s.chopMode, s.addChannels, s.displayHold, s.singleSweep,
                             s.triggerEnabled, s.marker1Enabled, s.marker2Enabled, s.gridEnabled})
            ASSERT_LE(f, 1);
        for (const std::int32_t dial :
             {s.chan1TimeGainDial, s.chan2TimeGainDial, s.chan1FreqGainDial, s.chan2FreqGainDial, s.timeBaseSetting}) {
            ASSERT_GE(dial, 0);
            ASSERT_LE(dial, 100);
        }
        for (const std::int32_t row : {s.chan1TimeOffset, s.chan2TimeOffset, s.chan1FreqOffset, s.chan2FreqOffset}) {
            ASSERT_GE(row, 0);
            ASSERT_LE(row, 343);
        }
        for (const std::int32_t gain : {s.chan1TimeGain, s.chan2TimeGain, s.chan1FreqGain, s.chan2FreqGain}) {
            ASSERT_GE(gain, 0);
            ASSERT_LE(gain, 5000);
        }
        ASSERT_GE(s.triggerThreshold, -100);
        ASSERT_LE(s.triggerThreshold, 100);
        ASSERT_GT(s.bufferBytes, 0);
        ASSERT_LE(s.bufferBytes, kRecordBufferBytes);
        for (const Dial* d : {form->controls().chan1.Chan1GainDial, form->controls().chan2.Chan2GainDial,
                              form->controls().chan1.Chan1OffsetDial, form->controls().chan2.Chan2OffsetDial,
                              form->controls().trigger.ThresholdDial, form->controls().timeBase.TimeBaseDial}) {
            ASSERT_GE(d->value(), d->minimum());
            ASSERT_LE(d->value(), d->maximum());
        }

        // A block of samples, sometimes the expanded view, then a pass and
        // every readout, the mouse dragging across and beyond the display.
        for (int k = 0; k < 1024; ++k) {
            s.chan1Samples[k] = static_cast<std::int16_t>(rng());
            s.chan2Samples[k] = static_cast<std::int16_t>(rng());
        }
        if (s.marker1Enabled == 1 && s.marker2Enabled == 1 && rng() % 2 == 0) {
            form->controls().display.ExpandSw->setChecked(true);
            form->markers().ExpandSwClick(form.get());
        }
        runDisplayPass(s, s, s, form->displayBitmap());
        form->markers().UpdateMarkerReadout();
        form->markers().UpdateTimeBase();
        form->markers().ThresholdDialClick(form.get());
        form->markers().SpectrumBoxMouseDown(form.get(), Qt::LeftButton, {}, s.marker1Pos, 10);
        for (const int x : {-20, 0, 100, 256, 511, 512, 513, 700})
            form->markers().SpectrumBoxMouseMove(form.get(), Qt::LeftButton, {}, x, 10);
        form->markers().SpectrumBoxMouseUp(form.get(), Qt::LeftButton, {}, 0, 10);

        ASSERT_GE(s.span, 9);
        ASSERT_LE(s.span, 512);
        ASSERT_GE(s.blockSize, 16);
        ASSERT_LE(s.blockSize, 512);
        ASSERT_EQ(s.blockSize & (s.blockSize - 1), 0);
        ASSERT_EQ(s.interpFactor * s.blockSize, 1024);
        ASSERT_GE(s.marker1Pos, 0);
        ASSERT_LE(s.marker1Pos, 512);
        ASSERT_GE(s.marker2Pos, 0);
        ASSERT_LE(s.marker2Pos, 512);
    }
}

}  // namespace
}  // namespace varmolen
