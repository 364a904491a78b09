// A wave-input device for tests. It has no thread and no clock of its own:
// the test advances its time by a number of frames, and it records those
// frames into the queued buffers at once. It can also stall (time passes but
// nothing is recorded), run slow (only part of the frames arrive) and fail
// any call on demand. Every call is logged so tests can check the order.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "audio/WaveInput.h"

namespace varmolen {

enum class WaveCall {
    GetNumDevs,
    GetDevCaps,
    Query,
    Open,
    Prepare,
    Unprepare,
    AddBuffer,
    Start,
    GetPosition,
    Reset,
    Close
};

class MemoryWaveInput : public WaveInput {
public:
    // One frame's values: [0] is the frame's first value, [1] its second
    // (used in stereo only).
    using FrameSource = std::function<std::array<std::int16_t, 2>(std::uint64_t frame)>;

    explicit MemoryWaveInput(std::vector<std::string> productNames = {"Memory input"});

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
    MMRESULT waveInClose(HWAVEIN handle) override;
    // Every device answers `rates` (every rate taken, none native unless set).
    DeviceRates deviceRates(UINT deviceId) override { return deviceId < names_.size() ? rates : DeviceRates{}; }
    DeviceRates rates = DeviceRates::unknown();

    // The device's time moves on by this many frames. A running device
    // records them (or the slow share of them) into the queued buffers.
    void advanceFrames(std::uint32_t frames);
    void setFrameSource(FrameSource source) { source_ = std::move(source); }
    void setStalled(bool stalled) { stalled_ = stalled; }
    // Share of the frames that arrive, 1 = full speed.
    void setSpeed(double share) { speed_ = share; }
    // The device lost sound (an overrun): the next buffer it completes is
    // marked as not following the one before.
    void breakStream() { breakPending_ = true; }
    // Every later call of this kind fails with the code (until cleared).
    void failCall(WaveCall call, MMRESULT code = MMSYSERR_ERROR) { failing_[call] = code; }
    // The device vanished: every call fails.
    void failEverything(MMRESULT code = MMSYSERR_NODRIVER);
    void clearFailures() { failing_.clear(); }

    const std::vector<WaveCall>& calls() const { return calls_; }
    void clearCallLog() { calls_.clear(); }
    bool isOpen() const { return handle_ != 0; }
    bool isStarted() const { return started_; }
    std::size_t queuedBuffers() const { return queue_.size(); }
    std::uint32_t position() const { return position_; }
    const WAVEFORMATEX& openedFormat() const { return format_; }
    UINT openedDevice() const { return device_; }
    int notifications() const { return notifications_; }

private:
    bool fails(WaveCall call, MMRESULT& code);
    // The start of every call on an open device: a failure set up by the
    // test, else a handle check; 0 when the call may go on.
    MMRESULT enter(WaveCall call, HWAVEIN handle);
    void completeFront();
    void signal();

    struct Slot {
        WAVEHDR* header;
        std::uint32_t filled;
    };

    std::vector<std::string> names_;
    std::vector<WaveCall> calls_;
    std::map<WaveCall, MMRESULT> failing_;
    std::vector<Slot> queue_;
    FrameSource source_;
    WAVEFORMATEX format_{};
    HWAVEIN handle_ = 0;
    HWAVEIN nextHandle_ = 100;
    UINT device_ = 0;
    bool started_ = false;
    bool stalled_ = false;
    bool breakPending_ = false;
    double speed_ = 1.0;
    double owed_ = 0.0;  // fractional frames of a slow device
    std::uint64_t frame_ = 0;
    std::uint32_t position_ = 0;
    int notifications_ = 0;
};

}  // namespace varmolen
