// The signal generator and the response sweep as the window offers them:
// Options > Generator... and Measure > Response Sweep..., the generator they
// work, its output devices, and a sweep's run on the recorded blocks.
#pragma once

#include <memory>
#include <string>

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
    // Starts a response sweep and hands it every buffer recorded until it
    // ends; false with the reason when it cannot run. What the sweep
    // window's Start and any remote command call.
    bool startSweep(const SweepPlan& plan, std::string& whyNot);
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
};

}  // namespace varmolen
