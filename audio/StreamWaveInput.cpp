#include "audio/StreamWaveInput.h"

#include <poll.h>
#include <time.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "audio/DeviceNames.h"
#include "audio/SampleRates.h"

namespace varmolen {

bool isSupportedFormat(const WAVEFORMATEX& f)
{
    if (!sampleFormatOf(f))
        return false;
    if (f.nChannels != 1 && f.nChannels != 2)
        return false;
    if (!isSampleRate(f.nSamplesPerSec))
        return false;
    if (f.nBlockAlign != f.nChannels * f.wBitsPerSample / 8)
        return false;
    return f.nAvgBytesPerSec == f.nSamplesPerSec * f.nBlockAlign;
}

std::size_t chunkFramesAt(std::uint32_t rate)
{
    return std::min<std::size_t>(rate / kChunksPerSecond, kMaxChunkFrames);
}

bool waitReadableUntil(int fd, std::chrono::steady_clock::time_point deadline)
{
    // The wait is timed to the nanosecond (ppoll, on the monotonic clock the
    // steady clock reads): a wait rounded down to whole milliseconds would
    // end before the deadline and make a caller that waits for it spin.
    for (;;) {
        const auto left =
            std::max(deadline - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration::zero());
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec timeout{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
        pollfd p{fd, POLLIN, 0};
        const int r = ::ppoll(&p, 1, &timeout, nullptr);
        if (r > 0)
            return (p.revents & (POLLIN | POLLERR | POLLHUP)) != 0;
        if (r == 0 || errno != EINTR)
            return false;
    }
}

bool waitReadable(int fd, int timeoutMs)
{
    return waitReadableUntil(fd, std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0)));
}

// What the user-interface side and the capture thread of one open device
// share. Everything but the atomics is guarded by `mutex`; the source and the
// scratch chunk belong to the capture thread once it runs.
struct StreamWaveInput::Capture {
    struct Slot {
        WAVEHDR* header = nullptr;
        std::uint32_t filled = 0;
        bool afterBreak = false;  // the device lost sound before or within it
    };

    explicit Capture(StreamWaveInput& o) : owner(o) {}
    ~Capture()
    {
        if (wakeFd >= 0)
            ::close(wakeFd);
    }

    // Makes the wake-up descriptor readable, so a read in progress returns.
    void raiseWakeLocked() const
    {
        const std::uint64_t one = 1;
        (void)!::write(wakeFd, &one, sizeof one);
    }
    void clearWakeLocked() const
    {
        std::uint64_t count = 0;
        (void)!::read(wakeFd, &count, sizeof count);
    }
    // The owner's notifier runs only while the device is open: once closing
    // is set, the owner may be gone.
    void notifyLocked() const
    {
        if (!closing)
            owner.notify();
    }
    void markFailedLocked()
    {
        failed.store(true, std::memory_order_release);
        if (tap)
            tap->deviceFailed();
        notifyLocked();
    }

    void completeFrontLocked()
    {
        Slot& slot = queue[head];
        WAVEHDR* h = slot.header;
        h->dwBytesRecorded.store(slot.filled, std::memory_order_relaxed);
        const std::uint32_t flags = h->dwFlags.load(std::memory_order_relaxed);
        h->dwFlags.store((flags & ~WHDR_INQUEUE) | WHDR_DONE | (slot.afterBreak ? WHDR_AFTERBREAK : 0),
                         std::memory_order_release);
        slot = Slot{};
        head = (head + 1) % kMaxQueuedBuffers;
        --count;
    }

    // Stores a chunk into the queued buffers. Data arriving while no buffer
    // is queued is lost, as on a real card.
    void deliverLocked(const std::uint8_t* bytes, std::size_t size)
    {
        while (size > 0 && count > 0) {
            Slot& slot = queue[head];
            // The buffer that takes the first frames after a break does not
            // follow the one before; when the break fell within it, the next
            // one does not follow it either.
            if (breakPending) {
                slot.afterBreak = true;
                breakPending = slot.filled > 0;
            }
            const std::uint32_t room = slot.header->dwBufferLength - slot.filled;
            const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(room, size));
            std::memcpy(slot.header->lpData + slot.filled, bytes, n);
            slot.filled += n;
            bytes += n;
            size -= n;
            position.fetch_add(n, std::memory_order_release);
            if (slot.filled == slot.header->dwBufferLength)
                completeFrontLocked();
        }
    }

    StreamWaveInput& owner;
    std::mutex mutex;
    std::condition_variable wake;   // started, closing or a reset changed
    std::condition_variable ended;  // the capture thread has finished
    int wakeFd = -1;
    bool started = false;
    bool closing = false;
    bool finished = false;
    std::uint64_t generation = 0;  // bumped by reset: chunks read before it are dropped
    std::array<Slot, kMaxQueuedBuffers> queue{};
    std::size_t head = 0;
    std::size_t count = 0;
    std::atomic<std::uint32_t> position{0};
    std::atomic<bool> failed{false};
    // The source reported a break: the next buffer filled is marked.
    bool breakPending = false;

    // A WAV recording's tap: every chunk read goes to it, queued buffer or
    // not. `tapAfterStart` marks the first chunk since the source started.
    std::shared_ptr<RecordingTap> tap;
    bool tapAfterStart = true;

    std::unique_ptr<CaptureSource> source;
    std::vector<std::uint8_t> scratch;  // one chunk, in the format opened
    std::size_t chunkFrames = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t channels = 0;
    SampleFormat format = SampleFormat::S16LE;
};

