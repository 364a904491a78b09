// The Measure menu ("Show Measurements", "Calibrate...") and what it drives:
// the measurement strip below the status bar and the calibration dialog.
//
// Shown, the strip adds its height to the bottom of the window; nothing of
// the panel moves. Hidden (the default), the window is exactly as without
// it and nothing is measured. While the strip or the calibration dialog is
// open, every buffer the run loop completes is measured as recorded; the
// texts refresh twice a second (kRefreshMs) from the readings of the last buffer
// that was drawn, formed then, so a held display keeps the readings of its
// picture.
#pragma once

#include <QObject>
#include <QSize>
#include <QString>

#include <array>
#include <chrono>
#include <memory>

#include "dsp/RecordedBlock.h"
#include "dsp/Measurements.h"

class QTimer;

namespace varmolen {

class CalibrateDialog;
class MeasureStrip;
class PeakLabels;
class AcquisitionLoop;
struct InstrumentSettings;
struct InstrumentView;
struct PanelControls;
class Raster;

class MeasureControls : public QObject {
public:
    // Twice a second: readable, and each new reading costs a repaint.
    static constexpr int kRefreshMs = 500;

    // Builds the hidden strip along the bottom of `window` (which grows
    // by the strip's height while it shows), its peak tags over the display
    // and its refresh timer. The readings come from acquisition's blocks;
    // the settings keep what is shown and the calibration, the view and the
    // display's picture place the peak tags.
    MeasureControls(QWidget& window, const PanelControls& controls, InstrumentSettings& settings,
                    const InstrumentView& view, AcquisitionLoop& acquisition, const Raster& picture);
    ~MeasureControls() override;

    // After the window's settings are applied: the strip as the feature
    // settings have it.
    void applySettings();
    // Measure > Show Measurements and Calibrate...
    void ShowMeasurements1Click(QObject* sender);
    void Calibrate1Click(QObject* sender);
    // Shows or hides the strip, sets the menu's check mark and the setting.
    void showMeasurements(bool shown);
    // The window took another size (a new display size, or its border
    // dragged at Fit to Window): the strip stays along its bottom.
    void windowSized();
    // Opens the calibration dialog (window-modal, without an event loop of
    // its own); OK stores the calibration in the feature settings.
    void openCalibration();

    bool shown() const { return shown_; }
    bool measuring() const { return measuring_; }
    MeasureStrip* strip() const { return strip_; }
    // The strip's peak frequencies beside the display's peaks (FREQUENCY).
    PeakLabels& peakLabels() const { return *peaks_; }
    CalibrateDialog* dialog() const { return dialog_; }
    // What the refresh timer does; also run at once when the strip appears.
    void refreshTexts();
    // The readings the texts show: of the last buffer drawn.
    const ChannelReadings& shownReadings(int channel) const { return shownReadings_[channel == 2 ? 1 : 0]; }
    // Remote control reads the readings too: while it listens, buffers are
    // measured as for the strip (TIME and tone readings both) even when
    // neither the strip nor the dialog is open.
    void setRemoteReading(bool wanted);
    // The readings of the last buffer drawn, formed now (for a remote query).
    const ChannelReadings& currentReadings(int channel);

    // Fresh readings. Acquisition started afresh (a rate, an input, a
    // device): every reading starts again from the next buffer. What the
    // generator plays changed: every reading starts again from the first
    // buffer recorded wholly after the change is heard, at most
    // `heardWithinMs` after it, plus what the input holds. Either way the
    // readings have settled once a whole tone record has been measured
    // since; until then *OPC? waits. `played` names the two-tone pair the
    // generator plays now (None: another waveform, a sweep, or off): the
    // intermodulation readings read by its method.
    void acquisitionRestarted();
    void generatorChanged(int heardWithinMs, ImdMethod played = ImdMethod::None);
    // Another display type chosen: the tone readings' average starts again,
    // as it does whenever the tone changes.
    void restartToneReadings();
    bool readingsSettled() const { return !settling_.pending; }
    // What the input may hold before a buffer is complete, beyond the
    // output's own buffer: the capture's periods and the sound server's.
    static constexpr int kInputHoldsMs = 100;

private:
    void measureBlock(const RecordedBlock& block);
    // The readings shown: those of the buffers measured until now; the tone
    // readings too when asked.
    void keepReadings(bool tone);
    // Measures while the strip or the dialog is open, and only then.
    void updateMeasuring();
    void calibrationClosed(int result);
    // The peak labels from the readings shown, over the picture as it is now.
    void placePeakLabels();

    // Readings that start again once a change is heard.
    struct Settling {
        bool pending = false;
        bool started = false;  // the readings started again; frames are counted from there
        std::chrono::steady_clock::time_point heardAt{};
        std::int64_t frames = 0;
    };
    void followSettling(const RecordedBlock& block, bool beforeMeasuring);

    QWidget& window_;
    const PanelControls& controls_;
    InstrumentSettings& settings_;
    const InstrumentView& view_;
    AcquisitionLoop& acquisition_;
    const Raster& picture_;
    std::unique_ptr<Measurements> measurements_;
    Settling settling_;
    std::array<ChannelReadings, 2> shownReadings_{};
    bool lastDrawn_ = false;  // the last buffer measured was drawn (the display is not held)
    QTimer* refresh_ = nullptr;
    MeasureStrip* strip_ = nullptr;
    std::unique_ptr<PeakLabels> peaks_;
    std::array<QString, 2> peakTexts_{};  // the strip's peak frequency texts
    CalibrateDialog* dialog_ = nullptr;
    QSize bareSize_;  // the window without the strip
    bool shown_ = false;
    bool measuring_ = false;
    bool remoteReading_ = false;
    ImdMethod playedPair_ = ImdMethod::None;
};

}  // namespace varmolen
