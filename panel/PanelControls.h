// The widgets of the front panel and the menus, grouped as the panel groups
// them and named as the manual names them. The panel builder makes them and
// hands them to the main window, which keeps them to itself; tests and tools
// see them through a read-only view, whose pointers work a widget but can
// never put another in its place.
#pragma once

#include <array>

#include "dsp/TimeBase.h"
#include "state/FeatureSettings.h"
#include "state/InstrumentSettings.h"

class QAction;
class QComboBox;
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

class AxisLabelBand;
class Dial;
class Led;
class RockerSwitch;
class TPaintBox;
class ToggleSwitch;

// The display, its frame and the strip of labels under it.
struct ScreenWidgets {
    QFrame* ImagePanel = nullptr;
    TPaintBox* SpectrumBox = nullptr;
    QFrame* ScopeStatusPanel = nullptr;
    QLabel* LoFreqLabel = nullptr;
    QLabel* MarkerLabel = nullptr;
    QLabel* HiFreqLabel = nullptr;
    AxisLabelBand* AxisLabels = nullptr;  // the labelled axes around the display
};

// The Channel 1 column, marker 1's switch included.
struct Channel1Widgets {
    QGroupBox* Chan1Group = nullptr;
    Dial* Chan1GainDial = nullptr;
    QSlider* Chan1GainTrackBar = nullptr;
    Dial* Chan1OffsetDial = nullptr;
    RockerSwitch* Chan1EnbSwitch = nullptr;
    RockerSwitch* Mkr1Switch = nullptr;
};

// The Channel 2 column, marker 2's switch included.
struct Channel2Widgets {
    QGroupBox* Chan2Group = nullptr;
    Dial* Chan2GainDial = nullptr;
    QSlider* Chan2GainTrackBar = nullptr;
    Dial* Chan2OffsetDial = nullptr;
    RockerSwitch* Chan2EnbSwitch = nullptr;
    RockerSwitch* Mkr2Switch = nullptr;
};

// The Trace group: Add and XY.
struct TraceWidgets {
    QGroupBox* TraceGroup = nullptr;
    RockerSwitch* AddChanSw = nullptr;
    RockerSwitch* TraceModeSw = nullptr;
};

// The Trigger group: five switches, the threshold and the Trig'd lamp.
struct TriggerWidgets {
    QGroupBox* TriggerGroup = nullptr;
    ToggleSwitch* TriggerEnableSwitch = nullptr;
    ToggleSwitch* TrigSlopeSw = nullptr;
    ToggleSwitch* ChannelSw = nullptr;
    ToggleSwitch* ChopSw = nullptr;
    ToggleSwitch* SineSquareSw = nullptr;
    Dial* ThresholdDial = nullptr;
    Led* TrigdLED = nullptr;  // lit while the last pass found its trigger point
};

// The Display group: Hold, Single and Exp.
struct DisplayWidgets {
    QGroupBox* DisplayGroup = nullptr;
    RockerSwitch* DisplayHoldSw = nullptr;
    RockerSwitch* SingleDisplaySw = nullptr;
    RockerSwitch* ExpandSw = nullptr;
};

// The Time Base group: the time dial, the Uncal. lamp and the sample rates.
struct TimeBaseWidgets {
    QGroupBox* TimeBaseGroup = nullptr;
    Dial* TimeBaseDial = nullptr;
    Led* UncalLED = nullptr;
    QRadioButton* LowSampleRateRadioBtn = nullptr;
    QRadioButton* MidSampleRateRadioBtn = nullptr;
    QRadioButton* HiSampleRateRadioBtn = nullptr;
    // Time/Div beside the dial: "Time dial" (the picture of one block), then
    // the steps of the Time/Div menu, each its item's time a division.
    QLabel* TimeDivLabel = nullptr;
    QComboBox* TimeDivBox = nullptr;
};

// The Input Device group under the Trace group.
struct InputWidgets {
    // How long the notice that the generator stands in stays up.
    static constexpr int kNoticeMs = 20000;

    QGroupBox* InputGroup = nullptr;
    QLabel* InputDeviceLabel = nullptr;  // the device's whole name
    QLabel* InputNoticeLabel = nullptr;  // "No sound input was found", once
    QTimer* InputNoticeTimer = nullptr;  // hides the notice
};

// The status bar: five panels (reached by number through the window) and
// the recording's elapsed time.
struct StatusWidgets {
    QStatusBar* StatusBar1 = nullptr;
    QLabel* RecordingPanel = nullptr;  // shown only while a WAV recording runs
};

// What runs acquisition: the window's two 250 ms timers, and the start and
// stop buttons that exist for the program's own use outside the visible area.
struct RunWidgets {
    QTimer* StartTimer = nullptr;
    QTimer* TimeoutTimer = nullptr;
    QPushButton* StartBtn = nullptr;
    QPushButton* StopBtn = nullptr;
};

struct FileMenu {
    QMenu* File1 = nullptr;
    QAction* SaveForm1 = nullptr;
    QAction* SaveBitmap1 = nullptr;
    QAction* CopyForm1 = nullptr;
    QAction* CopyBitmap1 = nullptr;
    QAction* PrintForm1 = nullptr;
    QAction* ExportData1 = nullptr;
    QAction* ExportSpanWav1 = nullptr;
    QAction* RecordWav1 = nullptr;
    QAction* StopRecording1 = nullptr;
    // File > Recording Format: the format of the next recording, by RecordFormat.
    QMenu* RecordFormat1 = nullptr;
    std::array<QAction*, kRecordFormatCount> RecordFormats{};
    QAction* Quit1 = nullptr;
};

