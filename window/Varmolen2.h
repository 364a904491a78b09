// The main window of the instrument: a fixed-size bench instrument on a navy
// panel with the display in the middle, the channel columns beside it, the
// trigger, display and time-base groups below, a status bar and the menus.
// It owns the one instrument state and hands it by reference to every part.
// Handlers carry the names of their control and event; their bodies live
// with their control groups in this folder, and one table binds every
// control and menu item to its handler (window/BindingTable.cpp).
#pragma once

#include <QMainWindow>
#include <QMargins>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "state/InstrumentState.h"
#include "window/ChannelControls.h"
#include "window/GeneratorPanel.h"
#include "window/MarkerControls.h"
#include "window/Menus.h"
#include "window/QtHost.h"
#include "window/StatusPanels.h"
#include "window/TriggerControls.h"
#include "display/Raster.h"
#include "display/RecordSweep.h"
#include "display/SpectrumAnalyser.h"
#include "panel/PanelControls.h"

class QLabel;
class QScreen;
class QTimer;
class QWindow;

namespace varmolen {

class AcquisitionLoop;
class DataCommands;
class GeneratorControl;
class GeneratorWindow;
class MeasureControls;
class OutputCommands;
class RemoteControl;
class SweepWindow;
struct PlaybackService;
struct SweepPlan;
class WaveEngine;
class WaveInput;

// Where the start-up values leave the dials whose position the settings
// record does not keep: the Gain dials half way, the Time dial at its full
// span.
inline constexpr std::int32_t kStartupGainDial = 50;
inline constexpr std::int32_t kStartupTimeDial = 100;

class TScopeForm : public QMainWindow {
    Q_OBJECT
public:
    // Builds the window and runs FormCreate. The wave-input service is the
    // one the whole program records from; it outlives the window.
    explicit TScopeForm(WaveInput& waveInput, QWidget* parent = nullptr);
    ~TScopeForm() override;

    // The panel's and the menus' widgets by group: read-only, so no widget
    // can be put in another's place.
    const PanelControls& controls() const { return controls_; }

    InstrumentState& state() { return *state_; }
    const InstrumentState& state() const { return *state_; }
    Raster& displayBitmap() { return *displayBitmap_; }
    QtHost& host() { return *host_; }
    WaveInput& waveInput() { return waveInput_; }

    // Lifecycle
    void FormCreate(QObject* sender);
    void FormClose();
    virtual void FormDestroy();
    // Remote control: the socket server and what it works of the window
    // (window/RemoteControl.cpp), made on first use; remote() is nullptr
    // before.
    RemoteControl& remoteControl();
    RemoteControl* remote() const { return remote_.get(); }

    // Settings file: read and applied once at start, written once at exit.
    void LoadConfiguration(QObject* sender, const char* path);
    void SaveConfiguration(const char* path);
    // Every setting of the record back at its start-up value, through the
    // handlers, as if read from a file of start-up values (remote *RST).
    void applyStartupValues(QObject* sender);

    // Acquisition (the run loop's entry points and timers).
    virtual void StartBtnClick(QObject* sender);
    virtual void StopBtnClick(QObject* sender);
    void StartTimerTimer(QObject* sender);
    void TimeoutTimerTimer(QObject* sender);

    // The groups of the panel and the menus, each with its handlers.
    ChannelControls& channels() { return *channels_; }
    TriggerControls& trigger() { return *trigger_; }
    MarkerControls& markers() { return *markers_; }
    MenuCommands& menus() { return *menus_; }
    // The signal generator and the response sweep (window/GeneratorPanel.cpp).
    GeneratorPanel& generatorPanel() { return *generatorPanel_; }
    // The measurement strip and its calibration (window/MeasureControls.cpp).
    MeasureControls& measure() { return *measure_; }
    // The file, print, clipboard and help commands, and the data commands
    // (export, recording): made on first use.
    OutputCommands& output();
    DataCommands& data();

    // Lays out the panel, the window and the display bitmap for the size and
    // labels in force (features.displaySize, features.axisLabels), draws the
    // picture again at the new size and checks the menu items that say so.
    // At Large the window fits the screen it is on, and is moved inside it.
    void applyDisplaySize();
    // The labels around the display follow the state in force.
    void refreshAxisLabels();

