// The wave-input service: what the instrument requires of the platform's audio
// input. Every call takes a 0-based device number or the handle of an open
// device and returns a result code, 0 for success. The records keep the
// layouts that the original multimedia interface publishes, so the engine and
// the tests can reason about them byte for byte.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "audio/SampleRates.h"
#include "dsp/SampleFormats.h"

namespace varmolen {

class RecordingTap;

using MMRESULT = std::uint32_t;
using UINT = std::uint32_t;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;

constexpr std::uint16_t WAVE_FORMAT_PCM = 1;
constexpr std::uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;
constexpr std::uint32_t WAVE_FORMAT_QUERY = 0x0001;
constexpr std::uint32_t CALLBACK_NULL = 0x00000000;

constexpr std::uint32_t WHDR_DONE = 0x00000001;
constexpr std::uint32_t WHDR_PREPARED = 0x00000002;
constexpr std::uint32_t WHDR_INQUEUE = 0x00000010;
// Beyond the multimedia interface: the buffer's frames do not follow those
// of the buffer before it (the device lost sound before or within it).
constexpr std::uint32_t WHDR_AFTERBREAK = 0x00010000;

constexpr std::uint32_t TIME_BYTES = 0x0004;

#pragma pack(push, 1)
// Recording format: 18 bytes, packed, little-endian.
struct WAVEFORMATEX {
    std::uint16_t wFormatTag;
    std::uint16_t nChannels;
    std::uint32_t nSamplesPerSec;
    std::uint32_t nAvgBytesPerSec;
    std::uint16_t nBlockAlign;
    std::uint16_t wBitsPerSample;
    std::uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

// The frames' format of a recording format the instrument opens: 16-bit
// PCM (the instrument's own), 32-bit PCM (a 24 or 32-bit card's, in the top
// bits) or 32-bit float; nothing for any other.
inline std::optional<SampleFormat> sampleFormatOf(const WAVEFORMATEX& f)
{
    if (f.wFormatTag == WAVE_FORMAT_PCM && f.wBitsPerSample == 16)
        return SampleFormat::S16LE;
    if (f.wFormatTag == WAVE_FORMAT_PCM && f.wBitsPerSample == 32)
        return SampleFormat::S32LE;
    if (f.wFormatTag == WAVE_FORMAT_IEEE_FLOAT && f.wBitsPerSample == 32)
        return SampleFormat::FloatLE;
    return std::nullopt;
}

// Buffer header: 32 bytes. The data address is a full 64-bit pointer here;
// the original's two private 32-bit words become one so that the record keeps
// its 32 bytes on a 64-bit system. The capture thread writes
// dwBytesRecorded and then dwFlags (release); the UI thread reads dwFlags and
// then dwBytesRecorded (acquire), so both are atomics.
struct WAVEHDR {
    std::uint8_t* lpData = nullptr;
    std::uint32_t dwBufferLength = 0;
    std::atomic<std::uint32_t> dwBytesRecorded{0};
    std::uint32_t dwUser = 0;
    std::atomic<std::uint32_t> dwFlags{0};
    std::uint32_t dwLoops = 0;
    std::uint32_t reserved = 0;  // private to the service
};
static_assert(sizeof(WAVEHDR) == 32);
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

// Recording position: a time-format word, the byte count, 4 unused bytes.
struct MMTIME {
    std::uint32_t wType = TIME_BYTES;
    std::uint32_t cb = 0;
    std::uint32_t unused = 0;
};
static_assert(sizeof(MMTIME) == 12);

// Device capabilities; only the product name is used.
struct WAVEINCAPSA {
    std::uint16_t wMid = 0;
    std::uint16_t wPid = 0;
    std::uint32_t vDriverVersion = 0;
    char szPname[32] = {};
    std::uint32_t dwFormats = 0;
    std::uint16_t wChannels = 0;
    std::uint16_t wReserved1 = 0;
};
static_assert(sizeof(WAVEINCAPSA) == 48);
static_assert(offsetof(WAVEINCAPSA, szPname) == 8);

// Handle of an open device; 0 is never a valid handle.
using HWAVEIN = std::uintptr_t;

// The service. One object serves every device it lists. Implementations fill
// queued buffers from a capture thread of their own (or, for tests, from the
// caller's thread) and tell the user-interface side that something changed
// through the notifier, which must be cheap and may be called from any thread.
class WaveInput {
public:
    virtual ~WaveInput() = default;

    virtual UINT waveInGetNumDevs() = 0;
    virtual MMRESULT waveInGetDevCapsA(UINT deviceId, WAVEINCAPSA* caps, UINT size) = 0;
    virtual MMRESULT waveInOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format, std::uintptr_t callback,
                                std::uintptr_t instance, std::uint32_t flags) = 0;
    virtual MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) = 0;
    virtual MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) = 0;
    virtual MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size) = 0;
    virtual MMRESULT waveInStart(HWAVEIN handle) = 0;
    virtual MMRESULT waveInGetPosition(HWAVEIN handle, MMTIME* time, UINT size) = 0;
    virtual MMRESULT waveInReset(HWAVEIN handle) = 0;
    virtual MMRESULT waveInClose(HWAVEIN handle) = 0;

    // Beyond the multimedia interface: the device's whole name, of which the
    // capability record holds only the first 31 bytes. Empty for a number
    // that names no device.
    virtual std::string deviceName(UINT deviceId)
    {
        WAVEINCAPSA caps{};
        if (waveInGetDevCapsA(deviceId, &caps, sizeof(caps)) != MMSYSERR_NOERROR)
            return {};
        caps.szPname[sizeof(caps.szPname) - 1] = '\0';
        return caps.szPname;
    }

    // Beyond the multimedia interface: the rates of the table that device
    // `deviceId` takes for capture, and which of them it records without
    // conversion. A device that cannot be asked is offered every rate, none
    // marked native; a number that names no device takes none.
    virtual DeviceRates deviceRates(UINT deviceId)
    {
        return deviceId < waveInGetNumDevs() ? DeviceRates::unknown() : DeviceRates{};
    }

    // Beyond the multimedia interface: a WAV recording's tap. It receives
    // every frame that device `deviceId` delivers in `format` (channels and
    // rate), from the device open now and from every later open of the same
    // device in the same format; an open of another device or format lets it
    // go (RecordingTap::formatChanged). False when this service cannot record
    // or the device open now records something else; the tap is then not kept.
    virtual bool setRecordingTap(std::shared_ptr<RecordingTap> /*tap*/, UINT /*deviceId*/,
                                 const WAVEFORMATEX& /*format*/)
    {
        return false;
    }
    // Lets the tap go. Once this returns, the tap receives nothing more.
    virtual void clearRecordingTap() {}

    // Called (from any thread) whenever a buffer completes or the position
    // moves; the receiver coalesces and hops to the user-interface thread.
    void setNotifier(std::function<void()> notifier) { notifier_ = std::move(notifier); }

protected:
    void notify() const
    {
        if (notifier_)
            notifier_();
    }

private:
    std::function<void()> notifier_;
};

}  // namespace varmolen
