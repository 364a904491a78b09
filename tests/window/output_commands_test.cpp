// The File and Help commands on the offscreen platform: saving, copying and
// printing the window and the display, the help document, the about box and
// the volume control. Dialogs and the desktop are stood in for through the
// window's OutputCommands, so nothing waits for a user.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTimer>

#include <map>

#include "WindowTestFolders.h"
#include "window/Varmolen2.h"
#include "tests/ScopeFormSpy.h"
#include "acquisition/AcquisitionLoop.h"
#include "tests/support/MemoryWaveInput.h"
#include "window/OutputCommands.h"

namespace varmolen {

using test::SpyScopeForm;
namespace {

class OutputCommandsTest : public test::WindowTestFolders {
protected:
    void SetUp() override
    {
        WindowTestFolders::SetUp();
        ASSERT_TRUE(outDir.isValid());
        form = std::make_unique<SpyScopeForm>(devices);
        form->host().setRecordOnly(true);
        // Nothing starts on its own while a test runs.
        form->controls().run.StartTimer->stop();
        form->controls().run.TimeoutTimer->stop();
        commands = &form->output();
    }
    void TearDown() override
    {
        form.reset();
        WindowTestFolders::TearDown();
    }

    // The save dialog answers with `name` (empty: cancelled) and remembers
    // what it proposed when it was run.
    void answerSaveDialogWith(const QString& name)
    {
        commands->runSaveDialog = [this, name](QFileDialog& dialog) {
            ++dialogRuns;
            proposed = dialog.selectedFiles().value(0);
            return name;
        };
    }
    const auto& messages() const { return form->host().recordedMessages(); }

    // A recognisable picture in the display bitmap.
    void paintDisplay()
    {
        Raster& r = form->displayBitmap();
        r.setPenColor(colour::kWhite);
        r.setBrushColor(colour::kWhite);
        r.Rectangle(0, 0, 513, 343);
        r.setPenColor(colour::kRed);
        r.setBrushColor(colour::kBlue);
        r.Rectangle(10, 20, 110, 70);
    }

    QTemporaryDir outDir;
    MemoryWaveInput devices;
    std::unique_ptr<SpyScopeForm> form;
    OutputCommands* commands = nullptr;
    int dialogRuns = 0;
    QString proposed;
};

TEST_F(OutputCommandsTest, SaveBitmapWritesExactlyTheDisplayAsBmp)
{
    paintDisplay();
    const QString path = outDir.filePath("display.bmp");
    answerSaveDialogWith(path);
    form->output().SaveBitmap1Click(form->controls().fileMenu.SaveBitmap1);

    ASSERT_TRUE(messages().empty());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(2), QByteArray("BM"));
    file.close();
    QImage back(path, "BMP");
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.size(), QSize(513, 343));
    EXPECT_EQ(back.pixelColor(0, 0), QColor(255, 255, 255));
    EXPECT_EQ(back.pixelColor(10, 20), QColor(255, 0, 0));       // pen outline, red
    EXPECT_EQ(back.pixelColor(50, 40), QColor(0, 0, 255));       // brush, blue
    EXPECT_EQ(back.pixelColor(110, 40), QColor(255, 255, 255));  // right edge exclusive
    EXPECT_EQ(back.pixelColor(512, 342), QColor(255, 255, 255));
    // Acquisition stopped for the dialog and started again.
    EXPECT_EQ(form->stopRuns(), 1);
    EXPECT_EQ(form->startRuns(), 1);
    EXPECT_TRUE(form->acquisition().running());
}

