// The main window of the instrument: a fixed-size bench instrument on a navy
// panel with the display in the middle, the channel columns beside it, the
// trigger, display and time-base groups below, a status bar and the menus.
// It owns the one instrument state and hands it by reference to every part.
// Handlers carry the names of their control and event; the panel's handler
// bodies live with their control groups under panel/.
#pragma once

#include <QMainWindow>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "state/InstrumentState.h"
#include "window/QtHost.h"
#include "display/Raster.h"

class QAction;
class QActionGroup;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QSlider;
class QStatusBar;
class QTimer;

namespace varmolen {

class Dial;
class Led;
class RockerSwitch;
class ToggleSwitch;
class AcquisitionLoop;
class MeasureControls;
class WaveEngine;
class WaveInput;

// The paint box that shows the display bitmap: it paints an RGB32 view of the
// bitmap's own memory, so a held picture survives every repaint. It takes
// the keyboard by Tab only (a click leaves the focus where it is) and passes
// on the keys that work the markers: Left, Right, M and Space.
class TPaintBox : public QWidget {
    Q_OBJECT
public:
    TPaintBox(const Raster& bitmap, QWidget* parent);

    // The copy of what the screen holds: every repaint records there what it
    // put on the screen, so a display pass sends exactly the rows that differ
    // from it, whatever the window went through (shown, covered, resized).
    void setShownPicture(Raster* shown) { shown_ = shown; }

signals:
    void mousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void mouseMoved(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, int x, int y);
    void mouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void keyPressed(int key, Qt::KeyboardModifiers modifiers);
    void keyboardFocusChanged(bool focused);
    void mouseLeft();

protected:
    void paintEvent(QPaintEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    const Raster& bitmap_;
    Raster* shown_ = nullptr;
};

class TScopeForm : public QMainWindow {
    Q_OBJECT
public:
    // Builds the window and runs FormCreate. The wave-input service is the
    // one the whole program records from; it outlives the window.
    explicit TScopeForm(WaveInput& waveInput, QWidget* parent = nullptr);
    ~TScopeForm() override;

    InstrumentState& state() { return *state_; }
    const InstrumentState& state() const { return *state_; }
    Raster& displayBitmap() { return *displayBitmap_; }
    QtHost& host() { return *host_; }
    WaveInput& waveInput() { return waveInput_; }

    // Lifecycle
    void FormCreate(QObject* sender);
    void FormClose();
    void FormDestroy();
    void Quit1Click();
    void SelectCardClick();

    // Settings file: read and applied once at start, written once at exit.
    void LoadConfiguration(QObject* sender, const char* path);
    void SaveConfiguration(const char* path);

    // Acquisition (the run loop's entry points and timers).
    void StartBtnClick(QObject* sender);
    void StopBtnClick(QObject* sender);
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

    // Draws a held picture again from the blocks that made it, after a
    // control changed how blocks are drawn; nothing happens while the
    // display follows the live signal.
    void RedrawHeldPicture();

    // Connects every front-panel control and menu item to its handler
    // (window/ConnectPanel.cpp). User actions only: setting a control from
    // the program never runs a handler.
    void ConnectFrontPanel();

    // Names the device acquisition records from, after every start; the
    // first time it is the built-in generator because no other device was
    // found, says so for kInputNoticeMs, once (window/InputDevice.cpp).
    void ShowInputDevice();
    static constexpr int kInputNoticeMs = 20000;
    // The device the last start opened (-1 before any).
    std::int32_t openDevice() const { return openDevice_; }

    // The sound-card dialog, created by the program entry after this window.
    void setSoundCardSelect(QWidget* dialog) { soundCardSelect_ = dialog; }

    // How often acquisition was started and stopped through the handlers
    // (whether or not a run was active): lets tests check handler sequences.
    int startRuns() const { return startRuns_; }
    // Display passes of new blocks drawn so far.
    int displayPasses() const { return displayPasses_; }
    int stopRuns() const { return stopRuns_; }
    AcquisitionLoop& acquisition() { return *loop_; }

    // Status bar panels 0..4.
    QLabel* StatusPanel(int index) const;
    void setStatusText(int index, const QString& text);
    QString statusText(int index) const;

    // Called at the end of FormDestroy; lets tests see that it ran, and how often.
    void setDestroyObserver(std::function<void()> observer) { destroyObserver_ = std::move(observer); }
    int formDestroyRuns() const { return formDestroyRuns_; }

    // ---- Controls, named by role and kind ----
    QTimer* StartTimer = nullptr;
    QTimer* TimeoutTimer = nullptr;
    QFrame* ImagePanel = nullptr;
    TPaintBox* SpectrumBox = nullptr;
    QFrame* ScopeStatusPanel = nullptr;
    QLabel* LoFreqLabel = nullptr;
    QLabel* MarkerLabel = nullptr;
    QLabel* HiFreqLabel = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* RecordingPanel = nullptr;  // shown only while a WAV recording runs
    QGroupBox* InputGroup = nullptr;      // under the Trace group
    QLabel* InputDeviceLabel = nullptr;   // the device's whole name
    QLabel* InputNoticeLabel = nullptr;   // "No sound input was found", once
    QTimer* InputNoticeTimer = nullptr;   // hides the notice
    QPushButton* StartBtn = nullptr;
    QPushButton* StopBtn = nullptr;

    QGroupBox* Chan1Group = nullptr;
    Dial* Chan1GainDial = nullptr;
    QSlider* Chan1GainTrackBar = nullptr;
    Dial* Chan1OffsetDial = nullptr;
    RockerSwitch* Chan1EnbSwitch = nullptr;
    RockerSwitch* Mkr1Switch = nullptr;

