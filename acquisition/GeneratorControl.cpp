#include "acquisition/GeneratorControl.h"

#include <utility>

namespace varmolen {

GeneratorControl::GeneratorControl(FeatureSettings& features) : features_(features) {}

GeneratorControl::~GeneratorControl() { switchOff(); }

void GeneratorControl::setService(PlaybackService service)
{
    switchOff();
    service_ = std::move(service);
}

std::vector<PlaybackDevice> GeneratorControl::devices() const
{
    return service_.list ? service_.list() : std::vector<PlaybackDevice>{};
}

void GeneratorControl::apply()
{
    if (!on() || logPlaying_)
        return;
    if (sweeping() && sweep_) {
        player_->set({.waveform = SynthWaveform::Sine,
                      .hz = sweep_->currentHz(),
                      .levelDbfs = sweep_->plan().levelDbfs,
                      .channels = SynthChannels::Both});
    } else {
        player_->set(features_.generator);
    }
}

double GeneratorControl::playedHz(unsigned rate) const { return clampSynthSettings(features_.generator, rate).hz; }

void GeneratorControl::setWaveform(SynthWaveform waveform)
{
    features_.generator.waveform = waveform;
    apply();
    changed(true);
}

void GeneratorControl::setFrequency(double hz)
{
    features_.generator.hz = clampSynthSettings({.hz = hz}, kSettingsMaxHz / kSynthMaxRateFraction).hz;
    apply();
    changed(true);
}

void GeneratorControl::setLevel(double dbfs)
{
    features_.generator.levelDbfs = clampSynthSettings({.levelDbfs = dbfs}, 44100.0).levelDbfs;
    apply();
    changed(true);
}

void GeneratorControl::setChannels(SynthChannels channels)
{
    features_.generator.channels = channels;
    apply();
    changed(true);
}

void GeneratorControl::setInvertRight(bool inverted)
{
    features_.generator.invertRight = inverted;
    apply();
    changed(true);
}

void GeneratorControl::setDevice(const std::string& name)
{
    if (name == features_.generatorDevice)
        return;
    features_.generatorDevice = name;
    if (on()) {
        // The new device plays what the old one did.
        const unsigned rate = player_->rate();
        std::string whyNot;
        switchOff();
        switchOn(rate, whyNot);
    }
}

std::string GeneratorControl::deviceName() const
{
    if (!features_.generatorDevice.empty())
        return features_.generatorDevice;
    const std::vector<PlaybackDevice> list = devices();
    return list.empty() ? std::string() : list.front().name;
}

bool GeneratorControl::switchOn(unsigned rate, std::string& whyNot, bool prompt)
{
    switchOff();
    return openPlayer(rate, clampSynthSettings(features_.generator, rate), prompt, nullptr, whyNot);
}

bool GeneratorControl::openPlayer(unsigned rate, const SynthSettings& settings, bool prompt,
                                  std::shared_ptr<const std::vector<float>> once, std::string& whyNot)
{
    const std::string name = deviceName();
    if (!service_.open || name.empty()) {
        whyNot = "No output device was found for the signal generator.";
        return false;
    }
    player_ = std::make_unique<SignalPlayer>([this, name] { return service_.open(name); });
    player_->setFailureNotifier(notifier_);
    if (!player_->start(rate, settings, whyNot, prompt, std::move(once))) {
        player_.reset();
        return false;
    }
    changed();
    return true;
}

void GeneratorControl::switchOff()
{
    if (sweepActive_)
        cancelSweep();
    if (on()) {
        player_->stop();
        changed();
    }
}

void GeneratorControl::changed(bool audible) const
{
    if (changed_ && (!audible || on()))
        changed_();
}

int GeneratorControl::heardWithinMs() const
{
    const int buffer = player_ && player_->prompt() ? kPromptOutputBufferMs : kSteadyOutputBufferMs;
    // A period to render the change in: half the buffer.
    return buffer + buffer / 2;
}

bool GeneratorControl::followRate(unsigned rate, std::string& whyNot)
{
    if (!on() || player_->rate() == rate)
        return true;
    cancelSweep();
    if (!on())
        return true;  // it played only for the sweep
    return switchOn(rate, whyNot);
}

std::string GeneratorControl::takeFailure()
{
    if (!player_ || !player_->failed())
        return {};
    const std::string name = deviceName();
    sweepActive_ = false;
    logPlaying_ = false;
    logRun_.reset();
    player_->stop();
    player_.reset();
    changed();
    return "The output device " + name + " stopped working; the signal generator is switched off.";
}

bool GeneratorControl::startSweep(const SweepPlan& plan, unsigned rate, std::string& whyNot)
{
    cancelSweep();
    forgetSweep();
    auto sweep = std::make_unique<ResponseSweep>(plan, static_cast<double>(rate));
    if (sweep->stepCount() == 0) {
        whyNot = "The sweep has no steps: Start must lie below Stop and below " +
                 std::to_string(static_cast<int>(synthMaxHz(rate))) + " Hz.";
        return false;
    }
    features_.sweep = plan;
    onBeforeSweep_ = on();
    if (!on() || player_->rate() != rate || !player_->prompt()) {
        // The sweep's first step plays from the start, ramped up, on a
        // device opened to be heard promptly: each step waits for its tone.
        const SynthSettings kept = features_.generator;
        features_.generator = {.waveform = SynthWaveform::Sine,
                               .hz = sweep->currentHz(),
                               .levelDbfs = plan.levelDbfs,
                               .channels = SynthChannels::Both};
        const bool started = switchOn(rate, whyNot, true);
        features_.generator = kept;
        if (!started)
            return false;
    }
    sweep_ = std::move(sweep);
    sweepActive_ = true;
    apply();
    changed();
    return true;
}

bool GeneratorControl::startLogSweep(LogSweepRequest request, unsigned rate, std::string& whyNot)
{
    cancelSweep();
    forgetSweep();
    if (!checkLogSweepPlan(request.plan, rate, whyNot))
        return false;
    onBeforeSweep_ = on();
    auto run = std::make_unique<LogSweepRun>(std::move(request), static_cast<double>(rate));
    // The signal plays from the device's first frame: nothing before it.
    if (on())
        player_->stop();
    const SynthSettings silentSine{.levelDbfs = kSynthMinDbfs};
    if (!openPlayer(rate, silentSine, true, run->signal(), whyNot)) {
        if (onBeforeSweep_) {
            std::string again;
            switchOn(rate, again);
        }
        return false;
    }
    logRun_ = std::move(run);
    logPlaying_ = true;
    sweepActive_ = true;
    changed();
    return true;
}

int GeneratorControl::sweepSteps() const
{
    if (lastSweepType() == kLogSweep)
        return 100;
    return sweep_ ? sweep_->stepCount() : 0;
}

int GeneratorControl::sweepStepsDone() const
{
    if (lastSweepType() == kLogSweep)
        return logRun_ ? static_cast<int>(100.0 * logRun_->progress()) : 100;
    return sweep_ ? sweep_->stepsDone() : 0;
}

void GeneratorControl::endSweep()
{
    sweepActive_ = false;
    const bool log = logRun_ != nullptr;
    if (log) {
        if (logRun_->done())
            logResult_ = std::make_shared<const LogSweepResult>(logRun_->result());
        logRun_.reset();
    }
    // A log sweep gave the generator back once it was recorded.
    if (!log || logPlaying_)
        restoreAfterSweep();
    changed();
}

void GeneratorControl::restoreAfterSweep()
{
    logPlaying_ = false;
    if (!onBeforeSweep_) {
        if (player_)
            player_->stop();
    } else if (player_ && player_->prompt()) {
        // The tone that played before comes back on a device opened for a
        // steady tone, which costs less to keep playing. Not through
        // switchOn: that would cancel a log sweep still being analysed.
        const unsigned rate = player_->rate();
        player_->stop();
        std::string whyNot;
        openPlayer(rate, clampSynthSettings(features_.generator, rate), false, nullptr, whyNot);
    } else {
        apply();
    }
}

void GeneratorControl::cancelSweep()
{
    if (!sweepActive_)
        return;
    endSweep();
}

bool GeneratorControl::takeBlock(const RecordedBlock& block)
{
    if (!sweeping())
        return false;
    if (logRun_) {
        const bool done = logRun_->take(block);
        if (logPlaying_ && logRun_->recorded()) {
            // Everything the output played has come back: the generator
            // returns to what it did while the analysis runs.
            restoreAfterSweep();
            changed();
        }
        if (done)
            endSweep();
        return done;
    }
    if (!sweep_->take(block))
        return false;
    if (!sweep_->finished()) {
        apply();
        return false;
    }
    endSweep();
    return true;
}

void GeneratorControl::forgetSweep()
{
    if (!sweepActive_) {
        sweep_.reset();
        logResult_.reset();
    }
}

std::vector<SweepRow> GeneratorControl::sweepRows() const { return sweep_ ? sweep_->rows() : std::vector<SweepRow>{}; }

}  // namespace varmolen
