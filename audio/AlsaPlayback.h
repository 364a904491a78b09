// The signal generator's output through ALSA: interleaved stereo at the rate
// asked, 24-bit samples in 32-bit words where the device takes them, else
// 16-bit. Devices are reached through the plug layer (or the default device,
// which converts too), so every rate opens on any card.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/AlsaDeviceList.h"
#include "audio/SignalPlayer.h"

typedef struct _snd_pcm snd_pcm_t;

namespace varmolen {

class AlsaPlaybackSink : public PlaybackSink {
public:
    explicit AlsaPlaybackSink(std::string pcmName) : pcmName_(std::move(pcmName)) {}
    ~AlsaPlaybackSink() override;

    int open(unsigned rate, std::string& whyNot) override;
    long write(const std::int32_t* codes, std::size_t frames, int wakeFd) override;
    long room(int wakeFd, int waitMs) override;
    void preferPrompt(bool prompt) override { prompt_ = prompt; }
    std::size_t bufferFrames() const override { return static_cast<std::size_t>(bufferFrames_); }
    std::uint32_t takeUnderruns() override;
    void close() override;

private:
    // Brings the stream back after an underrun or a suspend: 0 when it runs
    // again (or will be retried), -1 when the device has failed for good.
    long recover(long error, int wakeFd);

    std::string pcmName_;
    snd_pcm_t* pcm_ = nullptr;
    int bits_ = 16;
    bool prompt_ = false;
    long bufferFrames_ = 0;  // what the device holds, as it was opened
    long periodFrames_ = 0;  // what it asks for at a time
    std::vector<std::int32_t> wide_;
    std::vector<std::int16_t> narrow_;
    std::uint32_t underruns_ = 0;
};

// The output devices: "default" first while it can be opened, then each
// card's playback devices through the plug layer.
std::vector<AlsaCaptureDevice> listAlsaPlaybackDevices();

}  // namespace varmolen