TEST_F(OutputCommandsTest, SaveFormWritesTheWholeClientArea)
{
    form->show();
    const QString path = outDir.filePath("window.bmp");
    answerSaveDialogWith(path);
    form->output().SaveForm1Click(form->controls().fileMenu.SaveForm1);

    ASSERT_TRUE(messages().empty());
    QImage back(path, "BMP");
    ASSERT_FALSE(back.isNull());
    // Everything below the menu bar: as wide as the window, taller than
    // the display and the front panel around it.
    EXPECT_EQ(back.width(), form->width());
    const int menuHeight = form->menuWidget() != nullptr ? form->menuWidget()->height() : 0;
    EXPECT_EQ(back.height(), form->height() - menuHeight);
    EXPECT_GT(back.height(), 343);
    EXPECT_GT(back.width(), 513);
    // The front panel is in it: the navy panel at the bottom left of the
    // central area, as the window shows it.
    const QRect central = form->centralWidget()->geometry().translated(0, -menuHeight);
    EXPECT_EQ(back.pixelColor(central.left() + 2, central.bottom() - 1), QColor(0, 0, 128));
    EXPECT_EQ(form->stopRuns(), 1);
    EXPECT_EQ(form->startRuns(), 1);
}

TEST_F(OutputCommandsTest, SharedDialogCompletesTheSuffixAndProposesTheLastName)
{
    QFileDialog& dialog = commands->SaveGraphicsDialog();
    EXPECT_EQ(dialog.objectName(), "SaveGraphicsDialog");
    EXPECT_EQ(dialog.defaultSuffix(), "bmp");
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_TRUE(dialog.nameFilters().isEmpty() || dialog.nameFilters() == QStringList{"All Files (*)"});

    // Typed without a suffix: the file gets ".bmp".
    answerSaveDialogWith(outDir.filePath("trace"));
    form->output().SaveBitmap1Click(form->controls().fileMenu.SaveBitmap1);
    EXPECT_TRUE(QFile::exists(outDir.filePath("trace.bmp")));
    EXPECT_FALSE(QFile::exists(outDir.filePath("trace")));

    // The other save command runs the same dialog, which proposes that name.
    answerSaveDialogWith(QString());
    form->output().SaveForm1Click(form->controls().fileMenu.SaveForm1);
    EXPECT_EQ(dialogRuns, 2);
    EXPECT_EQ(QFileInfo(proposed).fileName(), "trace.bmp");
    EXPECT_EQ(&form->output().SaveGraphicsDialog(), &dialog);

    // A name with its own suffix keeps it.
    answerSaveDialogWith(outDir.filePath("shot.png.bmp"));
    form->output().SaveBitmap1Click(form->controls().fileMenu.SaveBitmap1);
    EXPECT_TRUE(QFile::exists(outDir.filePath("shot.png.bmp")));
    EXPECT_TRUE(messages().empty());
}

TEST_F(OutputCommandsTest, DefaultSuffixRule)
{
    EXPECT_EQ(withDefaultSuffix("/tmp/a", "bmp"), "/tmp/a.bmp");
    EXPECT_EQ(withDefaultSuffix("/tmp/a.", "bmp"), "/tmp/a.bmp");
    EXPECT_EQ(withDefaultSuffix("/tmp/a.BMP", "bmp"), "/tmp/a.BMP");
    EXPECT_EQ(withDefaultSuffix("/tmp/x.y/a", "bmp"), "/tmp/x.y/a.bmp");
    EXPECT_EQ(withDefaultSuffix("/tmp/a.png", "bmp"), "/tmp/a.png");
    EXPECT_EQ(withDefaultSuffix("", "bmp"), "");
}

