// Varmolen.ini: what a user or a script writes there comes back as the
// feature settings, anything unusable gives that key's default, and a write
// round-trips without touching anything else in the directory.
#include <gtest/gtest.h>

#include <string>

#include <QFile>
#include <QDir>
#include <QTemporaryDir>

#include "persist/FeatureSettingsFile.h"

using namespace varmolen;

namespace {

FeatureSettings readText(const QTemporaryDir& dir, const QByteArray& text)
{
    const QString path = dir.filePath(QStringLiteral("Varmolen.ini"));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
    f.close();
    return readFeatureSettings(path);
}

}  // namespace

TEST(FeatureSettingsFile, ReadsWhatUsersWriteAndFallsBackPerKey)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const FeatureSettings defaults;
    EXPECT_EQ(readFeatureSettings(dir.filePath(QStringLiteral("missing.ini"))), defaults);
    EXPECT_EQ(readFeatureSettings(dir.path()), defaults);  // a directory is no settings file

    FeatureSettings set = readText(dir,
                                   "[Measure]\nShown=true\nFullScaleVolts1=1.5\nFullScaleVolts2=0\n"
                                   "[Spectrum]\nAverage=16\nPeakHold=1\nLength=65536\nWindow=Hann\nScale=LOG\n"
                                   "Unit=dBu\nBands=3\nWeighting=a\n"
                                   "[Folders]\nExport=/tmp/a b\nRecording=/tmp/r\n"
                                   "[Recording]\nLimitMinutes=5\nFormat= Float\n"
                                   "[Display]\nSize=Large\nAxisLabels=false\nFitWidth=1400\nFitHeight=1000\n"
                                   "[Acquisition]\nSampleRate= 96000\nMemorySeconds=600\nPrecision=Float\n"
                                   "[TimeBase]\nPerDiv=0.002\nMode=Roll\nPosition=0.25\n"
                                   "[Trigger]\nSweep=normal\nHoldoff=0.5\n"
                                   "[Remote]\nEnabled=true\nPort=5555\nListen= ::1 \nIdleSeconds=0\n"
                                   "OpcTimeoutSeconds=5\nFilesFolder=/srv/takes\n");
    EXPECT_TRUE(set.measureShown);
    EXPECT_DOUBLE_EQ(set.fullScaleVolts[0], 1.5);
    EXPECT_DOUBLE_EQ(set.fullScaleVolts[1], 0.0);
    EXPECT_EQ(set.spectrumAverage, 16);
    EXPECT_TRUE(set.peakHold);
    EXPECT_EQ(set.analyser.length, 65536);
    EXPECT_EQ(set.analyser.window, AnalysisWindow::Hann);
    EXPECT_TRUE(set.analyser.logFrequency);
    EXPECT_EQ(set.analyser.unit, kDbuUnit);
    EXPECT_EQ(set.analyser.bands, 3);
    EXPECT_EQ(set.analyser.weighting, Weighting::A);
    EXPECT_EQ(set.exportFolder, "/tmp/a b");
    EXPECT_EQ(set.recordFolder, "/tmp/r");
    EXPECT_EQ(set.recordLimitMinutes, 5);
    EXPECT_EQ(set.recordFormat, RecordFormat::Float32);
    EXPECT_EQ(set.displaySize, kLargeDisplaySize);
    EXPECT_EQ(set.axisLabels, kAxisLabelsOff);
    EXPECT_FALSE(axisLabelsShown(set));
    EXPECT_EQ(set.fitWidth, 1400);
    EXPECT_EQ(set.fitHeight, 1000);
    EXPECT_EQ(set.sampleRate, 96000u);
    EXPECT_EQ(set.memorySeconds, 600);
    EXPECT_EQ(set.precision, kPrecisionFloat);
    EXPECT_DOUBLE_EQ(set.timePerDiv, 0.002);
    EXPECT_EQ(set.timeBaseMode, kRollTimeBase);
    EXPECT_DOUBLE_EQ(set.triggerPosition, 0.25);
    EXPECT_EQ(set.triggerSweep, kNormalSweep);
    EXPECT_DOUBLE_EQ(set.holdoffSeconds, 0.5);
    EXPECT_TRUE(set.remoteEnabled);
    EXPECT_EQ(set.remotePort, 5555);
    EXPECT_EQ(set.remoteListen, "::1");
    EXPECT_EQ(set.remoteIdleSeconds, 0);
    EXPECT_EQ(set.remoteOpcTimeoutSeconds, 5);
    EXPECT_EQ(set.remoteFilesFolder, "/srv/takes");

    // Each unusable value gives its own default and leaves the others alone.
    const struct {
        const char* text;
        const char* what;
    } bad[] = {
        {"[Measure]\nShown=yes please\n", "a flag that is neither true nor false"},
        {"[Measure]\nFullScaleVolts1=-2\n", "negative volts"},
        {"[Measure]\nFullScaleVolts1=nan\n", "not a number"},
        {"[Measure]\nFullScaleVolts1=1e9\n", "absurd volts"},
        {"[Measure]\nFullScaleVolts2=0.0000001\n", "volts below a millivolt"},
        {"[Spectrum]\nAverage=5\n", "an average the menu does not offer"},
        {"[Recording]\nLimitMinutes=0\n", "a recording that could never begin"},
        {"[Recording]\nLimitMinutes=361\n", "a recording longer than a WAV file can describe"},
        {"[Recording]\nFormat=32\n", "a format the menu does not offer"},
        {"[Display]\nSize=huge\n", "a size the menu does not offer"},
        {"[Display]\nAxisLabels=sometimes\n", "labels neither on nor off"},
        {"[Display]\nFitWidth=-3\nFitHeight=900\n", "a window of negative width"},
        {"[Display]\nFitWidth=1200\n", "a window without a height"},
        {"[Acquisition]\nSampleRate=12000\n", "a rate the Sample Rate menu does not offer"},
        {"[Acquisition]\nSampleRate=-48000\n", "a negative rate"},
        {"[Acquisition]\nSampleRate=48000 Hz\n", "a rate with its unit"},
        {"[Acquisition]\nMemorySeconds=0\n", "a record of nothing"},
        {"[Acquisition]\nMemorySeconds=601\n", "a record longer than ten minutes"},
        {"[Acquisition]\nPrecision=32\n", "a precision the menu does not offer"},
        {"[TimeBase]\nPerDiv=0.003\n", "a time a division that is no 1-2-5 step"},
        {"[TimeBase]\nPerDiv=100\n", "a time a division no record can hold"},
        {"[TimeBase]\nMode=sideways\n", "a mode that does not exist"},
        {"[TimeBase]\nPosition=1.5\n", "a trigger point after the span"},
        {"[Trigger]\nSweep=single\n", "Single, which the settings record keeps"},
        {"[Trigger]\nHoldoff=-1\n", "a negative holdoff"},
        {"[Remote]\nPort=0\n", "no port"},
        {"[Remote]\nPort=65536\n", "a port beyond 16 bits"},
        {"[Remote]\nListen=localhost\n", "a name, not an address"},
        {"[Remote]\nListen=256.1.1.1\n", "no IPv4 address"},
        {"[Remote]\nIdleSeconds=-1\n", "a negative idle time"},
        {"[Remote]\nOpcTimeoutSeconds=0\n", "a wait that gives up before it starts"},
        {"[Remote]\nOpcTimeoutSeconds=3601\n", "a wait longer than an hour"},
        {"[Spectrum]\nLength=3000\n", "a length that is no power of two"},
        {"[Spectrum]\nLength=524288\n", "a length beyond the longest"},
        {"[Spectrum]\nWindow=kaiser\n", "a window the menu does not offer"},
        {"[Spectrum]\nStart=5000\nStop=1000\n", "a start above the stop"},
        {"[Spectrum]\nRange=0\n", "a level axis of no height"},
        {"[Spectrum]\nBands=2\n", "half-octave bands"},
        {"\x01\x02\xff\xfe garbage [[[ ===\n\x00\x00", "bytes that are no INI text"},
    };
    for (const auto& b : bad)
        EXPECT_EQ(readText(dir, QByteArray(b.text)), defaults) << b.what;
}

