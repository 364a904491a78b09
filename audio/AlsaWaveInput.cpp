#include "audio/AlsaWaveInput.h"

#include <alsa/asoundlib.h>

#include <cerrno>

namespace varmolen {

namespace {

// Latency asked of ALSA: a few chunks, so a busy user-interface thread does
// not make the capture overrun and the position still moves every chunk.
constexpr unsigned kLatencyMicroseconds = 80000;
// Longest wait for frames in one read, so a reset or close is seen promptly.
constexpr int kReadWaitMs = 50;

int configure(snd_pcm_t* pcm, const WAVEFORMATEX& f)
{
    return snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED,
                              f.nChannels, f.nSamplesPerSec, 1 /* resample in software */,
                              kLatencyMicroseconds);
}

std::string hintField(void* hint, const char* id)
{
    char* value = snd_device_name_get_hint(hint, id);
    if (value == nullptr)
        return {};
    std::string s(value);
    std::free(value);
    return s;
}

bool canOpenForCapture(const std::string& name)
{
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0)
        return false;
    snd_pcm_close(pcm);
    return true;
}

}  // namespace

AlsaCaptureSource::~AlsaCaptureSource() { close(); }

MMRESULT AlsaCaptureSource::query(const WAVEFORMATEX& format)
{
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, pcmName_.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0)
        return MMSYSERR_NODRIVER;
    const int r = configure(pcm, format);
    snd_pcm_close(pcm);
    return r < 0 ? WAVERR_BADFORMAT : MMSYSERR_NOERROR;
}

MMRESULT AlsaCaptureSource::open(const WAVEFORMATEX& format)
{
    close();
    if (snd_pcm_open(&pcm_, pcmName_.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0) {
        pcm_ = nullptr;
        return MMSYSERR_NODRIVER;
    }
    if (configure(pcm_, format) < 0) {
        close();
        return WAVERR_BADFORMAT;
    }
    return MMSYSERR_NOERROR;
}

bool AlsaCaptureSource::start()
{
    if (pcm_ == nullptr)
        return false;
    if (snd_pcm_state(pcm_) != SND_PCM_STATE_PREPARED && snd_pcm_prepare(pcm_) < 0)
        return false;
    return snd_pcm_start(pcm_) >= 0;
}

long AlsaCaptureSource::read(std::int16_t* dst, std::size_t maxFrames)
{
    if (pcm_ == nullptr)
        return -1;
    int err = snd_pcm_wait(pcm_, kReadWaitMs);
    if (err == 0)
        return 0;  // nothing yet
    snd_pcm_sframes_t n = err < 0 ? err : snd_pcm_readi(pcm_, dst, maxFrames);
    if (n >= 0)
        return static_cast<long>(n);
    if (n == -EAGAIN)
        return 0;
    // An overrun (or a suspend) is recovered here, once. When recovery fails
    // (the sound server died, the card was unplugged) the device has failed.
    if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) < 0)
        return -1;
    if (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED && snd_pcm_start(pcm_) < 0)
        return -1;
    return 0;
}

void AlsaCaptureSource::stop()
{
    if (pcm_ != nullptr)
        snd_pcm_drop(pcm_);
}

void AlsaCaptureSource::close()
{
    if (pcm_ != nullptr) {
        snd_pcm_close(pcm_);
        pcm_ = nullptr;
    }
}

std::vector<AlsaCaptureDevice> listAlsaCaptureDevices()
{
    std::vector<AlsaHint> hints;
    void** list = nullptr;
    if (snd_device_name_hint(-1, "pcm", &list) >= 0 && list != nullptr) {
        for (void** h = list; *h != nullptr; ++h) {
            AlsaHint hint;
            hint.name = hintField(*h, "NAME");
            std::string desc = hintField(*h, "DESC");
            hint.description = desc.substr(0, desc.find('\n'));
            hint.ioid = hintField(*h, "IOID");
            if (!hint.name.empty())
                hints.push_back(std::move(hint));
        }
        snd_device_name_free_hint(list);
    }
    std::vector<AlsaCaptureDevice> devices = selectCaptureDevices(hints);
    // The configuration always names "default"; it only exists while a sound
    // server answers or a card is installed.
    if (!devices.empty() && devices.front().pcmName == "default" && !canOpenForCapture("default"))
        devices.erase(devices.begin());
    return devices;
}

std::vector<StreamDevice> alsaStreamDevices(const std::vector<AlsaCaptureDevice>& devices)
{
    std::vector<StreamDevice> out;
    for (const AlsaCaptureDevice& d : devices) {
        const std::string pcm = d.pcmName;
        out.push_back({d.productName, [pcm] { return std::make_unique<AlsaCaptureSource>(pcm); }});
    }
    return out;
}

AlsaWaveInput::AlsaWaveInput() : AlsaWaveInput(listAlsaCaptureDevices()) {}

AlsaWaveInput::AlsaWaveInput(const std::vector<AlsaCaptureDevice>& devices)
    : StreamWaveInput(alsaStreamDevices(devices))
{
}

}  // namespace varmolen
