#include "window/Varmolen2.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include "persist/InstallPaths.h"
#include "acquisition/AcquisitionLoop.h"
#include "display/RecordTraces.h"
#include "acquisition/GeneratorControl.h"
#include "acquisition/WaveEngine.h"
#include "audio/WaveInput.h"
#include "display/DisplayPass.h"
#include "dsp/Graphicinterpolate.h"
#include "panel/FrontPanel.h"
#include "panel/widgets/PaintBox.h"
#include "window/GeneratorWindow.h"
#include "window/SweepWindow.h"
#include "window/BindingTable.h"
#include "window/ChannelControls.h"
#include "window/MarkerControls.h"
#include "window/Menus.h"
#include "window/TriggerControls.h"
#include "window/MeasureControls.h"
#include "window/RemoteControl.h"
#include "panel/widgets/Led.h"
#include "persist/ConfigFile.h"
#include "window/DataCommands.h"
#include "persist/FeatureSettingsFile.h"
#include "window/OutputCommands.h"

namespace varmolen {

namespace {

// A file counts as found when it is a file that opens for reading; nothing
// here waits on a pipe or a device put at its place.
bool fileOpensForReading(const QString& path) { return isReadableFile(QFile::encodeName(path).toStdString()); }

}  // namespace

TScopeForm::TScopeForm(WaveInput& waveInput, QWidget* parent)
    : TScopeForm(waveInput, std::make_unique<QtHost>(), parent)
{
    finishCreate();
}

TScopeForm::TScopeForm(WaveInput& waveInput, std::unique_ptr<QtHost> host, QWidget* parent)
    : QMainWindow(parent),
      state_(std::make_unique<InstrumentState>()),
      displayBitmap_(std::make_unique<Raster>()),
      waveInput_(waveInput),
      host_(std::move(host))
{
    setObjectName(QStringLiteral("ScopeForm"));
    setWindowTitle(QStringLiteral("Varmolen"));
    // Fixed single border with the system menu and minimise box only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    auto* startTimer = new QTimer(this);
    startTimer->setObjectName(QStringLiteral("StartTimer"));
    startTimer->setInterval(250);
    auto* timeoutTimer = new QTimer(this);
    timeoutTimer->setObjectName(QStringLiteral("TimeoutTimer"));
    timeoutTimer->setInterval(250);
    host_->attach(this, startTimer, timeoutTimer);
    engine_ = std::make_unique<WaveEngine>(*state_, *state_, waveInput_, *host_);
    loop_ = std::make_unique<AcquisitionLoop>(*state_, *state_, *state_, *engine_, *host_, [this] { displayPass(); });
    // Both timers run from the moment the window exists, so the first run
    // starts 250 ms after the window was created, not after the panel was
    // built and the settings applied on top. Nothing serves their ticks
    // before the panel is bound.
    startTimer->start();
    timeoutTimer->start();
    // The device calls this from its capture thread; one queued hop to this
    // thread is pending at a time, so a burst of changes costs one step.
    waveInput_.setNotifier([this] {
        if (!notifyPending_.exchange(true))
            QMetaObject::invokeMethod(
                this,
                [this] {
                    notifyPending_ = false;
                    loop_->onDeviceNotification();
                },
                Qt::QueuedConnection);
    });

    // Each group gets the panel, and the parts of the state and the other
    // groups or routines its handlers work on.
    const PanelParts panel{controls_, status_, *host_};
    InstrumentState& s = *state_;
    channels_ = std::make_unique<ChannelControls>(panel, s, s);
    markers_ = std::make_unique<MarkerControls>(panel, s, s, [this] { refreshAxisLabels(); });
    trigger_ = std::make_unique<TriggerControls>(panel, s, s, s, waveInput_, *markers_,
                                                 RateRestart{[this](QObject* sender) { StopBtnClick(sender); },
                                                             [this](QObject* sender) { StartBtnClick(sender); },
                                                             [this] { generatorPanel_->generatorFollowsRate(); }});
    menus_ = std::make_unique<MenuCommands>(panel, s, s, *this);
    auto* central = new QWidget(this);
    controls_ = buildFrontPanel(*this, central, *displayBitmap_);
    controls_.screen.SpectrumBox->shareWithServer(*displayBitmap_);
    controls_.run.StartTimer = startTimer;
    controls_.run.TimeoutTimer = timeoutTimer;
    setCentralWidget(central);
    buildMenus(*this, controls_);
    output();
    prepareDataCommands(*this);

    bindControls(*this);
    // The device is asked which rates it takes each time the menu opens.
    connect(controls_.optionsMenu.SampleRate1, &QMenu::aboutToShow, this, [this] { trigger_->showDeviceRates(); });
    connect(controls_.optionsMenu.Precision1, &QMenu::aboutToShow, this, [this] { trigger_->showDeviceRates(); });
    connect(controls_.displayMenu.TimeDiv1, &QMenu::aboutToShow, this, [this] { trigger_->showTimeBaseSteps(); });
}

void TScopeForm::finishCreate()
{
    measure_ = std::make_unique<MeasureControls>(*this, controls_, *state_, *state_, *loop_, *displayBitmap_);
    generatorPanel_ =
        std::make_unique<GeneratorPanel>(PanelParts{controls_, status_, *host_}, *state_, *loop_, *this,
                                         [this](int code, const std::string& text, const std::string& caption,
                                                bool boxed) { announceEnd(*this, code, text, caption, boxed); });
    GeneratorControl& generator = generatorPanel_->generator();
    // What the generator plays drives what is measured: the readings start
    // again once a change is heard.
    generator.setChangeNotifier([this, &generator] {
        // A pair played (not a sweep's sine) names the intermodulation method.
        const bool pair = generator.on() && !generator.sweeping();
        measure_->generatorChanged(generator.heardWithinMs(),
                                   pair ? imdMethodOf(generator.settings().waveform) : ImdMethod::None);
    });
    FormCreate(this);
    measure_->applySettings();
    trigger_->showTimeBaseSteps();
    menus().showAnalyserChoices();
    if (state_->features.remoteEnabled) {
        QString whyNot;
        if (!remoteControl().server().apply(whyNot))
            host_->showMessage("Remote control cannot listen: " + whyNot.toStdString(), "Remote Control");
    }

    formCreated_ = true;
}

TScopeForm::~TScopeForm()
{
    FormDestroy();
    // The generator's windows work the generator and the run loop: they go
    // before them.
    if (generatorPanel_)
        generatorPanel_->closeWindows();
}

void TScopeForm::StartBtnClick(QObject* /*sender*/)
{
    // Once the window is closing nothing starts acquisition again (the
    // sound-card dialog, closed with the application, runs an input handler).
    if (closing_)
        return;
    const bool running = loop_->running();
    loop_->StartBtnClick();
    // A new run records afresh: what was measured before does not continue
    // into it (a start that fails leaves the readings waiting for a device).
    if (!running && measure_)
        measure_->acquisitionRestarted();
    showInputDevice();
}

void TScopeForm::StopBtnClick(QObject* /*sender*/) { loop_->StopBtnClick(); }

void TScopeForm::StartTimerTimer(QObject* /*sender*/)
{
    // Anything that serves events while the window is still being set up (a
    // message box, a device that is slow to answer) lets the timers tick;
    // acquisition waits for the next tick once the settings are in force.
    if (!formCreated_ || closing_)
        return;
    loop_->StartTimerTimer();
    showInputDevice();
}

void TScopeForm::TimeoutTimerTimer(QObject* /*sender*/) { loop_->TimeoutTimerTimer(); }

void TScopeForm::displayPass()
{
    InstrumentState& s = *state_;
    RecordSweep::Taken taken = RecordSweep::Taken::Nothing;
    if (recordPictureShown(s)) {
        const SampleRing* record = loop_->record();
        if (record != nullptr)
            taken = recordSweep_.advance(s, s, *record, {s.chan1DcLevel, s.chan2DcLevel}, displayBitmap_->width());
        if (taken == RecordSweep::Taken::Nothing)
            return;  // no new picture: the last one stays
    } else if (analyserShown(s)) {
        // The analyser draws when it took new spectra; between them its picture stays.
        const SampleRing* record = loop_->record();
        if (record == nullptr ||
            !analyserSweep_.advance(s, s, *record, {s.chan1DcLevel, s.chan2DcLevel}, displayBitmap_->width()))
            return;
        taken = RecordSweep::Taken::Untriggered;  // a single sweep holds the first new spectrum
    }
    showPicture(runDisplayPass(s, s, s, *displayBitmap_));
    // A single sweep holds the first picture of the record it takes.
    if (taken != RecordSweep::Taken::Nothing && s.singleSweep == 1)
        s.displayHold = 1;
}

void TScopeForm::redrawHeldPicture()
{
    if (!heldPictureWantsRedraw(*state_, *state_))
        return;
    // The expanded view of a held picture of the record, from the frames it covers.
    if (const SampleRing* record = loop_->record(); record != nullptr && recordPictureShown(*state_))
        takeExpandedRecord(*state_, *state_, *record);
    // A held spectrum whose length or window changed is transformed again.
    analyserSweep_.retake(*state_, *state_);
    showPicture(runRedrawPass(*state_, *state_, *state_, *displayBitmap_));
}

void TScopeForm::showPicture(bool showHint)
{
    controls_.trigger.TrigdLED->setChecked(state_->triggerFound == 1);
    if (showHint != spectrumBoxShowsHint_) {
        spectrumBoxShowsHint_ = showHint;
        controls_.screen.SpectrumBox->setToolTip(showHint ? QStringLiteral("Drag the marker to the desired position")
                                                          : QString());
    }
    // Only the rows that changed since the last pass go to the screen; a
    // picture that did not change at all (no channel drawn, or a steady
    // trace) is not sent again. Any repaint in between (the window shown,
    // uncovered, resized) sends the bitmap as it is, so the screen holds the
    // picture of the last pass once these rows are sent.
    controls_.screen.SpectrumBox->showPass(displayBitmap_->takeChangedRows());
    refreshAxisLabels();
}

void TScopeForm::centreOnScreen()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const QPoint centred = area.center() - QPoint(width() / 2, height() / 2);
        // A window as large as the room for windows keeps its top left on it.
        move(std::max(centred.x(), area.left()), std::max(centred.y(), area.top()));
    }
}

