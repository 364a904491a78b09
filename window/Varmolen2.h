// The main window of the instrument: a fixed-size bench instrument on a navy
// panel with the display in the middle, the channel columns beside it, the
// trigger, display and time-base groups below, a status bar and the menus.
// It owns the one instrument state and hands it by reference to every part.
// Handlers carry the names of their control and event; their bodies live
// with their control groups in this folder, and one table binds every
// control and menu item to its handler (window/BindingTable.cpp).
#pragma once

#include <QMainWindow>
#include <QWidget>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "state/InstrumentState.h"
#include "window/QtHost.h"
#include "display/Raster.h"
#include "panel/PanelControls.h"

class QLabel;
class QTimer;

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

// The user's decimal separator as one byte, for every readout the window
// shows; '\0' (written as '.') where the locale's separator is not a single
// Latin-1 character.
char decimalSeparator();

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
    void Quit1Click(QObject* sender);
    void SelectCardClick(QObject* sender);
    // Options > Remote Control... (window/RemoteDialog.cpp).
    void RemoteControl1Click(QObject* sender);
    // Remote control: the socket server and what it works of the window
    // (window/RemoteControl.cpp), made on first use; remote() is nullptr
    // before.
    RemoteControl& remoteControl();
    RemoteControl* remote() const { return remote_.get(); }

    // How long the status bar says that a first start could not set up the
    // install folder.
    static constexpr int kFirstRunNoticeMs = 30000;
    // A notice at the status bar's right end for `ms` (something that went
    // wrong or ended on its own, where no box should wait for a click); the
    // five panels stay as they are. The last notice replaces the one before.
    void showNotice(const QString& text, int ms);
    QString notice() const;

    // Settings file: read and applied once at start, written once at exit.
    void LoadConfiguration(QObject* sender, const char* path);
    void SaveConfiguration(const char* path);
    // Every setting of the record back at its start-up value, through the
    // handlers, as if read from a file of start-up values (remote *RST).
    void applyStartupValues(QObject* sender);
    // Where that leaves the dials whose position the record does not keep:
    // the Gain dials half way, the Time dial at its full span.
    static constexpr std::int32_t kStartupGainDial = 50;
    static constexpr std::int32_t kStartupTimeDial = 100;

    // Acquisition (the run loop's entry points and timers).
    virtual void StartBtnClick(QObject* sender);
    virtual void StopBtnClick(QObject* sender);
    void StartTimerTimer(QObject* sender);
    void TimeoutTimerTimer(QObject* sender);

    // Channel controls (window/ChannelControls.cpp).
    void Chan1GainDialClick(QObject* sender);
    void Chan1GainDialValueChange(QObject* sender);
    void Chan2GainDialClick(QObject* sender);
    void Chan2GainDialValueChange(QObject* sender);
    void Chan1GainTrackBarChange(QObject* sender);
    void Chan2GainTrackBarChange(QObject* sender);
    void Chan1OffsetDialClick(QObject* sender);
    void Chan1OffsetDialValueChange(QObject* sender);
    void Chan2OffsetDialClick(QObject* sender);
    void Chan2OffsetDialValueChange(QObject* sender);
    void Chan1EnbSwitchClick(QObject* sender);
    void Chan2EnbSwitchClick(QObject* sender);
    void AddChanSwClick(QObject* sender);
    void TraceModeSwClick(QObject* sender);

    // Trigger, display-mode and sample-rate controls (window/TriggerControls.cpp).
    void TriggerEnableSwitchClick(QObject* sender);
    void TrigSlopeSwClick(QObject* sender);
    void ChannelSwClick(QObject* sender);
    void ChopSwClick(QObject* sender);
    void SineSquareSwClick(QObject* sender);
    void DisplayHoldSwClick(QObject* sender);
    void SingleDisplaySwClick(QObject* sender);
    void LowSampleRateRadioBtnClick(QObject* sender);
    void MidSampleRateRadioBtnClick(QObject* sender);
    void HiSampleRateRadioBtnClick(QObject* sender);
    // An item of Options > Sample Rate: that rate; a button's rate checks its button.
    void SampleRateItemClick(QObject* sender);
    // The Sample Rate items show which rates the chosen device takes (the
    // others disabled) and which it records natively.
    void ShowDeviceRates();
    // At start, after Varmolen.ini is read: its rate, when it is none of the
    // buttons' and the device takes it, replaces the record's button rate.
    void ApplyMenuSampleRate(QObject* sender);

    // Markers, cursor, readouts and time base (window/MarkerControls.cpp).
    void SpectrumBoxMouseDown(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void SpectrumBoxMouseMove(QObject* sender, Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y);
    void SpectrumBoxMouseUp(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    // The display with the keyboard: Left and Right carry the selected
    // marker one column (ten with Shift) by the same press, moves and
    // release as a mouse drag; M and Space select the other marker. On
    // entering, and after every key, the cursor readout points at the
    // selected marker.
    void SpectrumBoxEnter(QObject* sender);
    void SpectrumBoxKeyDown(QObject* sender, int key, Qt::KeyboardModifiers shift);
    // The pointer left the display: the cursor reading goes (or, with the
    // keyboard on the display, rests on the selected marker).
    void SpectrumBoxMouseLeave(QObject* sender);
    int keyboardMarker() const { return keyboardMarker_; }
    void Mkr1SwitchClick(QObject* sender);
    void Mkr2SwitchClick(QObject* sender);
    void ExpandSwClick(QObject* sender);
    void ThresholdDialClick(QObject* sender);
    void ThresholdDialValueChange(QObject* sender);
    void UpdateMarkerReadout();
    void UpdateTimeBase();
    void TimeBaseDialClick(QObject* sender);
    void TimeBaseDialValueChange(QObject* sender);

    // Menus: input, display type, grid, colours (window/Menus.cpp).
    // After the settings are applied: every readout shows the state in force.
    void ShowStateInForce();
    // The entries of the colour menus show the background and trace colours
    // in force.
    void ShowColoursInForce();
    void Mic1Click(QObject* sender);
    void Line1Click(QObject* sender);
    void Time1Click(QObject* sender);
    void FFT1Click(QObject* sender);
    void Enable1Click(QObject* sender);
    void Disable1Click(QObject* sender);
    void White1Click(QObject* sender);
    void Teal1Click(QObject* sender);
    void Black1Click(QObject* sender);
    void Black2Click(QObject* sender);
    void Red1Click(QObject* sender);
    void Blue1Click(QObject* sender);
    void Lime1Click(QObject* sender);
    void Lime2Click(QObject* sender);
    void Yellow1Click(QObject* sender);
    void White2Click(QObject* sender);
    void Black3Click(QObject* sender);
    void Red2Click(QObject* sender);
    void Blue2Click(QObject* sender);
    void Teal2Click(QObject* sender);
    void Lime3Click(QObject* sender);
    void Yellow2Click(QObject* sender);
    void White3Click(QObject* sender);
    void WindowsXPClick(QObject* sender);
    void Windows2KClick(QObject* sender);

    // Measure menu: the measurement strip and its calibration (window/MeasureControls.cpp).
    void ShowMeasurements1Click(QObject* sender);
    void Calibrate1Click(QObject* sender);
    MeasureControls& measure() { return *measure_; }

    // The signal generator and the response sweep (window/GeneratorWindow.cpp,
    // window/SweepWindow.cpp): Options > Generator..., Measure > Response Sweep...
    void Generator1Click(QObject* sender);
    void ResponseSweep1Click(QObject* sender);
    // Starts a response sweep and hands it every buffer recorded until it
    // ends (window/SweepWindow.cpp); false with the reason when it cannot
    // run. What the sweep window's Start and any remote command call.
    bool StartSweep(const SweepPlan& plan, std::string& whyNot);
    // After the sample rate changed: a playing generator plays on at the new rate.
    void GeneratorFollowsRate();
    GeneratorControl& generator() { return *generator_; }
    // The output devices, given by the program entry; then the generator
    // plays at start if the settings ask for it ([Generator] OnAtStart).
    void setPlaybackService(PlaybackService service);
    // The windows, once opened (nullptr before).
    GeneratorWindow* generatorWindow() const { return generatorWindow_; }
    SweepWindow* sweepWindow() const { return sweepWindow_; }

    // Output and help commands (window/OutputCommands.cpp).
    void SaveForm1Click(QObject* sender);
    void SaveBitmap1Click(QObject* sender);
    void CopyForm1Click(QObject* sender);
    void CopyBitmap1Click(QObject* sender);
    void PrintForm1Click(QObject* sender);
    void HelpFile1Click(QObject* sender);
    void About1Click(QObject* sender);
    void VolumeControl1Click(QObject* sender);

    // Data commands: the display as CSV, WAV recording (window/DataCommands.cpp).
    void ExportData1Click(QObject* sender);
    void RecordWav1Click(QObject* sender);
    void StopRecording1Click(QObject* sender);

    // Display > Spectrum: averaging and peak hold (window/Menus.cpp).
    void AverageOff1Click(QObject* sender);
    void Average4Click(QObject* sender);
    void Average16Click(QObject* sender);
    void Average64Click(QObject* sender);
    void PeakHold1Click(QObject* sender);
    void SpectrumReset1Click(QObject* sender);

    // Display > Size and Display > Axis Labels (window/DisplaySize.cpp).
    void SizeNormal1Click(QObject* sender);
    void SizeLarge1Click(QObject* sender);
    void SizeFit1Click(QObject* sender);
    void AxisLabels1Click(QObject* sender);
    // Lays out the panel, the window and the display bitmap for the size and
    // labels in force (features.displaySize, features.axisLabels), draws the
    // picture again at the new size and checks the menu items that say so.
    void ApplyDisplaySize();
    // The labels around the display follow the state in force.
    void RefreshAxisLabels();

    // Draws a held picture again from the blocks that made it, after a
    // control changed how blocks are drawn; nothing happens while the
    // display follows the live signal.
    void RedrawHeldPicture();

    // Names the device acquisition records from, after every start; the
    // first time it is the built-in generator because no other device was
    // found, says so for InputWidgets::kNoticeMs, once (window/InputDevice.cpp).
    void ShowInputDevice();
    // The device the last start opened (-1 before any).
    std::int32_t openDevice() const { return openDevice_; }

    // The sound-card dialog, created by the program entry after this window.
    void setSoundCardSelect(QWidget* dialog) { soundCardSelect_ = dialog; }

    AcquisitionLoop& acquisition() { return *loop_; }

    // Status bar panels 0..4.
    QLabel* StatusPanel(int index) const;
    void setStatusText(int index, const QString& text);
    QString statusText(int index) const;

protected:
    // A window made in two steps, for a window of a kind of its own: this
    // builds and binds the panel, with surroundings the caller's host stands
    // for (it gets its owner and timers here); FinishCreate, called last by
    // the derived window's constructor, applies the settings and lets
    // acquisition start, its overrides in force.
    TScopeForm(WaveInput& waveInput, std::unique_ptr<QtHost> host, QWidget* parent);
    void FinishCreate();

    // One display pass for the block the run loop has just completed.
    virtual void DisplayPass();
    // FormDestroy has run (it runs once, however often it is called).
    bool formDestroyed() const { return formDestroyed_; }
    // Sends a pass's picture to the screen and sets what follows from it.
    void ShowPicture(bool showHint);
    void closeEvent(QCloseEvent* event) override;
    // At Fit to Window the display follows the panel's size.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The display box for the panel's size at fit, and the bitmap for a box.
    void fitDisplayToPanel();
    void centreOnScreen();
    void sizeDisplay(QSize box);
    PanelControls controls_;
    std::unique_ptr<InstrumentState> state_;
    std::unique_ptr<Raster> displayBitmap_;
    WaveInput& waveInput_;
    std::unique_ptr<QtHost> host_;
    std::unique_ptr<WaveEngine> engine_;
    std::unique_ptr<AcquisitionLoop> loop_;
    std::unique_ptr<MeasureControls> measure_;  // after loop_: it leaves the loop's hand-off when it goes
    std::unique_ptr<GeneratorControl> generator_;
    std::unique_ptr<RemoteControl> remote_;
    GeneratorWindow* generatorWindow_ = nullptr;
    SweepWindow* sweepWindow_ = nullptr;
    // The file, print and clipboard commands, and the data commands (export,
    // recording): children of the window, made on first use.
    OutputCommands* outputCommands_ = nullptr;
    DataCommands* dataCommands_ = nullptr;
    friend OutputCommands& outputCommandsOf(TScopeForm& form);
    friend DataCommands& dataCommandsOf(TScopeForm& form);
    std::atomic<bool> notifyPending_{false};
    bool spectrumBoxShowsHint_ = false;
    int keyboardMarker_ = 1;  // the marker the display's keys move: 1 or 2
    // The display column under the pointer while the cursor reading
    // describes it; rewritten when the scale changes under it.
    std::optional<int> cursorColumn_;
    QWidget* soundCardSelect_ = nullptr;
    QLabel* noticePanel_ = nullptr;  // made with the first notice
    QTimer* noticeTimer_ = nullptr;
    bool formDestroyed_ = false;
    bool closing_ = false;
    bool formCreated_ = false;  // the constructor has applied the settings
    bool generatorNoticeGiven_ = false;
    std::int32_t openDevice_ = -1;
    QSize displayBox_{513, 343};  // the display's box in points
    bool sizing_ = false;         // a new size is being laid out
};

}  // namespace varmolen