TEST(FeatureSettingsFile, WriteReadsBackAndLeavesTheSettingsRecordAlone)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString cfg = dir.filePath(QStringLiteral("Varmolen.cfg"));
    QFile record(cfg);
    ASSERT_TRUE(record.open(QIODevice::WriteOnly));
    const QByteArray bytes(118, '\x5a');
    record.write(bytes);
    record.close();

    FeatureSettings f;
    f.measureShown = true;
    f.fullScaleVolts = {0.775, 12.0};
    f.spectrumAverage = 64;
    f.peakHold = true;
    f.exportFolder = "/home/user/exports";
    f.recordFolder = "/home/user/wav";
    f.recordLimitMinutes = 360;
    f.recordFormat = RecordFormat::Pcm24;
    f.displaySize = kFitDisplaySize;
    f.axisLabels = kAxisLabelsOn;
    f.fitWidth = 1500;
    f.fitHeight = 1001;
    f.sampleRate = 192000;
    f.memorySeconds = 1;
    f.timePerDiv = 50.0;
    f.timeBaseMode = kMainTimeBase;
    f.triggerPosition = 1.0;
    f.triggerSweep = kNormalSweep;
    f.holdoffSeconds = 10.0;
    f.remoteEnabled = true;
    f.remotePort = 65535;
    f.remoteListen = "0.0.0.0";
    f.remoteIdleSeconds = 7 * 24 * 3600;
    f.remoteOpcTimeoutSeconds = 1;
    f.remoteFilesFolder = "/home/user/remote takes";
    f.analyser = {.length = 262144,
                  .window = AnalysisWindow::FlatTop,
                  .logFrequency = true,
                  .startHz = 20.0,
                  .stopHz = 20000.0,
                  .unit = kDbfsPerHzUnit,
                  .topDb = -20.0,
                  .rangeDb = 160.0,
                  .bands = 12,
                  .weighting = Weighting::C,
                  .spectrogram = true};
    const QString ini = dir.filePath(QStringLiteral("Varmolen.ini"));
    ASSERT_TRUE(writeFeatureSettings(ini, f));
    EXPECT_EQ(readFeatureSettings(ini), f);
    ASSERT_TRUE(writeFeatureSettings(ini, FeatureSettings{}));
    EXPECT_EQ(readFeatureSettings(ini), FeatureSettings{});

    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    EXPECT_EQ(record.readAll(), bytes);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2) << "no scratch file left behind";
}

