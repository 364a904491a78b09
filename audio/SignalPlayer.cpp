#include "audio/SignalPlayer.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace varmolen {

// What the caller and the playback thread share; the thread holds it too, so
// a thread that outlives its stop never touches freed memory.
struct SignalPlayer::Shared {
    std::mutex mutex;
    std::condition_variable ended;
    SynthSettings settings;                   // under mutex
    std::shared_ptr<const CycleTable> table;  // under mutex: the table `settings` play, made by the caller
    bool changed = false;                     // under mutex
    bool stopping = false;                    // under mutex
    bool finished = false;                    // under mutex
    std::function<void()> notifier;
    std::atomic<std::uint32_t> underruns{0};
    std::atomic<std::uint64_t> oncePlayed{0};
    std::atomic<bool> failed{false};
    std::unique_ptr<PlaybackSink> sink;
    std::unique_ptr<SignalSynth> synth;
    unsigned rate = 0;
    int wakeFd = -1;

    ~Shared()
    {
        if (wakeFd >= 0)
            ::close(wakeFd);
    }
    void raiseWake() const
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
    }
    void clearWake() const
    {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(wakeFd, &count, sizeof count);
    }
};

SignalPlayer::SignalPlayer(SinkMaker makeSink) : makeSink_(std::move(makeSink)) {}

SignalPlayer::~SignalPlayer() { stop(); }

void SignalPlayer::setFailureNotifier(std::function<void()> notifier) { notifier_ = std::move(notifier); }

bool SignalPlayer::start(unsigned rate, const SynthSettings& settings, std::string& whyNot, bool prompt,
                         std::shared_ptr<const std::vector<float>> once)
{
    stop();
    auto s = std::make_shared<Shared>();
    s->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    s->sink = makeSink_ ? makeSink_() : nullptr;
    if (s->wakeFd < 0 || !s->sink) {
        whyNot = "The output device could not be prepared.";
        return false;
    }
    s->sink->preferPrompt(prompt);
    const int bits = s->sink->open(rate, whyNot);
    if (bits == 0)
        return false;
    s->rate = rate;
    s->synth = std::make_unique<SignalSynth>(static_cast<double>(rate), bits);
    s->synth->set(settings);
    s->synth->switchOn(true);
    if (once)
        s->synth->playOnce(std::move(once));
    s->settings = s->synth->settings();
    s->notifier = notifier_;
    rate_ = rate;
    prompt_ = prompt;
    bits_ = bits;
    lastUnderruns_ = 0;
    lastOncePlayed_ = 0;
    lastFailed_ = false;
    shared_ = s;
    thread_ = std::thread([s] { playLoop(s); });
    return true;
}

void SignalPlayer::set(const SynthSettings& settings)
{
    if (!shared_)
        return;
    // Made (or found) here, so that the playback thread only takes it.
    std::shared_ptr<const CycleTable> table = SignalSynth::tableFor(clampSynthSettings(settings, rate_), rate_);
    std::lock_guard lock(shared_->mutex);
    shared_->settings = settings;
    // The table it replaces, if no one else holds it, is let go here too.
    std::swap(shared_->table, table);
    shared_->changed = true;
}

std::uint64_t SignalPlayer::oncePlayed() const
{
    return shared_ ? shared_->oncePlayed.load(std::memory_order_acquire) : lastOncePlayed_;
}

std::uint32_t SignalPlayer::underruns() const
{
    return shared_ ? shared_->underruns.load(std::memory_order_relaxed) : lastUnderruns_;
}

bool SignalPlayer::failed() const { return shared_ ? shared_->failed.load(std::memory_order_acquire) : lastFailed_; }

