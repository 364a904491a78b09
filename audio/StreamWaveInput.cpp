#include "audio/StreamWaveInput.h"

#include <algorithm>
#include <cstring>

#include "audio/DeviceNames.h"

namespace varmolen {

bool isSupportedFormat(const WAVEFORMATEX& f)
{
    if (f.wFormatTag != WAVE_FORMAT_PCM || f.wBitsPerSample != 16)
        return false;
    if (f.nChannels != 1 && f.nChannels != 2)
        return false;
    if (f.nSamplesPerSec != 11025 && f.nSamplesPerSec != 22050 && f.nSamplesPerSec != 44100)
        return false;
    if (f.nBlockAlign != f.nChannels * 2)
        return false;
    return f.nAvgBytesPerSec == f.nSamplesPerSec * f.nBlockAlign;
}

StreamWaveInput::StreamWaveInput(std::vector<StreamDevice> devices) : devices_(std::move(devices)) {}

StreamWaveInput::~StreamWaveInput()
{
    if (handle_ != 0) {
        waveInReset(handle_);
        waveInClose(handle_);
    }
}

UINT StreamWaveInput::waveInGetNumDevs() { return static_cast<UINT>(devices_.size()); }

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

MMRESULT StreamWaveInput::waveInOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format,
                                     std::uintptr_t callback, std::uintptr_t /*instance*/,
                                     std::uint32_t flags)
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

    std::unique_ptr<CaptureSource> source = devices_[deviceId].makeSource();
    if (!source)
        return MMSYSERR_NODRIVER;
    if (const MMRESULT r = source->open(*format); r != MMSYSERR_NOERROR)
        return r;

    source_ = std::move(source);
    blockAlign_ = format->nBlockAlign;
    chunkFrames_ = format->nSamplesPerSec / kChunksPerSecond;
    scratch_.assign(chunkFrames_ * format->nChannels, 0);
    started_ = false;
    closing_ = false;
    queueHead_ = queueCount_ = 0;
    position_.store(0);
    failed_.store(false);
    handle_ = nextHandle_++;
    *handle = handle_;
    thread_ = std::thread([this] { captureLoop(); });
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
    if (header == nullptr || size != sizeof(WAVEHDR) || header->lpData == nullptr ||
        header->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    const std::uint32_t flags = header->dwFlags.load(std::memory_order_acquire);
    if (!(flags & WHDR_PREPARED))
        return WAVERR_UNPREPARED;
    if (flags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    if (deviceFailed())
        return MMSYSERR_NODRIVER;
    std::lock_guard lock(mutex_);
    if (queueCount_ == kMaxQueuedBuffers)
        return MMSYSERR_NOMEM;
    header->dwBytesRecorded.store(0, std::memory_order_relaxed);
    header->dwFlags.store((flags & ~WHDR_DONE) | WHDR_INQUEUE, std::memory_order_release);
    queue_[(queueHead_ + queueCount_) % kMaxQueuedBuffers] = Slot{header, 0};
    ++queueCount_;
    return MMSYSERR_NOERROR;
}

MMRESULT StreamWaveInput::waveInStart(HWAVEIN handle)
{
    if (!validHandle(handle))
        return MMSYSERR_INVALHANDLE;
    if (deviceFailed())
        return MMSYSERR_NODRIVER;
    {
        std::lock_guard lock(mutex_);
        started_ = true;
    }
    wake_.notify_all();
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
    time->cb = position_.load(std::memory_order_acquire);
    return MMSYSERR_NOERROR;
}

MMRESULT StreamWaveInput::waveInReset(HWAVEIN handle)
{
    // Stopping and handing the buffers back needs nothing of the device, so a
    // reset succeeds on a failed device and the program can always clean up.
    if (!validHandle(handle))
        return MMSYSERR_INVALHANDLE;
    {
        std::lock_guard lock(mutex_);
        started_ = false;
        ++generation_;
        while (queueCount_ > 0)
            completeFrontLocked();
        position_.store(0, std::memory_order_release);
    }
    wake_.notify_all();
    notify();
    return MMSYSERR_NOERROR;
}

MMRESULT StreamWaveInput::waveInClose(HWAVEIN handle)
{
    if (!validHandle(handle))
        return MMSYSERR_INVALHANDLE;
    {
        std::lock_guard lock(mutex_);
        if (queueCount_ > 0)
            return WAVERR_STILLPLAYING;
        closing_ = true;
        started_ = false;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
    source_->close();
    source_.reset();
    handle_ = 0;
    return MMSYSERR_NOERROR;
}

void StreamWaveInput::completeFrontLocked()
{
    Slot& slot = queue_[queueHead_];
    WAVEHDR* h = slot.header;
    h->dwBytesRecorded.store(slot.filled, std::memory_order_relaxed);
    const std::uint32_t flags = h->dwFlags.load(std::memory_order_relaxed);
    h->dwFlags.store((flags & ~WHDR_INQUEUE) | WHDR_DONE, std::memory_order_release);
    slot = Slot{};
    queueHead_ = (queueHead_ + 1) % kMaxQueuedBuffers;
    --queueCount_;
}

void StreamWaveInput::deliverLocked(const std::uint8_t* bytes, std::size_t count)
{
    // Data arriving while no buffer is queued is lost, as on a real card.
    while (count > 0 && queueCount_ > 0) {
        Slot& slot = queue_[queueHead_];
        const std::uint32_t room = slot.header->dwBufferLength - slot.filled;
        const std::uint32_t n = static_cast<std::uint32_t>(std::min<std::size_t>(room, count));
        std::memcpy(slot.header->lpData + slot.filled, bytes, n);
        slot.filled += n;
        bytes += n;
        count -= n;
        position_.fetch_add(n, std::memory_order_release);
        if (slot.filled == slot.header->dwBufferLength)
            completeFrontLocked();
    }
}

void StreamWaveInput::markFailed()
{
    failed_.store(true, std::memory_order_release);
    notify();
}

void StreamWaveInput::captureLoop()
{
    bool sourceRunning = false;
    for (;;) {
        std::uint64_t generation = 0;
        {
            std::unique_lock lock(mutex_);
            if (!started_ && sourceRunning) {
                lock.unlock();
                source_->stop();
                sourceRunning = false;
                continue;
            }
            wake_.wait(lock, [this] { return closing_ || (started_ && !deviceFailed()); });
            if (closing_)
                break;
            generation = generation_;
        }
        if (!sourceRunning) {
            if (!source_->start()) {
                markFailed();
                continue;
            }
            sourceRunning = true;
        }
        const long frames = source_->read(scratch_.data(), chunkFrames_);
        if (frames < 0) {
            markFailed();
            continue;
        }
        if (frames == 0)
            continue;
        bool stored = false;
        {
            std::lock_guard lock(mutex_);
            if (generation == generation_ && started_) {
                deliverLocked(reinterpret_cast<const std::uint8_t*>(scratch_.data()),
                              static_cast<std::size_t>(frames) * blockAlign_);
                stored = true;
            }
        }
        if (stored)
            notify();
    }
    if (sourceRunning)
        source_->stop();
}

}  // namespace varmolen
