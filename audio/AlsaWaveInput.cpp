#include "audio/AlsaWaveInput.h"

#include <alsa/asoundlib.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <optional>

#include "audio/AlsaPoll.h"

namespace varmolen {

namespace {

// Latency asked of ALSA: a few chunks, so a busy user-interface thread does
// not make the capture overrun and the position still moves every chunk.
constexpr unsigned kLatencyMicroseconds = 80000;

// The device's formats that give the instrument's frames of `want`, best
// first: a 32-bit card's own, then 24 bits in four bytes, then packed.
std::vector<snd_pcm_format_t> candidateFormats(SampleFormat want)
{
    switch (want) {
        case SampleFormat::S32LE:
            return {SND_PCM_FORMAT_S32_LE, SND_PCM_FORMAT_S24_LE, SND_PCM_FORMAT_S24_3LE};
        case SampleFormat::FloatLE:
            return {SND_PCM_FORMAT_FLOAT_LE};
        default:
            return {SND_PCM_FORMAT_S16_LE};
    }
}

// The best of the candidates the device records in; nothing when it takes none.
std::optional<snd_pcm_format_t> bestFormat(snd_pcm_t* pcm, SampleFormat want)
{
    snd_pcm_hw_params_t* params = nullptr;
    if (snd_pcm_hw_params_malloc(&params) != 0)
        return std::nullopt;
    std::optional<snd_pcm_format_t> best;
    if (snd_pcm_hw_params_any(pcm, params) >= 0 &&
        snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED) >= 0) {
        for (const snd_pcm_format_t f : candidateFormats(want)) {
            if (snd_pcm_hw_params_test_format(pcm, params, f) == 0) {
                best = f;
                break;
            }
        }
    }
    snd_pcm_hw_params_free(params);
    return best;
}

int configure(snd_pcm_t* pcm, const WAVEFORMATEX& f, snd_pcm_format_t* chosen)
{
    const std::optional<SampleFormat> want = sampleFormatOf(f);
    const std::optional<snd_pcm_format_t> format = want ? bestFormat(pcm, *want) : std::nullopt;
    if (!format)
        return -EINVAL;
    if (chosen != nullptr)
        *chosen = *format;
    return snd_pcm_set_params(pcm, *format, SND_PCM_ACCESS_RW_INTERLEAVED, f.nChannels, f.nSamplesPerSec,
                              1 /* resample in software */, kLatencyMicroseconds);
}

// Widens `values` 24-bit values read in `format` (S24_LE or S24_3LE) at the
// start of dst into 32-bit integers with the value in the top 24 bits, in
// place: from the last value back, so no value is overwritten unread.
void widenTo32(snd_pcm_format_t format, std::uint8_t* dst, std::size_t values)
{
    const std::size_t step = format == SND_PCM_FORMAT_S24_3LE ? 3 : 4;
    for (std::size_t i = values; i-- > 0;) {
        const std::uint8_t* p = dst + i * step;
        const auto v = static_cast<std::uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)) << 8;
        std::memcpy(dst + 4 * i, &v, sizeof v);
    }
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

// The rates of the table that the capture device takes, asked of its
// hardware parameters without starting it; nothing when it cannot be opened.
// With `asOpened`, in the format the instrument records in (16-bit
// interleaved frames); without, at whatever sample format suits the device.
std::optional<std::uint32_t> ratesTaken(const std::string& name, bool asOpened)
{
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0)
        return std::nullopt;
    snd_pcm_hw_params_t* params = nullptr;
    std::optional<std::uint32_t> bits;
    if (snd_pcm_hw_params_malloc(&params) == 0) {
        if (snd_pcm_hw_params_any(pcm, params) >= 0 &&
            (!asOpened || (snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED) >= 0 &&
                           snd_pcm_hw_params_set_format(pcm, params, SND_PCM_FORMAT_S16_LE) >= 0)))
            bits = rateBits([&](std::uint32_t rate) { return snd_pcm_hw_params_test_rate(pcm, params, rate, 0) == 0; });
        snd_pcm_hw_params_free(params);
    }
    snd_pcm_close(pcm);
    return bits;
}

}  // namespace

std::string nativePcmName(const std::string& pcmName)
{
    const std::string plug = "plughw:";
    if (pcmName.compare(0, plug.size(), plug) != 0)
        return {};
    return pcmName.substr(4);
}

std::optional<DeviceRates> alsaDeviceRates(const std::string& pcmName)
{
    const std::optional<std::uint32_t> taken = ratesTaken(pcmName, true);
    if (!taken)
        return std::nullopt;
    DeviceRates rates{*taken, 0, 0};
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, pcmName.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) >= 0) {
        if (bestFormat(pcm, SampleFormat::S32LE))
            rates.fine |= kFineInteger;
        if (bestFormat(pcm, SampleFormat::FloatLE))
            rates.fine |= kFineFloat;
        snd_pcm_close(pcm);
    }
    const std::string hw = nativePcmName(pcmName);
    if (!hw.empty())
        rates.native = ratesTaken(hw, false).value_or(0) & rates.taken;
    return rates;
}

AlsaCaptureSource::~AlsaCaptureSource() { close(); }

