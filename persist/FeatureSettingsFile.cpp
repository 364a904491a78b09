#include "persist/FeatureSettingsFile.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "persist/InstallPaths.h"
#include "persist/ConfigFile.h"
#include "audio/SampleRates.h"
#include "dsp/LogSweep.h"
#include "dsp/TimeBase.h"

namespace varmolen {

namespace {

// The keys, in one place for the reader and the writer.
constexpr const char* kShown = "Measure/Shown";
constexpr const char* kFullScaleVolts[2] = {"Measure/FullScaleVolts1", "Measure/FullScaleVolts2"};
constexpr const char* kAverage = "Spectrum/Average";
constexpr const char* kPeakHold = "Spectrum/PeakHold";
constexpr const char* kExportFolder = "Folders/Export";
constexpr const char* kRecordFolder = "Folders/Recording";
constexpr const char* kRecordLimit = "Recording/LimitMinutes";
constexpr const char* kRecordFormat = "Recording/Format";
constexpr const char* kDisplaySize = "Display/Size";
constexpr const char* kAxisLabels = "Display/AxisLabels";
constexpr const char* kFitWidth = "Display/FitWidth";
constexpr const char* kFitHeight = "Display/FitHeight";
// The words of [Display] Size, by kNormalDisplaySize, kLargeDisplaySize, kFitDisplaySize.
constexpr const char* kSizeWords[] = {"normal", "large", "fit"};
// A window side at fit: no smaller than nothing, no larger than any screen.
constexpr int kFitSideMax = 16384;
constexpr const char* kSampleRate = "Acquisition/SampleRate";
constexpr const char* kMemorySeconds = "Acquisition/MemorySeconds";
constexpr const char* kPerDiv = "TimeBase/PerDiv";
constexpr const char* kTimeBaseMode = "TimeBase/Mode";
constexpr const char* kPrecision = "Acquisition/Precision";
constexpr std::array<const char*, 3> kPrecisionWords = {"16", "24", "float"};
constexpr const char* kTriggerPosition = "TimeBase/Position";
constexpr const char* kTriggerSweep = "Trigger/Sweep";
constexpr const char* kHoldoff = "Trigger/Holdoff";
constexpr std::array<const char*, 3> kModeWords = {"auto", "main", "roll"};
constexpr std::array<const char*, 2> kSweepWords = {"auto", "normal"};
constexpr const char* kRemoteEnabled = "Remote/Enabled";
constexpr const char* kRemotePort = "Remote/Port";
constexpr const char* kRemoteListen = "Remote/Listen";
constexpr const char* kRemoteIdle = "Remote/IdleSeconds";
constexpr const char* kRemoteOpcTimeout = "Remote/OpcTimeoutSeconds";
constexpr const char* kRemoteFiles = "Remote/FilesFolder";
constexpr const char* kGenWaveform = "Generator/Waveform";
constexpr const char* kGenFrequency = "Generator/Frequency";
constexpr const char* kGenLevel = "Generator/LevelDbfs";
constexpr const char* kGenChannels = "Generator/Channels";
constexpr const char* kGenInvertRight = "Generator/InvertRight";
constexpr const char* kGenDevice = "Generator/Device";
constexpr const char* kGenOnAtStart = "Generator/OnAtStart";
constexpr const char* kSweepStart = "Sweep/Start";
constexpr const char* kSweepStop = "Sweep/Stop";
constexpr const char* kSweepSteps = "Sweep/StepsPerOctave";
constexpr const char* kSweepLevel = "Sweep/LevelDbfs";
constexpr const char* kSweepChannel = "Sweep/Channel";
constexpr const char* kSweepType = "Sweep/Type";
constexpr const char* kSweepSeconds = "Sweep/Seconds";
constexpr const char* kSweepReference = "Sweep/Reference";
constexpr const char* kSweepSmoothing = "Sweep/Smoothing";
constexpr const char* kSweepCalibration = "Sweep/Calibration";
constexpr const char* kAnalyserLength = "Spectrum/Length";
constexpr const char* kAnalyserWindow = "Spectrum/Window";
constexpr const char* kAnalyserScale = "Spectrum/Scale";
constexpr const char* kAnalyserStart = "Spectrum/Start";
constexpr const char* kAnalyserStop = "Spectrum/Stop";
constexpr const char* kAnalyserUnit = "Spectrum/Unit";
constexpr const char* kAnalyserTop = "Spectrum/Top";
constexpr const char* kAnalyserRange = "Spectrum/Range";
constexpr const char* kAnalyserBands = "Spectrum/Bands";
constexpr const char* kAnalyserWeighting = "Spectrum/Weighting";
constexpr const char* kSpectrogram = "Display/Spectrogram";
constexpr std::array<const char*, kAnalysisWindowCount> kWindowWords = {"specified", "rectangular", "hann",
                                                                        "blackmanharris", "flattop"};
constexpr std::array<const char*, 2> kScaleWords = {"lin", "log"};
constexpr std::array<const char*, kLevelUnitCount> kUnitWords = {"dbfs", "dbv", "dbu", "dbfs/hz"};
constexpr std::array<const char*, 3> kWeightingWords = {"z", "a", "c"};

// "true"/"false" (any case) or 1/0; anything else is not a flag.
bool readFlag(const QSettings& ini, const char* key, bool fallback)
{
    const QString text = ini.value(QLatin1String(key)).toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return fallback;
}

// Text as written: an unquoted value with commas (an ALSA device name such
// as plughw:CARD=PCH,DEV=0) is read whole, not as a list.
QString readText(const QSettings& ini, const char* key)
{
    const QVariant v = ini.value(QLatin1String(key));
    return v.typeId() == QMetaType::QStringList ? v.toStringList().join(QLatin1Char(',')) : v.toString();
}

// A number within [low, high], or the fallback.
double readNumber(const QSettings& ini, const char* key, double low, double high, double fallback)
{
    bool ok = false;
    const double v = ini.value(QLatin1String(key)).toString().trimmed().toDouble(&ok);
    return ok && std::isfinite(v) && v >= low && v <= high ? v : fallback;
}

// A whole number within [low, high], or the fallback.
int readWhole(const QSettings& ini, const char* key, int low, int high, int fallback)
{
    bool ok = false;
    const int v = ini.value(QLatin1String(key)).toString().trimmed().toInt(&ok);
    return ok && v >= low && v <= high ? v : fallback;
}

// The index of one of `names` (any case), or the fallback.
template <std::size_t N>
int readName(const QSettings& ini, const char* key, const std::array<const char*, N>& names, int fallback)
{
    const QString text = ini.value(QLatin1String(key)).toString().trimmed();
    for (std::size_t i = 0; i < N; ++i)
        if (text.compare(QLatin1String(names[i]), Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return fallback;
}

void readGeneratorAndSweep(const QSettings& ini, FeatureSettings& f)
{
    const FeatureSettings d;
    SynthSettings& g = f.generator;
    g.waveform = static_cast<SynthWaveform>(
        readName(ini, kGenWaveform, kSynthWaveformNames, static_cast<int>(d.generator.waveform)));
    g.hz = readNumber(ini, kGenFrequency, kSynthMinHz, kSettingsMaxHz, d.generator.hz);
    g.levelDbfs = readNumber(ini, kGenLevel, kSynthMinDbfs, kSynthMaxDbfs, d.generator.levelDbfs);
    g.channels = static_cast<SynthChannels>(
        readName(ini, kGenChannels, kSynthChannelNames, static_cast<int>(d.generator.channels)));
    g.invertRight = readFlag(ini, kGenInvertRight, d.generator.invertRight);
    f.generatorDevice = readText(ini, kGenDevice).trimmed().toStdString();
    f.generatorOnAtStart = readFlag(ini, kGenOnAtStart, false);
    SweepPlan& p = f.sweep;
    p.startHz = readNumber(ini, kSweepStart, kSynthMinHz, kSettingsMaxHz, d.sweep.startHz);
    p.stopHz = readNumber(ini, kSweepStop, kSynthMinHz, kSettingsMaxHz, d.sweep.stopHz);
    p.stepsPerOctave =
        readWhole(ini, kSweepSteps, kSweepMinStepsPerOctave, kSweepMaxStepsPerOctave, d.sweep.stepsPerOctave);
    p.levelDbfs = readNumber(ini, kSweepLevel, kSynthMinDbfs, kSynthMaxDbfs, d.sweep.levelDbfs);
    p.channel = readWhole(ini, kSweepChannel, 1, 2, d.sweep.channel);
    f.sweepType = readName(ini, kSweepType, kSweepTypeNames, d.sweepType);
    f.sweepSeconds = readNumber(ini, kSweepSeconds, kLogSweepMinSeconds, kLogSweepMaxSeconds, d.sweepSeconds);
    f.sweepReference = readName(ini, kSweepReference, kSweepReferenceNames, d.sweepReference);
    const int smoothing = readWhole(ini, kSweepSmoothing, 0, 48, d.sweepSmoothing);
    f.sweepSmoothing = isSweepSmoothing(smoothing) ? smoothing : d.sweepSmoothing;
    // A path, bounded as any path the system takes.
    const QString calibration = readText(ini, kSweepCalibration);
    f.sweepCalibration = calibration.size() <= 4096 ? calibration.toStdString() : std::string();
}

void writeGeneratorAndSweep(QSettings& ini, const FeatureSettings& f)
{
    const SynthSettings& g = f.generator;
    ini.setValue(QLatin1String(kGenWaveform), QLatin1String(kSynthWaveformNames[static_cast<std::size_t>(g.waveform)]));
    ini.setValue(QLatin1String(kGenFrequency), g.hz);
    ini.setValue(QLatin1String(kGenLevel), g.levelDbfs);
    ini.setValue(QLatin1String(kGenChannels), QLatin1String(kSynthChannelNames[static_cast<std::size_t>(g.channels)]));
    ini.setValue(QLatin1String(kGenInvertRight), g.invertRight);
    ini.setValue(QLatin1String(kGenDevice), QString::fromStdString(f.generatorDevice));
    ini.setValue(QLatin1String(kGenOnAtStart), f.generatorOnAtStart);
    ini.setValue(QLatin1String(kSweepStart), f.sweep.startHz);
    ini.setValue(QLatin1String(kSweepStop), f.sweep.stopHz);
    ini.setValue(QLatin1String(kSweepSteps), f.sweep.stepsPerOctave);
    ini.setValue(QLatin1String(kSweepLevel), f.sweep.levelDbfs);
    ini.setValue(QLatin1String(kSweepChannel), f.sweep.channel);
    ini.setValue(QLatin1String(kSweepType), QLatin1String(kSweepTypeNames[static_cast<std::size_t>(f.sweepType)]));
    ini.setValue(QLatin1String(kSweepSeconds), f.sweepSeconds);
    ini.setValue(QLatin1String(kSweepReference),
                 QLatin1String(kSweepReferenceNames[static_cast<std::size_t>(f.sweepReference)]));
    ini.setValue(QLatin1String(kSweepSmoothing), f.sweepSmoothing);
    ini.setValue(QLatin1String(kSweepCalibration), QString::fromStdString(f.sweepCalibration));
}

// Pictures of the record: each key falls back on its own; a time a
// division must be one of the 1-2-5 steps.
void readTimeBase(const QSettings& ini, FeatureSettings& f)
{
    const double perDiv = readNumber(ini, kPerDiv, 0.0, kTimeBaseLongestStep, 0.0);
    f.timePerDiv = isTimeBaseStep(perDiv) ? perDiv : 0.0;
    f.timeBaseMode = readName(ini, kTimeBaseMode, kModeWords, kAutoTimeBase);
    f.triggerPosition = readNumber(ini, kTriggerPosition, 0.0, 1.0, 0.0);
    f.triggerSweep = readName(ini, kTriggerSweep, kSweepWords, kAutoSweep);
    f.holdoffSeconds = readNumber(ini, kHoldoff, 0.0, kHoldoffMaxSeconds, 0.0);
}

// Written once they differ from what a missing key gives.
void writeTimeBase(QSettings& ini, const FeatureSettings& f)
{
    if (f.timePerDiv != 0.0)
        ini.setValue(QLatin1String(kPerDiv), f.timePerDiv);
    if (f.timeBaseMode == kMainTimeBase || f.timeBaseMode == kRollTimeBase)
        ini.setValue(QLatin1String(kTimeBaseMode), QLatin1String(kModeWords[static_cast<std::size_t>(f.timeBaseMode)]));
    if (f.triggerPosition != 0.0)
        ini.setValue(QLatin1String(kTriggerPosition), f.triggerPosition);
    if (f.triggerSweep == kNormalSweep)
        ini.setValue(QLatin1String(kTriggerSweep), QLatin1String(kSweepWords[1]));
    if (f.holdoffSeconds != 0.0)
        ini.setValue(QLatin1String(kHoldoff), f.holdoffSeconds);
}

// The analyser: each key falls back on its own default; a start at or above
// the stop leaves both unset.
void readAnalyser(const QSettings& ini, AnalyserSettings& a)
{
    const AnalyserSettings d;
    const int length = readWhole(ini, kAnalyserLength, kAnalysisMinLength, kAnalysisMaxLength, d.length);
    a.length = isAnalysisLength(length) ? length : d.length;
    a.window = static_cast<AnalysisWindow>(readName(ini, kAnalyserWindow, kWindowWords, 0));
    a.logFrequency = readName(ini, kAnalyserScale, kScaleWords, 0) == 1;
    a.startHz = readNumber(ini, kAnalyserStart, 0.0, kSettingsMaxHz, 0.0);
    a.stopHz = readNumber(ini, kAnalyserStop, 0.0, kSettingsMaxHz, 0.0);
    if (a.stopHz != 0.0 && a.startHz >= a.stopHz) {
        a.startHz = 0.0;
        a.stopHz = 0.0;
    }
    a.unit = readName(ini, kAnalyserUnit, kUnitWords, kDbfsUnit);
    a.topDb = readNumber(ini, kAnalyserTop, kLevelTopMin, kLevelTopMax, d.topDb);
    a.rangeDb = readNumber(ini, kAnalyserRange, kLevelRangeMin, kLevelRangeMax, d.rangeDb);
    const int bands = readWhole(ini, kAnalyserBands, 0, 12, 0);
    a.bands = std::find(kOctaveFractions.begin(), kOctaveFractions.end(), bands) != kOctaveFractions.end() ? bands : 0;
    a.weighting = static_cast<Weighting>(readName(ini, kAnalyserWeighting, kWeightingWords, 0));
    a.spectrogram = readFlag(ini, kSpectrogram, false);
}

// Written once they differ from what a missing key gives.
void writeAnalyser(QSettings& ini, const AnalyserSettings& a)
{
    const AnalyserSettings d;
    if (a.length != d.length)
        ini.setValue(QLatin1String(kAnalyserLength), a.length);
    if (a.window != d.window)
        ini.setValue(QLatin1String(kAnalyserWindow), QLatin1String(kWindowWords[static_cast<std::size_t>(a.window)]));
    if (a.logFrequency)
        ini.setValue(QLatin1String(kAnalyserScale), QLatin1String(kScaleWords[1]));
    if (a.startHz != 0.0)
        ini.setValue(QLatin1String(kAnalyserStart), a.startHz);
    if (a.stopHz != 0.0)
        ini.setValue(QLatin1String(kAnalyserStop), a.stopHz);
    if (a.unit != d.unit)
        ini.setValue(QLatin1String(kAnalyserUnit), QLatin1String(kUnitWords[static_cast<std::size_t>(a.unit)]));
    if (a.topDb != d.topDb)
        ini.setValue(QLatin1String(kAnalyserTop), a.topDb);
    if (a.rangeDb != d.rangeDb)
        ini.setValue(QLatin1String(kAnalyserRange), a.rangeDb);
    if (a.bands != d.bands)
        ini.setValue(QLatin1String(kAnalyserBands), a.bands);
    if (a.weighting != d.weighting)
        ini.setValue(QLatin1String(kAnalyserWeighting),
                     QLatin1String(kWeightingWords[static_cast<std::size_t>(a.weighting)]));
    if (a.spectrogram)
        ini.setValue(QLatin1String(kSpectrogram), true);
}

}  // namespace

QString featureSettingsPath() { return installDirectory() + QStringLiteral("/Varmolen.ini"); }

FeatureSettings readFeatureSettings(const QString& path)
{
    FeatureSettings f;
    if (!isReadableFile(QFile::encodeName(path).toStdString()))
        return f;
    const QSettings ini(path, QSettings::IniFormat);
    f.measureShown = readFlag(ini, kShown, false);
    for (int ch = 0; ch < 2; ++ch) {
        bool ok = false;
        const double volts = ini.value(QLatin1String(kFullScaleVolts[ch])).toString().trimmed().toDouble(&ok);
        f.fullScaleVolts[ch] = ok && isUsableFullScaleVolts(volts) ? volts : 0.0;
    }
    bool ok = false;
    const int average = ini.value(QLatin1String(kAverage)).toString().trimmed().toInt(&ok);
    f.spectrumAverage = ok && isSpectrumAverage(average) ? average : 0;
    f.peakHold = readFlag(ini, kPeakHold, false);
    f.exportFolder = ini.value(QLatin1String(kExportFolder)).toString().toStdString();
    f.recordFolder = ini.value(QLatin1String(kRecordFolder)).toString().toStdString();
    const int limit = ini.value(QLatin1String(kRecordLimit)).toString().trimmed().toInt(&ok);
    f.recordLimitMinutes = ok && isRecordLimitMinutes(limit) ? limit : kRecordLimitMinutesDefault;
    f.recordFormat = static_cast<RecordFormat>(readName(ini, kRecordFormat, kRecordFormatWords, 0));
    const QString size = ini.value(QLatin1String(kDisplaySize)).toString().trimmed().toLower();
    for (int i = 0; i < 3; ++i) {
        if (size == QLatin1String(kSizeWords[i]))
            f.displaySize = i;
    }
    if (ini.contains(QLatin1String(kAxisLabels))) {
        const QString text = ini.value(QLatin1String(kAxisLabels)).toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("1"))
            f.axisLabels = kAxisLabelsOn;
        else if (text == QLatin1String("false") || text == QLatin1String("0"))
            f.axisLabels = kAxisLabelsOff;
    }
    const int width = ini.value(QLatin1String(kFitWidth)).toString().trimmed().toInt(&ok);
    const bool widthOk = ok && width > 0 && width <= kFitSideMax;
    const int height = ini.value(QLatin1String(kFitHeight)).toString().trimmed().toInt(&ok);
    if (widthOk && ok && height > 0 && height <= kFitSideMax) {
        f.fitWidth = width;
        f.fitHeight = height;
    }
    const uint rate = ini.value(QLatin1String(kSampleRate)).toString().trimmed().toUInt(&ok);
    f.sampleRate = ok && isSampleRate(rate) ? rate : 0;
    f.memorySeconds = readWhole(ini, kMemorySeconds, kMemorySecondsMin, kMemorySecondsMax, kMemorySecondsDefault);
    f.precision = readName(ini, kPrecision, kPrecisionWords, kPrecision16);
    readTimeBase(ini, f);
    f.remoteEnabled = readFlag(ini, kRemoteEnabled, false);
    const int port = ini.value(QLatin1String(kRemotePort)).toString().trimmed().toInt(&ok);
    f.remotePort = ok && isRemotePort(port) ? port : kRemotePortDefault;
    const std::string listen = ini.value(QLatin1String(kRemoteListen)).toString().trimmed().toStdString();
    f.remoteListen = isRemoteListenAddress(listen) ? listen : std::string(kRemoteListenDefault);
    const int idle = ini.value(QLatin1String(kRemoteIdle)).toString().trimmed().toInt(&ok);
    f.remoteIdleSeconds = ok && idle >= 0 && idle <= kRemoteIdleSecondsMax ? idle : kRemoteIdleSecondsDefault;
    const int opc = ini.value(QLatin1String(kRemoteOpcTimeout)).toString().trimmed().toInt(&ok);
    f.remoteOpcTimeoutSeconds =
        ok && opc >= 1 && opc <= kRemoteOpcTimeoutSecondsMax ? opc : kRemoteOpcTimeoutSecondsDefault;
    f.remoteFilesFolder = ini.value(QLatin1String(kRemoteFiles)).toString().toStdString();
    readGeneratorAndSweep(ini, f);
    readAnalyser(ini, f.analyser);
    return f;
}

bool writeFeatureSettings(const QString& path, const FeatureSettings& f)
{
    if (path.isEmpty())
        return false;
    // QSettings writes its own file in place; it composes the text in a
    // scratch file here, which then replaces the real one in one rename.
    const QTemporaryDir scratch;
    if (!scratch.isValid())
        return false;
    const QString draft = scratch.filePath(QStringLiteral("Varmolen.ini"));
    {
        QSettings ini(draft, QSettings::IniFormat);
        ini.setValue(QLatin1String(kShown), f.measureShown);
        for (int ch = 0; ch < 2; ++ch)
            ini.setValue(QLatin1String(kFullScaleVolts[ch]), f.fullScaleVolts[ch]);
        ini.setValue(QLatin1String(kAverage), f.spectrumAverage);
        ini.setValue(QLatin1String(kPeakHold), f.peakHold);
        ini.setValue(QLatin1String(kExportFolder), QString::fromStdString(f.exportFolder));
        ini.setValue(QLatin1String(kRecordFolder), QString::fromStdString(f.recordFolder));
        ini.setValue(QLatin1String(kRecordLimit), f.recordLimitMinutes);
        // Written once the user chose a format finer than 16 bits.
        if (f.recordFormat != RecordFormat::Pcm16)
            ini.setValue(QLatin1String(kRecordFormat),
                         QLatin1String(kRecordFormatWords[static_cast<std::size_t>(f.recordFormat)]));
        if (f.displaySize >= kNormalDisplaySize && f.displaySize <= kFitDisplaySize)
            ini.setValue(QLatin1String(kDisplaySize), QLatin1String(kSizeWords[f.displaySize]));
        // Absent, the labels follow the size; written only once the user chose.
        if (f.axisLabels != kAxisLabelsBySize)
            ini.setValue(QLatin1String(kAxisLabels), f.axisLabels == kAxisLabelsOn);
        if (f.fitWidth > 0 && f.fitHeight > 0) {
            ini.setValue(QLatin1String(kFitWidth), f.fitWidth);
            ini.setValue(QLatin1String(kFitHeight), f.fitHeight);
        }
        if (f.sampleRate != 0)
            ini.setValue(QLatin1String(kSampleRate), f.sampleRate);
        if (f.memorySeconds != kMemorySecondsDefault)
            ini.setValue(QLatin1String(kMemorySeconds), f.memorySeconds);
        if (f.precision == kPrecision24 || f.precision == kPrecisionFloat)
            ini.setValue(QLatin1String(kPrecision),
                         QLatin1String(kPrecisionWords[static_cast<std::size_t>(f.precision)]));
        writeTimeBase(ini, f);
        ini.setValue(QLatin1String(kRemoteEnabled), f.remoteEnabled);
        ini.setValue(QLatin1String(kRemotePort), f.remotePort);
        ini.setValue(QLatin1String(kRemoteListen), QString::fromStdString(f.remoteListen));
        // Written once they differ from what a missing key gives.
        if (f.remoteIdleSeconds != kRemoteIdleSecondsDefault)
            ini.setValue(QLatin1String(kRemoteIdle), f.remoteIdleSeconds);
        if (f.remoteOpcTimeoutSeconds != kRemoteOpcTimeoutSecondsDefault)
            ini.setValue(QLatin1String(kRemoteOpcTimeout), f.remoteOpcTimeoutSeconds);
        if (!f.remoteFilesFolder.empty())
            ini.setValue(QLatin1String(kRemoteFiles), QString::fromStdString(f.remoteFilesFolder));
        writeGeneratorAndSweep(ini, f);
        writeAnalyser(ini, f.analyser);
        ini.sync();
        if (ini.status() != QSettings::NoError)
            return false;
    }
    QFile composed(draft);
    if (!composed.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = composed.readAll();
    std::string whyNot;
    return writeFileAtomically(
        QFile::encodeName(path).toStdString(),
        {reinterpret_cast<const std::uint8_t*>(text.constData()), static_cast<std::size_t>(text.size())}, whyNot);
}

}  // namespace varmolen
