#include "window/DataCommands.h"

#include <QAction>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFileDevice>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QTimer>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "window/Varmolen2.h"
#include "audio/WaveInput.h"
#include "acquisition/AcquisitionLoop.h"
#include "panel/FrontPanel.h"
#include "display/DisplayPass.h"
#include "persist/ScratchFile.h"
#include "persist/SpanWav.h"
#include "window/DisplayCsv.h"
#include "window/OutputCommands.h"
#include "window/RemoteControl.h"
#include "remote/ScpiParser.h"

namespace varmolen {

namespace {

// How often the status text follows a running recording (it shows whole
// seconds) and looks whether the recording ended on its own.
constexpr int kPollMs = 1000;

QString runModal(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

// A dialog lives only while it is open: a file dialog kept afterwards goes on
// watching its folder, and a recording growing there would keep it busy.
std::unique_ptr<QFileDialog> makeSaveDialog(TScopeForm& form, const char* name, const char* suffix, const char* filter)
{
    auto dialog = std::make_unique<QFileDialog>(&form);
    dialog->setObjectName(QString::fromLatin1(name));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(QString::fromLatin1(suffix));
    dialog->setNameFilters({QString::fromLatin1(filter), QStringLiteral("All Files (*)")});
    return dialog;
}

// Opens the dialog in the folder used last (when it still exists) with a
// name made of the kind of data and the time.
void propose(QFileDialog& dialog, const std::string& lastFolder, const QString& stem, const QString& suffix)
{
    const QString folder = QString::fromStdString(lastFolder);
    dialog.setDirectory(!folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath());
    dialog.selectFile(
        QStringLiteral("%1 %2.%3")
            .arg(stem, QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh-mm-ss")), suffix));
}

// The recording format in force ([Recording] Format holds only valid ones).
RecordFormat recordFormat(const InstrumentSettings& s)
{
    const auto i = static_cast<std::int32_t>(s.features.recordFormat);
    return i >= 0 && i < kRecordFormatCount ? s.features.recordFormat : RecordFormat::Pcm16;
}

// The length limit in force, in minutes.
std::int32_t recordMinutes(const InstrumentSettings& s)
{
    return isRecordLimitMinutes(s.features.recordLimitMinutes) ? s.features.recordLimitMinutes
                                                               : kRecordLimitMinutesDefault;
}

QString limitText(std::int32_t minutes)
{
    if (minutes % 60 == 0)
        return minutes == 60 ? QStringLiteral("1 hour") : QStringLiteral("%1 hours").arg(minutes / 60);
    return minutes == 1 ? QStringLiteral("1 minute") : QStringLiteral("%1 minutes").arg(minutes);
}

QString endReason(const RecordingStatus& st, bool finishedInTime)
{
    if (!finishedInTime)
        return QStringLiteral("the disk did not answer, so the file may be incomplete");
    switch (st.end) {
        case RecordingEnd::LimitReached:
            return QStringLiteral("it reached its limit of %1").arg(DataCommands::duration(st.limitFrames, st.rate));
        case RecordingEnd::FormatChanged:
            return QStringLiteral("the input's rate, kind (microphone or line) or device changed");
        case RecordingEnd::DeviceFailed:
            return QStringLiteral("the input device failed");
        case RecordingEnd::WriteFailed:
            return QStringLiteral("the file could not be written (%1)").arg(QString::fromStdString(st.whyNot));
        case RecordingEnd::FileVanished:
            return QStringLiteral("the file was deleted while recording, so what was recorded is lost");
        case RecordingEnd::None:
        case RecordingEnd::Stopped:
            break;
    }
    return QStringLiteral("it was stopped");
}

QString secondsText(std::uint64_t frames, std::uint32_t rate)
{
    return QString::number(rate > 0 ? static_cast<double>(frames) / rate : 0.0, 'f', 2);
}

QString breakCount(std::uint32_t n) { return n == 1 ? QStringLiteral("1 break") : QStringLiteral("%1 breaks").arg(n); }

}  // namespace

// ------------------------------------------------------------ the keeper

DataCommands::DataCommands(TScopeForm& form) : QObject(&form), form_(form)
{
    setObjectName(QStringLiteral("DataCommands"));
    runExportDialog = runModal;
    runRecordDialog = runModal;
    pollTimer_ = new QTimer(this);
    pollTimer_->setInterval(kPollMs);
    connect(pollTimer_, &QTimer::timeout, this, &DataCommands::pollRecording);
}

DataCommands::~DataCommands()
{
    // The window ends a recording in FormDestroy; by the time its children go,
    // only the file is left to finish (the tap then takes nothing more).
    recorder_.reset();
}

DataCommands& TScopeForm::data()
{
    if (dataCommands_ == nullptr)
        dataCommands_ = new DataCommands(*this);
    return *dataCommands_;
}

void prepareDataCommands(TScopeForm& form)
{
    DataCommands& commands = form.data();
    // A device failure ends the program: a running recording is closed
    // first, as a valid file, and its end says where it is and what it holds
    // (the settings are saved as the window goes).
    QPointer<DataCommands> alive(&commands);
    form.host().setBeforeEnd([alive] {
        if (alive)
            alive->stopRecording(true, RecordingEnd::DeviceFailed);
    });
}

QString DataCommands::duration(std::uint64_t frames, std::uint32_t rate)
{
    const std::uint64_t seconds = rate > 0 ? frames / rate : 0;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// ------------------------------------------------------------ recording

RecordingStatus DataCommands::recordingStatus() const { return recorder_ ? recorder_->status() : RecordingStatus{}; }

QString DataCommands::recordingPath() const
{
    return recorder_ ? QString::fromStdString(recorder_->path()) : QString();
}

bool DataCommands::startRecording(const QString& path, WavRecorder::Existing existing)
{
    if (recorder_)
        return false;
    InstrumentState& s = form_.state();
    const RecordFormat fileFormat = recordFormat(s);
    const std::uint64_t limitFrames = recordLimitFrames(recordMinutes(s), s.sampleRate, s.channelCount, fileFormat);
    std::string whyNot;
    // The new file takes the chosen one's place only once the device takes
    // the recording: a start that fails leaves an existing file as it was.
    recorder_ = WavRecorder::start(QFile::encodeName(path).toStdString(), s.sampleRate, s.channelCount, limitFrames,
                                   whyNot, true, existing, fileFormat);
    if (!recorder_) {
        form_.host().showMessage(QStringLiteral("Could not record to the file %1.\n%2")
                                     .arg(QDir::toNativeSeparators(path), QString::fromStdString(whyNot))
                                     .toStdString(),
                                 kDataCaption);
        return false;
    }
    // The format in force: what the device records now, or will record at
    // its next start.
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = s.channelCount;
    format.nSamplesPerSec = s.sampleRate;
    format.nBlockAlign = static_cast<std::uint16_t>(s.channelCount * 2);
    format.nAvgBytesPerSec = s.sampleRate * format.nBlockAlign;
    format.wBitsPerSample = 16;
    if (!form_.waveInput().setRecordingTap(recorder_->tap(), static_cast<UINT>(s.waveDeviceId), format)) {
        recorder_->discard();
        recorder_.reset();
        form_.host().showMessage("The input device cannot be recorded.", kDataCaption);
        return false;
    }
    if (!recorder_->putInPlace(whyNot)) {
        form_.waveInput().clearRecordingTap();
        recorder_->discard();
        recorder_.reset();
        form_.host().showMessage(QStringLiteral("Could not record to the file %1.\n%2")
                                     .arg(QDir::toNativeSeparators(path), QString::fromStdString(whyNot))
                                     .toStdString(),
                                 kDataCaption);
        return false;
    }
    form_.controls().fileMenu.RecordWav1->setEnabled(false);
    form_.controls().fileMenu.StopRecording1->setEnabled(true);
    form_.controls().status.RecordingPanel->show();
    pollRecording();
    pollTimer_->start();
    return true;
}

void DataCommands::stopRecording(bool report, RecordingEnd why)
{
    if (!recorder_)
        return;
    // Nothing arrives once the tap is let go; the writer then empties its
    // queue and closes the file.
    form_.waveInput().clearRecordingTap();
    const bool closed = recorder_->finish(WavRecorder::kFinishWaitMs, why);
    endRecording(report, closed);
}

void DataCommands::pollRecording()
{
    if (!recorder_)
        return;
    const RecordingStatus st = recorder_->status();
    if (st.end != RecordingEnd::None && st.end != RecordingEnd::Stopped) {
        form_.waveInput().clearRecordingTap();
        const bool closed = recorder_->finish();
        endRecording(true, closed);
        return;
    }
    // The time in the file: the frames taken and the silence standing for
    // the sound the device lost.
    QString text = QStringLiteral("REC %1 / %2")
                       .arg(duration(st.framesQueued + st.framesSilence, st.rate), duration(st.limitFrames, st.rate));
    if (st.overruns > 0)
        text += QStringLiteral(", %1 s lost").arg(static_cast<double>(st.framesDropped) / st.rate, 0, 'f', 2);
    if (st.deviceBreaks > 0)
        text += QStringLiteral(", %1 (%2 s)").arg(breakCount(st.deviceBreaks), secondsText(st.framesLost, st.rate));
    form_.controls().status.RecordingPanel->setText(text);
}

void DataCommands::endRecording(bool report, bool finishedInTime)
{
    pollTimer_->stop();
    const RecordingStatus st = recorder_->status();
    const QString chosen = QDir::toNativeSeparators(QString::fromStdString(recorder_->path()));
    // Renamed or moved while recording, the file is named where it is now.
    const QString where = st.where.empty() ? chosen : QDir::toNativeSeparators(QString::fromStdString(st.where));
    const bool moved = st.end != RecordingEnd::FileVanished && where != chosen;
    const QString path = moved ? where : chosen;
    // A writer that did not finish in time keeps its own share of the
    // recording; letting go of ours is safe.
    recorder_.reset();
    form_.controls().fileMenu.RecordWav1->setEnabled(true);
    form_.controls().fileMenu.StopRecording1->setEnabled(false);
    form_.controls().status.RecordingPanel->hide();
    form_.controls().status.RecordingPanel->clear();

    const bool endedOnItsOwn = st.end != RecordingEnd::Stopped && st.end != RecordingEnd::None;
    if (!report ||
        (!endedOnItsOwn && finishedInTime && st.overruns == 0 && st.breaks == 0 && st.deviceBreaks == 0 && !moved))
        return;
    QString text = endedOnItsOwn || !finishedInTime
                       ? QStringLiteral("The recording ended: %1.").arg(endReason(st, finishedInTime))
                       : QStringLiteral("The recording was stopped.");
    if (moved)
        text += QStringLiteral("\nThe file was moved while recording: it is now %1.").arg(path);
    if (st.end != RecordingEnd::FileVanished)
        text += QStringLiteral("\nThe file %1 holds %2 of sound.").arg(path, duration(st.framesWritten, st.rate));
    const auto times = [](std::uint32_t n) {
        return n == 1 ? QStringLiteral("once") : QStringLiteral("%1 times").arg(n);
    };
    if (st.overruns > 0)
        text += QStringLiteral(
                    "\n%1 s of sound could not be kept (%2): the disk did not keep up; "
                    "the file holds silence in its place.")
                    .arg(QString::number(static_cast<double>(st.framesDropped) / st.rate, 'f', 2), times(st.overruns));
    if (st.deviceBreaks > 0) {
        text += QStringLiteral(
                    "\nThe input device lost sound %1 (%2 s in all, an overrun or a suspend); "
                    "the file holds silence in its place")
                    .arg(times(st.deviceBreaks), secondsText(st.framesLost, st.rate));
        text += st.silenceCut
                    ? QStringLiteral(", at most %1 s for one break.").arg(WavRecorder::kMaxBreakSilenceSeconds)
                    : QStringLiteral(".");
    }
    if (st.breaks > 0)
        text += QStringLiteral(
                    "\nAcquisition was stopped and started again %1 while recording; "
                    "the file runs on across the break.")
                    .arg(times(st.breaks));
    if (!endedOnItsOwn) {
        form_.host().showMessage(text.toStdString(), kDataCaption);
        return;
    }
    // A failure is an error to every remote client; an end at the limit or
    // by a change of format is news only.
    const int code = st.end == RecordingEnd::WriteFailed || st.end == RecordingEnd::FileVanished
                         ? scpi::code::kMassStorageError
                     : st.end == RecordingEnd::DeviceFailed || !finishedInTime ? scpi::code::kHardwareError
                                                                               : scpi::code::kNoError;
    announceEnd(form_, code, text.toStdString(), kDataCaption);
}

// ------------------------------------------------------------ the handlers

void DataCommands::RecordWav1Click(QObject* /*sender*/)
{
    if (recording())
        return;
    InstrumentState& s = form_.state();
    const std::unique_ptr<QFileDialog> made = makeSaveDialog(form_, "RecordWavDialog", "wav", "WAV files (*.wav)");
    QFileDialog& dialog = *made;
    // At high rates a WAV file ends before the longest limits: the title
    // then gives the length the file can hold.
    const std::int32_t minutes = recordMinutes(s);
    const std::uint64_t frames = recordLimitFrames(minutes, s.sampleRate, s.channelCount, recordFormat(s));
    const bool shortened = frames < static_cast<std::uint64_t>(minutes) * 60u * s.sampleRate;
    dialog.setWindowTitle(QStringLiteral("Record WAV (at most %1)")
                              .arg(shortened ? DataCommands::duration(frames, s.sampleRate) : limitText(minutes)));
    propose(dialog, s.features.recordFolder, QStringLiteral("Varmolen"), QStringLiteral("wav"));
    QString chosen = runRecordDialog(dialog);
    if (chosen.isEmpty())
        return;
    chosen = withDefaultSuffix(chosen, QStringLiteral("wav"));
    s.features.recordFolder = QFileInfo(chosen).absolutePath().toStdString();
    startRecording(chosen);
}

void DataCommands::StopRecording1Click(QObject* /*sender*/) { stopRecording(true); }

void DataCommands::RecordFormatItemClick(QObject* sender)
{
    const auto* item = qobject_cast<const QAction*>(sender);
    const int i = item != nullptr ? item->data().toInt() : 0;
    form_.state().features.recordFormat =
        i > 0 && i < kRecordFormatCount ? static_cast<RecordFormat>(i) : RecordFormat::Pcm16;
}

void DataCommands::sayNothingToExport(const std::string& why)
{
    form_.host().showMessage("There is nothing to export. " + why, kDataCaption);
}

void DataCommands::exportSpanCsv()
{
    InstrumentState& s = form_.state();
    std::string whyNot;
    const SampleRing* record = form_.acquisition().record();
    const SpanFrames span = spanToExport(s, record, whyNot);
    if (span.held != SpanHeld::Held) {
        sayNothingToExport(whyNot);
        return;
    }
    if (span.count > kMaxSpanCsvFrames) {
        form_.host().showMessage(spanTooLong(span.count, kMaxSpanCsvFrames), kDataCaption);
        return;
    }
    // A copy of the span, taken before the dialog opens: the record runs on
    // (and may overwrite the span) while the dialog is open, and the file
    // is written piece by piece from the copy, never held as text whole.
    const std::unique_ptr<SampleRing> copy = copySpan(*record, span);
    if (!copy) {
        form_.host().showMessage("There is not enough memory for a copy of the span shown.", kDataCaption);
        return;
    }
    const SpanCsvInput in = spanCsvInput(s, {copy.get(), 0, span.count, span.offset});
    saveSpan("ExportDataDialog", "csv", kExportShownSpanFilter, [&in](QFileDevice& file, QString& why) {
        const bool written = writeSpanCsv(in, [&file](std::string_view piece) {
            return file.write(piece.data(), static_cast<qint64>(piece.size())) == static_cast<qint64>(piece.size());
        });
        if (!written)
            why = file.errorString();
        return written;
    });
}

void DataCommands::saveSpan(const char* dialogName, const char* suffix, const char* filter, const FileContent& content)
{
    InstrumentState& s = form_.state();
    const std::unique_ptr<QFileDialog> made = makeSaveDialog(form_, dialogName, suffix, filter);
    QFileDialog& dialog = *made;
    const QString extension = QString::fromLatin1(suffix);
    propose(dialog, s.features.exportFolder, QStringLiteral("Varmolen span"), extension);
    QString chosen = runExportDialog(dialog);
    if (chosen.isEmpty())
        return;
    chosen = withDefaultSuffix(chosen, extension);
    s.features.exportFolder = QFileInfo(chosen).absolutePath().toStdString();
    QString failure;
    if (!writeThroughScratchFile(chosen, content, failure))
        sayFileNotWritten(form_, chosen, failure);
}

void DataCommands::ExportSpanWav1Click(QObject* /*sender*/)
{
    InstrumentState& s = form_.state();
    // The file is made before the dialog opens: it holds the span as it was
    // when the command was chosen, however long the dialog stays open.
    std::vector<char> bytes;
    std::string whyNot;
    if (exportsRecordSpan(s)) {
        // The channels the picture shows; a channel switched off is not
        // in the picture, so it is not in the file either.
        const std::array<bool, 2> shown{s.chan1Enabled == 1, s.chan2Enabled == 1};
        const std::uint16_t channels = shown[0] && shown[1] ? 2 : 1;
        const SampleRing* record = form_.acquisition().record();
        const SpanFrames span = spanToExport(s, record, whyNot);
        if (span.held != SpanHeld::Held) {
            sayNothingToExport(whyNot);
            return;
        }
        const auto most = static_cast<std::int64_t>(maxWavFrames(channels));
        if (span.count > most) {
            form_.host().showMessage(spanTooLong(span.count, most), kDataCaption);
            return;
        }
        if (!composeSpanWav({record, span.from, span.count, span.offset}, shown, bytes, whyNot)) {
            form_.host().showMessage("Could not make the WAV file of the span shown: " + whyNot + ".", kDataCaption);
            return;
        }
    } else {
        // The picture of one block: the block it was drawn from (the kept
        // block of a held picture), as recorded, of the channels it shows.
        const DisplayedView& v = s.displayedView;
        if ((s.keptBlocks[0].valid != 1 && s.keptBlocks[1].valid != 1) || v.sampleRate == 0) {
            sayNothingToExport("The display shows no recorded block yet.");
            return;
        }
        const std::array<bool, 2> shown{v.chan1Enabled == 1, v.chan2Enabled == 1};
        if (!shown[0] && !shown[1]) {
            sayNothingToExport("No channel is shown on the display.");
            return;
        }
        std::array<std::array<float, kBlockSamples>, 2> samples{};
        for (int c = 1; c <= 2; ++c) {
            const KeptBlock& block = keptBlockFor(s, c);
            for (std::size_t i = 0; i < static_cast<std::size_t>(kBlockSamples); ++i)
                samples[static_cast<std::size_t>(c - 1)][i] = static_cast<float>(block.recorded(c, i));
        }
        SampleRing block(kBlockSamples);
        block.restart(v.sampleRate);
        block.append(samples[0].data(), samples[1].data(), kBlockSamples, false);
        if (!composeSpanWav({&block, 0, kBlockSamples, 0}, shown, bytes, whyNot)) {
            form_.host().showMessage("Could not make the WAV file of the block shown: " + whyNot + ".", kDataCaption);
            return;
        }
    }
    saveSpan("ExportSpanWavDialog", "wav", "WAV files (*.wav)", [&bytes](QFileDevice& file, QString& why) {
        if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size()))
            return true;
        why = file.errorString();
        return false;
    });
}

void DataCommands::ExportData1Click(QObject* /*sender*/)
{
    InstrumentState& s = form_.state();
    if (exportsRecordSpan(s)) {
        exportSpanCsv();
        return;
    }
    // Composed before the dialog opens: the file holds the display as it
    // was when the command was chosen.
    std::string whyNot;
    const std::string text = composeDisplayCsv(s, whyNot, CsvExtent::ShownSpan);
    if (text.empty()) {
        form_.host().showMessage("There is nothing to export. " + whyNot, kDataCaption);
        return;
    }
    // A trace may also be exported as the whole block it was drawn from.
    const bool time = s.displayedView.displayType != kFrequencyDisplayType;
    const std::string wholeBlock = time ? composeDisplayCsv(s, whyNot, CsvExtent::WholeBlock) : std::string();
    const std::unique_ptr<QFileDialog> made = makeSaveDialog(form_, "ExportDataDialog", "csv", "CSV files (*.csv)");
    QFileDialog& dialog = *made;
    if (time) {
        dialog.setNameFilters(
            {QString::fromLatin1(kExportShownSpanFilter), QString::fromLatin1(kExportWholeBlockFilter)});
        dialog.selectNameFilter(QString::fromLatin1(kExportShownSpanFilter));
    }
    propose(dialog, s.features.exportFolder,
            time ? QStringLiteral("Varmolen trace") : QStringLiteral("Varmolen spectrum"), QStringLiteral("csv"));
    QString chosen = runExportDialog(dialog);
    if (chosen.isEmpty())
        return;
    const bool whole = time && dialog.selectedNameFilter() == QString::fromLatin1(kExportWholeBlockFilter);
    chosen = withDefaultSuffix(chosen, QStringLiteral("csv"));
    s.features.exportFolder = QFileInfo(chosen).absolutePath().toStdString();
    QString failure;
    if (!writeTextFile(QByteArray::fromStdString(whole ? wholeBlock : text), chosen, failure))
        sayFileNotWritten(form_, chosen, failure);
}

}  // namespace varmolen