MMRESULT AlsaCaptureSource::query(const WAVEFORMATEX& format)
{
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, pcmName_.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0)
        return MMSYSERR_NODRIVER;
    const int r = configure(pcm, format, nullptr);
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
    snd_pcm_format_t chosen = SND_PCM_FORMAT_S16_LE;
    if (configure(pcm_, format, &chosen) < 0) {
        close();
        return WAVERR_BADFORMAT;
    }
    rate_ = format.nSamplesPerSec;
    channels_ = format.nChannels;
    deviceFormat_ = chosen;
    return MMSYSERR_NOERROR;
}

bool AlsaCaptureSource::start()
{
    if (pcm_ == nullptr)
        return false;
    if (snd_pcm_state(pcm_) != SND_PCM_STATE_PREPARED && snd_pcm_prepare(pcm_) < 0)
        return false;
    if (snd_pcm_start(pcm_) < 0)
        return false;
    breaks_ = {};
    readTime_ = now();
    backlog_ = 0;
    return true;
}

long AlsaCaptureSource::pcmRead(void* dst, std::size_t frames)
{
    const auto n = static_cast<long>(snd_pcm_readi(pcm_, dst, frames));
    // A 24-bit card's values become the 32-bit frames the instrument asked for.
    const auto format = static_cast<snd_pcm_format_t>(deviceFormat_);
    if (n > 0 && (format == SND_PCM_FORMAT_S24_LE || format == SND_PCM_FORMAT_S24_3LE))
        widenTo32(format, static_cast<std::uint8_t*>(dst), static_cast<std::size_t>(n) * channels_);
    return n;
}

int AlsaCaptureSource::pcmPrepareAndStart()
{
    const int r = snd_pcm_prepare(pcm_);
    return r < 0 ? r : snd_pcm_start(pcm_);
}

int AlsaCaptureSource::pcmResume() { return snd_pcm_resume(pcm_); }

long AlsaCaptureSource::pcmBacklog()
{
    const snd_pcm_sframes_t n = snd_pcm_avail_update(pcm_);
    return n > 0 ? static_cast<long>(n) : 0;
}

void AlsaCaptureSource::markRead()
{
    readTime_ = now();
    backlog_ = pcmBacklog();
}

StreamBreaks AlsaCaptureSource::takeBreaks()
{
    const StreamBreaks b = breaks_;
    breaks_ = {};
    return b;
}

long AlsaCaptureSource::read(void* dst, std::size_t maxFrames, int wakeFd)
{
    // The device is waited for here, on its poll descriptors beside the
    // service's wake-up descriptor, with a deadline: ALSA's own wait may never
    // return (the pulse plugin's descriptor stays readable while the server
    // is suspended, and the plugin reports no event, so the wait polls again
    // and its timeout never counts).
    if (pcm_ == nullptr)
        return -1;
    const long n = transferWithin(
        pcm_, wakeFd, kReadWaitMs, POLLIN, [&] { return pcmRead(dst, maxFrames); },
        [&](long error) { return recover(error); });
    if (n > 0)
        markRead();
    return n;
}

long AlsaCaptureSource::recover(long error)
{
    bool running = false;
    if (error == -ESTRPIPE) {
        // Suspended: resume when the device allows it, or prepare anew. A
        // device that is not ready yet is asked again at the next read.
        const int r = pcmResume();
        if (r == -EAGAIN)
            return 0;
        running = r == 0;
        if (!running)
            error = -EPIPE;
    }
    if (!running && error == -EPIPE) {
        // An overrun: prepare and start again; what the device held and
        // what came while it stood is lost.
        if (pcmPrepareAndStart() < 0)
            return -1;
        running = true;
    }
    if (!running) {
        // The sound server died, the card was unplugged: the device has failed.
        return -1;
    }
    // The frames lost: all the device recorded after the last frame read up
    // to now, less what it still holds to be read (a resumed stream may
    // keep its buffer).
    const auto elapsed = std::chrono::duration<double>(now() - readTime_).count();
    const double recorded = static_cast<double>(backlog_) + std::max(elapsed, 0.0) * rate_;
    const long kept = pcmBacklog();
    ++breaks_.count;
    breaks_.lostFrames += static_cast<std::uint64_t>(std::max(std::llround(recorded) - kept, 0LL));
    readTime_ = now();
    backlog_ = kept;
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

std::vector<AlsaHint> readAlsaHints()
{
    std::vector<AlsaHint> hints;
    void** list = nullptr;
    if (snd_device_name_hint(-1, "pcm", &list) >= 0 && list != nullptr) {
        for (void** h = list; *h != nullptr; ++h) {
            AlsaHint hint;
            hint.name = hintField(*h, "NAME");
            hint.description = hintField(*h, "DESC");
            hint.ioid = hintField(*h, "IOID");
            if (!hint.name.empty())
                hints.push_back(std::move(hint));
        }
        snd_device_name_free_hint(list);
    }
    return hints;
}

std::vector<AlsaCaptureDevice> listAlsaCaptureDevices()
{
    std::vector<AlsaCaptureDevice> devices = selectCaptureDevices(readAlsaHints());
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
        out.push_back({d.productName, [pcm] { return std::make_unique<AlsaCaptureSource>(pcm); },
                       [pcm] { return alsaDeviceRates(pcm); }});
    }
    return out;
}

AlsaWaveInput::AlsaWaveInput() : AlsaWaveInput(listAlsaCaptureDevices()) {}

AlsaWaveInput::AlsaWaveInput(const std::vector<AlsaCaptureDevice>& devices)
    : StreamWaveInput(alsaStreamDevices(devices))
{}

}  // namespace varmolen