TEST_F(OutputCommandsTest, CancelledSaveWritesNothingAndStillRestarts)
{
    answerSaveDialogWith(QString());
    form->output().SaveBitmap1Click(form->controls().fileMenu.SaveBitmap1);
    form->output().SaveForm1Click(form->controls().fileMenu.SaveForm1);
    EXPECT_EQ(dialogRuns, 2);
    EXPECT_TRUE(QDir(outDir.path()).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(form->stopRuns(), 2);
    EXPECT_EQ(form->startRuns(), 2);
}

TEST_F(OutputCommandsTest, UnwritableFileIsReportedAndKeepsTheOldFile)
{
    // A directory that does not exist.
    answerSaveDialogWith(outDir.filePath("missing/display.bmp"));
    form->output().SaveBitmap1Click(form->controls().fileMenu.SaveBitmap1);
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_NE(messages()[0].first.find("Could not write the file"), std::string::npos);
    EXPECT_EQ(messages()[0].second, kOutputFailureCaption);
    // The program goes on: acquisition was started again.
    EXPECT_EQ(form->startRuns(), 1);

    // A file in a directory that cannot be written: the old file stays.
    const QString lockedDir = outDir.filePath("locked");
    ASSERT_TRUE(QDir().mkpath(lockedDir));
    const QString old = lockedDir + "/old.bmp";
    {
        QFile f(old);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("previous picture");
    }
    QFile::setPermissions(lockedDir, QFile::ReadOwner | QFile::ExeOwner);
    const bool canStillWrite = QFileInfo(lockedDir).isWritable();  // root ignores permissions
    answerSaveDialogWith(old);
    form->output().SaveBitmap1Click(form->controls().fileMenu.SaveBitmap1);
    QFile::setPermissions(lockedDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!canStillWrite) {
        EXPECT_EQ(messages().size(), 2u);
        QFile f(old);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), QByteArray("previous picture"));
    }
    EXPECT_EQ(form->startRuns(), 2);
}

TEST_F(OutputCommandsTest, CopyCommandsPutPicturesOnTheClipboard)
{
    paintDisplay();
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    form->output().CopyBitmap1Click(form->controls().fileMenu.CopyBitmap1);
    QImage copied = clipboard->image();
    ASSERT_EQ(copied.size(), QSize(513, 343));
    EXPECT_EQ(copied.pixelColor(50, 40), QColor(0, 0, 255));
    EXPECT_EQ(copied.pixelColor(10, 20), QColor(255, 0, 0));

    // The clipboard keeps its own picture: later passes do not change it.
    form->displayBitmap().fill(colour::kBlack);
    EXPECT_EQ(clipboard->image().pixelColor(50, 40), QColor(0, 0, 255));

    form->show();
    form->output().CopyForm1Click(form->controls().fileMenu.CopyForm1);
    copied = clipboard->image();
    EXPECT_EQ(copied.width(), form->width());
    EXPECT_GT(copied.height(), 343);
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(form->stopRuns(), 2);
    EXPECT_EQ(form->startRuns(), 2);
}

TEST_F(OutputCommandsTest, PrintFormPrintsTheWindowToThePrinterChosen)
{
    const QString pdf = outDir.filePath("window.pdf");
    int setups = 0;
    commands->runPrinterSetup = [&](QPrinter& printer) {
        ++setups;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return true;
    };
    form->show();
    form->output().PrintForm1Click(form->controls().fileMenu.PrintForm1);
    EXPECT_EQ(setups, 1);
    ASSERT_TRUE(messages().empty());
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_TRUE(bytes.contains("/Subtype /Image"));  // the window as one picture
    EXPECT_EQ(form->stopRuns(), 1);
    EXPECT_EQ(form->startRuns(), 1);

    // The printer keeps the last choice for the next set-up.
    commands->runPrinterSetup = [&](QPrinter& printer) {
        EXPECT_EQ(printer.outputFileName(), pdf);
        return false;  // cancelled: nothing printed, acquisition restarts
    };
    QFile::remove(pdf);
    form->output().PrintForm1Click(form->controls().fileMenu.PrintForm1);
    EXPECT_FALSE(QFile::exists(pdf));
    EXPECT_EQ(form->startRuns(), 2);
}

TEST_F(OutputCommandsTest, PrinterFailureIsReportedAndTheProgramGoesOn)
{
    commands->runPrinterSetup = [&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(outDir.filePath("missing/window.pdf"));
        return true;
    };
    form->output().PrintForm1Click(form->controls().fileMenu.PrintForm1);
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_NE(messages()[0].first.find("Could not print the window"), std::string::npos);
    EXPECT_EQ(form->stopRuns(), 1);
    EXPECT_EQ(form->startRuns(), 1);
}

