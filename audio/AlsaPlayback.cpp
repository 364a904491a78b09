#include "audio/AlsaPlayback.h"

#include <alsa/asoundlib.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "audio/AlsaPoll.h"
#include "audio/AlsaWaveInput.h"
#include "audio/CaptureSource.h"

namespace varmolen {

namespace {

// Latency asked of ALSA: two of the player's periods, so a busy machine does
// not make the output run dry, and short enough that a change is heard at
// once (and a sweep's step arrives within its settling time).
constexpr unsigned kLatencyMicroseconds = 100000;
// Pause before a suspended device is asked again to resume.
constexpr int kResumeWaitMs = 5;

int configure(snd_pcm_t* pcm, snd_pcm_format_t format, unsigned rate)
{
    return snd_pcm_set_params(pcm, format, SND_PCM_ACCESS_RW_INTERLEAVED, 2, rate, 1 /* resample in software */,
                              kLatencyMicroseconds);
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
    if (configure(pcm_, SND_PCM_FORMAT_S32_LE, rate) >= 0) {
        bits_ = 24;
    } else if (configure(pcm_, SND_PCM_FORMAT_S16_LE, rate) >= 0) {
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
    using clock = std::chrono::steady_clock;
    const auto end = clock::now() + std::chrono::milliseconds(kWriteWaitMs);
    for (;;) {
        const long n = static_cast<long>(snd_pcm_writei(pcm_, data, frames));
        if (n > 0)
            return n;
        if (n < 0 && n != -EAGAIN)
            return recover(n, wakeFd);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - clock::now()).count();
        if (left <= 0)
            return 0;
        long error = 0;
        switch (waitForPcm(pcm_, wakeFd, static_cast<int>(left), POLLOUT, &error)) {
            case PcmWait::Ready:
                continue;
            case PcmWait::Broken:
                return recover(error, wakeFd);
            case PcmWait::Quiet:
                return 0;
        }
    }
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
