// The File menu's data commands: "Export Data..." writes what the display
// shows as CSV, "Export Span as WAV..." the sound of the span the display
// shows (a picture of the record, or the block shown) as a WAV file, "Record
// WAV..." and "Stop Recording" record the input to a WAV file. What they share lives in one DataCommands object, a child of the
// window named "DataCommands": the running recording and the timer that shows
// its elapsed time in the status bar and notices when it ended on its own.
// Their save dialogs ("ExportDataDialog", "ExportSpanWavDialog",
// "RecordWavDialog") are made for each
// use, opening in the folder used last, and run through function objects that
// tests replace, as the output commands' do.
//
// The save, copy and print commands do not stop acquisition while a recording
// runs (they freeze the picture instead), nor does choosing the input and
// device in force again. A recording goes on while acquisition is stopped
// and started again in the same format on the same device (a device
// restarted after a time-out): the file then runs on from the last frame
// before the stop to the first after the start, and the end of the recording
// says how many such breaks it has. A change of rate, input or device ends
// the file cleanly and says so.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "persist/ScratchFile.h"
#include "persist/WavRecorder.h"

class QFileDialog;
class QTimer;

namespace varmolen {

class TScopeForm;

// Caption of the boxes these commands show.
inline constexpr const char* kDataCaption = "Varmolen";

// The export dialog's choices in the TIME display (its file-type filters):
// the span the display shows, or the whole block.
inline constexpr const char* kExportShownSpanFilter = "CSV, the span the display shows (*.csv)";
inline constexpr const char* kExportWholeBlockFilter = "CSV, the whole block of 1024 samples (*.csv)";

class DataCommands : public QObject {
    Q_OBJECT
public:
    explicit DataCommands(TScopeForm& form);

    // File > Export Data..., Export Span as WAV..., Record WAV... and Stop Recording.
    void ExportData1Click(QObject* sender);
    void ExportSpanWav1Click(QObject* sender);
    void RecordWav1Click(QObject* sender);
    void StopRecording1Click(QObject* sender);
    // File > Recording Format's items: the format of the recordings started
    // from now on (a running one keeps its own).
    void RecordFormatItemClick(QObject* sender);
    ~DataCommands() override;

    // Run a dialog modally; return the file chosen, or empty text when the
    // user cancelled.
    std::function<QString(QFileDialog& dialog)> runExportDialog;
    std::function<QString(QFileDialog& dialog)> runRecordDialog;

    bool recording() const { return recorder_ != nullptr; }
    // The running recording's status (a default status when none runs).
    RecordingStatus recordingStatus() const;
    QString recordingPath() const;

    // Starts recording into `path` in the input's rate and channels and the
    // recording format in force; an
    // existing file there is replaced, or with Existing::Refuse never is.
    // Shows a message and returns false when it cannot.
    bool startRecording(const QString& path, WavRecorder::Existing existing = WavRecorder::Existing::Replace);
    // Ends the running recording and waits (at most WavRecorder::kFinishWaitMs)
    // for its file. `report`: show what went wrong, or was lost, in a message.
    // `why`: what ended it (the user, unless a device failure ends the program).
    void stopRecording(bool report, RecordingEnd why = RecordingEnd::Stopped);
    // Brings the status text up to date and ends a recording that ended on
    // its own, with a message. Runs on the timer while recording.
    void pollRecording();

    // "hh:mm:ss" of a frame count at a rate.
    static QString duration(std::uint64_t frames, std::uint32_t rate);

private:
    void endRecording(bool report, bool finishedInTime);
    // Export Data of a picture of the record: every frame of its span.
    void exportSpanCsv();
    // The save dialog of a span's file, then the file written through a
    // scratch file by `content`; its folder is remembered, a failure said.
    void saveSpan(const char* dialogName, const char* suffix, const char* filter, const FileContent& content);
    // Shows "There is nothing to export. <why>".
    void sayNothingToExport(const std::string& why);

    TScopeForm& form_;
    std::unique_ptr<WavRecorder> recorder_;
    QTimer* pollTimer_ = nullptr;
};

// Makes the window's DataCommands and has a device failure that ends the
// program close a running recording first.
void prepareDataCommands(TScopeForm& form);

}  // namespace varmolen
