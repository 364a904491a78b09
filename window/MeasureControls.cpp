#include "window/MeasureControls.h"

#include <QAction>
#include <QTimer>

#include <algorithm>

#include "panel/PanelControls.h"
#include "state/InstrumentSettings.h"
#include "state/InstrumentView.h"
#include "window/MarkerControls.h"
#include "panel/widgets/PaintBox.h"
#include "acquisition/AcquisitionLoop.h"
#include "display/MeasurementReadouts.h"
#include "panel/CalibrateDialog.h"
#include "panel/MeasureStrip.h"
#include "panel/PeakLabels.h"

namespace varmolen {

MeasureControls::MeasureControls(QWidget& window, const PanelControls& controls, InstrumentSettings& settings,
                                 const InstrumentView& view, AcquisitionLoop& acquisition, const Raster& picture)
    : window_(window),
      controls_(controls),
      settings_(settings),
      view_(view),
      acquisition_(acquisition),
      picture_(picture)
{
    strip_ = new MeasureStrip(&window);
    strip_->hide();
    peaks_ = std::make_unique<PeakLabels>(controls.screen.SpectrumBox);
    refresh_ = new QTimer(this);
    refresh_->setInterval(kRefreshMs);
    connect(refresh_, &QTimer::timeout, this, [this] { refreshTexts(); });
}

MeasureControls::~MeasureControls() { acquisition_.setBlockObserver(nullptr); }

void MeasureControls::applySettings() { showMeasurements(settings_.features.measureShown); }

void MeasureControls::showMeasurements(bool shown)
{
    settings_.features.measureShown = shown;
    controls_.measureMenu.ShowMeasurements1->setChecked(shown);
    if (shown != shown_) {
        shown_ = shown;
        // The strip sits in a margin below the status bar that the window
        // grows by; the layout above it is left exactly as it was.
        // A window with a resizable border (Fit to Window) keeps it.
        const bool resizable = settings_.features.displaySize == kFitDisplaySize;
        if (shown) {
            bareSize_ = window_.size();
            // Taken before the margin: the window that follows its size
            // (windowSized) may note the size in between.
            const QSize bare = bareSize_;
            const QSize withStrip(bare.width(), bare.height() + MeasureStrip::kHeight);
            window_.setContentsMargins(0, 0, 0, MeasureStrip::kHeight);
            if (resizable)
                window_.resize(withStrip);
            else
                window_.setFixedSize(withStrip);
            bareSize_ = bare;
            strip_->setGeometry(0, bare.height(), bare.width(), MeasureStrip::kHeight);
            strip_->show();
            strip_->raise();
        } else {
            strip_->hide();
            peaks_->hideAll();
            window_.setContentsMargins(0, 0, 0, 0);
            if (resizable)
                window_.resize(bareSize_);
            else
                window_.setFixedSize(bareSize_);
        }
    }
    updateMeasuring();
    if (shown_)
        refreshTexts();
}

void MeasureControls::windowSized()
{
    if (!shown_)
        return;
    bareSize_ = QSize(window_.width(), window_.height() - MeasureStrip::kHeight);
    strip_->setGeometry(0, bareSize_.height(), bareSize_.width(), MeasureStrip::kHeight);
}

void MeasureControls::openCalibration()
{
    if (dialog_ == nullptr) {
        dialog_ = new CalibrateDialog(&window_, [this](int channel) -> std::optional<double> {
            const ChannelReadings& r = shownReadings(channel);
            if (!r.recorded || !r.levels.valid)
                return std::nullopt;
            return r.levels.acRms;
        });
        connect(dialog_, &QDialog::finished, this, [this](int result) { calibrationClosed(result); });
    }
    dialog_->load(settings_.features.fullScaleVolts);
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->open();
    updateMeasuring();
    refreshTexts();
}

void MeasureControls::calibrationClosed(int result)
{
    if (result == QDialog::Accepted)
        settings_.features.fullScaleVolts = dialog_->accepted();
    updateMeasuring();
    if (shown_)
        refreshTexts();
}

void MeasureControls::updateMeasuring()
{
    const bool wanted = shown_ || remoteReading_ || (dialog_ != nullptr && dialog_->isVisible());
    if (wanted == measuring_)
        return;
    measuring_ = wanted;
    if (wanted) {
        // Allocated once, the first time anything is measured.
        if (!measurements_)
            measurements_ = std::make_unique<Measurements>();
        measurements_->reset();
        measurements_->setPlayedPair(playedPair_);
        shownReadings_ = {};
        lastDrawn_ = false;
        acquisition_.setBlockObserver([this](const RecordedBlock& block) { measureBlock(block); });
        refresh_->start();
    } else {
        acquisition_.setBlockObserver(nullptr);
        refresh_->stop();
    }
}

void MeasureControls::measureBlock(const RecordedBlock& block)
{
    const InstrumentSettings& s = settings_;
    // The readings are formed when the texts are refreshed, from all the
    // buffers measured until then. A held display keeps the readings of the
    // buffer it shows: the last one drawn, formed as the hold begins.
    const bool drawn = s.displayHold == 0;
    if (!drawn && lastDrawn_)
        keepReadings(true);
    lastDrawn_ = drawn;
    // The FREQUENCY display reads tones only; the TIME readings are followed
    // where they are read: in the TIME display and for the calibration, and
    // the tone record only in the FREQUENCY display, so that it starts with
    // the display and holds what it showed.
    const bool calibrating = dialog_ != nullptr && dialog_->isVisible();
    const MeasureParts parts{.time = s.displayType != kFrequencyDisplayType || calibrating || remoteReading_,
                             .tone = drawn && (s.displayType == kFrequencyDisplayType || remoteReading_)};
    followSettling(block, true);
    measurements_->measureBlock(block, s.chan1Enabled == 1, s.chan2Enabled == 1, parts);
    followSettling(block, false);
    if (s.displayType != kFrequencyDisplayType)
        peaks_->hideAll();  // at once when the display turns to TIME
}

void MeasureControls::followSettling(const RecordedBlock& block, bool beforeMeasuring)
{
    if (!settling_.pending || block.sampleRate == 0)
        return;
    const std::int64_t frames = block.bytes / (2 * static_cast<std::uint32_t>(std::max(block.channelCount, 1)));
    if (beforeMeasuring) {
        // The buffer began after the change was heard: the readings start
        // again with it.
        const auto began = std::chrono::steady_clock::now() -
                           std::chrono::microseconds(frames * 1000000 / static_cast<std::int64_t>(block.sampleRate));
        if (!settling_.started && began >= settling_.heardAt) {
            measurements_->reset();
            settling_.started = true;
            settling_.frames = 0;
        }
        return;
    }
    if (!settling_.started)
        return;
    settling_.frames += frames;
    if (settling_.frames >= kToneMaxRecord)
        settling_ = {};
}

void MeasureControls::acquisitionRestarted()
{
    // Nothing recorded before the start follows it. A held picture keeps
    // the readings of its last buffer, formed before they go.
    if (measuring_ && lastDrawn_ && settings_.displayHold == 1) {
        keepReadings(true);
        lastDrawn_ = false;
    }
    if (measurements_)
        measurements_->reset();
    settling_ = {.pending = true, .started = true, .heardAt = std::chrono::steady_clock::now(), .frames = 0};
}

void MeasureControls::generatorChanged(int heardWithinMs, ImdMethod played)
{
    playedPair_ = played;
    if (measurements_)
        measurements_->setPlayedPair(played);
    const auto heardAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(heardWithinMs + kInputHoldsMs);
    // A change while an earlier one is not yet heard counts from the later.
    settling_ = {.pending = true, .started = false, .heardAt = heardAt, .frames = 0};
}

void MeasureControls::restartToneReadings()
{
    if (measurements_)
        measurements_->restartTone();
}

void MeasureControls::setRemoteReading(bool wanted)
{
    remoteReading_ = wanted;
    updateMeasuring();
}

const ChannelReadings& MeasureControls::currentReadings(int channel)
{
    if (measuring_ && lastDrawn_)
        keepReadings(true);
    return shownReadings(channel);
}

void MeasureControls::keepReadings(bool tone)
{
    for (int ch = 1; ch <= 2; ++ch) {
        const auto i = static_cast<std::size_t>(ch - 1);
        const ToneReading kept = shownReadings_[i].tone;
        const ImdReading keptImd = shownReadings_[i].imd;
        shownReadings_[i] = measurements_->readings(ch);
        // The intermodulation reading is formed with the tone readings.
        shownReadings_[i].tone = tone ? measurements_->tone(ch) : kept;
        shownReadings_[i].imd = tone ? measurements_->readings(ch).imd : keptImd;
    }
}

void MeasureControls::refreshTexts()
{
    const InstrumentSettings& s = settings_;
    const char separator = decimalSeparator();
    const bool frequencyDisplay = s.displayType == kFrequencyDisplayType;
    const bool calibrating = dialog_ != nullptr && dialog_->isVisible();
    // Only what is shown is formed: the tone readings in the FREQUENCY display.
    if (measuring_ && lastDrawn_)
        keepReadings(frequencyDisplay);
    std::array<QString, 2> rmsNow;
    for (int ch = 1; ch <= 2; ++ch) {
        const auto i = static_cast<std::size_t>(ch - 1);
        const double fullScale = s.features.fullScaleVolts[i];
        const bool enabled = channelSettings(s, ch).on();
        const std::int32_t colour = channelSettings(s, ch).color();
        if (shown_ && frequencyDisplay) {
            const ToneRowTexts tone = toneTexts(shownReadings_[i], fullScale, separator, s.features.analyser.weighting);
            strip_->showChannel(ch, enabled, colour, nullptr, &tone);
            peakTexts_[i] = QString::fromStdString(tone.peakFrequency);
        }
        if ((shown_ && !frequencyDisplay) || calibrating) {
            const TimeRowTexts time = timeTexts(shownReadings_[i], fullScale, separator);
            if (shown_ && !frequencyDisplay)
                strip_->showChannel(ch, enabled, colour, &time, nullptr);
            rmsNow[i] = time.rms == measure_text::kUnknown
                            ? QStringLiteral("no reading")
                            : QStringLiteral("reads %1 RMS now").arg(QString::fromStdString(time.rms));
        }
    }
    if (calibrating)
        dialog_->showReadings(rmsNow);
    placePeakLabels();
}

void MeasureControls::placePeakLabels()
{
    const InstrumentSettings& s = settings_;
    const bool frequencyDisplay = shown_ && s.displayType == kFrequencyDisplayType;
    for (int ch = 1; ch <= 2; ++ch) {
        const auto i = static_cast<std::size_t>(ch - 1);
        const ToneReading& tone = shownReadings_[i].tone;
        const bool enabled = channelSettings(s, ch).on();
        const bool shown = frequencyDisplay && enabled && shownReadings_[i].recorded && tone.valid;
        peaks_->place(s, view_, picture_, ch, shown, tone.hz, peakTexts_[i]);
    }
}

// ---------------------------------------------------------------- handlers

void MeasureControls::ShowMeasurements1Click(QObject* /*sender*/)
{
    showMeasurements(controls_.measureMenu.ShowMeasurements1->isChecked());
}

void MeasureControls::Calibrate1Click(QObject* /*sender*/) { openCalibration(); }

}  // namespace varmolen
