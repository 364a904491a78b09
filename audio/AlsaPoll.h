// The one bounded wait on an ALSA stream, for capture and playback alike: on
// the stream's own poll descriptors beside a wake-up descriptor, never longer
// than asked. ALSA's own wait may never return (the pulse plugin's descriptor
// stays readable while the sound server is suspended, and the plugin reports
// no event, so the wait polls again and its timeout never counts).
#pragma once

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

}  // namespace varmolen
