#include "window/OutputCommands.h"

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QWidget>

#include <string>
#include <utility>

#include "persist/InstallPaths.h"
#include "persist/ScratchFile.h"
#include "window/Varmolen2.h"
#include "acquisition/AcquisitionLoop.h"
#include "display/Raster.h"
#include "panel/FrontPanel.h"
#include "window/DataCommands.h"

namespace varmolen {

// ------------------------------------------------------------ the keeper

OutputCommands::OutputCommands(TScopeForm& form) : QObject(&form), form_(form)
{
    setObjectName(QStringLiteral("OutputCommands"));
    runSaveDialog = [](QFileDialog& dialog) -> QString {
        if (dialog.exec() != QDialog::Accepted)
            return {};
        return dialog.selectedFiles().value(0);
    };
    runPrinterSetup = [this](QPrinter& printer) {
        QPrintDialog dialog(&printer, &form_);
        dialog.setObjectName(QStringLiteral("PrinterSetupDialog1"));
        return dialog.exec() == QDialog::Accepted;
    };
    openDocument = [](const QUrl& document) { return QDesktopServices::openUrl(document); };
    startProgram = [](const QString& program, const QStringList& arguments) {
        return QProcess::startDetached(program, arguments);
    };
    findProgram = [](const QString& name) { return QStandardPaths::findExecutable(name); };
}

OutputCommands::~OutputCommands() = default;

QFileDialog& OutputCommands::SaveGraphicsDialog()
{
    if (saveDialog_ == nullptr) {
        saveDialog_ = new QFileDialog(&form_);
        saveDialog_->setObjectName(QStringLiteral("SaveGraphicsDialog"));
        saveDialog_->setAcceptMode(QFileDialog::AcceptSave);
        saveDialog_->setFileMode(QFileDialog::AnyFile);
        saveDialog_->setDefaultSuffix(QStringLiteral("bmp"));
        // Every file is listed, as before; a name ending in ".png" is saved
        // as PNG, any other as BMP, and the name's label says so.
        saveDialog_->setLabelText(QFileDialog::FileName, QStringLiteral("File name (.bmp, or .png for PNG):"));
    }
    return *saveDialog_;
}

QPrinter& OutputCommands::printer()
{
    if (!printer_)
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *printer_;
}

OutputCommands& TScopeForm::output()
{
    if (outputCommands_ == nullptr)
        outputCommands_ = new OutputCommands(*this);
    return *outputCommands_;
}

// ------------------------------------------------------------ pure helpers

QString aboutText()
{
    return QStringLiteral(
        "Designed by the Varmolen bench-instrument team\n"
        "         Version 1.11 \n"
        "    2026");
}

QString withDefaultSuffix(const QString& fileName, const QString& suffix)
{
    if (fileName.isEmpty() || suffix.isEmpty())
        return fileName;
    if (!QFileInfo(fileName).suffix().isEmpty())
        return fileName;
    if (fileName.endsWith(QLatin1Char('.')))
        return fileName + suffix;
    return fileName + QLatin1Char('.') + suffix;
}

std::optional<ProgramLaunch> chooseVolumeControl(int osVariant, const std::function<QString(const QString&)>& find)
{
    const auto desktopMixer = [&]() -> std::optional<ProgramLaunch> {
        for (const char* name : {"pavucontrol", "pavucontrol-qt"}) {
            const QString path = find(QString::fromLatin1(name));
            if (!path.isEmpty())
                return ProgramLaunch{path, {}};
        }
        return std::nullopt;
    };
    const auto terminalMixer = [&]() -> std::optional<ProgramLaunch> {
        const QString mixer = find(QStringLiteral("alsamixer"));
        if (mixer.isEmpty())
            return std::nullopt;
        for (const char* name : {"x-terminal-emulator", "xterm"}) {
            const QString path = find(QString::fromLatin1(name));
            if (!path.isEmpty())
                return ProgramLaunch{path, {QStringLiteral("-e"), mixer}};
        }
        return std::nullopt;
    };
    if (osVariant == kDesktopVolumeControl) {
        if (auto choice = desktopMixer())
            return choice;
        return terminalMixer();
    }
    if (auto choice = terminalMixer())
        return choice;
    return desktopMixer();
}

QImage displayImage(const Raster& bitmap)
{
    // The words are stored as 0xFFRRGGBB (RGB32); copy() detaches the image from
    // the bitmap, which the next display pass redraws.
    const QImage view(reinterpret_cast<const uchar*>(bitmap.data()), bitmap.width(), bitmap.height(),
                      bitmap.lineBytes(), QImage::Format_RGB32);
    return view.copy();
}

QImage windowImage(TScopeForm& form)
{
    QRect client = form.rect();
    // The menu bar is the window's frame, not its client area (unless the
    // desktop shows menus elsewhere, in which case it takes no room here).
    if (const QWidget* menu = form.menuWidget(); menu != nullptr && menu->isVisibleTo(&form))
        client.setTop(menu->geometry().bottom() + 1);
    return form.grab(client).toImage();
}

const char* imageFormatFor(const QString& path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("png"), Qt::CaseInsensitive) == 0 ? "PNG" : "BMP";
}

bool writeBitmapFile(const QImage& image, const QString& path, QString& whyNot)
{
    if (image.isNull()) {
        whyNot = QStringLiteral("There is no picture to save.");
        return false;
    }
    return writeThroughScratchFile(
        path,
        [&image, &path](QFileDevice& file, QString& why) {
            if (image.save(&file, imageFormatFor(path)))
                return true;
            why = file.error() != QFileDevice::NoError ? file.errorString()
                                                       : QStringLiteral("The picture could not be written.");
            return false;
        },
        whyNot);
}

