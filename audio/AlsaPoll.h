// The one bounded wait on an ALSA stream, for capture and playback alike: on
// the stream's own poll descriptors beside a wake-up descriptor, never longer
// than asked. ALSA's own wait may never return (the pulse plugin's descriptor
// stays readable while the sound server is suspended, and the plugin reports
// no event, so the wait polls again and its timeout never counts).
#pragma once

#include <cerrno>
#include <chrono>

typedef struct _snd_pcm snd_pcm_t;

namespace varmolen {

enum class PcmWait {
    Ready,  // the stream has frames or room (`want`), or an error for the next transfer to report
    Quiet,  // woken, the time is up, or no descriptors to wait on: return to the caller's loop
    Broken  // the descriptors report the stream broken; *error is the code to recover from
};

// Waits at most `leftMs` for `pcm` to be ready for `want` (POLLIN or POLLOUT)
// or for `wakeFd` to become readable.
PcmWait waitForPcm(snd_pcm_t* pcm, int wakeFd, int leftMs, short want, long* error);

// Tries `transfer` (a read or write that never blocks, returning frames or a
// negative error) until it moves frames, waiting on the stream between tries
// for at most `waitMs` in all. Returns the frames moved, 0 when none came in
// time or the wake-up descriptor was raised, or what `recover` makes of an
// error (0: go on, negative: the device has failed).
template <typename Transfer, typename Recover>
long transferWithin(snd_pcm_t* pcm, int wakeFd, int waitMs, short want, Transfer transfer, Recover recover)
{
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        const long n = transfer();
        if (n > 0)
            return n;
        if (n < 0 && n != -EAGAIN)
            return recover(n);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0)
            return 0;
        long error = 0;
        switch (waitForPcm(pcm, wakeFd, static_cast<int>(left), want, &error)) {
            case PcmWait::Ready:
                continue;
            case PcmWait::Broken:
                return recover(error);
            case PcmWait::Quiet:
                return 0;
        }
    }
}

}  // namespace varmolen