TEST_F(OutputCommandsTest, HelpFileOpensTheDocumentOrSaysItCannot)
{
    std::vector<QUrl> opened;
    commands->openDocument = [&](const QUrl& url) {
        opened.push_back(url);
        return true;
    };
    // No document found at start-up.
    ASSERT_EQ(form->state().helpFilePath[0], '\0');
    form->output().HelpFile1Click(form->controls().helpMenu.HelpFile1);
    ASSERT_EQ(messages().size(), 1u);
    const auto lines = [&](std::size_t i) { return QString::fromStdString(messages()[i].first).split('\n'); };
    EXPECT_EQ(lines(0).value(0), "Could not run the help application");
    EXPECT_EQ(lines(0).value(1),
              "The manual was not found; it is installed as " + helpDir.filePath("index.html") + ".");
    EXPECT_TRUE(opened.empty());

    // A document: opened with the desktop's browser, no message.
    const QString page = helpDir.filePath("index.html");
    {
        QFile f(page);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("<html></html>");
    }
    setPath(form->state().helpFilePath, page.toUtf8().constData());
    form->output().HelpFile1Click(form->controls().helpMenu.HelpFile1);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(page));
    EXPECT_EQ(messages().size(), 1u);

    // The desktop cannot open it.
    // The desktop cannot open it (no browser): the message says where it is.
    commands->openDocument = [](const QUrl&) { return false; };
    form->output().HelpFile1Click(form->controls().helpMenu.HelpFile1);
    ASSERT_EQ(messages().size(), 2u);
    EXPECT_EQ(lines(1).value(0), "Could not run the help application");
    EXPECT_EQ(lines(1).value(1), "The manual is " + page + "; open it with any web browser.");

    // Help never touches acquisition.
    EXPECT_EQ(form->stopRuns(), 0);
    EXPECT_EQ(form->startRuns(), 0);
}

TEST_F(OutputCommandsTest, AboutBoxShowsItsThreeLines)
{
    form->output().About1Click(form->controls().helpMenu.About1);
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].second, "About Varmolen");
    const QStringList lines = QString::fromStdString(messages()[0].first).split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith("Designed by "));
    EXPECT_GT(lines[0].size(), 12);
    EXPECT_EQ(lines[1], "         Version 1.11 ");
    EXPECT_EQ(lines[2], "    2026");
    EXPECT_EQ(form->stopRuns(), 0);
}

TEST_F(OutputCommandsTest, MenuItemsRunTheirCommands)
{
    form->controls().helpMenu.About1->trigger();
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].second, "About Varmolen");
    answerSaveDialogWith(QString());
    form->controls().fileMenu.SaveBitmap1->trigger();
    form->controls().fileMenu.SaveForm1->trigger();
    EXPECT_EQ(dialogRuns, 2);
    commands->runPrinterSetup = [](QPrinter&) { return false; };
    form->controls().fileMenu.PrintForm1->trigger();
    form->controls().fileMenu.CopyBitmap1->trigger();
    form->controls().fileMenu.CopyForm1->trigger();
    EXPECT_EQ(form->stopRuns(), 5);
    EXPECT_EQ(form->startRuns(), 5);
    form->controls().helpMenu.HelpFile1->trigger();
    EXPECT_EQ(QString::fromStdString(messages().back().first).section('\n', 0, 0),
              "Could not run the help application");
}

// Stand-in search path: the programs named are "installed".
std::function<QString(const QString&)> installed(std::map<QString, QString> programs)
{
    return [programs](const QString& name) {
        const auto it = programs.find(name);
        return it == programs.end() ? QString() : it->second;
    };
}

