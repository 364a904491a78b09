#include "audio/SignalPlayer.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace varmolen {

// What the caller and the playback thread share; the thread holds it too, so
// a thread that outlives its stop never touches freed memory.
struct SignalPlayer::Shared {
    std::mutex mutex;
    std::condition_variable ended;
    SynthSettings settings;  // under mutex
    bool changed = false;    // under mutex
    bool stopping = false;   // under mutex
    bool finished = false;   // under mutex
    std::function<void()> notifier;
    std::atomic<std::uint32_t> underruns{0};
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

bool SignalPlayer::start(unsigned rate, const SynthSettings& settings, std::string& whyNot)
{
    stop();
    auto s = std::make_shared<Shared>();
    s->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    s->sink = makeSink_ ? makeSink_() : nullptr;
    if (s->wakeFd < 0 || !s->sink) {
        whyNot = "The output device could not be prepared.";
        return false;
    }
    const int bits = s->sink->open(rate, whyNot);
    if (bits == 0)
        return false;
    s->rate = rate;
    s->synth = std::make_unique<SignalSynth>(static_cast<double>(rate), bits);
    s->synth->set(settings);
    s->synth->switchOn(true);
    s->settings = s->synth->settings();
    s->notifier = notifier_;
    rate_ = rate;
    bits_ = bits;
    lastUnderruns_ = 0;
    lastFailed_ = false;
    shared_ = s;
    thread_ = std::thread([s] { playLoop(s); });
    return true;
}

void SignalPlayer::set(const SynthSettings& settings)
{
    if (!shared_)
        return;
    std::lock_guard lock(shared_->mutex);
    shared_->settings = settings;
    shared_->changed = true;
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
    lastFailed_ = s.failed.load(std::memory_order_acquire) || !ended;
    shared_.reset();
    return ended;
}

void SignalPlayer::playLoop(const std::shared_ptr<Shared>& shared)
{
    Shared& s = *shared;
    SignalSynth& synth = *s.synth;
    const std::size_t period = std::max<std::size_t>(1, s.rate / kPeriodsPerSecond);
    std::vector<std::int32_t> codes(2 * period);
    const long tailFrames = static_cast<long>(s.rate) * kTailMs / 1000;
    long tailLeft = tailFrames;
    // Stopping never takes longer than this, whatever the device does.
    std::chrono::steady_clock::time_point giveUp = std::chrono::steady_clock::time_point::max();
    bool failed = false;

    for (;;) {
        bool stopping = false;
        {
            std::lock_guard lock(s.mutex);
            if (s.changed) {
                synth.set(s.settings);
                s.changed = false;
            }
            stopping = s.stopping;
        }
        if (stopping && synth.switchedOn()) {
            synth.switchOn(false);
            giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCloseWaitMs * 4 / 5);
        }
        if (stopping && (tailLeft <= 0 || std::chrono::steady_clock::now() >= giveUp))
            break;
        if (synth.silent() && stopping)
            tailLeft -= static_cast<long>(period);
        synth.render(codes.data(), period);

        std::size_t done = 0;
        while (done < period) {
            const long n = s.sink->write(codes.data() + 2 * done, period - done, s.wakeFd);
            if (n < 0) {
                failed = true;
                break;
            }
            if (n == 0) {
                s.clearWake();
                if (std::chrono::steady_clock::now() >= giveUp)
                    break;
                std::lock_guard lock(s.mutex);
                if (s.stopping && synth.switchedOn())
                    break;  // render the ramp down next
                continue;
            }
            done += static_cast<std::size_t>(n);
        }
        s.underruns.fetch_add(s.sink->takeUnderruns(), std::memory_order_relaxed);
        if (failed)
            break;
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