    QGroupBox* Chan2Group = nullptr;
    Dial* Chan2GainDial = nullptr;
    QSlider* Chan2GainTrackBar = nullptr;
    Dial* Chan2OffsetDial = nullptr;
    RockerSwitch* Chan2EnbSwitch = nullptr;
    RockerSwitch* Mkr2Switch = nullptr;

    QGroupBox* TraceGroup = nullptr;
    RockerSwitch* AddChanSw = nullptr;
    RockerSwitch* TraceModeSw = nullptr;

    QGroupBox* TriggerGroup = nullptr;
    ToggleSwitch* TriggerEnableSwitch = nullptr;
    ToggleSwitch* TrigSlopeSw = nullptr;
    ToggleSwitch* ChannelSw = nullptr;
    ToggleSwitch* ChopSw = nullptr;
    ToggleSwitch* SineSquareSw = nullptr;
    Dial* ThresholdDial = nullptr;
    Led* TrigdLED = nullptr;  // lit while the last pass found its trigger point

    QGroupBox* DisplayGroup = nullptr;
    RockerSwitch* DisplayHoldSw = nullptr;
    RockerSwitch* SingleDisplaySw = nullptr;
    RockerSwitch* ExpandSw = nullptr;

    QGroupBox* TimeBaseGroup = nullptr;
    Dial* TimeBaseDial = nullptr;
    Led* UncalLED = nullptr;
    QRadioButton* LowSampleRateRadioBtn = nullptr;
    QRadioButton* MidSampleRateRadioBtn = nullptr;
    QRadioButton* HiSampleRateRadioBtn = nullptr;

    // ---- Menus ----
    QMenu* File1 = nullptr;
    QAction* SaveForm1 = nullptr;
    QAction* SaveBitmap1 = nullptr;
    QAction* CopyForm1 = nullptr;
    QAction* CopyBitmap1 = nullptr;
    QAction* PrintForm1 = nullptr;
    QAction* ExportData1 = nullptr;
    QAction* RecordWav1 = nullptr;
    QAction* StopRecording1 = nullptr;
    QAction* Quit1 = nullptr;
    QMenu* Options1 = nullptr;
    QMenu* SelectSoundCard = nullptr;
    QAction* SelectCard = nullptr;
    QMenu* Input1 = nullptr;
    QAction* Mic1 = nullptr;
    QAction* Line1 = nullptr;
    QMenu* Display1 = nullptr;
    QMenu* Type1 = nullptr;
    QAction* Time1 = nullptr;
    QAction* FFT1 = nullptr;
    QMenu* Grid1 = nullptr;
    QAction* Enable1 = nullptr;
    QAction* Disable1 = nullptr;
    QMenu* BackgroundColor1 = nullptr;
    QAction* White1 = nullptr;
    QAction* Teal1 = nullptr;
    QAction* Black1 = nullptr;
    QMenu* Channel1TraceColor1 = nullptr;
    QAction* Black2 = nullptr;
    QAction* Red1 = nullptr;
    QAction* Blue1 = nullptr;
    QAction* Lime1 = nullptr;  // captioned "Teal"
    QAction* Lime2 = nullptr;
    QAction* Yellow1 = nullptr;
    QAction* White2 = nullptr;
    QMenu* Chan2TraceColor1 = nullptr;
    QAction* Black3 = nullptr;
    QAction* Red2 = nullptr;
    QAction* Blue2 = nullptr;
    QAction* Teal2 = nullptr;
    QAction* Lime3 = nullptr;
    QAction* Yellow2 = nullptr;
    QAction* White3 = nullptr;
    QMenu* Spectrum1 = nullptr;
    QAction* AverageOff1 = nullptr;
    QAction* Average4 = nullptr;
    QAction* Average16 = nullptr;
    QAction* Average64 = nullptr;
    QAction* PeakHold1 = nullptr;
    QAction* SpectrumReset1 = nullptr;
    QMenu* Measure1 = nullptr;
    QAction* ShowMeasurements1 = nullptr;
    QAction* Calibrate1 = nullptr;
    QMenu* Help1 = nullptr;
    QAction* HelpFile1 = nullptr;
    QAction* About1 = nullptr;

protected:
    // One display pass for the block the run loop has just completed.
    void DisplayPass();
    // Sends a pass's picture to the screen and sets what follows from it.
    void ShowPicture(bool showHint);
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<InstrumentState> state_;
    std::unique_ptr<Raster> displayBitmap_;
    std::unique_ptr<Raster> shownPicture_;  // what the screen holds of the display
    WaveInput& waveInput_;
    std::unique_ptr<QtHost> host_;
    std::unique_ptr<WaveEngine> engine_;
    std::unique_ptr<AcquisitionLoop> loop_;
    std::unique_ptr<MeasureControls> measure_;  // after loop_: it leaves the loop's hand-off when it goes
    std::atomic<bool> notifyPending_{false};
    bool spectrumBoxShowsHint_ = false;
    int keyboardMarker_ = 1;  // the marker the display's keys move: 1 or 2
    int startRuns_ = 0;
    int displayPasses_ = 0;
    // The display column under the pointer while the cursor reading
    // describes it; rewritten when the scale changes under it.
    std::optional<int> cursorColumn_;
    int stopRuns_ = 0;
    QWidget* soundCardSelect_ = nullptr;
    std::function<void()> destroyObserver_;
    int formDestroyRuns_ = 0;
    bool closing_ = false;
    bool formCreated_ = false;  // the constructor has applied the settings
    bool generatorNoticeGiven_ = false;
    std::int32_t openDevice_ = -1;
};

}  // namespace varmolen
