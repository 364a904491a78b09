// bare_capture: records ALSA's default capture device the way the instrument
// does (16-bit stereo at 44100 Hz, 80 ms of buffering, a fiftieth of a second
// per read, waiting at most 50 ms for each) and throws the frames away, until
// SIGTERM. It draws nothing and has no window: measured beside the instrument,
// it shows what recording alone costs any program on the same sound server,
// the floor under the instrument's own load.
//
// Built by bench/peer_compare.sh with `g++ -O2 ... -lasound`; a helper for
// measurements, not part of the instrument.

#include <alsa/asoundlib.h>

#include <csignal>
#include <cstdio>
#include <vector>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onTerm(int) { stopRequested = 1; }

}  // namespace

int main()
{
    std::signal(SIGTERM, onTerm);
    std::signal(SIGINT, onTerm);
    constexpr unsigned kRate = 44100;
    constexpr unsigned kChannels = 2;
    constexpr snd_pcm_uframes_t kChunk = kRate / 50;
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0) {
        std::fprintf(stderr, "cannot open ALSA's default capture device\n");
        return 1;
    }
    if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, kChannels, kRate, 1, 80000) < 0 ||
        snd_pcm_start(pcm) < 0) {
        std::fprintf(stderr, "cannot start recording at 44100 Hz stereo\n");
        snd_pcm_close(pcm);
        return 1;
    }
    std::vector<short> chunk(kChunk * kChannels);
    long long frames = 0;
    while (stopRequested == 0) {
        if (snd_pcm_wait(pcm, 50) <= 0)
            continue;
        const snd_pcm_sframes_t n = snd_pcm_readi(pcm, chunk.data(), kChunk);
        if (n > 0)
            frames += n;
        else if (n != -EAGAIN && snd_pcm_recover(pcm, static_cast<int>(n), 1) < 0)
            break;
    }
    snd_pcm_close(pcm);
    std::fprintf(stderr, "recorded %lld frames\n", frames);
    return 0;
}
