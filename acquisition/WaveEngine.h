// The only code that talks to the audio input. It records 16-bit PCM from one
// wave-input device into the two alternating blocks bufferA and bufferB. Each
// operation checks the service's result code; a failure is shown in a
// "Wave Device Message" box and handed to the device-error path, and the
// operation returns to its caller as if it had succeeded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "acquisition/Host.h"
#include "state/DeviceRecords.h"
#include "state/InstrumentSettings.h"
#include "audio/WaveInput.h"

namespace varmolen {

constexpr const char* kWaveDeviceCaption = "Wave Device Message";

class WaveEngine {
public:
    WaveEngine(DeviceRecords& device, const InstrumentSettings& settings, WaveInput& input, Host& host);

    void FillWaveFormat();
    void OpenWaveInput();
    void PrepareHeaderA();
    void PrepareHeaderB();
    void QueueBufferA();
    void QueueBufferB();
    void StartWaveInput();
    void ReadWavePosition();
    // One turn of the wait for a block. Returns the bytes recorded once the
    // wait is over (the device marked the block done, or a timed-out wait
    // reset and restarted the device); nothing while it must go on, in which
    // case the caller returns to the event loop and calls again on the
    // device's next notification or the timeout timer's tick.
    std::optional<std::uint32_t> WaitBufferA();
    std::optional<std::uint32_t> WaitBufferB();
    void RearmHeaderA();
    void RearmHeaderB();
    void ResetWaveInput();
    void UnprepareHeaderA();
    void UnprepareHeaderB();
    void ReleaseWaveInput();

    // The device-error path, run after every failed service call.
    void WaveDeviceFailed();

    // True once a failed call has ended the application during this run: the
    // run loop then stops driving the device (it would only fail again).
    bool failureEndedRun() const { return failureEndedRun_; }
    bool deviceOpen() const { return device_.waveInHandle != 0; }
    WaveInput& input() { return input_; }

private:
    // Shows the message and runs the device-error path when result is not 0.
    bool check(MMRESULT result, const char* message);
    void armHeader(WAVEHDR& header, std::uint8_t* buffer);
    std::optional<std::uint32_t> waitBuffer(WAVEHDR& header);

    DeviceRecords& device_;
    const InstrumentSettings& settings_;
    WaveInput& input_;
    Host& host_;
    std::uint8_t* bufferAAddress_ = nullptr;
    std::uint8_t* bufferBAddress_ = nullptr;
    bool failureEndedRun_ = false;
};

}  // namespace varmolen
