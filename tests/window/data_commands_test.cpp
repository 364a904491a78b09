// The data commands in the window, on the offscreen platform: a WAV recording
// of the built-in generator while the display runs, across a save command's
// dialog, ended by a rate change, a failing device, a size-limited
// file or the window closing; Export Data and Record WAV at bad places; the
// Spectrum menu and its settings; PNG beside BMP; the exports of a picture of
// the record's span (CSV and WAV) against the record, and their refusals.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QImage>
#include <QRegularExpression>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "FaultHarness.h"
#include "PanelFormRig.h"
#include "WindowTestFolders.h"
#include "window/Varmolen2.h"
#include "tests/ScopeFormSpy.h"
#include "audio/GeneratorWaveInput.h"
#include "tests/support/MemoryWaveInput.h"
#include "acquisition/AcquisitionLoop.h"
#include "display/DisplayPass.h"
#include "panel/widgets/RockerSwitch.h"
#include "state/ShownSpan.h"
#include "window/DataCommands.h"
#include "window/OutputCommands.h"
#include "tests/persist/WavReading.h"

namespace varmolen {

using test::SpyScopeForm;
namespace {

// The generator's stereo frame k: (square, sine).
bool generatorFrame(const test::WavContents& w, std::size_t at, std::uint64_t k)
{
    return w.samples[2 * at] == generatorSquare(k, 44100) && w.samples[2 * at + 1] == generatorSine(k, 44100);
}

// The generator frame the file's frame `at` starts from: its phase within the
// generator's one-second cycle.
std::int64_t generatorPhaseAt(const test::WavContents& w, std::size_t at)
{
    for (std::uint64_t k = 0; k < 44100; ++k) {
        bool all = true;
        for (std::size_t i = 0; i < 200 && all; ++i)
            all = generatorFrame(w, at + i, k + i);
        if (all)
            return static_cast<std::int64_t>(k);
    }
    return -1;
}

// The frames from `at` on that follow the generator without a jump.
std::size_t runLength(const test::WavContents& w, std::size_t at)
{
    const std::int64_t k0 = generatorPhaseAt(w, at);
    if (k0 < 0)
        return 0;
    std::size_t n = 0;
    while (at + n < w.frames() && generatorFrame(w, at + n, static_cast<std::uint64_t>(k0) + n))
        ++n;
    return n;
}

// The generator, with a copy of every frame it hands a recording and the
// places where a chunk followed a restart of the device: what "delivered"
// means, seen from outside the recorder.
class CopyingGenerator : public GeneratorWaveInput {
public:
    struct Copy : RecordingTap {
        explicit Copy(std::shared_ptr<RecordingTap> t) : inner(std::move(t)) {}
        void deliver(const std::int16_t* frames, std::size_t count, bool afterStart) override
        {
            {
                std::lock_guard lock(m);
                if (afterStart && !samples.empty())
                    breaks.push_back(samples.size() / 2);
                samples.insert(samples.end(), frames, frames + 2 * count);
            }
            inner->deliver(frames, count, afterStart);
        }
        void deviceFailed() override { inner->deviceFailed(); }
        void formatChanged() override { inner->formatChanged(); }
        std::shared_ptr<RecordingTap> inner;
        std::mutex m;
        std::vector<std::int16_t> samples;
        std::vector<std::size_t> breaks;  // frame positions
    };
    bool setRecordingTap(std::shared_ptr<RecordingTap> tap, UINT id, const WAVEFORMATEX& f) override
    {
        copy = std::make_shared<Copy>(std::move(tap));
        return GeneratorWaveInput::setRecordingTap(copy, id, f);
    }
    std::shared_ptr<Copy> copy;
};

class DataCommandsTest : public test::WindowTestFolders {
protected:
    void SetUp() override
    {
        WindowTestFolders::SetUp();
        ASSERT_TRUE(outDir.isValid());
        ASSERT_TRUE(
            test::writeWholeFile(installDir.filePath("Varmolen.cfg"), test::recordBytes(test::recordingScene())));
        form = std::make_unique<SpyScopeForm>(*input);
        form->host().setRecordOnly(true);
        commands = &form->data();
    }
    void TearDown() override
    {
        form.reset();
        WindowTestFolders::TearDown();
    }
    const auto& messages() const { return form->host().recordedMessages(); }
    std::string lastMessage() const { return messages().empty() ? std::string() : messages().back().first; }