void TScopeForm::FormCreate(QObject* sender)
{
    InstrumentState& s = *state_;

    // 1. The two recording buffers.
    s.bufferA = std::make_unique<std::uint8_t[]>(kRecordBufferBytes);
    s.bufferB = std::make_unique<std::uint8_t[]>(kRecordBufferBytes);

    // 2. Start-up values: a fresh state holds them.

    // 3. Size: the panel is laid out around a display of exactly 513 x 343,
    //    and the window takes the panel's size and keeps it.
    adjustSize();
    setFixedSize(sizeHint());
    centreOnScreen();

    // 4. The display bitmap: columns 0 to 511 of all rows white.
    Raster& bitmap = *displayBitmap_;
    bitmap.setPenColor(colour::kWhite);
    bitmap.setBrushColor(colour::kWhite);
    bitmap.setPenWidth(1);
    bitmap.Rectangle(0, 0, 512, s.clearHeight);

    // 5, 6. Help and configuration files at the install place. On a user's
    //    first start the install folder does not exist yet: the program makes
    //    it and puts the default settings there itself, because an installed
    //    package has no set-up step that would (prepareFirstRun in
    //    persist/InstallPaths.h says when and why). The record is then found
    //    below and applied as if it had always been there. An install folder
    //    that exists without a settings file stays as it is: start-up values,
    //    nothing saved.
    const QString firstRunProblem = prepareFirstRun();
    const QString help = helpFileCandidate();
    if (fileOpensForReading(help) && help.toUtf8().size() < kPathLength)
        setPath(s.helpFilePath, help.toUtf8().constData());
    const QString config = configFileCandidate();
    if (fileOpensForReading(config) && config.toUtf8().size() < kPathLength)
        setPath(s.configFilePath, config.toUtf8().constData());

    // 7. Count the input devices; none is accepted without comment.
    s.waveDeviceCount = static_cast<std::int32_t>(waveInput_.waveInGetNumDevs());

    // 8. Apply the stored settings.
    LoadConfiguration(sender, s.configFilePath.data());
    // The features beyond the settings record come from Varmolen.ini beside
    // it; without one (or with a bad one) they all stay off.
    s.features = readFeatureSettings(featureSettingsPath());
    showKeptFeatures(bindingTable(controls_), s.features);
    // The display's size and labels; the window opens centred at its size.
    applyDisplaySize();
    centreOnScreen();
    trigger_->applyMenuSampleRate(sender);
    menus_->showStateInForce();

    // 9. The analysis window of the transform.
    fillWindowTable(s.windowTable, s.blockSamples);

    // A first start that could not set up the install folder says so once,
    // in the status bar, and the instrument carries on with its start-up
    // values; no box stands between the user and the instrument.
    if (!firstRunProblem.isEmpty())
        status_.showNotice(firstRunProblem, StatusPanels::kFirstRunNoticeMs);
}

