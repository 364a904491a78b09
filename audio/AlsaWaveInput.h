// Real capture through ALSA: 16-bit little-endian frames, or finer ones (32-bit
// integers from a 32 or 24-bit card, 32-bit floats), mono or interleaved stereo, at the rates of the table (audio/SampleRates.h). Devices are
// reached through the plug layer (or the default device, which converts
// too), so every rate and channel count opens on most cards.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "audio/AlsaDeviceList.h"
#include "audio/CaptureSource.h"
#include "audio/StreamWaveInput.h"

typedef struct _snd_pcm snd_pcm_t;

namespace varmolen {

class AlsaCaptureSource : public CaptureSource {
public:
    explicit AlsaCaptureSource(std::string pcmName) : pcmName_(std::move(pcmName)) {}
    ~AlsaCaptureSource() override;

    MMRESULT query(const WAVEFORMATEX& format) override;
    MMRESULT open(const WAVEFORMATEX& format) override;
    bool start() override;
    long read(void* dst, std::size_t maxFrames, int wakeFd) override;
    StreamBreaks takeBreaks() override;
    void stop() override;
    void close() override;

protected:
    // The few device calls a break goes through, apart so that tests can
    // play a device that overruns or is suspended.
    virtual long pcmRead(void* dst, std::size_t frames);
    virtual int pcmPrepareAndStart();
    virtual int pcmResume();
    // Frames the device has recorded that were not read yet (0 when unknown).
    virtual long pcmBacklog();
    virtual std::chrono::steady_clock::time_point now() const { return std::chrono::steady_clock::now(); }

private:
    // Brings the stream back after an overrun or a suspend without waiting:
    // 0 when it runs again (or will be retried next read), -1 when the
    // device has failed for good. A stream that runs again counts a break.
    long recover(long error);
    // The device's time at the newest frame read: now, less what it holds
    // unread.
    void markRead();

    std::string pcmName_;
    snd_pcm_t* pcm_ = nullptr;
    std::uint32_t rate_ = 0;
    std::uint16_t channels_ = 0;
    // What the device records in: the instrument's format, or a 24-bit
    // one that reads widen to 32 bits.
    int deviceFormat_ = 0;
    // When the last frames were read, and what the device held unread then:
    // everything the device records after that and before the stream runs
    // again is lost in a break.
    std::chrono::steady_clock::time_point readTime_{};
    long backlog_ = 0;
    StreamBreaks breaks_;
};

// The capture devices ALSA's name hints offer, filtered to the useful ones:
// "default" first while it can be opened, then each card's capture devices
// through the plug layer.
std::vector<AlsaCaptureDevice> listAlsaCaptureDevices();
// ALSA's device-name hints, as they stand now.
std::vector<AlsaHint> readAlsaHints();

// The card's own device under a plug device ("plughw:CARD=X,DEV=0" gives
// "hw:CARD=X,DEV=0"); empty for any other name (the default device, a sound
// server's), whose own rates ALSA cannot tell.
std::string nativePcmName(const std::string& pcmName);

// Which rates of the table the device takes (its hardware parameters, asked
// on the device opened for capture without blocking and closed at once), and
// which of them are native: those the card's own device under a plug device
// takes directly. A sound server converts every rate to its own and tells
// ALSA none of them, so the default device marks none native. Nothing when
// the device cannot be opened (busy, gone).
std::optional<DeviceRates> alsaDeviceRates(const std::string& pcmName);

std::vector<StreamDevice> alsaStreamDevices(const std::vector<AlsaCaptureDevice>& devices);

class AlsaWaveInput : public StreamWaveInput {
public:
    // The devices found on this machine now.
    AlsaWaveInput();
    explicit AlsaWaveInput(const std::vector<AlsaCaptureDevice>& devices);
};

}  // namespace varmolen