void StreamWaveInput::captureLoop(const std::shared_ptr<Capture>& c)
{
    bool running = false;
    for (;;) {
        std::uint64_t generation = 0;
        {
            std::unique_lock lock(c->mutex);
            if (!c->started && running) {
                lock.unlock();
                c->source->stop();
                running = false;
                continue;
            }
            c->wake.wait(lock, [&] { return c->closing || (c->started && !c->failed.load()); });
            if (c->closing)
                break;
            c->clearWakeLocked();
            generation = c->generation;
        }
        if (!running) {
            if (!c->source->start()) {
                std::lock_guard lock(c->mutex);
                c->markFailedLocked();
                continue;
            }
            running = true;
            std::lock_guard lock(c->mutex);
            c->tapAfterStart = true;
            c->breakPending = false;
        }
        const long frames = c->source->read(c->scratch.data(), c->chunkFrames, c->wakeFd);
        const StreamBreaks broke = frames >= 0 ? c->source->takeBreaks() : StreamBreaks{};
        std::lock_guard lock(c->mutex);
        if (frames < 0) {
            c->markFailedLocked();
            continue;
        }
        // The sound lost in a break stands in the recording as silence, and
        // no buffer after it is taken to follow the one before.
        if (broke.count > 0) {
            if (c->tap)
                c->tap->streamBroke(broke.lostFrames);
            c->breakPending = true;
        }
        // A recording keeps everything the source delivered, also what came
        // while no buffer was queued or just before a reset.
        if (frames > 0 && c->tap) {
            if (c->format == SampleFormat::S16LE)
                c->tap->deliver(reinterpret_cast<const std::int16_t*>(c->scratch.data()),
                                static_cast<std::size_t>(frames), c->tapAfterStart);
            else
                c->tap->deliverFine(c->scratch.data(), c->format, c->channels, static_cast<std::size_t>(frames),
                                    c->tapAfterStart);
            c->tapAfterStart = false;
        }
        if (frames > 0 && generation == c->generation && c->started && !c->closing) {
            c->deliverLocked(c->scratch.data(), static_cast<std::size_t>(frames) * c->blockAlign);
            c->notifyLocked();
        }
    }
    if (running)
        c->source->stop();
    c->source->close();
    {
        std::lock_guard lock(c->mutex);
        c->finished = true;
    }
    c->ended.notify_all();
}

StreamWaveInput::StreamWaveInput(std::vector<StreamDevice> devices)
    : devices_(std::move(devices)), rates_(devices_.size())
{}

StreamWaveInput::~StreamWaveInput()
{
    if (handle_ != 0) {
        waveInReset(handle_);
        waveInClose(handle_);
    }
}

UINT StreamWaveInput::waveInGetNumDevs() { return static_cast<UINT>(devices_.size()); }

std::optional<DeviceRates> StreamWaveInput::askRates(UINT deviceId)
{
    if (deviceId >= devices_.size())
        return DeviceRates{};
    if (!rates_[deviceId] && devices_[deviceId].rates)
        rates_[deviceId] = devices_[deviceId].rates();
    return rates_[deviceId];
}

DeviceRates StreamWaveInput::deviceRates(UINT deviceId)
{
    if (deviceId < devices_.size() && handle_ != 0 && openDevice_ == deviceId && !rates_[deviceId])
        return DeviceRates::unknown();  // open now: not asked again until closed
    return askRates(deviceId).value_or(DeviceRates::unknown());
}

bool StreamWaveInput::deviceFailed() const
{
    return capture_ != nullptr && capture_->failed.load(std::memory_order_acquire);
}