void TScopeForm::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void TScopeForm::FormClose()
{
    if (closing_)
        return;
    closing_ = true;
    InstrumentState& s = *state_;
    // The output falls silent before anything else ends.
    if (generatorPanel_)
        generatorPanel_->generator().switchOff();
    // Ask a running acquisition to end and release the device, so that it no
    // longer writes into the buffers; no new run starts. Then let it settle
    // and end the application.
    s.stopped = 1;
    controls_.run.StartTimer->stop();
    controls_.run.TimeoutTimer->stop();
    if (loop_->running() || engine_->deviceOpen())
        loop_->StopBtnClick();
    controls_.run.StartTimer->stop();
    host_->pauseMs(250);
    QCoreApplication::quit();
}

void TScopeForm::FormDestroy()
{
    if (formDestroyed_)
        return;
    formDestroyed_ = true;
    // No remote command reaches a window that is going.
    if (remote_)
        remote_->retire();
    InstrumentState& s = *state_;
    if (generatorPanel_)
        generatorPanel_->generator().switchOff();
    if (loop_->running() || engine_->deviceOpen())
        loop_->StopBtnClick();
    controls_.run.StartTimer->stop();
    controls_.run.TimeoutTimer->stop();
    // A recording that still runs is finished before anything else ends:
    // the file holds everything recorded up to the close.
    data().stopRecording(false);
    waveInput_.setNotifier(nullptr);
    SaveConfiguration(s.configFilePath.data());
    // Settings persist only where a settings file was found at start; the
    // feature settings then go beside it, once a feature was used or the
    // user keeps such a file (an unused instrument adds no file of its own).
    const QString featuresPath = featureSettingsPath();
    if (s.configFilePath[0] != '\0' && (s.features != FeatureSettings{} || QFileInfo::exists(featuresPath)))
        writeFeatureSettings(featuresPath, s.features);
    s.bufferA.reset();
    s.bufferB.reset();
}

}  // namespace varmolen