bool printImage(const QImage& image, QPrinter& printer, QString& whyNot)
{
    if (image.isNull()) {
        whyNot = QStringLiteral("There is no picture to print.");
        return false;
    }
    QPainter painter;
    if (!painter.begin(&printer)) {
        whyNot = QStringLiteral("The printer could not be started.");
        return false;
    }
    const QRect page = painter.viewport();
    const QSize size = image.size().scaled(page.size(), Qt::KeepAspectRatio);
    const QRect target(page.x() + (page.width() - size.width()) / 2, page.y(), size.width(), size.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(target, image);
    if (!painter.end() || printer.printerState() == QPrinter::Error) {
        whyNot = QStringLiteral("The printer reported an error.");
        return false;
    }
    return true;
}

// ------------------------------------------------------------ the handlers

namespace {

void reportFailure(TScopeForm& form, const QString& text)
{
    form.host().showMessage(text.toStdString(), kOutputFailureCaption);
}

// Runs the shared save dialog and writes `image` to the file chosen. The
// name is completed with the default suffix and remembered for next time.
void saveThroughDialog(TScopeForm& form, const QImage& image)
{
    OutputCommands& commands = form.output();
    QFileDialog& dialog = commands.SaveGraphicsDialog();
    QString chosen = commands.runSaveDialog(dialog);
    if (chosen.isEmpty())
        return;
    chosen = withDefaultSuffix(chosen, dialog.defaultSuffix());
    dialog.selectFile(chosen);
    QString whyNot;
    if (!writeBitmapFile(image, chosen, whyNot))
        sayFileNotWritten(form, chosen, whyNot);
}

// The save, copy and print commands work on the picture as it was when they
// were chosen. Without a WAV recording, acquisition stops for them and starts
// again at their end. While one runs, a stop would cut the file for as long
// as the command's dialog is open: the capture goes on for the recording and
// only the picture freezes (no display pass, no readout changes).
enum class CommandPause { Stopped, Frozen };

CommandPause pauseForCommand(TScopeForm& form, QObject* sender)
{
    if (form.data().recording()) {
        form.acquisition().freezePicture();
        return CommandPause::Frozen;
    }
    form.StopBtnClick(sender);
    return CommandPause::Stopped;
}

void resumeAfterCommand(TScopeForm& form, QObject* sender, CommandPause pause)
{
    if (pause == CommandPause::Frozen)
        form.acquisition().releasePicture();
    else
        form.StartBtnClick(sender);
}

// A command with acquisition paused around it, and resumed as it was.
void runPaused(TScopeForm& form, QObject* sender, const std::function<void()>& command)
{
    const CommandPause pause = pauseForCommand(form, sender);
    command();
    resumeAfterCommand(form, sender, pause);
}

void copyToClipboard(TScopeForm& form, const QImage& image)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr || image.isNull()) {
        reportFailure(form, QStringLiteral("Could not put the picture on the clipboard."));
        return;
    }
    clipboard->setImage(image);
}

}  // namespace

void sayFileNotWritten(TScopeForm& form, const QString& path, const QString& whyNot)
{
    reportFailure(form, QStringLiteral("Could not write the file %1.\n%2").arg(QDir::toNativeSeparators(path), whyNot));
}

void OutputCommands::SaveForm1Click(QObject* sender)
{
    // Taken before acquisition stops: the picture shows the window as it
    // was when the command was chosen.
    const QImage image = windowImage(form_);
    runPaused(form_, sender, [&] { saveThroughDialog(form_, image); });
}

void OutputCommands::SaveBitmap1Click(QObject* sender)
{
    runPaused(form_, sender, [&] { saveThroughDialog(form_, displayImage(form_.displayBitmap())); });
}

void OutputCommands::CopyForm1Click(QObject* sender)
{
    const QImage image = windowImage(form_);
    runPaused(form_, sender, [&] { copyToClipboard(form_, image); });
}

void OutputCommands::CopyBitmap1Click(QObject* sender)
{
    runPaused(form_, sender, [&] { copyToClipboard(form_, displayImage(form_.displayBitmap())); });
}

void OutputCommands::PrintForm1Click(QObject* sender)
{
    runPaused(form_, sender, [&] {
        QPrinter& setUp = printer();
        if (!runPrinterSetup(setUp))
            return;
        QString whyNot;
        if (!printImage(windowImage(form_), setUp, whyNot))
            reportFailure(form_, QStringLiteral("Could not print the window.\n%1").arg(whyNot));
    });
}

void OutputCommands::HelpFile1Click(QObject* /*sender*/)
{
    const QString path = QString::fromUtf8(form_.state().helpFilePath.data());
    const bool opened = !path.isEmpty() && QFileInfo::exists(path) && openDocument(QUrl::fromLocalFile(path));
    if (!opened) {
        // Without a browser the user can still open the manual by hand: say
        // where it is (or where it belongs, when it was not found).
        const QString where =
            path.isEmpty()
                ? QStringLiteral("The manual was not found; it is installed as %1.")
                      .arg(QDir::toNativeSeparators(helpFileCandidate()))
                : QStringLiteral("The manual is %1; open it with any web browser.").arg(QDir::toNativeSeparators(path));
        form_.host().showMessage(std::string(kHelpFailedText) + "\n" + where.toStdString(), "Varmolen");
    }
}

void OutputCommands::About1Click(QObject* /*sender*/)
{
    form_.host().showMessage(aboutText().toStdString(), kAboutCaption);
}

void OutputCommands::VolumeControl1Click(QObject* /*sender*/)
{
    const std::optional<ProgramLaunch> choice = chooseVolumeControl(form_.state().osVariant, findProgram);
    if (!choice || !startProgram(choice->program, choice->arguments))
        form_.host().showMessage(kVolumeFailedText, "Varmolen");
}

}  // namespace varmolen