bool SignalPlayer::stop()
{
    if (!shared_)
        return true;
    Shared& s = *shared_;
    bool ended = false;
    {
        std::unique_lock lock(s.mutex);
        s.stopping = true;
        s.raiseWake();
        ended = s.ended.wait_for(lock, std::chrono::milliseconds(kCloseWaitMs), [&] { return s.finished; });
    }
    if (ended)
        thread_.join();
    else
        thread_.detach();  // stuck in its driver: it closes the device when (if ever) its write returns
    lastUnderruns_ = s.underruns.load(std::memory_order_relaxed);
    lastOncePlayed_ = s.oncePlayed.load(std::memory_order_acquire);
    lastFailed_ = s.failed.load(std::memory_order_acquire) || !ended;
    shared_.reset();
    return ended;
}

namespace {

// Writes all of `frames`: what was rendered is played whole, so the sound
// stays continuous into a ramp down. False once the device has failed.
bool writeAll(PlaybackSink& sink, const std::int32_t* codes, std::size_t frames, int wakeFd,
              const std::function<void()>& clearWake, std::chrono::steady_clock::time_point giveUp)
{
    std::size_t done = 0;
    while (done < frames) {
        const long n = sink.write(codes + 2 * done, frames - done, wakeFd);
        if (n < 0)
            return false;
        if (n == 0) {
            clearWake();  // a stop: finish this block, the ramp down comes next
            if (std::chrono::steady_clock::now() >= giveUp)
                return true;
            continue;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

void SignalPlayer::playLoop(const std::shared_ptr<Shared>& shared)
{
    using Clock = std::chrono::steady_clock;
    Shared& s = *shared;
    SignalSynth& synth = *s.synth;
    PlaybackSink& sink = *s.sink;
    // The most rendered at once: a period for a device that paces the
    // writes, all it holds for one that tells its room (its first fill).
    const std::size_t paced = std::max<std::size_t>(1, s.rate / kPeriodsPerSecond);
    const std::size_t most = std::max(paced, sink.bufferFrames());
    std::vector<std::int32_t> codes(2 * most);
    const long tailFrames =
        std::max(static_cast<long>(s.rate) * kTailMs / 1000, static_cast<long>(sink.bufferFrames()));
    long tailLeft = tailFrames;
    const auto clearWake = [&s] { s.clearWake(); };
    // Stopping never takes longer than this, whatever the device does.
    Clock::time_point giveUp = Clock::time_point::max();
    bool failed = false;

    for (;;) {
        bool stopping = false;
        {
            std::lock_guard lock(s.mutex);
            if (s.changed) {
                synth.set(s.settings, s.table);
                s.changed = false;
            }
            stopping = s.stopping;
        }
        if (stopping && synth.switchedOn()) {
            synth.switchOn(false);
            giveUp = Clock::now() + std::chrono::milliseconds(kCloseWaitMs * 4 / 5);
        }
        int waitMs = kRoomWaitMs;
        if (stopping) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - Clock::now()).count();
            if (tailLeft <= 0 || left <= 0)
                break;
            waitMs = static_cast<int>(std::min<long long>(left, kRoomWaitMs));
        }
        // Wait for the device to want more, then render what it takes: the
        // settings and a stop apply from the next frame it is given.
        const long room = sink.room(s.wakeFd, waitMs);
        s.underruns.fetch_add(sink.takeUnderruns(), std::memory_order_relaxed);
        if (room < 0) {
            failed = true;
            break;
        }
        if (room == 0) {
            s.clearWake();
            continue;
        }
        const std::size_t frames = std::min(static_cast<std::size_t>(room), room == kPacedByWrite ? paced : most);
        if (synth.silent() && stopping)
            tailLeft -= static_cast<long>(frames);
        synth.render(codes.data(), frames);
        s.oncePlayed.store(synth.framesPlayedOnce(), std::memory_order_release);
        if (!writeAll(sink, codes.data(), frames, s.wakeFd, clearWake, giveUp)) {
            failed = true;
            break;
        }
        s.underruns.fetch_add(sink.takeUnderruns(), std::memory_order_relaxed);
    }
    s.sink->close();
    if (failed) {
        s.failed.store(true, std::memory_order_release);
        if (s.notifier)
            s.notifier();
    }
    std::lock_guard lock(s.mutex);
    s.finished = true;
    s.ended.notify_all();
}

}  // namespace varmolen
