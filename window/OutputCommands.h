// The File and Help commands of the main window: save or copy the whole
// window or only the display, print the window, open the user's manual, show
// the about box and start the desktop's volume control.
//
// What the commands share across uses lives in one OutputCommands object, a
// child of the window named "OutputCommands": the save dialog that both save
// commands run (so it proposes the last name chosen), the printer, and the
// ways the commands reach the desktop. Each of those ways is a function object
// that does the real thing by default (a modal dialog, the desktop's browser,
// a detached program); tests replace them to stand in for the user and the
// desktop without blocking.
#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QFileDialog;
class QPrinter;

namespace varmolen {

class Raster;
class TScopeForm;

// Texts of the commands, used exactly.
inline constexpr const char* kAboutCaption = "About Varmolen";
inline constexpr const char* kHelpFailedText = "Could not run the help application";
inline constexpr const char* kVolumeFailedText = "Could not run the Volume Control";
// Caption of the boxes that report a file, clipboard or printer failure.
inline constexpr const char* kOutputFailureCaption = "Varmolen";

class OutputCommands : public QObject {
    Q_OBJECT
public:
    explicit OutputCommands(TScopeForm& form);
    ~OutputCommands() override;

    // File > Save, Copy and Print; Help.
    void SaveForm1Click(QObject* sender);
    void SaveBitmap1Click(QObject* sender);
    void CopyForm1Click(QObject* sender);
    void CopyBitmap1Click(QObject* sender);
    void PrintForm1Click(QObject* sender);
    void HelpFile1Click(QObject* sender);
    void About1Click(QObject* sender);
    void VolumeControl1Click(QObject* sender);

    // The one save dialog of both save commands: saving, default suffix
    // "bmp", no filter, no title of its own; a name ending in ".png" saves a
    // PNG file. Made on first use.
    QFileDialog& SaveGraphicsDialog();
    // The printer the set-up dialog configures; kept, so the next print
    // starts from the last choice.
    QPrinter& printer();

    // Runs the save dialog modally; returns the file chosen, or an empty
    // text when the user cancelled.
    std::function<QString(QFileDialog& dialog)> runSaveDialog;
    // Runs the printer set-up dialog modally; true when the user confirmed.
    std::function<bool(QPrinter& printer)> runPrinterSetup;
    // Opens a document with the desktop's default application; true when the
    // desktop took it.
    std::function<bool(const QUrl& document)> openDocument;
    // Starts a program on its own; true when it started.
    std::function<bool(const QString& program, const QStringList& arguments)> startProgram;
    // Full path of an installed program found on the search path, or empty.
    std::function<QString(const QString& name)> findProgram;

private:
    TScopeForm& form_;
    QFileDialog* saveDialog_ = nullptr;
    std::unique_ptr<QPrinter> printer_;
};

// The three lines of the about box.
QString aboutText();

// A file name as the save dialog would complete it: the suffix is appended
// when the name has none.
QString withDefaultSuffix(const QString& fileName, const QString& suffix);

// The volume control to start: for osVariant 1 the desktop's mixer, for any
// other value a terminal running the ALSA mixer; each falls back to the other
// kind when its own is not installed. nullopt when nothing usable is found.
struct ProgramLaunch {
    QString program;
    QStringList arguments;
};
std::optional<ProgramLaunch> chooseVolumeControl(int osVariant, const std::function<QString(const QString&)>& find);

// The display bitmap as an image of its own (513 x 343), independent of the
// bitmap's memory.
QImage displayImage(const Raster& bitmap);

// The window's client area as it is shown: everything below the menu bar,
// front panel and status bar included.
QImage windowImage(TScopeForm& form);

// The picture format a save writes: "PNG" for a name ending in ".png" (any
// case), "BMP" for every other name.
const char* imageFormatFor(const QString& path);

// Writes an image as a BMP file, or a PNG file when the name asks for one,
// through a scratch file renamed into place (writeThroughScratchFile), so a
// failed write leaves any earlier file as it was. On failure `whyNot` says
// what went wrong.
bool writeBitmapFile(const QImage& image, const QString& path, QString& whyNot);

// Says in a box, under kOutputFailureCaption, that the file the user chose
// could not be written and why: the one failure message of every command
// that saves a file (the pictures and the exported data alike).
void sayFileNotWritten(TScopeForm& form, const QString& path, const QString& whyNot);

// Prints an image scaled to fit the printer's page, keeping its proportions,
// centred at the top of the page.
bool printImage(const QImage& image, QPrinter& printer, QString& whyNot);

}  // namespace varmolen
