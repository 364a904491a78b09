// The wave-input service over a list of recording sources. Each device of the
// list is a product name and a way to make its source. One device is open at a
// time; a capture thread of its own reads the source chunk by chunk, fills the
// queued buffers in order, publishes each buffer's byte count and then its done
// bit, keeps the position (bytes recorded since open or reset) and tells the
// user-interface side through the notifier after every chunk it stored.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/CaptureSource.h"
#include "audio/WaveInput.h"

namespace varmolen {

struct StreamDevice {
    std::string productName;  // cut to 31 characters by the service
    std::function<std::unique_ptr<CaptureSource>()> makeSource;
};

// A chunk is a fiftieth of a second: under half of the shortest buffer (46 ms),
// so the position passes each half-buffer mark in time, and long enough that
// the capture thread and the user-interface thread sleep most of the time.
constexpr std::uint32_t kChunksPerSecond = 50;
constexpr std::size_t kMaxQueuedBuffers = 8;

// Checks a recording format: 16-bit PCM, mono or stereo, 11025, 22050 or
// 44100 Hz, with a consistent frame size and byte rate.
bool isSupportedFormat(const WAVEFORMATEX& format);

class StreamWaveInput : public WaveInput {
public:
    explicit StreamWaveInput(std::vector<StreamDevice> devices);
    ~StreamWaveInput() override;
    StreamWaveInput(const StreamWaveInput&) = delete;
    StreamWaveInput& operator=(const StreamWaveInput&) = delete;

    UINT waveInGetNumDevs() override;
    MMRESULT waveInGetDevCapsA(UINT deviceId, WAVEINCAPSA* caps, UINT size) override;
    MMRESULT waveInOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format,
                        std::uintptr_t callback, std::uintptr_t instance,
                        std::uint32_t flags) override;
    MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) override;
    MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) override;
    MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size) override;
    MMRESULT waveInStart(HWAVEIN handle) override;
    MMRESULT waveInGetPosition(HWAVEIN handle, MMTIME* time, UINT size) override;
    MMRESULT waveInReset(HWAVEIN handle) override;
    MMRESULT waveInClose(HWAVEIN handle) override;

    // True once the open device has failed (vanished, unrecoverable overrun).
    bool deviceFailed() const { return failed_.load(std::memory_order_acquire); }

private:
    struct Slot {
        WAVEHDR* header = nullptr;
        std::uint32_t filled = 0;
    };

    void captureLoop();
    void markFailed();
    // Stores a chunk into the queued buffers; caller holds mutex_.
    void deliverLocked(const std::uint8_t* bytes, std::size_t count);
    void completeFrontLocked();
    bool validHandle(HWAVEIN handle) const { return handle != 0 && handle == handle_; }

    std::vector<StreamDevice> devices_;

    // Owned by the user-interface thread while no capture thread runs.
    std::unique_ptr<CaptureSource> source_;
    std::thread thread_;
    HWAVEIN handle_ = 0;
    HWAVEIN nextHandle_ = 1;
    std::uint16_t blockAlign_ = 0;
    std::size_t chunkFrames_ = 0;
    std::vector<std::int16_t> scratch_;  // one chunk, sized at open

    // Shared with the capture thread, under mutex_.
    std::mutex mutex_;
    std::condition_variable wake_;
    bool started_ = false;
    bool closing_ = false;
    std::uint64_t generation_ = 0;  // bumped by reset: chunks read before it are dropped
    std::array<Slot, kMaxQueuedBuffers> queue_{};
    std::size_t queueHead_ = 0;
    std::size_t queueCount_ = 0;

    std::atomic<std::uint32_t> position_{0};
    std::atomic<bool> failed_{false};
};

}  // namespace varmolen
