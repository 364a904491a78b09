// The wave-input service over a list of recording sources. Each device of the
// list is a product name and a way to make its source. One device is open at a
// time; a capture thread of its own reads the source chunk by chunk, fills the
// queued buffers in order, publishes each buffer's byte count and then its done
// bit, keeps the position (bytes recorded since open or reset) and tells the
// user-interface side through the notifier after every chunk it stored.
//
// Nothing here waits without a bound. The capture thread's reads end within
// kReadWaitMs, or at once when a reset or close raises the wake-up descriptor;
// closing waits at most kCloseWaitMs for the thread. A thread that has not
// finished by then (a source stuck inside its driver) is left to end on its
// own: it owns everything it can still touch, the device counts as failed and
// the close reports it.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio/CaptureSource.h"
#include "audio/RecordingTap.h"
#include "audio/WaveInput.h"

namespace varmolen {

struct StreamDevice {
    std::string productName;  // whole; the capability record holds 31 bytes of it
    std::function<std::unique_ptr<CaptureSource>()> makeSource;
    // Asks the device which rates it takes; nothing when it cannot answer now
    // (busy, gone). Empty: the device is not asked.
    std::function<std::optional<DeviceRates>()> rates = nullptr;
};

// A chunk is a fiftieth of a second: under half of the shortest buffer (46 ms),
// so the position passes each half-buffer mark in time, and long enough that
// the capture thread and the user-interface thread sleep most of the time.
constexpr std::uint32_t kChunksPerSecond = 50;
// Above 44100 Hz a chunk stays at 882 frames (a fiftieth of a second at
// 44100 Hz): under half of the buffers there (2048 frames, 4096 from 88200 Hz
// on), and one chunk of a recording's queue.
constexpr std::size_t kMaxChunkFrames = 882;
std::size_t chunkFramesAt(std::uint32_t rate);
constexpr std::size_t kMaxQueuedBuffers = 8;
// The longest the user-interface thread waits for the capture thread to end
// when the device is closed.
constexpr int kCloseWaitMs = 250;

// Checks a recording format: 16 or 32-bit PCM or 32-bit float, mono or stereo, at a rate of the
// table (audio/SampleRates.h), with a consistent frame size and byte rate.
bool isSupportedFormat(const WAVEFORMATEX& format);

class StreamWaveInput : public WaveInput {
public:
    explicit StreamWaveInput(std::vector<StreamDevice> devices);
    ~StreamWaveInput() override;
    StreamWaveInput(const StreamWaveInput&) = delete;
    StreamWaveInput& operator=(const StreamWaveInput&) = delete;

    UINT waveInGetNumDevs() override;
    MMRESULT waveInGetDevCapsA(UINT deviceId, WAVEINCAPSA* caps, UINT size) override;
    std::string deviceName(UINT deviceId) override;
    MMRESULT waveInOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format, std::uintptr_t callback,
                        std::uintptr_t instance, std::uint32_t flags) override;
    MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) override;
    MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) override;
    MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size) override;
    MMRESULT waveInStart(HWAVEIN handle) override;
    MMRESULT waveInGetPosition(HWAVEIN handle, MMTIME* time, UINT size) override;
    MMRESULT waveInReset(HWAVEIN handle) override;
    // Ends the capture thread and releases the source. When the thread does
    // not end within kCloseWaitMs the device is released all the same and
    // the result is MMSYSERR_ERROR.
    MMRESULT waveInClose(HWAVEIN handle) override;

    // The capture thread hands every chunk it reads to the tap (under the
    // lock it stores chunks with, so clearing the tap waits at most for one
    // chunk's copy). A close whose thread is stuck lets the tap go first.
    bool setRecordingTap(std::shared_ptr<RecordingTap> tap, UINT deviceId, const WAVEFORMATEX& format) override;
    void clearRecordingTap() override;
    // Asked once a device and kept: a device that is open answers what it
    // answered just before it was opened (a card open for capture cannot be
    // opened a second time to be asked).
    DeviceRates deviceRates(UINT deviceId) override;

    // True once the open device has failed (vanished, unrecoverable overrun).
    bool deviceFailed() const;

private:
    struct Capture;
    // The capture thread: returns to the top of its loop after every read, so
    // a stop or a close is seen within one read's wait.
    static void captureLoop(const std::shared_ptr<Capture>& c);

    bool validHandle(HWAVEIN handle) const { return handle != 0 && handle == handle_; }

    // Asks device `deviceId` unless its answer is kept; keeps an answer given.
    std::optional<DeviceRates> askRates(UINT deviceId);

    std::vector<StreamDevice> devices_;
    std::vector<std::optional<DeviceRates>> rates_;  // one a device, once asked
    // The open device's shared part: the queue, the flags and the source.
    // The capture thread holds it too, so a thread that outlives its close
    // never touches freed memory.
    std::shared_ptr<Capture> capture_;
    std::thread thread_;
    HWAVEIN handle_ = 0;
    HWAVEIN nextHandle_ = 1;
    // The open device and format, and those the recording tap is for.
    UINT openDevice_ = 0;
    WAVEFORMATEX openFormat_{};
    std::shared_ptr<RecordingTap> tap_;
    UINT tapDevice_ = 0;
    WAVEFORMATEX tapFormat_{};
};

}  // namespace varmolen
