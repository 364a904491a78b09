#include "acquisition/WaveEngine.h"

#include <algorithm>

namespace varmolen {

WaveEngine::WaveEngine(InstrumentState& state, WaveInput& input, Host& host)
    : state_(state), input_(input), host_(host)
{
}

bool WaveEngine::check(MMRESULT result, const char* message)
{
    if (result == MMSYSERR_NOERROR)
        return true;
    host_.showMessage(message, kWaveDeviceCaption);
    WaveDeviceFailed();
    return false;
}

void WaveEngine::WaveDeviceFailed()
{
    // The message has been confirmed by now. Only a running acquisition makes
    // a device failure fatal; during the start sequence it is only reported.
    if (state_.stopped == 0) {
        failureEndedRun_ = true;
        host_.endApplication();
    }
}

void WaveEngine::armHeader(WAVEHDR& header, std::uint8_t* buffer)
{
    header.lpData = buffer;
    // The blocks hold 20000 bytes; a longer byte count would let the device
    // write past their end.
    header.dwBufferLength = std::min<std::uint32_t>(state_.bufferBytes, kRecordBufferBytes);
    header.dwFlags.store(0, std::memory_order_relaxed);
    header.dwLoops = 0;
}

void WaveEngine::FillWaveFormat()
{
    WAVEFORMATEX& f = state_.waveFormat;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = state_.channelCount;
    f.nSamplesPerSec = state_.sampleRate;
    f.nAvgBytesPerSec = state_.sampleRate * state_.blockAlign;
    f.nBlockAlign = state_.blockAlign;
    f.wBitsPerSample = state_.bitsPerSample;
    f.cbSize = state_.bufferBytes;
    bufferAAddress_ = state_.bufferA.get();
    bufferBAddress_ = state_.bufferB.get();
    armHeader(state_.headerA, bufferAAddress_);
    armHeader(state_.headerB, bufferBAddress_);
    failureEndedRun_ = false;
}

void WaveEngine::RearmHeaderA() { armHeader(state_.headerA, bufferAAddress_); }
void WaveEngine::RearmHeaderB() { armHeader(state_.headerB, bufferBAddress_); }

void WaveEngine::OpenWaveInput()
{
    const UINT device = static_cast<UINT>(state_.waveDeviceId);
    check(input_.waveInOpen(nullptr, device, &state_.waveFormat, 0, 0, WAVE_FORMAT_QUERY),
          "Could not open the input wave device");
    HWAVEIN handle = 0;
    if (check(input_.waveInOpen(&handle, device, &state_.waveFormat, 0, 0, CALLBACK_NULL),
              "Error Opening Input wave device"))
        state_.waveInHandle = handle;
}

void WaveEngine::PrepareHeaderA()
{
    check(input_.waveInPrepareHeader(state_.waveInHandle, &state_.headerA, sizeof(WAVEHDR)),
          "Error preparing the header_a");
}

void WaveEngine::PrepareHeaderB()
{
    check(input_.waveInPrepareHeader(state_.waveInHandle, &state_.headerB, sizeof(WAVEHDR)),
          "Error preparing the header_b");
}

void WaveEngine::QueueBufferA()
{
    check(input_.waveInAddBuffer(state_.waveInHandle, &state_.headerA, sizeof(WAVEHDR)),
          "Error in sending 'a' buffer");
}

void WaveEngine::QueueBufferB()
{
    check(input_.waveInAddBuffer(state_.waveInHandle, &state_.headerB, sizeof(WAVEHDR)),
          "Error in sending 'b' buffer");
}

void WaveEngine::StartWaveInput()
{
    check(input_.waveInStart(state_.waveInHandle), "Error starting the input wave device");
}

void WaveEngine::ReadWavePosition()
{
    MMTIME position = state_.positionRecord;
    position.wType = TIME_BYTES;
    if (check(input_.waveInGetPosition(state_.waveInHandle, &position, sizeof(MMTIME)),
              "Error getting the byte position")) {
        state_.positionRecord = position;
        state_.positionBytes = position.cb;
    }
}

std::optional<std::uint32_t> WaveEngine::waitBuffer(WAVEHDR& header)
{
    // The device sets the byte count before the done bit; read them in the
    // opposite order.
    if (header.dwFlags.load(std::memory_order_acquire) & WHDR_DONE)
        return header.dwBytesRecorded.load(std::memory_order_relaxed);
    if (state_.bufferTimedOut == 1) {
        ResetWaveInput();
        StartWaveInput();
        (void)header.dwFlags.load(std::memory_order_acquire);
        return header.dwBytesRecorded.load(std::memory_order_relaxed);
    }
    return std::nullopt;
}

std::optional<std::uint32_t> WaveEngine::WaitBufferA() { return waitBuffer(state_.headerA); }
std::optional<std::uint32_t> WaveEngine::WaitBufferB() { return waitBuffer(state_.headerB); }

void WaveEngine::ResetWaveInput()
{
    check(input_.waveInReset(state_.waveInHandle), "Error Resetting the input wave device");
}

void WaveEngine::UnprepareHeaderA()
{
    check(input_.waveInUnprepareHeader(state_.waveInHandle, &state_.headerA, sizeof(WAVEHDR)),
          "Error unpreparing the Header a");
}

void WaveEngine::UnprepareHeaderB()
{
    check(input_.waveInUnprepareHeader(state_.waveInHandle, &state_.headerB, sizeof(WAVEHDR)),
          "Error unpreparing the Header b");
}

void WaveEngine::ReleaseWaveInput()
{
    // Nothing to release when no device is open (never opened, or already
    // released): a stop between runs must not report four failures.
    if (state_.waveInHandle == 0)
        return;
    const HWAVEIN handle = state_.waveInHandle;
    check(input_.waveInReset(handle), "Error Resetting the input wave device");
    check(input_.waveInUnprepareHeader(handle, &state_.headerA, sizeof(WAVEHDR)),
          "Error unpreparing the _a Header");
    check(input_.waveInUnprepareHeader(handle, &state_.headerB, sizeof(WAVEHDR)),
          "Error unpreparing the _b Header");
    check(input_.waveInClose(handle), "Error closing the input wave device");
    // Closed or not, the handle is not used again: the next run opens anew.
    state_.waveInHandle = 0;
}

}  // namespace varmolen