MMRESULT StreamWaveInput::waveInGetDevCapsA(UINT deviceId, WAVEINCAPSA* caps, UINT size)
{
    if (caps == nullptr || size < sizeof(WAVEINCAPSA))
        return MMSYSERR_INVALPARAM;
    if (deviceId >= devices_.size())
        return MMSYSERR_BADDEVICEID;
    *caps = WAVEINCAPSA{};
    const std::string name = cutProductName(devices_[deviceId].productName);
    std::memcpy(caps->szPname, name.data(), name.size());
    caps->wChannels = 2;
    caps->dwFormats = 0x00000FFF;  // every 16-bit and 8-bit PCM format at 11, 22 and 44 kHz
    return MMSYSERR_NOERROR;
}

std::string StreamWaveInput::deviceName(UINT deviceId)
{
    return deviceId < devices_.size() ? devices_[deviceId].productName : std::string();
}

MMRESULT StreamWaveInput::waveInOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format,
                                     std::uintptr_t callback, std::uintptr_t /*instance*/, std::uint32_t flags)
{
    if (format == nullptr)
        return MMSYSERR_INVALPARAM;
    if ((flags & ~WAVE_FORMAT_QUERY) != 0 || callback != 0)
        return MMSYSERR_INVALFLAG;  // completion is observed by polling only
    if (deviceId >= devices_.size())
        return MMSYSERR_BADDEVICEID;
    if (!isSupportedFormat(*format))
        return WAVERR_BADFORMAT;

    if (flags & WAVE_FORMAT_QUERY) {
        std::unique_ptr<CaptureSource> probe = devices_[deviceId].makeSource();
        return probe ? probe->query(*format) : MMSYSERR_NODRIVER;
    }
    if (handle == nullptr)
        return MMSYSERR_INVALPARAM;
    if (handle_ != 0)
        return MMSYSERR_ALLOCATED;

    askRates(deviceId);  // while the device can still be asked
    std::unique_ptr<CaptureSource> source = devices_[deviceId].makeSource();
    if (!source)
        return MMSYSERR_NODRIVER;
    auto capture = std::make_shared<Capture>(*this);
    capture->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (capture->wakeFd < 0)
        return MMSYSERR_NOMEM;
    if (const MMRESULT r = source->open(*format); r != MMSYSERR_NOERROR)
        return r;

    // A recording goes on only on the device and in the format it began in.
    if (tap_) {
        if (deviceId == tapDevice_ && format->nChannels == tapFormat_.nChannels &&
            format->nSamplesPerSec == tapFormat_.nSamplesPerSec) {
            capture->tap = tap_;
        } else {
            tap_->formatChanged();
            tap_.reset();
        }
    }
    openDevice_ = deviceId;
    openFormat_ = *format;
    capture->source = std::move(source);
    capture->blockAlign = format->nBlockAlign;
    capture->channels = format->nChannels;
    capture->format = *sampleFormatOf(*format);
    capture->chunkFrames = chunkFramesAt(format->nSamplesPerSec);
    // Its storage comes from operator new, aligned for the 16 and 32-bit
    // values the tap reads straight from it.
    capture->scratch.assign(capture->chunkFrames * format->nBlockAlign, 0);
    capture_ = capture;
    handle_ = nextHandle_++;
    *handle = handle_;
    thread_ = std::thread([capture] { captureLoop(capture); });
    return MMSYSERR_NOERROR;
}

MMRESULT StreamWaveInput::waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size)
{
    if (!validHandle(handle))
        return MMSYSERR_INVALHANDLE;
    if (header == nullptr || size != sizeof(WAVEHDR) || header->lpData == nullptr)
        return MMSYSERR_INVALPARAM;
    if (deviceFailed())
        return MMSYSERR_NODRIVER;
    header->dwFlags.fetch_or(WHDR_PREPARED, std::memory_order_relaxed);
    return MMSYSERR_NOERROR;
}

