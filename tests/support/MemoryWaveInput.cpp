#include "tests/support/MemoryWaveInput.h"

#include <cstring>

#include "audio/DeviceNames.h"

namespace varmolen {

MemoryWaveInput::MemoryWaveInput(std::vector<std::string> productNames) : names_(std::move(productNames))
{
    queue_.reserve(8);
}

MMRESULT MemoryWaveInput::enter(WaveCall call, HWAVEIN handle)
{
    MMRESULT code = 0;
    if (fails(call, code))
        return code;
    return handle == 0 || handle != handle_ ? MMSYSERR_INVALHANDLE : MMSYSERR_NOERROR;
}

bool MemoryWaveInput::fails(WaveCall call, MMRESULT& code)
{
    calls_.push_back(call);
    const auto it = failing_.find(call);
    if (it == failing_.end())
        return false;
    code = it->second;
    return true;
}

void MemoryWaveInput::failEverything(MMRESULT code)
{
    for (WaveCall c : {WaveCall::Query, WaveCall::Open, WaveCall::Prepare, WaveCall::Unprepare, WaveCall::AddBuffer,
                       WaveCall::Start, WaveCall::GetPosition, WaveCall::Reset, WaveCall::Close})
        failing_[c] = code;
    started_ = false;
}

void MemoryWaveInput::signal()
{
    ++notifications_;
    notify();
}

UINT MemoryWaveInput::waveInGetNumDevs()
{
    calls_.push_back(WaveCall::GetNumDevs);
    return static_cast<UINT>(names_.size());
}

MMRESULT MemoryWaveInput::waveInGetDevCapsA(UINT deviceId, WAVEINCAPSA* caps, UINT size)
{
    MMRESULT code = 0;
    if (fails(WaveCall::GetDevCaps, code))
        return code;
    if (caps == nullptr || size < sizeof(WAVEINCAPSA))
        return MMSYSERR_INVALPARAM;
    if (deviceId >= names_.size())
        return MMSYSERR_BADDEVICEID;
    *caps = WAVEINCAPSA{};
    const std::string name = cutProductName(names_[deviceId]);
    std::memcpy(caps->szPname, name.data(), name.size());
    return MMSYSERR_NOERROR;
}

std::string MemoryWaveInput::deviceName(UINT deviceId)
{
    MMRESULT code = 0;
    if (fails(WaveCall::GetDevCaps, code) || deviceId >= names_.size())
        return {};
    return names_[deviceId];
}

MMRESULT MemoryWaveInput::waveInOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format, std::uintptr_t,
                                     std::uintptr_t, std::uint32_t flags)
{
    MMRESULT code = 0;
    if (fails((flags & WAVE_FORMAT_QUERY) ? WaveCall::Query : WaveCall::Open, code))
        return code;
    if (format == nullptr)
        return MMSYSERR_INVALPARAM;
    if (deviceId >= names_.size())
        return MMSYSERR_BADDEVICEID;
    if (flags & WAVE_FORMAT_QUERY)
        return MMSYSERR_NOERROR;
    if (handle == nullptr)
        return MMSYSERR_INVALPARAM;
    if (handle_ != 0)
        return MMSYSERR_ALLOCATED;
    format_ = *format;
    device_ = deviceId;
    handle_ = nextHandle_++;
    *handle = handle_;
    started_ = false;
    position_ = 0;
    frame_ = 0;
    owed_ = 0.0;
    queue_.clear();
    return MMSYSERR_NOERROR;
}

MMRESULT MemoryWaveInput::waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size)
{
    if (const MMRESULT code = enter(WaveCall::Prepare, handle))
        return code;
    if (header == nullptr || size != sizeof(WAVEHDR) || header->lpData == nullptr)
        return MMSYSERR_INVALPARAM;
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT MemoryWaveInput::waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size)
{
    if (const MMRESULT code = enter(WaveCall::Unprepare, handle))
        return code;
    if (header == nullptr || size != sizeof(WAVEHDR))
        return MMSYSERR_INVALPARAM;
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT MemoryWaveInput::waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size)
{
    if (const MMRESULT code = enter(WaveCall::AddBuffer, handle))
        return code;
    if (header == nullptr || size != sizeof(WAVEHDR) || header->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    if (!(header->dwFlags & WHDR_PREPARED))
        return WAVERR_UNPREPARED;
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    header->dwBytesRecorded = 0;
    header->dwFlags = (header->dwFlags & ~(WHDR_DONE | WHDR_AFTERBREAK)) | WHDR_INQUEUE;
    queue_.push_back({header, 0});
    return MMSYSERR_NOERROR;
}

MMRESULT MemoryWaveInput::waveInStart(HWAVEIN handle)
{
    if (const MMRESULT code = enter(WaveCall::Start, handle))
        return code;
    started_ = true;
    return MMSYSERR_NOERROR;
}

MMRESULT MemoryWaveInput::waveInGetPosition(HWAVEIN handle, MMTIME* time, UINT size)
{
    if (const MMRESULT code = enter(WaveCall::GetPosition, handle))
        return code;
    if (time == nullptr || size < sizeof(MMTIME))
        return MMSYSERR_INVALPARAM;
    time->wType = TIME_BYTES;
    time->cb = position_;
    return MMSYSERR_NOERROR;
}

MMRESULT MemoryWaveInput::waveInReset(HWAVEIN handle)
{
    if (const MMRESULT code = enter(WaveCall::Reset, handle))
        return code;
    started_ = false;
    while (!queue_.empty())
        completeFront();
    position_ = 0;
    signal();
    return MMSYSERR_NOERROR;
}

MMRESULT MemoryWaveInput::waveInClose(HWAVEIN handle)
{
    if (const MMRESULT code = enter(WaveCall::Close, handle))
        return code;
    if (!queue_.empty())
        return WAVERR_STILLPLAYING;
    handle_ = 0;
    started_ = false;
    return MMSYSERR_NOERROR;
}

void MemoryWaveInput::completeFront()
{
    Slot slot = queue_.front();
    queue_.erase(queue_.begin());
    slot.header->dwBytesRecorded.store(slot.filled);
    slot.header->dwFlags.store((slot.header->dwFlags.load() & ~WHDR_INQUEUE) | WHDR_DONE |
                               (breakPending_ ? WHDR_AFTERBREAK : 0));
    breakPending_ = false;
}

void MemoryWaveInput::advanceFrames(std::uint32_t frames)
{
    if (!started_ || stalled_ || handle_ == 0)
        return;
    owed_ += frames * speed_;
    const auto arriving = static_cast<std::uint64_t>(owed_);
    owed_ -= static_cast<double>(arriving);
    const std::uint32_t align = format_.nBlockAlign;
    bool stored = false;
    for (std::uint64_t i = 0; i < arriving && !queue_.empty(); ++i, ++frame_) {
        const std::array<std::int16_t, 2> v = source_ ? source_(frame_) : std::array<std::int16_t, 2>{0, 0};
        Slot& slot = queue_.front();
        if (slot.filled + align > slot.header->dwBufferLength) {
            completeFront();
            --i;
            --frame_;
            continue;
        }
        std::memcpy(slot.header->lpData + slot.filled, v.data(), align);
        slot.filled += align;
        position_ += align;
        stored = true;
        if (slot.filled == slot.header->dwBufferLength)
            completeFront();
    }
    if (stored)
        signal();
}

}  // namespace varmolen
