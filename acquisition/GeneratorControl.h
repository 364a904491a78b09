// The signal generator and the response sweep as the instrument offers them,
// without the toolkit: the generator window and the sweep window call these,
// and so may any other control surface (a remote command table), the same
// way. The settings live in the feature settings (Varmolen.ini).
//
// The generator plays at the capture's sample rate, which the caller passes
// when it switches the output on. Settings changed while it plays reach the
// output at once, continuous in phase and along a level ramp. A device that
// fails while playing is reported from the playback thread to the failure
// notifier; the owner then calls takeFailure on its own thread, which
// switches the output off and gives the message to show, once.
//
// A stepped sweep plays a sine at the plan's level, both channels, and steps its
// frequency as the rows are read from the recorded buffers handed to
// takeBlock; when it ends or is cancelled the generator returns to the
// settings and the on/off state it had before.
//
// A log sweep plays its signal once, on both channels (so channel 2 can take
// the output straight back as the reference), and records from the next
// buffer handed over; once recorded the generator returns to what it did
// before and the analysis runs on a thread of its own. The sweep counts as
// running (sweeping()) until its result is ready.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/LogSweepRun.h"
#include "audio/SignalPlayer.h"
#include "dsp/RecordedBlock.h"
#include "dsp/ResponseSweep.h"
#include "state/FeatureSettings.h"

namespace varmolen {

class GeneratorControl {
public:
    explicit GeneratorControl(FeatureSettings& features);
    ~GeneratorControl();
    GeneratorControl(const GeneratorControl&) = delete;
    GeneratorControl& operator=(const GeneratorControl&) = delete;

    // Without a service (the default) no device can be opened.
    void setService(PlaybackService service);
    std::vector<PlaybackDevice> devices() const;

    // The settings as set; the frequency stays as set at any rate.
    const SynthSettings& settings() const { return features_.generator; }
    // The frequency the generator plays at `rate`: the one set, or the
    // highest the rate carries when it carries no more.
    double playedHz(unsigned rate) const;
    void setWaveform(SynthWaveform waveform);
    void setFrequency(double hz);
    void setLevel(double dbfs);
    void setChannels(SynthChannels channels);
    void setInvertRight(bool inverted);
    // An output device by its name; empty for the first the service lists.
    void setDevice(const std::string& name);
    const std::string& device() const { return features_.generatorDevice; }

    // Switches the output on at `rate` Hz, or tells why it cannot play; a
    // prompt output (a sweep's) holds less, so that changes are heard sooner.
    bool switchOn(unsigned rate, std::string& whyNot, bool prompt = false);
    void switchOff();
    // After the capture's rate changed: a generator playing at another rate
    // is ramped off and on again at `rate`, playing its frequency within the
    // new rate's range (the setting stays); a running sweep, measured at the
    // old rate, is cancelled. False with the reason when the output could not play again.
    bool followRate(unsigned rate, std::string& whyNot);
    bool on() const { return player_ && player_->playing(); }
    // The rate it plays at (0 while off) and its underruns since it was switched on.
    unsigned rate() const { return on() ? player_->rate() : 0; }
    std::uint32_t underruns() const { return player_ ? player_->underruns() : 0; }
    // Called from the playback thread when the output device fails.
    void setFailureNotifier(std::function<void()> notifier) { notifier_ = std::move(notifier); }
    // After a failure, on the owner's thread: switches off and returns the
    // message to show; empty when nothing failed since the last look.
    std::string takeFailure();
    // Called on the owner's thread whenever what the output plays changes
    // (a setting while it plays, on, off, a sweep's start and end, a
    // failure), so the readings of what it drives can start afresh once
    // the change is heard. A sweep's own steps are no such change: the
    // sweep measures each step itself.
    void setChangeNotifier(std::function<void()> notifier) { changed_ = std::move(notifier); }
    // How long after a change the output plays it, at most: what the device
    // holds queued, and a period to render it in.
    int heardWithinMs() const;

    // The response sweep at the capture's `rate`; false with the reason when
    // it has no steps or the generator cannot play.
    bool startSweep(const SweepPlan& plan, unsigned rate, std::string& whyNot);
    void cancelSweep();
    bool sweeping() const { return sweepActive_ && (logRun_ || (sweep_ && !sweep_->finished())); }
    // The log sweep at the capture's `rate`; false with the reason when the
    // plan cannot run or the generator cannot play.
    bool startLogSweep(LogSweepRequest request, unsigned rate, std::string& whyNot);
    // The last log sweep's result (valid false, with the reason, when it
    // failed); null while none ran since the last start or forget.
    std::shared_ptr<const LogSweepResult> logSweepResult() const { return logResult_; }
    // What the last sweep started was: kLogSweep while a log sweep runs or
    // its result is kept, else kSteppedSweep.
    std::int32_t lastSweepType() const { return logRun_ || logResult_ ? kLogSweep : kSteppedSweep; }
    // A buffer recorded while the sweep runs; true when it finished the sweep.
    bool takeBlock(const RecordedBlock& block);
    // The rows of the running or the last sweep; none after a start refused.
    std::vector<SweepRow> sweepRows() const;
    // Forgets the last sweep's rows, as a refused start does; not while one runs.
    void forgetSweep();
    // The progress of the sweep: steps, or for a log sweep hundredths.
    int sweepSteps() const;
    int sweepStepsDone() const;

private:
    // The settings the output plays now: the sweep's while one runs.
    void apply();
    void endSweep();
    // The generator as it was before the sweep: off, or its own tone again.
    void restoreAfterSweep();
    // Opens the output at `rate`; with `once`, playing that signal from the
    // first frame instead of the settings' waveform.
    bool openPlayer(unsigned rate, const SynthSettings& settings, bool prompt,
                    std::shared_ptr<const std::vector<float>> once, std::string& whyNot);
    std::string deviceName() const;

    FeatureSettings& features_;
    PlaybackService service_;
    std::unique_ptr<SignalPlayer> player_;
    // Tells the change notifier; with `audible`, only when the output plays.
    void changed(bool audible = false) const;

    std::function<void()> notifier_;
    std::function<void()> changed_;
    std::unique_ptr<ResponseSweep> sweep_;
    bool sweepActive_ = false;
    bool onBeforeSweep_ = false;
    std::unique_ptr<LogSweepRun> logRun_;
    std::shared_ptr<const LogSweepResult> logResult_;
    bool logPlaying_ = false;  // the log sweep's signal plays (until recorded)
};

}  // namespace varmolen