    // Record WAV, answered with `path`; true when it started.
    bool record(const QString& path)
    {
        commands->runRecordDialog = [path](QFileDialog&) { return path; };
        form->data().RecordWav1Click(form->controls().fileMenu.RecordWav1);
        return commands->recording();
    }
    // Runs the window until acquisition runs and a block was drawn.
    void runUntilDrawing()
    {
        test::runFor(3000, [&] { return form->state().stopped == 0 && form->state().keptBlocks[0].valid == 1; });
        ASSERT_EQ(form->state().stopped, 0);
    }

    QTemporaryDir outDir;
    std::unique_ptr<StreamWaveInput> input = std::make_unique<CopyingGenerator>();
    CopyingGenerator::Copy& delivered() { return *static_cast<CopyingGenerator&>(*input).copy; }
    std::unique_ptr<SpyScopeForm> form;
    DataCommands* commands = nullptr;
};

TEST_F(DataCommandsTest, FiveSecondsOfTheGeneratorWhileTheDisplayRunsHoldEveryFrameInOrder)
{
    runUntilDrawing();
    const QString path = outDir.filePath("five");
    ASSERT_TRUE(record(path));
    EXPECT_FALSE(form->controls().fileMenu.RecordWav1->isEnabled());
    EXPECT_TRUE(form->controls().fileMenu.StopRecording1->isEnabled());
    EXPECT_TRUE(form->controls().status.RecordingPanel->isVisibleTo(form.get()));
    EXPECT_EQ(form->controls().status.RecordingPanel->text(), "REC 00:00:00 / 01:00:00");
    test::runFor(5000);
    EXPECT_TRUE(QRegularExpression("^REC 00:00:0[45] / 01:00:00$")
                    .match(form->controls().status.RecordingPanel->text())
                    .hasMatch())
        << form->controls().status.RecordingPanel->text().toStdString();
    // The device stops first, so nothing arrives after the count is read.
    form->StopBtnClick(form.get());
    const RecordingStatus st = commands->recordingStatus();
    form->data().StopRecording1Click(form->controls().fileMenu.StopRecording1);

    // A device restarted after a time-out (a heavily loaded machine) is a
    // break the stop reports; nothing else is.
    EXPECT_EQ(messages().size(), st.breaks > 0 ? 1u : 0u) << lastMessage();
    EXPECT_FALSE(commands->recording());
    EXPECT_TRUE(form->controls().fileMenu.RecordWav1->isEnabled());
    EXPECT_FALSE(form->controls().status.RecordingPanel->isVisibleTo(form.get()));
    EXPECT_EQ(st.overruns, 0u);
    const test::WavContents w = test::readWav((path + ".wav").toStdString());
    ASSERT_EQ(w.problem, "");
    EXPECT_EQ(w.rate, 44100u);
    EXPECT_EQ(w.channels, 2u);
    EXPECT_TRUE(w.samples == delivered().samples) << "the file is not exactly the frames delivered";
    EXPECT_NEAR(static_cast<double>(w.frames()), 5.0 * 44100, 0.5 * 44100);
    EXPECT_EQ(runLength(w, 0), w.frames()) << "the generator's phase jumps within the file";
    EXPECT_EQ(form->state().features.recordFolder, outDir.path().toStdString());
}

// A save command's dialog, really run and open for a second and a half,
// while a recording runs: the device stays open and the file runs on without
// a break, while the picture stands still until the dialog closes.
TEST_F(DataCommandsTest, ASaveDialogDuringARecordingFreezesThePictureAndCutsNothing)
{
    runUntilDrawing();
    const QString path = outDir.filePath("dialog.wav");
    ASSERT_TRUE(record(path));
    test::runFor(800);
    const int stops = form->stopRuns();

    QFileDialog& dialog = form->output().SaveGraphicsDialog();
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setDirectory(outDir.path());
    struct Watch {
        int looks = 0;
        int passes = -1;
        std::vector<std::uint32_t> picture;
        std::uint64_t framesAtOpen = 0;
        std::uint64_t framesAtClose = 0;
        QElapsedTimer open;
        std::vector<std::string> faults;
    } watch;
    QTimer looker;
    looker.setInterval(50);
    QObject::connect(&looker, &QTimer::timeout, [&] {
        if (!dialog.isVisible())
            return;
        const Raster& bitmap = form->displayBitmap();
        const std::vector<std::uint32_t> now(bitmap.data(), bitmap.data() + Raster::kWidth * Raster::kHeight);
        if (watch.looks++ == 0) {
            watch.open.start();
            watch.passes = form->displayPasses();
            watch.picture = now;
            watch.framesAtOpen = commands->recordingStatus().framesQueued;
        }
        if (form->state().stopped != 0 || form->state().waveInHandle == 0)
            watch.faults.push_back("the device was stopped");
        if (form->displayPasses() != watch.passes)
            watch.faults.push_back("a display pass ran");
        if (now != watch.picture)
            watch.faults.push_back("the picture changed");
        if (watch.open.elapsed() >= 1500 || watch.looks > 200) {
            watch.framesAtClose = commands->recordingStatus().framesQueued;
            dialog.reject();  // as the Cancel button does
        }
    });
    looker.start();
    form->output().SaveForm1Click(form->controls().fileMenu.SaveForm1);
    looker.stop();

    EXPECT_GE(watch.looks, 10);
    EXPECT_TRUE(watch.faults.empty()) << watch.faults.front();
    EXPECT_EQ(form->stopRuns(), stops) << "acquisition was stopped for the command";
    // Generous: the generator delivers 1.5 s of frames while the dialog is open.
    EXPECT_GT(watch.framesAtClose - watch.framesAtOpen, 22050u);
    const int passes = form->displayPasses();
    test::runFor(3000, [&] { return form->displayPasses() > passes + 2; });
    EXPECT_GT(form->displayPasses(), passes + 2) << "the picture follows the signal again";
    ASSERT_TRUE(commands->recording());
    form->data().StopRecording1Click(form->controls().fileMenu.StopRecording1);

    EXPECT_TRUE(messages().empty()) << lastMessage();
    const test::WavContents w = test::readWav(path.toStdString());
    ASSERT_EQ(w.problem, "");
    EXPECT_TRUE(delivered().breaks.empty());
    EXPECT_TRUE(w.samples == delivered().samples) << "the file is not exactly the frames delivered";
    EXPECT_EQ(runLength(w, 0), w.frames()) << "the generator's phase jumps within the file";
}

// The sound-card dialog's Select runs the input handler of the input in
// force again. While a recording runs on the device that is open, that stops
// nothing and the file goes on without a break; another input still ends it
// cleanly.
TEST_F(DataCommandsTest, TheInputInForceChosenAgainDuringARecordingCutsNothing)
{
    runUntilDrawing();
    ASSERT_EQ(form->state().inputSelect, 1);
    const QString path = outDir.filePath("again.wav");
    ASSERT_TRUE(record(path));
    test::runFor(600);
    const int stops = form->stopRuns();
    form->menus().Line1Click(form->controls().optionsMenu.Line1);
    test::runFor(600);
    EXPECT_EQ(form->stopRuns(), stops);
    ASSERT_TRUE(commands->recording());
    form->menus().Mic1Click(form->controls().optionsMenu.Mic1);
    test::runFor(2500, [&] { return !commands->recording(); });
    ASSERT_FALSE(commands->recording());
    EXPECT_NE(lastMessage().find("The recording ended: the input's rate, kind"), std::string::npos) << lastMessage();
    const test::WavContents w = test::readWav(path.toStdString());
    ASSERT_EQ(w.problem, "");
    EXPECT_TRUE(delivered().breaks.empty());
    EXPECT_GT(w.frames(), 44100u);
    EXPECT_EQ(runLength(w, 0), w.frames()) << "the generator's phase jumps within the file";
}

TEST_F(DataCommandsTest, ARateChangeEndsTheFileCleanlyAndSaysSo)
{
    runUntilDrawing();
    const QString path = outDir.filePath("rate.wav");
    ASSERT_TRUE(record(path));
    test::runFor(500);
    form->trigger().MidSampleRateRadioBtnClick(form->controls().timeBase.MidSampleRateRadioBtn);
    test::runFor(2500, [&] { return !commands->recording(); });
    ASSERT_FALSE(commands->recording());
    EXPECT_NE(lastMessage().find("The recording ended: the input's rate"), std::string::npos) << lastMessage();
    EXPECT_NE(lastMessage().find("rate.wav holds 00:00:00"), std::string::npos) << lastMessage();
    const test::WavContents w = test::readWav(path.toStdString());
    ASSERT_EQ(w.problem, "");
    EXPECT_EQ(w.rate, 44100u);
    EXPECT_EQ(runLength(w, 0), w.frames());
    EXPECT_TRUE(form->controls().fileMenu.RecordWav1->isEnabled());
}

// A source that delivers the generator for a while and then vanishes.
class VanishingGenerator : public GeneratorSource {
public:
    long read(void* out, std::size_t frames, int wakeFd) override
    {
        auto* dst = static_cast<std::int16_t*>(out);
        if (reads_ >= 40)
            return -1;
        const long n = GeneratorSource::read(dst, frames, wakeFd);
        reads_ += n > 0;
        return n;
    }

private:
    int reads_ = 0;
};

TEST_F(DataCommandsTest, ARecordingEndedByTheDeviceOrTheDiskKeepsAPlayableFileAndSaysWhy)
{
    struct Case {
        const char* what;
        const char* said;
        bool vanishing;
    };
    for (const Case c :
         {Case{"the device fails", "the input device failed", true},
          Case{"the file reaches the size limit", "could not be written (System error : File too large.)", false}}) {
        SCOPED_TRACE(c.what);
        form.reset();
        if (c.vanishing)
            input = std::make_unique<StreamWaveInput>(
                std::vector<StreamDevice>{{"Vanishing", [] { return std::make_unique<VanishingGenerator>(); }}});
        else
            input = std::make_unique<CopyingGenerator>();
        form = std::make_unique<SpyScopeForm>(*input);
        form->host().setRecordOnly(true);
        commands = &form->data();
        runUntilDrawing();

        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        if (!c.vanishing) {
            rlimit small = saved;
            small.rlim_cur = 100'000;
            ::setrlimit(RLIMIT_FSIZE, &small);
        }
        const QString path = outDir.filePath(QStringLiteral("%1.wav").arg(c.vanishing ? "device" : "disk"));
        ASSERT_TRUE(record(path));
        // A failing device ends the application's loop, and with it this
        // test's; the window goes on all the same.
        for (int i = 0; i < 25 && commands->recording(); ++i)
            test::runFor(200, [&] { return !commands->recording(); });
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, handler);

        ASSERT_FALSE(commands->recording());
        bool said = false;
        for (const auto& m : messages())
            said = said || (m.first.find(c.said) != std::string::npos && m.second == kDataCaption);
        EXPECT_TRUE(said) << lastMessage();
        const test::WavContents w = test::readWav(path.toStdString());
        ASSERT_EQ(w.problem, "");
        EXPECT_GT(w.frames(), 10000u);
        EXPECT_EQ(runLength(w, 0), w.frames());
    }
}

TEST_F(DataCommandsTest, ClosingTheWindowFinishesTheRecordingAndKeepsTheSettings)
{
    runUntilDrawing();
    form->menus().Average16Click(form->controls().displayMenu.Average16);
    form->controls().displayMenu.PeakHold1->setChecked(true);
    form->menus().PeakHold1Click(form->controls().displayMenu.PeakHold1);
    const QString path = outDir.filePath("closing.wav");
    ASSERT_TRUE(record(path));
    test::runFor(600);
    form->close();
    form.reset();
    const test::WavContents w = test::readWav(path.toStdString());
    ASSERT_EQ(w.problem, "");
    EXPECT_GT(w.frames(), 10000u);
    EXPECT_EQ(runLength(w, 0), w.frames());

    const QSettings ini(installDir.filePath("Varmolen.ini"), QSettings::IniFormat);
    EXPECT_EQ(ini.value("Folders/Recording").toString(), outDir.path());
    EXPECT_EQ(ini.value("Spectrum/Average").toInt(), 16);
    // A new start shows them in the Spectrum menu.
    form = std::make_unique<SpyScopeForm>(*input);
    EXPECT_TRUE(form->controls().displayMenu.Average16->isChecked());
    EXPECT_FALSE(form->controls().displayMenu.AverageOff1->isChecked());
    EXPECT_TRUE(form->controls().displayMenu.PeakHold1->isChecked());
}

// File > Recording Format: the next recording is written in the format
// chosen, the device's 16-bit frames widened exactly, and the choice is
// kept for the next start.
TEST_F(DataCommandsTest, TheRecordingFormatChosenWritesTheNextFileAndIsKept)
{
    runUntilDrawing();
    form->controls().fileMenu.RecordFormats[1]->trigger();
    const QString path = outDir.filePath("wide.wav");
    ASSERT_TRUE(record(path));
    test::runFor(500);
    form->StopBtnClick(form.get());
    form->data().StopRecording1Click(form->controls().fileMenu.StopRecording1);
    const std::vector<std::int16_t> codes = delivered().samples;

    SF_INFO info{};
    SNDFILE* file = sf_open(path.toStdString().c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    std::vector<int> values(static_cast<std::size_t>(info.frames * info.channels));
    EXPECT_EQ(sf_readf_int(file, values.data(), info.frames), info.frames);
    sf_close(file);
    ASSERT_EQ(values.size(), codes.size());
    ASSERT_FALSE(codes.empty());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < codes.size(); ++i)
        differing += values[i] == codes[i] * 65536 ? 0 : 1;
    EXPECT_EQ(differing, 0u);

    form->close();
    form.reset();
    EXPECT_EQ(QSettings(installDir.filePath("Varmolen.ini"), QSettings::IniFormat).value("Recording/Format"), "24");
    form = std::make_unique<SpyScopeForm>(*input);
    EXPECT_TRUE(form->controls().fileMenu.RecordFormats[1]->isChecked());
    EXPECT_EQ(form->state().features.recordFormat, RecordFormat::Pcm24);
}

TEST_F(DataCommandsTest, BadPlacesAndAnEmptyDisplayAreReportedAndNothingStarts)
{
    form->controls().run.StartTimer->stop();
    // Nothing drawn yet: nothing to export, and no dialog.
    int dialogs = 0;
    commands->runExportDialog = [&](QFileDialog&) {
        ++dialogs;
        return outDir.filePath("missing/x.csv");
    };
    form->data().ExportData1Click(form->controls().fileMenu.ExportData1);
    EXPECT_EQ(dialogs, 0);
    EXPECT_NE(lastMessage().find("There is nothing to export. The display shows no recorded block yet."),
              std::string::npos)
        << lastMessage();

    form->state().chan1Samples[3] = 1000;
    form->state().sampleRate = 44100;
    runDisplayPass(form->state(), form->state(), form->state(), form->displayBitmap());
    form->data().ExportData1Click(form->controls().fileMenu.ExportData1);
    EXPECT_EQ(dialogs, 1);
    EXPECT_NE(lastMessage().find("Could not write the file"), std::string::npos) << lastMessage();

    EXPECT_FALSE(record(outDir.filePath("missing/x.wav")));
    EXPECT_NE(lastMessage().find("Could not record to the file"), std::string::npos) << lastMessage();
    EXPECT_NE(lastMessage().find("No such file or directory"), std::string::npos) << lastMessage();
    EXPECT_TRUE(form->controls().fileMenu.RecordWav1->isEnabled());
    EXPECT_FALSE(form->controls().status.RecordingPanel->isVisibleTo(form.get()));
}

// A recording that cannot start (here: a device that takes no recording)
// leaves the file the user chose as it was.
TEST_F(DataCommandsTest, ARecordingThatCannotStartLeavesTheChosenFileAsItWas)
{
    form.reset();
    MemoryWaveInput memory;
    form = std::make_unique<SpyScopeForm>(memory);
    form->host().setRecordOnly(true);
    commands = &form->data();
    const QString path = outDir.filePath("take.wav");
    ASSERT_TRUE(test::writeWholeFile(path, {'o', 'l', 'd'}));
    EXPECT_FALSE(record(path));
    EXPECT_EQ(lastMessage(), "The input device cannot be recorded.");
    EXPECT_EQ(test::readWholeFile(path), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(QDir(outDir.path()).entryList(QDir::Files), QStringList{"take.wav"}) << "a new file was left beside it";
    form.reset();
}

TEST_F(DataCommandsTest, SpectrumMenuSetsTheHistoryAndAFormatChangeRestartsIt)
{
    InstrumentState& s = form->state();
    form->menus().Average64Click(form->controls().displayMenu.Average64);
    EXPECT_EQ(s.features.spectrumAverage, 64);
    EXPECT_TRUE(form->controls().displayMenu.Average64->isChecked());
    EXPECT_FALSE(form->controls().displayMenu.AverageOff1->isChecked());
    form->controls().displayMenu.PeakHold1->setChecked(true);
    form->menus().PeakHold1Click(form->controls().displayMenu.PeakHold1);
    EXPECT_TRUE(s.features.peakHold);

    // Each of these starts the averages and the held peaks afresh.
    const std::pair<const char*, std::function<void()>> restarts[] = {
        {"Reset", [&] { form->menus().SpectrumReset1Click(form->controls().displayMenu.SpectrumReset1); }},
        {"a rate",
         [&] { form->trigger().LowSampleRateRadioBtnClick(form->controls().timeBase.LowSampleRateRadioBtn); }},
        {"an input", [&] { form->menus().Mic1Click(form->controls().optionsMenu.Mic1); }},
        {"a display type", [&] { form->menus().Time1Click(form->controls().displayMenu.Time1); }},
    };
    for (const auto& [what, change] : restarts) {
        s.spectrumHistory.averagedBlocks = {5, 5};
        s.spectrumHistory.heldBlocks = {5, 5};
        change();
        EXPECT_EQ(s.spectrumHistory.averagedBlocks, (std::array<std::int32_t, 2>{0, 0})) << what;
        EXPECT_EQ(s.spectrumHistory.heldBlocks, (std::array<std::int32_t, 2>{0, 0})) << what;
    }
}

TEST_F(DataCommandsTest, SaveBitmapWritesPngForAPngNameAndBmpOtherwise)
{
    form->output().runSaveDialog = [this](QFileDialog&) { return outDir.filePath("shot.PNG"); };
    form->output().SaveBitmap1Click(form->controls().fileMenu.SaveBitmap1);
    QFile png(outDir.filePath("shot.PNG"));
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    EXPECT_EQ(png.read(8), QByteArray("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(QImage(outDir.filePath("shot.PNG")).size(), QSize(513, 343));
    EXPECT_STREQ(imageFormatFor("a.png.bmp"), "BMP");
    EXPECT_STREQ(imageFormatFor("a"), "BMP");
    EXPECT_EQ(form->output().SaveGraphicsDialog().defaultSuffix(), "bmp");
}

// The exports of what the display shows, on a memory device whose frames the
// test hands over: a 1 s record at 44100 Hz, both channels shown.
class SpanExportTest : public test::PanelFormRig {
protected:
    void SetUp() override
    {
        PanelFormRig::SetUp();
        ASSERT_TRUE(outDir.isValid());
        device.setFrameSource([](std::uint64_t n) -> std::array<std::int16_t, 2> {
            return {static_cast<std::int16_t>(n * 7 % 20000), static_cast<std::int16_t>(12000.0 * std::sin(n * 0.01))};
        });
        s().features.memorySeconds = 1;
        flip(form->controls().chan1.Chan1EnbSwitch, true);
        flip(form->controls().chan2.Chan2EnbSwitch, true);
        form->data().runExportDialog = [this](QFileDialog&) {
            ++dialogs;
            return outDir.filePath(chosen);
        };
    }
    void start()
    {
        form->controls().optionsMenu.Line1->trigger();
        form->controls().timeBase.HiSampleRateRadioBtn->click();
        ASSERT_EQ(s().stopped, 0);
    }
    void run(int blocks)
    {
        for (int i = 0; i < 2 * blocks; ++i) {
            device.advanceFrames(512);
            QCoreApplication::processEvents();
        }
    }
    void chooseTimeDiv(double perDiv)
    {
        const DisplayMenu& menu = form->controls().displayMenu;
        emit menu.TimeDiv1->aboutToShow();
        for (QAction* item : menu.TimeDivs)
            if (std::abs(item->data().toDouble() - perDiv) < perDiv * 1e-9)
                item->trigger();
        ASSERT_DOUBLE_EQ(s().features.timePerDiv, perDiv);
    }
    void exportCsv(const char* name)
    {
        chosen = QString::fromLatin1(name);
        form->data().ExportData1Click(form->controls().fileMenu.ExportData1);
    }
    void exportWav(const char* name)
    {
        chosen = QString::fromLatin1(name);
        form->data().ExportSpanWav1Click(form->controls().fileMenu.ExportSpanWav1);
    }
    std::string lastMessage() const
    {
        const auto& m = form->host().recordedMessages();
        return m.empty() ? std::string() : m.back().first;
    }
    std::vector<std::vector<std::string>> readCsv(const char* name) const
    {
        QFile file(outDir.filePath(QString::fromLatin1(name)));
        std::vector<std::vector<std::string>> rows;
        if (!file.open(QIODevice::ReadOnly))
            return rows;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.isEmpty())
                continue;
            std::vector<std::string> fields;
            for (const QByteArray& field : line.trimmed().split(','))
                fields.push_back(field.toStdString());
            rows.push_back(fields);
        }
        return rows;
    }

    QTemporaryDir outDir;
    QString chosen;
    int dialogs = 0;
};

// A held picture of the record: the CSV holds every frame of its span from
// the record, to the frame; the WAV file every sample; once the record has
// overwritten the span, both are refused and nothing is written.
TEST_F(SpanExportTest, AHeldSpanExportsEveryFrameOfTheRecordUntilItIsOverwritten)
{
    start();
    chooseTimeDiv(10e-3);
    run(20);
    flip(form->controls().display.DisplayHoldSw, true);
    const RecordPicture& picture = s().recordPicture;
    ASSERT_TRUE(picture.valid);
    const SampleRing& record = *form->acquisition().record();
    const SpanFrames span = shownSpanFrames(picture, record);
    ASSERT_EQ(span.held, SpanHeld::Held);
    ASSERT_EQ(span.count, 4410) << "ten divisions of 10 ms at 44100 Hz";
    run(2);  // the record runs on under the held picture

    exportCsv("span.csv");
    exportWav("span.wav");
    EXPECT_EQ(dialogs, 2) << lastMessage();
    const auto rows = readCsv("span.csv");
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(span.count) + 1);
    EXPECT_EQ(rows[0][0], "Time (s; 0 = the span's left end; 44100 Hz)");
    EXPECT_EQ(rows[1][0], "0");
    EXPECT_EQ(std::strtod(rows.back()[0].c_str(), nullptr), (span.count - 1) / 44100.0);
    const test::WavContents wav = test::readWav(outDir.filePath("span.wav").toStdString());
    ASSERT_EQ(wav.problem, "");
    EXPECT_EQ(wav.rate, 44100u);
    ASSERT_EQ(wav.channels, 2);
    ASSERT_EQ(wav.frames(), static_cast<std::size_t>(span.count));
    for (std::int64_t j = 0; j < span.count; ++j) {
        const auto& row = rows[static_cast<std::size_t>(j) + 1];
        ASSERT_EQ(row.size(), 7u);
        for (int ch = 1; ch <= 2; ++ch) {
            const float sample = record.at(ch, span.from + j);
            ASSERT_EQ(std::strtof(row[1 + 3 * static_cast<std::size_t>(ch - 1)].c_str(), nullptr), sample) << j;
            ASSERT_EQ(wav.samples[static_cast<std::size_t>(2 * j + ch - 1)], static_cast<std::int16_t>(sample)) << j;
        }
    }

    run(50);  // more than the record holds
    for (const char* name : {"late.csv", "late.wav"}) {
        SCOPED_TRACE(name);
        QString(name).endsWith(".csv") ? exportCsv(name) : exportWav(name);
        EXPECT_EQ(lastMessage(), "There is nothing to export. The record no longer holds the span shown.");
        EXPECT_FALSE(QFile::exists(outDir.filePath(QString::fromLatin1(name))));
    }
    EXPECT_EQ(dialogs, 2) << "no dialog for a span no longer held";
}

// Export Span as WAV before anything is recorded, with the picture of one
// block and with a picture of the record; then the block shown, as recorded,
// of the one channel shown.
TEST_F(SpanExportTest, BeforeARecordingNothingIsExportedThenTheBlockShownIs)
{
    exportWav("nothing.wav");
    EXPECT_EQ(lastMessage(), "There is nothing to export. The display shows no recorded block yet.");
    s().features.timePerDiv = 10e-3;
    exportWav("nothing.wav");
    EXPECT_EQ(lastMessage(), "There is nothing to export. The record holds nothing of the span shown yet.");
    exportCsv("nothing.csv");
    EXPECT_EQ(lastMessage(), "There is nothing to export. The record holds nothing of the span shown yet.");
    EXPECT_EQ(dialogs, 0);
    s().features.timePerDiv = 0.0;

    start();
    flip(form->controls().chan2.Chan2EnbSwitch, false);
    run(4);
    flip(form->controls().display.DisplayHoldSw, true);
    run(2);
    exportWav("block.wav");
    EXPECT_EQ(dialogs, 1) << lastMessage();
    const test::WavContents wav = test::readWav(outDir.filePath("block.wav").toStdString());
    ASSERT_EQ(wav.problem, "");
    EXPECT_EQ(wav.rate, 44100u);
    ASSERT_EQ(wav.channels, 1) << "the channel shown alone";
    ASSERT_EQ(wav.frames(), 1024u);
    const KeptBlock& block = keptBlockFor(s(), 1);
    for (std::size_t i = 0; i < 1024; ++i)
        ASSERT_EQ(wav.samples[i], block.recorded(1, i)) << i;
}

}  // namespace
}  // namespace varmolen