    // Draws a held picture again from the blocks that made it, after a
    // control changed how blocks are drawn; nothing happens while the
    // display follows the live signal.
    void redrawHeldPicture();
    // Which span of the record the next picture shows (a script forces a
    // trigger, or arms a single sweep that may end untriggered).
    RecordSweep& recordSweep() { return recordSweep_; }
    AnalyserSweep& analyserSweep() { return analyserSweep_; }

    // Names the device acquisition records from, after every start; the
    // first time it is the built-in generator because no other device was
    // found, says so for InputWidgets::kNoticeMs, once (window/InputDevice.cpp).
    void showInputDevice();
    // The device the last start opened (-1 before any).
    std::int32_t openDevice() const { return openDevice_; }

    AcquisitionLoop& acquisition() { return *loop_; }

    // The status bar's panels and its notice.
    StatusPanels& status() { return status_; }

protected:
    // A window made in two steps, for a window of a kind of its own: this
    // builds and binds the panel, with surroundings the caller's host stands
    // for (it gets its owner and timers here); finishCreate, called last by
    // the derived window's constructor, applies the settings and lets
    // acquisition start, its overrides in force.
    TScopeForm(WaveInput& waveInput, std::unique_ptr<QtHost> host, QWidget* parent);
    void finishCreate();

    // One display pass for the block the run loop has just completed.
    virtual void displayPass();
    // FormDestroy has run (it runs once, however often it is called).
    bool formDestroyed() const { return formDestroyed_; }
    // Sends a pass's picture to the screen and sets what follows from it.
    void showPicture(bool showHint);
    void closeEvent(QCloseEvent* event) override;
    // At Fit to Window the display follows the panel's size.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // At Large the window fits its screen again once its frame is known or
    // the measurement strip came or went.
    bool event(QEvent* event) override;

private:
    // applyDisplaySize; `keepOnScreen`: a window at Large that reaches past
    // its screen is moved inside it.
    void layOutDisplay(bool keepOnScreen);
    // Follows the screen the window is on and that screen's room for
    // windows, and lays out Large again when either changes.
    void watchScreen();
    void refitLarge(bool keepOnScreen);
    // The same once the events in hand are served (several calls, one layout).
    void refitLargeSoon(bool keepOnScreen);
    // The display box for the panel's size at fit, and the bitmap for a box.
    void fitDisplayToPanel();
    void centreOnScreen();
    void sizeDisplay(QSize box);
    PanelControls controls_;
    StatusPanels status_{*this, controls_.status};
    std::unique_ptr<InstrumentState> state_;
    std::unique_ptr<Raster> displayBitmap_;
    RecordSweep recordSweep_;      // which span of the record the next picture shows
    AnalyserSweep analyserSweep_;  // the spectrum analyser's transforms of the record
    WaveInput& waveInput_;
    std::unique_ptr<QtHost> host_;
    std::unique_ptr<WaveEngine> engine_;
    std::unique_ptr<AcquisitionLoop> loop_;
    std::unique_ptr<ChannelControls> channels_;
    std::unique_ptr<TriggerControls> trigger_;
    std::unique_ptr<MarkerControls> markers_;
    std::unique_ptr<MenuCommands> menus_;
    std::unique_ptr<MeasureControls> measure_;  // after loop_: it leaves the loop's hand-off when it goes
    std::unique_ptr<GeneratorPanel> generatorPanel_;
    std::unique_ptr<RemoteControl> remote_;
    // The file, print and clipboard commands, and the data commands (export,
    // recording): children of the window, made on first use.
    OutputCommands* outputCommands_ = nullptr;
    DataCommands* dataCommands_ = nullptr;
    std::atomic<bool> notifyPending_{false};
    bool spectrumBoxShowsHint_ = false;
    bool formDestroyed_ = false;
    bool closing_ = false;
    bool formCreated_ = false;  // the constructor has applied the settings
    bool generatorNoticeGiven_ = false;
    std::int32_t openDevice_ = -1;
    QSize displayBox_{513, 343};  // the display's box in points
    bool sizing_ = false;         // a new size is being laid out
    // The window and screen watched for Large, and the window frame Large
    // was last fitted with.
    QPointer<QWindow> watchedWindow_;
    QPointer<QScreen> watchedScreen_;
    QMetaObject::Connection roomWatch_;
    QMargins fittedFrame_;
    bool refitPending_ = false;
    bool refitKeepsOnScreen_ = false;
};

}  // namespace varmolen
