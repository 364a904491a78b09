// The remote commands that read: the measurement strip's readings (the
// intermodulation reading with its method), the last block's samples,
// pictures of the display and the window, and the WAV recording.
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>

#include "window/RemoteCommands.h"
#include "window/DataCommands.h"
#include "window/MeasureControls.h"
#include "window/OutputCommands.h"
#include "window/Varmolen2.h"
#include "acquisition/AcquisitionLoop.h"
#include "display/MeasurementReadouts.h"
#include "dsp/Calibration.h"
#include "dsp/SampleRing.h"
#include "dsp/SpectrumAnalysis.h"
#include "display/RecordTraces.h"
#include "state/ShownSpan.h"
#include "remote/ScpiSession.h"

namespace varmolen {

namespace {

using scpi::Call;

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

// How a level reading answers: as the strip shows it (volts on a calibrated
// channel, % of full scale otherwise), or in dBFS.
enum class LevelUnit { Shown, Dbfs };

double levelAnswer(const ChannelReadings& r, LevelKind kind, LevelUnit unit, double fullScaleVolts)
{
    const std::optional<LevelValue> v = readingLevel(r, kind);
    if (!v)
        return kNotANumber;
    if (unit == LevelUnit::Dbfs)
        return v->ratio != 0.0 ? 20.0 * std::log10(std::abs(v->ratio)) : kNotANumber;
    if (const std::optional<double> volts = channelVolts(v->codes, fullScaleVolts))
        return *volts;
    return v->ratio * 100.0;
}

// A distortion ratio in % or in dB.
double distortionAnswer(bool valid, double ratio, bool decibels)
{
    if (!valid)
        return kNotANumber;
    if (decibels)
        return ratio > 0.0 ? 20.0 * std::log10(ratio) : kNotANumber;
    return ratio * 100.0;
}

// The noise beside a tone in dBFS, unweighted or A-weighted.
double noiseAnswer(const ToneReading& tone, bool recorded, bool weighted)
{
    const double power = weighted ? tone.noisePowerA : tone.noisePower;
    if (!recorded || !tone.valid || !tone.noiseValid || !(power > 0.0))
        return kNotANumber;
    return powerDbfs(power);
}

// A reading of the measurement strip, for one channel.
using Reading = double (*)(const ChannelReadings& r, double fullScaleVolts);

struct ReadingRow {
    const char* pattern;
    Reading read;
};

template <LevelKind kind, LevelUnit unit>
double levelReading(const ChannelReadings& r, double fullScaleVolts)
{
    return levelAnswer(r, kind, unit, fullScaleVolts);
}

const ReadingRow kReadings[] = {
    {"MEASure:FREQuency?",
     [](const ChannelReadings& r, double) { return r.recorded && r.frequency.valid ? r.frequency.hz : kNotANumber; }},
    {"MEASure:PERiod?", [](const ChannelReadings& r,
                           double) { return r.recorded && r.frequency.valid ? 1.0 / r.frequency.hz : kNotANumber; }},
    {"MEASure:PTPeak?", &levelReading<LevelKind::PeakToPeak, LevelUnit::Shown>},
    {"MEASure:PTPeak:DBFS?", &levelReading<LevelKind::PeakToPeak, LevelUnit::Dbfs>},
    {"MEASure:MAXimum?", &levelReading<LevelKind::Maximum, LevelUnit::Shown>},
    {"MEASure:MAXimum:DBFS?", &levelReading<LevelKind::Maximum, LevelUnit::Dbfs>},
    {"MEASure:MINimum?", &levelReading<LevelKind::Minimum, LevelUnit::Shown>},
    {"MEASure:MINimum:DBFS?", &levelReading<LevelKind::Minimum, LevelUnit::Dbfs>},
    {"MEASure:MEAN?", &levelReading<LevelKind::DcMean, LevelUnit::Shown>},
    {"MEASure:MEAN:DBFS?", &levelReading<LevelKind::DcMean, LevelUnit::Dbfs>},
    {"MEASure:RMS?", &levelReading<LevelKind::Rms, LevelUnit::Shown>},
    {"MEASure:RMS:DBFS?", &levelReading<LevelKind::Rms, LevelUnit::Dbfs>},
    {"MEASure:OVERload?",
     [](const ChannelReadings& r, double) { return r.recorded ? (r.overload ? 1.0 : 0.0) : kNotANumber; }},
    {"MEASure:PEAK:FREQuency?",
     [](const ChannelReadings& r, double) { return r.recorded && r.tone.valid ? r.tone.hz : kNotANumber; }},
    {"MEASure:PEAK:LEVel?", &levelReading<LevelKind::Tone, LevelUnit::Shown>},
    {"MEASure:PEAK:LEVel:DBFS?", &levelReading<LevelKind::Tone, LevelUnit::Dbfs>},
    {"MEASure:THD?", [](const ChannelReadings& r,
                        double) { return distortionAnswer(r.recorded && r.tone.thdValid, r.tone.thd, false); }},
    {"MEASure:THD:DB?", [](const ChannelReadings& r,
                           double) { return distortionAnswer(r.recorded && r.tone.thdValid, r.tone.thd, true); }},
    {"MEASure:THDN?", [](const ChannelReadings& r,
                         double) { return distortionAnswer(r.recorded && r.tone.thdNValid, r.tone.thdN, false); }},
    {"MEASure:THDN:DB?", [](const ChannelReadings& r,
                            double) { return distortionAnswer(r.recorded && r.tone.thdNValid, r.tone.thdN, true); }},
    {"MEASure:NOISe?", [](const ChannelReadings& r, double) { return noiseAnswer(r.tone, r.recorded, false); }},
    {"MEASure:NOISe:A?", [](const ChannelReadings& r, double) { return noiseAnswer(r.tone, r.recorded, true); }},
    {"MEASure:SNR?",
     [](const ChannelReadings& r, double) { return r.recorded && r.tone.snrValid ? r.tone.snrDb : kNotANumber; }},
    {"MEASure:DRANge?",
     [](const ChannelReadings& r, double) {
         return r.recorded && r.tone.dynamicRangeValid ? r.tone.dynamicRangeDb : kNotANumber;
     }},
};

// The block a held picture of the channel was drawn from; nothing while the
// display follows the live signal (or holds nothing for the channel).
const KeptBlock* heldBlock(TScopeForm& form, std::int32_t channel)
{
    const InstrumentState& s = form.state();
    const KeptBlock& kept = s.keptBlocks[static_cast<std::size_t>(channel - 1)];
    const bool held = s.displayHold == 1 || form.acquisition().pictureFrozen();
    return held && kept.valid == 1 ? &kept : nullptr;
}

// The points of a channel that WAVeform:DATA? sends: the span of the
// picture of the record shown, or the block (the held one while the display
// holds it), every `step`-th frame where the span has more than the points
// asked for.
struct WaveformPoints {
    std::int64_t count = 0;                   // frames in the span
    std::int64_t step = 1;                    // frames from one point sent to the next
    std::uint32_t rate = 0;                   // Hz
    std::function<float(std::int64_t)> code;  // frame i of the span, as recorded (codes)

