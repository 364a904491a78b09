#include "audio/AlsaPlayback.h"

#include <alsa/asoundlib.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "audio/AlsaPoll.h"
#include "audio/AlsaWaveInput.h"
#include "audio/CaptureSource.h"

namespace varmolen {

namespace {

// What the device holds, in two periods (the sound server's plugin makes it
// three): the thread wakes once a period to top it up. A longer buffer wakes
// the thread less often (what playing costs is mostly waking up, in the
// thread and in the sound server's client), but a change is heard up to a
// buffer later, and the ramp down has to be played out before the device
// closes, within the player's bound on stopping. A steady tone gets the
// longer buffer; a response sweep, whose every step waits for its tone to be
// heard, the shorter.
constexpr unsigned kSteadyBufferMicroseconds = kSteadyOutputBufferMs * 1000;
constexpr unsigned kPromptBufferMicroseconds = kPromptOutputBufferMs * 1000;
constexpr unsigned kPeriodsPerBuffer = 2;
// Pause before a suspended device is asked again to resume.
constexpr int kResumeWaitMs = 5;

// Interleaved stereo at `rate` (resampled in software where the device
// needs it) in `format`, the buffer and its periods as near `bufferUs` and
// kPeriodsPerBuffer as the device allows. The stream starts once the
// buffer is full and wakes the thread for a period of room.
int configure(snd_pcm_t* pcm, snd_pcm_format_t format, unsigned rate, unsigned bufferUs, long& bufferFrames,
              long& periodFrames)
{
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    unsigned periods = kPeriodsPerBuffer;
    int r = snd_pcm_hw_params_any(pcm, hw);
    if (r >= 0)
        r = snd_pcm_hw_params_set_rate_resample(pcm, hw, 1);
    if (r >= 0)
        r = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED);
    if (r >= 0)
        r = snd_pcm_hw_params_set_format(pcm, hw, format);
    if (r >= 0)
        r = snd_pcm_hw_params_set_channels(pcm, hw, 2);
    if (r >= 0)
        r = snd_pcm_hw_params_set_rate(pcm, hw, rate, 0);
    if (r >= 0)
        r = snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &bufferUs, nullptr);
    if (r >= 0)
        r = snd_pcm_hw_params_set_periods_near(pcm, hw, &periods, nullptr);
    if (r >= 0)
        r = snd_pcm_hw_params(pcm, hw);
    snd_pcm_uframes_t buffer = 0, period = 0;
    if (r >= 0)
        r = snd_pcm_get_params(pcm, &buffer, &period);
    if (r < 0 || period == 0 || buffer < period)
        return r < 0 ? r : -EINVAL;
    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    r = snd_pcm_sw_params_current(pcm, sw);
    if (r >= 0)
        r = snd_pcm_sw_params_set_avail_min(pcm, sw, period);
    if (r >= 0)
        r = snd_pcm_sw_params_set_start_threshold(pcm, sw, buffer);
    if (r >= 0)
        r = snd_pcm_sw_params(pcm, sw);
    bufferFrames = static_cast<long>(buffer);
    periodFrames = static_cast<long>(period);
    return r;
}

}  // namespace

AlsaPlaybackSink::~AlsaPlaybackSink() { close(); }

int AlsaPlaybackSink::open(unsigned rate, std::string& whyNot)
{
    close();
    const int r = snd_pcm_open(&pcm_, pcmName_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (r < 0) {
        pcm_ = nullptr;
        whyNot = "The output device " + pcmName_ + " could not be opened: " + snd_strerror(r) + ".";
        return 0;
    }
    const unsigned bufferUs = prompt_ ? kPromptBufferMicroseconds : kSteadyBufferMicroseconds;
    if (configure(pcm_, SND_PCM_FORMAT_S32_LE, rate, bufferUs, bufferFrames_, periodFrames_) >= 0) {
        bits_ = 24;
    } else if (configure(pcm_, SND_PCM_FORMAT_S16_LE, rate, bufferUs, bufferFrames_, periodFrames_) >= 0) {
        bits_ = 16;
    } else {
        close();
        whyNot = "The output device " + pcmName_ + " does not play stereo at " + std::to_string(rate) + " Hz.";
        return 0;
    }
    underruns_ = 0;
    return bits_;
}

long AlsaPlaybackSink::write(const std::int32_t* codes, std::size_t frames, int wakeFd)
{
    if (pcm_ == nullptr)
        return -1;
    // The samples in the device's words: 24 bits at the top of 32, or 16.
    const void* data = nullptr;
    if (bits_ == 24) {
        wide_.resize(2 * frames);
        std::transform(codes, codes + 2 * frames, wide_.begin(),
                       [](std::int32_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v) << 8); });
        data = wide_.data();
    } else {
        narrow_.resize(2 * frames);
        std::transform(codes, codes + 2 * frames, narrow_.begin(),
                       [](std::int32_t v) { return static_cast<std::int16_t>(v); });
        data = narrow_.data();
    }
    return transferWithin(
        pcm_, wakeFd, kWriteWaitMs, POLLOUT, [&] { return static_cast<long>(snd_pcm_writei(pcm_, data, frames)); },
        [&](long error) { return recover(error, wakeFd); });
}

long AlsaPlaybackSink::room(int wakeFd, int waitMs)
{
    if (pcm_ == nullptr)
        return -1;
    long avail = static_cast<long>(snd_pcm_avail_update(pcm_));
    if (avail < 0)
        return recover(avail, wakeFd);
    // A period at a time; a stream not started yet (opened, or prepared
    // after running dry) is filled at once, a period after another.
    if (avail >= periodFrames_ || (avail > 0 && snd_pcm_state(pcm_) != SND_PCM_STATE_RUNNING))
        return std::min(avail, periodFrames_);
    if (waitMs <= 0)
        return 0;
    long error = 0;
    switch (waitForPcm(pcm_, wakeFd, waitMs, POLLOUT, &error)) {
        case PcmWait::Ready:
            avail = static_cast<long>(snd_pcm_avail_update(pcm_));
            return avail < 0 ? recover(avail, wakeFd) : std::min(avail, periodFrames_);
        case PcmWait::Broken:
            return recover(error, wakeFd);
        case PcmWait::Quiet:
            break;
    }
    return 0;
}

long AlsaPlaybackSink::recover(long error, int wakeFd)
{
    if (error == -ESTRPIPE) {
        // Suspended: resume when the device allows it, or prepare anew. A
        // device that is not ready yet is asked again after a short pause.
        const int r = snd_pcm_resume(pcm_);
        if (r == -EAGAIN)
            waitReadable(wakeFd, kResumeWaitMs);
        if (r == -EAGAIN || r == 0)
            return 0;
        error = -EPIPE;
    }
    if (error == -EPIPE) {
        // The device ran dry: prepare it; the next write starts it again.
        ++underruns_;
        return snd_pcm_prepare(pcm_) < 0 ? -1 : 0;
    }
    // The sound server died, the card was unplugged: the device has failed.
    return -1;
}

std::uint32_t AlsaPlaybackSink::takeUnderruns()
{
    const std::uint32_t n = underruns_;
    underruns_ = 0;
    return n;
}

void AlsaPlaybackSink::close()
{
    if (pcm_ != nullptr) {
        snd_pcm_drop(pcm_);
        snd_pcm_close(pcm_);
        pcm_ = nullptr;
    }
}

std::vector<AlsaCaptureDevice> listAlsaPlaybackDevices() { return selectPlaybackDevices(readAlsaHints()); }

}  // namespace varmolen