TEST(FeatureSettingsFile, GeneratorAndSweepKeysReadBackAndFallBackPerKey)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const FeatureSettings defaults;
    EXPECT_FALSE(defaults.generatorOnAtStart) << "the generator never plays at start unless asked";
    const FeatureSettings set = readText(dir,
                                         "[Generator]\nWaveform=Pink\nFrequency=997.5\nLevelDbfs=-3.25\n"
                                         "Channels=right\nInvertRight=true\nDevice=plughw:CARD=PCH,DEV=0\n"
                                         "OnAtStart=1\n[Sweep]\nStart=10\nStop=40000\nStepsPerOctave=12\n"
                                         "LevelDbfs=-6\nChannel=2\nType=log\nSeconds=12.5\nReference=saved\n"
                                         "Smoothing=6\nCalibration=/home/bench/loopback.txt\n");
    EXPECT_EQ(set.generator, (SynthSettings{SynthWaveform::PinkNoise, 997.5, -3.25, SynthChannels::Right, true}));
    EXPECT_EQ(set.generatorDevice, "plughw:CARD=PCH,DEV=0");
    EXPECT_TRUE(set.generatorOnAtStart);
    EXPECT_EQ(set.sweep,
              (SweepPlan{.startHz = 10, .stopHz = 40000, .stepsPerOctave = 12, .levelDbfs = -6, .channel = 2}));
    EXPECT_EQ(set.sweepType, kLogSweep);
    EXPECT_EQ(set.sweepSeconds, 12.5);
    EXPECT_EQ(set.sweepReference, kSweepReferenceSaved);
    EXPECT_EQ(set.sweepSmoothing, 6);
    EXPECT_EQ(set.sweepCalibration, "/home/bench/loopback.txt");
    const QString ini = dir.filePath(QStringLiteral("Varmolen.ini"));
    ASSERT_TRUE(writeFeatureSettings(ini, set));
    EXPECT_EQ(readFeatureSettings(ini), set);

    const struct {
        std::string text;
        const char* what;
    } bad[] = {
        {"[Generator]\nWaveform=chirp\n", "a waveform the generator does not play"},
        {"[Generator]\nFrequency=0.5\n", "below 1 Hz"},
        {"[Generator]\nFrequency=inf\n", "no frequency"},
        {"[Generator]\nLevelDbfs=3\n", "above full scale"},
        {"[Generator]\nLevelDbfs=-101\n", "below the lowest level"},
        {"[Generator]\nChannels=centre\n", "no such channel"},
        {"[Generator]\nOnAtStart=maybe\n", "a switch that is neither on nor off"},
        {"[Sweep]\nStepsPerOctave=0\n", "no steps"},
        {"[Sweep]\nStepsPerOctave=2.5\n", "a fraction of a step"},
        {"[Sweep]\nChannel=3\n", "a channel the instrument lacks"},
        {"[Sweep]\nStop=-20\n", "a negative frequency"},
        {"[Sweep]\nType=chirp\n", "a kind of sweep the instrument lacks"},
        {"[Sweep]\nSeconds=0.1\n", "a log sweep shorter than the shortest"},
        {"[Sweep]\nSeconds=31\n", "a log sweep longer than the longest"},
        {"[Sweep]\nReference=ch3\n", "a reference channel the instrument lacks"},
        {"[Sweep]\nSmoothing=5\n", "a smoothing not offered"},
        {"[Sweep]\nCalibration=" + std::string(5000, 'a') + "\n", "a path longer than any path"},
    };
    for (const auto& b : bad)
        EXPECT_EQ(readText(dir, QByteArray::fromStdString(b.text)), defaults) << b.what;
}