    std::int64_t sent() const { return (count + step - 1) / step; }
};

// The widest a number sent as text is, with its comma.
constexpr int kAsciiPointBytes = 24;
// WAVeform:POINts takes at most this many.
constexpr double kMaxWaveformPoints = 1e9;

// What WAVeform:DATA? sends now; nothing, with the error reported, when no
// block was recorded yet or the record no longer holds the span of a held
// picture.
std::optional<WaveformPoints> waveformPoints(TScopeForm& form, const RemoteChoices& choices, Call& call)
{
    const InstrumentState& s = form.state();
    const std::int32_t ch = choices.waveformSource;
    WaveformPoints points;
    if (recordPictureShown(s)) {
        const SampleRing* ring = form.acquisition().record();
        const SpanFrames span = ring != nullptr ? shownSpanFrames(s.recordPicture, *ring) : SpanFrames{};
        if (span.held != SpanHeld::Held) {
            call.fail(scpi::code::kDataStale, span.held == SpanHeld::NoLongerHeld
                                                  ? "the record no longer holds the span shown"
                                                  : "no picture of the record taken yet");
            return std::nullopt;
        }
        points.count = span.count;
        points.rate = s.recordPicture.rate;
        points.code = [ring, ch, from = span.from](std::int64_t i) { return ring->at(ch, from + i); };
    } else {
        const KeptBlock* kept = heldBlock(form, ch);
        if (kept == nullptr && form.acquisition().blocksCompleted() == 0) {
            call.fail(scpi::code::kDataStale, "no block recorded yet");
            return std::nullopt;
        }
        points.count = static_cast<std::int64_t>(kBlockSamples);
        points.rate = kept != nullptr ? kept->sampleRate : s.sampleRate;
        const std::int32_t* live = s.samples(ch).data();
        const auto dc = static_cast<std::int32_t>(s.dcLevel(ch));
        points.code = [kept, live, dc, ch](std::int64_t i) {
            const auto at = static_cast<std::size_t>(i);
            return static_cast<float>(kept != nullptr ? kept->recorded(ch, at) : live[at] + dc);
        };
    }
    if (choices.waveformPoints > 0 && points.count > choices.waveformPoints)
        points.step = (points.count + choices.waveformPoints - 1) / choices.waveformPoints;
    return points;
}

// The PNG of an image, as bytes.
std::string pngOf(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG", 80);
    return bytes.toStdString();
}

}  // namespace

QString remoteFilesFolder(const FeatureSettings& f)
{
    const std::string& chosen = !f.remoteFilesFolder.empty() ? f.remoteFilesFolder : f.recordFolder;
    return chosen.empty() ? QDir::homePath() : QString::fromStdString(chosen);
}

QString remoteFolderFile(const FeatureSettings& f, const std::string& name, const char* extension, RemoteFileUse use,
                         int& error, std::string& whyNot)
{
    error = scpi::code::kFileNameError;
    // A plain name with the file's extension: nothing that leads out of the folder.
    const std::size_t tail = std::char_traits<char>::length(extension);
    const bool typed =
        name.size() > tail && QString::fromStdString(name.substr(name.size() - tail)).toLower() == extension;
    if (name.find('/') != std::string::npos || name.find("..") != std::string::npos || !typed ||
        name.size() > kMaxRemoteFileName) {
        whyNot = std::string("a plain name ending in ") + extension + ", without / or .. (at most 255 bytes)";
        return {};
    }
    const QString folder = remoteFilesFolder(f);
    if (!QFileInfo(folder).isDir()) {
        error = scpi::code::kFileNameNotFound;
        whyNot = "no folder " + folder.toStdString();
        return {};
    }
    const QString file = QDir(folder).filePath(QString::fromStdString(name));
    const QFileInfo info(file);
    if (use == RemoteFileUse::Create) {
        // A name that is taken, even by a link that points nowhere.
        if (info.exists() || info.isSymLink()) {
            whyNot = WavRecorder::kExistsReason;
            return {};
        }
    } else if (!info.isFile() || info.isSymLink()) {
        // Only a file of the folder itself is read, never one a link leads to.
        error = scpi::code::kFileNameNotFound;
        whyNot = "no file " + name + " in " + folder.toStdString();
        return {};
    }
    return file;
}

QString remoteRecordingFile(const FeatureSettings& f, const std::string& name, int& error, std::string& whyNot)
{
    return remoteFolderFile(f, name, ".wav", RemoteFileUse::Create, error, whyNot);
}

void addDataCommands(scpi::CommandTable& table, TScopeForm& form, RemoteChoices& choices)
{
    InstrumentState& s = form.state();
    for (const ReadingRow& row : kReadings)
        table.add(row.pattern, 1, [&form, &s, read = row.read](Call& call) {
            if (const auto ch = call.channel(0))
                call.replyNumber(read(form.measure().currentReadings(*ch),
                                      s.features.fullScaleVolts[static_cast<std::size_t>(*ch - 1)]));
        });
    // Intermodulation in % (or dB) and the method it was read by:
    // "0.0123,SMPTE"; "9.91E37,NONE" where the strip shows "?".
    for (const bool decibels : {false, true})
        table.add(decibels ? "MEASure:IMD:DB?" : "MEASure:IMD?", 1, [&form, decibels](Call& call) {
            if (const auto ch = call.channel(0)) {
                const ChannelReadings& r = form.measure().currentReadings(*ch);
                const bool valid = r.recorded && r.imd.valid;
                call.replyNumber(distortionAnswer(valid, r.imd.ratio, decibels));
                call.reply(imdMethodName(valid ? r.imd.method : ImdMethod::None));
            }
        });
    table.add({
        {"WAVeform:SOURce", 1,
         [&choices](Call& call) {
             if (const auto ch = call.channel(0))
                 choices.waveformSource = *ch;
         }},
        {"WAVeform:SOURce?", 0, [&choices](Call& call) { call.reply(choices.waveformSource == 1 ? "CH1" : "CH2"); }},
        // The shown span (the last block, or the one a held picture was
        // drawn from; or the span of the record the picture shows), as
        // recorded, in the format chosen: one definite-length block of
        // little-endian 16-bit codes or 32-bit floats, or numbers as text.
        {"WAVeform:DATA?", 0,
         [&form, &choices](Call& call) {
             const std::optional<WaveformPoints> points = waveformPoints(form, choices, call);
             if (!points)
                 return;
             const std::int64_t sent = points->sent();
             const std::size_t bytesEach = choices.waveformFormat == WaveformFormat::Word   ? 2
                                           : choices.waveformFormat == WaveformFormat::Real ? 4
                                                                                            : kAsciiPointBytes;
             if (static_cast<double>(sent) * static_cast<double>(bytesEach) + 16 > scpi::kMaxAnswerBytes) {
                 call.fail(scpi::code::kTooMuchData,
                           std::to_string(sent) + " points: ask for fewer with WAVeform:POINts");
                 return;
             }
             std::string bytes;
             bytes.reserve(static_cast<std::size_t>(sent) * bytesEach);
             for (std::int64_t k = 0; k < sent; ++k) {
                 const float code = points->code(k * points->step);
                 switch (choices.waveformFormat) {
                     case WaveformFormat::Word: {
                         const auto v = static_cast<std::uint16_t>(
                             static_cast<std::int16_t>(std::clamp(std::lround(code), -32768L, 32767L)));
                         bytes.push_back(static_cast<char>(v & 0xff));
                         bytes.push_back(static_cast<char>(v >> 8));
                         break;
                     }
                     case WaveformFormat::Real: {
                         const auto v = std::bit_cast<std::uint32_t>(static_cast<float>(code / kFullScaleCode));
                         for (int b = 0; b < 4; ++b)
                             bytes.push_back(static_cast<char>((v >> (8 * b)) & 0xff));
                         break;
                     }
                     case WaveformFormat::Ascii: {
                         char text[kAsciiPointBytes];
                         const int n =
                             std::snprintf(text, sizeof text, "%s%.7g", k == 0 ? "" : ",", code / kFullScaleCode);
                         bytes.append(text, static_cast<std::size_t>(std::clamp(n, 0, kAsciiPointBytes - 1)));
                         break;
                     }
                 }
             }
             if (choices.waveformFormat == WaveformFormat::Ascii)
                 call.reply(bytes);
             else
                 call.replyBlock(bytes);
         }},
        // Points, seconds between them, volts per unit sent (9.91E37 where
        // not calibrated), the fraction of full scale per unit sent (a code
        // in WORD, 1 in REAL and ASCii), the sample rate and the channel.
        {"WAVeform:PREamble?", 0,
         [&form, &s, &choices](Call& call) {
             const std::optional<WaveformPoints> points = waveformPoints(form, choices, call);
             if (!points)
                 return;
             const std::int32_t ch = choices.waveformSource;
             const double fullScale = s.features.fullScaleVolts[static_cast<std::size_t>(ch - 1)];
             const double perUnit = choices.waveformFormat == WaveformFormat::Word ? 1.0 / kFullScaleCode : 1.0;
             call.replyNumber(static_cast<double>(points->sent()));
             call.replyNumber(points->rate > 0 ? static_cast<double>(points->step) / points->rate : kNotANumber);
             call.replyNumber(channelVolts(perUnit * kFullScaleCode, fullScale).value_or(kNotANumber));
             call.replyNumber(perUnit);
             call.replyNumber(points->rate);
             call.reply(ch == 1 ? "CH1" : "CH2");
         }},
        {"WAVeform:FORMat", 1,
         [&choices](Call& call) {
             if (const auto i = call.choice(0, {"WORD", "REAL", "ASCii"}))
                 choices.waveformFormat = static_cast<WaveformFormat>(*i);
         }},
        {"WAVeform:FORMat?", 0,
         [&choices](Call& call) {
             call.reply(choices.waveformFormat == WaveformFormat::Word   ? "WORD"
                        : choices.waveformFormat == WaveformFormat::Real ? "REAL"
                                                                         : "ASC");
         }},
        // The most points WAVeform:DATA? sends (MAXimum: all the span has); a
        // longer span sends every n-th frame, n the least that keeps within them.
        {"WAVeform:POINts", 1,
         [&choices](Call& call) {
             if (call.parameterCount() > 0 && scpi::matchesChoice(call.parameter(0), "MAXimum")) {
                 choices.waveformPoints = 0;
                 return;
             }
             if (const auto n = call.number(0, 1.0, kMaxWaveformPoints))
                 choices.waveformPoints = static_cast<std::int64_t>(std::llround(*n));
         }},
        // The points WAVeform:DATA? would send now.
        {"WAVeform:POINts?", 0,
         [&form, &choices](Call& call) {
             if (const std::optional<WaveformPoints> points = waveformPoints(form, choices, call))
                 call.replyNumber(static_cast<double>(points->sent()));
         }},
        // The samples in the span shown, a channel's.
        {"ACQuire:POINts?", 0,
         [&form](Call& call) {
             RemoteChoices all;
             if (const std::optional<WaveformPoints> points = waveformPoints(form, all, call))
                 call.replyNumber(static_cast<double>(points->count));
         }},
        {"DISPlay:DATA?", 1,
         [&form](Call& call) {
             const auto which =
                 call.parameterCount() == 0 ? std::optional<std::size_t>(0) : call.choice(0, {"DISPlay", "WINDow"});
             if (which)
                 call.replyBlock(pngOf(*which == 0 ? displayImage(form.displayBitmap()) : windowImage(form)));
         }},
        // Recording, as File > Record WAV after its dialog, and Stop
        // Recording: into a new file of the remote files folder only.
        {"RECord[:STARt]", 1,
         [&form](Call& call) {
             const auto name = call.string(0);
             if (!name)
                 return;
             DataCommands& commands = form.data();
             if (commands.recording()) {
                 call.fail(scpi::code::kSettingsConflict, "a recording runs");
                 return;
             }
             int error = scpi::code::kNoError;
             std::string whyNot;
             const QString file = remoteRecordingFile(form.state().features, *name, error, whyNot);
             if (file.isEmpty()) {
                 call.fail(error, whyNot);
                 return;
             }
             // What cannot start says why in the message the window would
             // show, which becomes this client's error.
             commands.startRecording(file, WavRecorder::Existing::Refuse);
         }},
        {"RECord:STOP", 0, [&form](Call&) { form.data().StopRecording1Click(nullptr); }},
        {"RECord[:STATe]?", 0, [&form](Call& call) { call.reply(form.data().recording() ? "1" : "0"); }},
    });
}

}  // namespace varmolen