TEST(VolumeControlChoice, DesktopMixerOrTerminalMixerByVariant)
{
    const auto all = installed({{"pavucontrol", "/usr/bin/pavucontrol"},
                                {"alsamixer", "/usr/bin/alsamixer"},
                                {"x-terminal-emulator", "/usr/bin/x-terminal-emulator"},
                                {"xterm", "/usr/bin/xterm"}});
    auto c = chooseVolumeControl(1, all);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->program, "/usr/bin/pavucontrol");
    EXPECT_TRUE(c->arguments.isEmpty());

    c = chooseVolumeControl(2, all);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->program, "/usr/bin/x-terminal-emulator");
    EXPECT_EQ(c->arguments, (QStringList{"-e", "/usr/bin/alsamixer"}));

    // Any variant other than 1 is the terminal kind.
    c = chooseVolumeControl(0, all);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->program, "/usr/bin/x-terminal-emulator");

    // Best equivalents: the Qt mixer, plain xterm, the other kind.
    c = chooseVolumeControl(1, installed({{"pavucontrol-qt", "/opt/pavucontrol-qt"}}));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->program, "/opt/pavucontrol-qt");
    c = chooseVolumeControl(2, installed({{"alsamixer", "/a"}, {"xterm", "/x"}}));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->program, "/x");
    EXPECT_EQ(c->arguments, (QStringList{"-e", "/a"}));
    c = chooseVolumeControl(1, installed({{"alsamixer", "/a"}, {"xterm", "/x"}}));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->program, "/x");
    c = chooseVolumeControl(2, installed({{"pavucontrol", "/p"}, {"xterm", "/x"}}));  // no alsamixer
    ASSERT_TRUE(c);
    EXPECT_EQ(c->program, "/p");

    // A terminal without the mixer, or nothing at all.
    EXPECT_FALSE(chooseVolumeControl(2, installed({{"xterm", "/x"}})));
    EXPECT_FALSE(chooseVolumeControl(1, installed({})));
}

TEST_F(OutputCommandsTest, VolumeControlStartsTheMixerOrSaysItCannot)
{
    QString started;
    QStringList startedWith;
    commands->findProgram = installed({{"pavucontrol", "/usr/bin/pavucontrol"}});
    commands->startProgram = [&](const QString& program, const QStringList& args) {
        started = program;
        startedWith = args;
        return true;
    };
    ASSERT_EQ(form->state().osVariant, 1);
    form->output().VolumeControl1Click(form.get());
    EXPECT_EQ(started, "/usr/bin/pavucontrol");
    EXPECT_TRUE(messages().empty());

    // Found but it would not start.
    commands->startProgram = [](const QString&, const QStringList&) { return false; };
    form->output().VolumeControl1Click(form.get());
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].first, "Could not run the Volume Control");

    // Nothing installed.
    commands->findProgram = installed({});
    form->state().osVariant = 2;
    form->output().VolumeControl1Click(form.get());
    ASSERT_EQ(messages().size(), 2u);
    EXPECT_EQ(messages()[1].first, "Could not run the Volume Control");
    EXPECT_EQ(form->stopRuns(), 0);
}

// The real dialog, driven as a user would: the name typed without a suffix.
TEST_F(OutputCommandsTest, RealSaveDialogAddsTheDefaultSuffix)
{
    QFileDialog& dialog = commands->SaveGraphicsDialog();
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setDirectory(outDir.path());
    // Keep the default way of running the dialog; answer it once it shows.
    QTimer::singleShot(0, &dialog, [&dialog, this] {
        dialog.selectFile(outDir.filePath("typed"));
        static_cast<QDialog&>(dialog).accept();  // as the Save button does
    });
    form->output().SaveBitmap1Click(form->controls().fileMenu.SaveBitmap1);
    EXPECT_TRUE(QFile::exists(outDir.filePath("typed.bmp")));
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(form->startRuns(), 1);
}

}  // namespace
}  // namespace varmolen
