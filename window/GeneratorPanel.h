// The signal generator and the response sweep as the window offers them:
// Options > Generator... and Measure > Response Sweep..., the generator they
// work, its output devices, and a sweep's run on the recorded blocks.
#pragma once

#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "persist/SweepFile.h"

#include "window/GeneratorWindow.h"
#include "window/PanelGroup.h"

class QObject;

namespace varmolen {

class AcquisitionLoop;
class GeneratorControl;
class SweepWindow;
struct PlaybackService;
struct SweepPlan;
struct InstrumentSettings;

// A log sweep kept for comparison: shown or hidden, in a colour of its own,
// and the file it was saved to or loaded from (empty until then).
struct KeptSweep {
    SavedResponse response;
    bool shown = true;
    int colour = 0;
    QString file;
};

class GeneratorPanel : public PanelGroup {
public:
    // The generator reads and keeps its settings' [Generator] part and the
    // rate in force; a sweep takes the recorded blocks from acquisition. Its
    // windows open over `window`, and a generator or sweep that ends on its
    // own is told through `announceEnd`.
    GeneratorPanel(const PanelParts& panel, InstrumentSettings& settings, AcquisitionLoop& acquisition, QWidget& window,
                   EndAnnouncer announceEnd);
    ~GeneratorPanel();

    void Generator1Click(QObject* sender);
    void ResponseSweep1Click(QObject* sender);
    // Starts a response sweep of the kind [Sweep] Type chooses (a log sweep
    // with the length, reference and calibration set there) and hands it
    // every buffer recorded until it ends; false with the reason when it
    // cannot run. What the sweep window's Start and any remote command call.
    bool startSweep(const SweepPlan& plan, std::string& whyNot);

    // The last log sweep as a measurement to save or keep, as measured
    // (unsmoothed); false with the reason when there is none.
    bool lastLogSweep(SavedResponse& out, std::string& whyNot) const;
    // The measurements kept for comparison, oldest first.
    std::vector<KeptSweep>& keptSweeps() { return kept_; }
    // Keeps the last log sweep under `name`; false with the reason.
    bool keepLastSweep(const std::string& name, std::string& whyNot);
    // Writes a measurement to `path` as a saved-measurement file.
    bool saveSweep(const SavedResponse& response, const QString& path, std::string& whyNot);
    // Reads a saved measurement into the kept ones; with `asReference` it
    // becomes the saved reference a log sweep may be divided by.
    bool loadSweep(const QString& path, bool asReference, std::string& whyNot);
    // The log sweep's options as the sweep window sets them ([Sweep] Type,
    // Seconds, Reference, Smoothing), and the saved reference's file.
    void setSweepOptions(std::int32_t type, double seconds, std::int32_t reference, std::int32_t smoothing);
    void setSweepCalibration(const std::string& path);
    // Writes the last log sweep's impulse response as a 32-bit float WAV file.
    bool exportImpulse(const QString& path, std::string& whyNot) const;
    // After the sample rate changed: a playing generator plays on at the new rate.
    void generatorFollowsRate();
    GeneratorControl& generator() { return *generator_; }
    // The output devices, given by the program entry; then the generator
    // plays at start if the settings ask for it ([Generator] OnAtStart).
    void setPlaybackService(PlaybackService service);
    // The windows, once opened (nullptr before).
    GeneratorWindow* generatorWindow() const { return generatorWindow_; }
    SweepWindow* sweepWindow() const { return sweepWindow_; }
    // The windows work the generator and the run loop: the window closes
    // them before either goes.
    void closeWindows();

private:
    InstrumentSettings& settings_;
    AcquisitionLoop& acquisition_;
    QWidget& window_;
    EndAnnouncer announceEnd_;
    std::unique_ptr<GeneratorControl> generator_;
    GeneratorWindow* generatorWindow_ = nullptr;
    SweepWindow* sweepWindow_ = nullptr;
    std::vector<KeptSweep> kept_;
    int nextColour_ = 1;  // the last sweep draws in the first
};

// Reads a saved-measurement file, never more than kSweepFileMaxBytes of it; false with the reason.
bool readSweepFile(const QString& path, SavedResponse& out, std::string& whyNot);

}  // namespace varmolen
