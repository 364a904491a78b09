#include "acquisition/WaveEngine.h"

#include <algorithm>

namespace varmolen {

WaveEngine::WaveEngine(DeviceRecords& device, const InstrumentSettings& settings, WaveInput& input, Host& host)
    : device_(device), settings_(settings), input_(input), host_(host)
{}

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
    if (device_.stopped == 0) {
        failureEndedRun_ = true;
        host_.endApplication();
    }
}

void WaveEngine::armHeader(WAVEHDR& header, std::uint8_t* buffer)
{
    header.lpData = buffer;
    // The blocks hold 20000 bytes; a longer byte count would let the device
    // write past their end.
    header.dwBufferLength = std::min<std::uint32_t>(device_.bufferBytes, kRecordBufferBytes);
    header.dwFlags.store(0, std::memory_order_relaxed);
    header.dwLoops = 0;
}

void WaveEngine::FillWaveFormat()
{
    WAVEFORMATEX& f = device_.waveFormat;
    f.wFormatTag = device_.formatTag;
    f.nChannels = device_.channelCount;
    f.nSamplesPerSec = settings_.sampleRate;
    f.nAvgBytesPerSec = settings_.sampleRate * device_.blockAlign;
    f.nBlockAlign = device_.blockAlign;
    f.wBitsPerSample = device_.bitsPerSample;
    f.cbSize = device_.bufferBytes;
    bufferAAddress_ = device_.bufferA.get();
    bufferBAddress_ = device_.bufferB.get();
    armHeader(device_.headerA, bufferAAddress_);
    armHeader(device_.headerB, bufferBAddress_);
    failureEndedRun_ = false;
}

void WaveEngine::RearmHeaderA() { armHeader(device_.headerA, bufferAAddress_); }
void WaveEngine::RearmHeaderB() { armHeader(device_.headerB, bufferBAddress_); }

void WaveEngine::OpenWaveInput()
{
    const UINT device = static_cast<UINT>(settings_.waveDeviceId);
    check(input_.waveInOpen(nullptr, device, &device_.waveFormat, 0, 0, WAVE_FORMAT_QUERY),
          "Could not open the input wave device");
    HWAVEIN handle = 0;
    if (check(input_.waveInOpen(&handle, device, &device_.waveFormat, 0, 0, CALLBACK_NULL),
              "Error Opening Input wave device"))
        device_.waveInHandle = handle;
}

void WaveEngine::PrepareHeaderA()
{
    check(input_.waveInPrepareHeader(device_.waveInHandle, &device_.headerA, sizeof(WAVEHDR)),
          "Error preparing the header_a");
}

void WaveEngine::PrepareHeaderB()
{
    check(input_.waveInPrepareHeader(device_.waveInHandle, &device_.headerB, sizeof(WAVEHDR)),
          "Error preparing the header_b");
}

void WaveEngine::QueueBufferA()
{
    check(input_.waveInAddBuffer(device_.waveInHandle, &device_.headerA, sizeof(WAVEHDR)),
          "Error in sending 'a' buffer");
}

void WaveEngine::QueueBufferB()
{
    check(input_.waveInAddBuffer(device_.waveInHandle, &device_.headerB, sizeof(WAVEHDR)),
          "Error in sending 'b' buffer");
}

void WaveEngine::StartWaveInput()
{
    check(input_.waveInStart(device_.waveInHandle), "Error starting the input wave device");
}

void WaveEngine::ReadWavePosition()
{
    MMTIME position = device_.positionRecord;
    position.wType = TIME_BYTES;
    if (check(input_.waveInGetPosition(device_.waveInHandle, &position, sizeof(MMTIME)),
              "Error getting the byte position")) {
        device_.positionRecord = position;
        device_.positionBytes = position.cb;
    }
}

std::optional<std::uint32_t> WaveEngine::waitBuffer(WAVEHDR& header)
{
    // The device sets the byte count before the done bit; read them in the
    // opposite order.
    if (header.dwFlags.load(std::memory_order_acquire) & WHDR_DONE)
        return header.dwBytesRecorded.load(std::memory_order_relaxed);
    if (device_.bufferTimedOut == 1) {
        ResetWaveInput();
        StartWaveInput();
        (void)header.dwFlags.load(std::memory_order_acquire);
        return header.dwBytesRecorded.load(std::memory_order_relaxed);
    }
    return std::nullopt;
}

std::optional<std::uint32_t> WaveEngine::WaitBufferA() { return waitBuffer(device_.headerA); }
std::optional<std::uint32_t> WaveEngine::WaitBufferB() { return waitBuffer(device_.headerB); }

void WaveEngine::ResetWaveInput()
{
    check(input_.waveInReset(device_.waveInHandle), "Error Resetting the input wave device");
}

void WaveEngine::UnprepareHeaderA()
{
    check(input_.waveInUnprepareHeader(device_.waveInHandle, &device_.headerA, sizeof(WAVEHDR)),
          "Error unpreparing the Header a");
}

void WaveEngine::UnprepareHeaderB()
{
    check(input_.waveInUnprepareHeader(device_.waveInHandle, &device_.headerB, sizeof(WAVEHDR)),
          "Error unpreparing the Header b");
}

void WaveEngine::ReleaseWaveInput()
{
    // Nothing to release when no device is open (never opened, or already
    // released): a stop between runs must not report four failures.
    if (device_.waveInHandle == 0)
        return;
    const HWAVEIN handle = device_.waveInHandle;
    check(input_.waveInReset(handle), "Error Resetting the input wave device");
    check(input_.waveInUnprepareHeader(handle, &device_.headerA, sizeof(WAVEHDR)), "Error unpreparing the _a Header");
    check(input_.waveInUnprepareHeader(handle, &device_.headerB, sizeof(WAVEHDR)), "Error unpreparing the _b Header");
    check(input_.waveInClose(handle), "Error closing the input wave device");
    // Closed or not, the handle is not used again: the next run opens anew.
    device_.waveInHandle = 0;
}

}  // namespace varmolen
