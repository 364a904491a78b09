// The signal generator's playback: a thread of its own renders the synthesis
// (dsp/SignalSynth.h) period by period, each when the output device asks for
// it, and writes it to the device.
//
// The thread keeps the capture thread's rules. A wait for the device to ask
// lasts at most kRoomWaitMs and a write's at most kWriteWaitMs, and either
// returns at once when the wake-up descriptor is raised;
// stopping ramps the output down, lets the device play the ramp out and
// closes it, and the caller waits at most kCloseWaitMs for all of that. A
// thread that has not finished by then (a device stuck in its driver) is left
// to end on its own: it owns everything it can still touch. Underruns are
// counted; a device that fails for good ends the playback and is reported
// once through the failure notifier, from the playback thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dsp/SignalSynth.h"

namespace varmolen {

// The longest a write may wait for room in the device.
constexpr int kWriteWaitMs = 50;
// The longest the playback thread waits for the device to want more while it
// plays steadily; a stop or a failure ends the wait at once.
constexpr int kRoomWaitMs = 250;
// What room() answers for a device that paces the writes itself.
constexpr long kPacedByWrite = 1L << 30;
// What an output device holds queued: a steady tone's longer buffer, or the
// shorter one of an output that must be heard soon (a response sweep's). A
// change reaches the ear at most this much after it is rendered.
constexpr int kSteadyOutputBufferMs = 200;
constexpr int kPromptOutputBufferMs = 100;

// One output device, as the playback thread sees it. After open only the
// playback thread touches it.
class PlaybackSink {
public:
    virtual ~PlaybackSink() = default;
    // Opens the device for interleaved stereo at `rate` Hz. Returns the bits
    // a sample carries (24 where the device takes them, else 16), or 0 with
    // the reason in whyNot.
    virtual int open(unsigned rate, std::string& whyNot) = 0;
    // Writes up to `frames` stereo frames of codes at the bits open chose,
    // waiting at most kWriteWaitMs for room; at once with 0 when `wakeFd`
    // is or becomes readable. Returns the frames taken (0: none yet), or a
    // negative value once the device has failed for good.
    virtual long write(const std::int32_t* codes, std::size_t frames, int wakeFd) = 0;
    // Waits at most waitMs until the device wants a period more, or returns
    // at once with 0 when `wakeFd` is or becomes readable. Returns the frames
    // the device takes now without waiting (0: none yet), or a negative value
    // once the device has failed for good. The thread renders just before it
    // writes, so a change is heard after what the device holds, no later. A
    // device that paces the writes itself answers kPacedByWrite.
    virtual long room(int /*wakeFd*/, int /*waitMs*/) { return kPacedByWrite; }
    // Asked before open: whether changes must be heard soon (a response
    // sweep's steps) rather than the output cost as little as it can (a
    // steady tone): a device may then hold less.
    virtual void preferPrompt(bool /*prompt*/) {}
    // The most frames the device holds queued (0: not known): after the ramp
    // down at least this much silence follows, so the ramp is played before
    // the device is closed.
    virtual std::size_t bufferFrames() const { return 0; }
    // Underruns since the last look (the device ran dry and was restarted).
    virtual std::uint32_t takeUnderruns() { return 0; }
    // Stops at once, dropping what is queued, and releases the device.
    virtual void close() = 0;
};

// The output devices of the machine and the way to open one, as the program
// entry makes them (through ALSA); the window knows nothing of the driver.
struct PlaybackDevice {
    std::string name;         // what the sink opens, e.g. "default"
    std::string productName;  // what the user reads
};
struct PlaybackService {
    std::function<std::vector<PlaybackDevice>()> list;
    std::function<std::unique_ptr<PlaybackSink>(const std::string& name)> open;
};

class SignalPlayer {
public:
    using SinkMaker = std::function<std::unique_ptr<PlaybackSink>()>;

    // Frames the thread renders at a time for a device that paces the writes
    // itself: 50 ms. A device that tells its room gets what it asks for (what
    // playing costs is mostly waking up, so it asks seldom).
    static constexpr unsigned kPeriodsPerSecond = 20;
    // After the ramp down, silence is written for this long (or for as long
    // as the device holds, if longer) before the device is closed, so that
    // what the device still holds (the ramp) is played.
    static constexpr int kTailMs = 100;
    // The longest the caller waits for the thread when stopping: enough for
    // a steady tone's device to play out what it holds and the ramp.
    static constexpr int kCloseWaitMs = 400;

    explicit SignalPlayer(SinkMaker makeSink);
    ~SignalPlayer();
    SignalPlayer(const SignalPlayer&) = delete;
    SignalPlayer& operator=(const SignalPlayer&) = delete;

    // Opens a device at `rate` and plays `settings`, ramping up from silence;
    // `prompt` as PlaybackSink::preferPrompt. False (and the reason) when the
    // device cannot be opened; a player that plays already is stopped first.
    // With `once`, the device plays that signal from its first frame instead
    // (SignalSynth::playOnce: both channels, no tone before it), then
    // silence until set() changes the settings or the player stops.
    bool start(unsigned rate, const SynthSettings& settings, std::string& whyNot, bool prompt = false,
               std::shared_ptr<const std::vector<float>> once = nullptr);
    // The new settings reach the output within a period. A waveform's table
    // is made here, on the caller's thread, never on the playback thread.
    void set(const SynthSettings& settings);
    // Frames of the `once` signal rendered so far, as the playback thread
    // counts them (an atomic): read on the owner's thread while it plays, and
    // after stop the count it reached. What is rendered is heard after what
    // the device holds.
    std::uint64_t oncePlayed() const;
    // Ramps down, plays the ramp out and closes the device. False when the
    // thread did not end within kCloseWaitMs (it is left to end on its own).
    bool stop();

    bool playing() const { return shared_ != nullptr; }
    unsigned rate() const { return rate_; }
    bool prompt() const { return prompt_; }
    int bits() const { return bits_; }
    // Underruns since start.
    std::uint32_t underruns() const;
    // The device failed for good while playing.
    bool failed() const;
    // Called once, from the playback thread, when the device fails.
    void setFailureNotifier(std::function<void()> notifier);

private:
    struct Shared;
    static void playLoop(const std::shared_ptr<Shared>& s);

    SinkMaker makeSink_;
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
    std::function<void()> notifier_;
    unsigned rate_ = 0;
    bool prompt_ = false;
    int bits_ = 0;
    std::uint32_t lastUnderruns_ = 0;
    std::uint64_t lastOncePlayed_ = 0;
    bool lastFailed_ = false;
};

}  // namespace varmolen