MMRESULT StreamWaveInput::waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size)
{
    // Releasing a header is bookkeeping only, so it works on a failed device.
    if (!validHandle(handle))
        return MMSYSERR_INVALHANDLE;
    if (header == nullptr || size != sizeof(WAVEHDR))
        return MMSYSERR_INVALPARAM;
    if (header->dwFlags.load(std::memory_order_acquire) & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    header->dwFlags.fetch_and(~WHDR_PREPARED, std::memory_order_relaxed);
    return MMSYSERR_NOERROR;
}

MMRESULT StreamWaveInput::waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size)
{
    if (!validHandle(handle))
        return MMSYSERR_INVALHANDLE;
    if (header == nullptr || size != sizeof(WAVEHDR) || header->lpData == nullptr || header->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    const std::uint32_t flags = header->dwFlags.load(std::memory_order_acquire);
    if (!(flags & WHDR_PREPARED))
        return WAVERR_UNPREPARED;
    if (flags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    if (deviceFailed())
        return MMSYSERR_NODRIVER;
    Capture& c = *capture_;
    std::lock_guard lock(c.mutex);
    if (c.count == kMaxQueuedBuffers)
        return MMSYSERR_NOMEM;
    header->dwBytesRecorded.store(0, std::memory_order_relaxed);
    header->dwFlags.store((flags & ~(WHDR_DONE | WHDR_AFTERBREAK)) | WHDR_INQUEUE, std::memory_order_release);
    c.queue[(c.head + c.count) % kMaxQueuedBuffers] = Capture::Slot{header, 0};
    ++c.count;
    return MMSYSERR_NOERROR;
}

MMRESULT StreamWaveInput::waveInStart(HWAVEIN handle)
{
    if (!validHandle(handle))
        return MMSYSERR_INVALHANDLE;
    if (deviceFailed())
        return MMSYSERR_NODRIVER;
    {
        std::lock_guard lock(capture_->mutex);
        capture_->started = true;
    }
    capture_->wake.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT StreamWaveInput::waveInGetPosition(HWAVEIN handle, MMTIME* time, UINT size)
{
    if (!validHandle(handle))
        return MMSYSERR_INVALHANDLE;
    if (time == nullptr || size < sizeof(MMTIME))
        return MMSYSERR_INVALPARAM;
    if (deviceFailed())
        return MMSYSERR_NODRIVER;
    time->wType = TIME_BYTES;
    time->cb = capture_->position.load(std::memory_order_acquire);
    return MMSYSERR_NOERROR;
}

MMRESULT StreamWaveInput::waveInReset(HWAVEIN handle)
{
    // Stopping and handing the buffers back needs nothing of the device, so a
    // reset succeeds on a failed device and the program can always clean up.
    if (!validHandle(handle))
        return MMSYSERR_INVALHANDLE;
    Capture& c = *capture_;
    {
        std::lock_guard lock(c.mutex);
        c.started = false;
        ++c.generation;
        while (c.count > 0)
            c.completeFrontLocked();
        c.position.store(0, std::memory_order_release);
        c.raiseWakeLocked();
    }
    c.wake.notify_all();
    notify();
    return MMSYSERR_NOERROR;
}

bool StreamWaveInput::setRecordingTap(std::shared_ptr<RecordingTap> tap, UINT deviceId, const WAVEFORMATEX& format)
{
    clearRecordingTap();
    if (!tap || deviceId >= devices_.size() || !isSupportedFormat(format))
        return false;
    if (capture_) {
        if (deviceId != openDevice_ || format.nChannels != openFormat_.nChannels ||
            format.nSamplesPerSec != openFormat_.nSamplesPerSec)
            return false;
        std::lock_guard lock(capture_->mutex);
        capture_->tap = tap;
    }
    tap_ = std::move(tap);
    tapDevice_ = deviceId;
    tapFormat_ = format;
    return true;
}

void StreamWaveInput::clearRecordingTap()
{
    tap_.reset();
    if (capture_) {
        std::lock_guard lock(capture_->mutex);
        capture_->tap.reset();
    }
}

MMRESULT StreamWaveInput::waveInClose(HWAVEIN handle)
{
    if (!validHandle(handle))
        return MMSYSERR_INVALHANDLE;
    Capture& c = *capture_;
    bool ended = false;
    {
        std::unique_lock lock(c.mutex);
        if (c.count > 0)
            return WAVERR_STILLPLAYING;
        c.closing = true;
        c.started = false;
        c.raiseWakeLocked();
        c.wake.notify_all();
        ended = c.ended.wait_for(lock, std::chrono::milliseconds(kCloseWaitMs), [&] { return c.finished; });
        // A thread that outlives the close must never hand a later chunk to
        // a recording that has moved on to the next open.
        if (!ended)
            c.tap.reset();
    }
    if (ended) {
        thread_.join();
    } else {
        // The source is stuck in its driver. The thread keeps the shared part
        // alive, sees the close when (if ever) its read returns, and then
        // releases the source itself; no buffer is queued for it to touch.
        c.failed.store(true, std::memory_order_release);
        thread_.detach();
    }
    capture_.reset();
    handle_ = 0;
    return ended ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

}  // namespace varmolen