struct OptionsMenu {
    QMenu* Options1 = nullptr;
    QMenu* SelectSoundCard = nullptr;
    QAction* SelectCard = nullptr;
    QMenu* Input1 = nullptr;
    QAction* Mic1 = nullptr;
    QAction* Line1 = nullptr;
    // Sample Rate: one item a rate of kSampleRates, in its order ("SampleRate48000").
    QMenu* SampleRate1 = nullptr;
    std::array<QAction*, kSampleRates.size()> SampleRates{};
    // Precision: 16 bit, 24 bit and float, by the precision's number
    // (kPrecision16, kPrecision24, kPrecisionFloat).
    QMenu* Precision1 = nullptr;
    std::array<QAction*, 3> Precisions{};
    QAction* RemoteControl1 = nullptr;
    QAction* Generator1 = nullptr;  // the signal generator's window
};

struct DisplayMenu {
    QMenu* Display1 = nullptr;
    // Time/Div: the Time dial's picture of one block, then every step of
    // the time base in seconds a division ("TimeDiv0" for 1 µs on); which
    // ones the rate and the record offer is shown when the menu opens.
    // The mode (roll from 100 ms a division, triggered, roll), and the
    // trigger's sweep for pictures of the record.
    QMenu* TimeDiv1 = nullptr;
    QAction* TimeDial1 = nullptr;
    std::array<QAction*, kTimeBaseStepCount> TimeDivs{};
    QAction* RollAuto1 = nullptr;
    QAction* RollMain1 = nullptr;
    QAction* Roll1 = nullptr;
    QAction* SweepAuto1 = nullptr;
    QAction* SweepNormal1 = nullptr;
    // Where the trigger point stands in the span (a part of it before the
    // point), and the least time from one trigger point to the next.
    QMenu* TriggerPosition1 = nullptr;
    std::array<QAction*, kTriggerPositionCount> TriggerPositions{};
    QMenu* Holdoff1 = nullptr;
    std::array<QAction*, kHoldoffCount> Holdoffs{};
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
    // The spectrum analyser: the FREQUENCY display's other kind (Type >
    // Spectrogram), the transform's length and window, the axes, the
    // fractional-octave bands and their weighting. Each item's data is the
    // setting it chooses.
    QAction* Spectrogram1 = nullptr;
    QMenu* SpectrumLength1 = nullptr;
    std::array<QAction*, kAnalysisLengths.size()> SpectrumLengths{};
    QMenu* SpectrumWindow1 = nullptr;
    std::array<QAction*, kAnalysisWindowCount> SpectrumWindows{};
    QMenu* FrequencyAxis1 = nullptr;
    QAction* FrequencyLinear1 = nullptr;
    QAction* FrequencyLog1 = nullptr;
    QAction* FullRange1 = nullptr;
    QMenu* LevelAxis1 = nullptr;
    std::array<QAction*, kLevelUnitCount> LevelUnits{};
    std::array<QAction*, kLevelTops.size()> LevelTops{};
    std::array<QAction*, kLevelRanges.size()> LevelRanges{};
    QMenu* OctaveBands1 = nullptr;
    std::array<QAction*, kOctaveFractions.size()> OctaveBands{};
    QMenu* Weighting1 = nullptr;
    std::array<QAction*, 3> Weightings{};
    // The display's size and its labelled axes.
    QMenu* Size1 = nullptr;
    QAction* SizeNormal1 = nullptr;
    QAction* SizeLarge1 = nullptr;
    QAction* SizeFit1 = nullptr;
    QAction* AxisLabels1 = nullptr;
};

struct MeasureMenu {
    QMenu* Measure1 = nullptr;
    QAction* ShowMeasurements1 = nullptr;
    QAction* Calibrate1 = nullptr;
    QAction* ResponseSweep1 = nullptr;  // the response sweep's window
};

struct HelpMenu {
    QMenu* Help1 = nullptr;
    QAction* HelpFile1 = nullptr;
    QAction* About1 = nullptr;
};

// Every widget of the window that a handler, a command or a test works with.
struct PanelControls {
    ScreenWidgets screen;
    Channel1Widgets chan1;
    Channel2Widgets chan2;
    TraceWidgets trace;
    TriggerWidgets trigger;
    DisplayWidgets display;
    TimeBaseWidgets timeBase;
    InputWidgets input;
    StatusWidgets status;
    RunWidgets run;
    FileMenu fileMenu;
    OptionsMenu optionsMenu;
    DisplayMenu displayMenu;
    MeasureMenu measureMenu;
    HelpMenu helpMenu;
};

// A channel column's widgets by the channel's number (1, or any other for
// channel 2), so code for either column is written once.
struct ChannelWidgets {
    QGroupBox* group;
    Dial* gain;
    QSlider* range;
    Dial* position;
    RockerSwitch* enable;
    RockerSwitch* marker;
};
inline ChannelWidgets channelWidgets(const PanelControls& c, int channel)
{
    if (channel == 1)
        return {c.chan1.Chan1Group,      c.chan1.Chan1GainDial,  c.chan1.Chan1GainTrackBar,
                c.chan1.Chan1OffsetDial, c.chan1.Chan1EnbSwitch, c.chan1.Mkr1Switch};
    return {c.chan2.Chan2Group,      c.chan2.Chan2GainDial,  c.chan2.Chan2GainTrackBar,
            c.chan2.Chan2OffsetDial, c.chan2.Chan2EnbSwitch, c.chan2.Mkr2Switch};
}

}  // namespace varmolen
