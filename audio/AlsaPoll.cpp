#include "audio/AlsaPoll.h"

#include <alsa/asoundlib.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "audio/CaptureSource.h"

namespace varmolen {

namespace {

// Descriptors ALSA may hand out for one stream (plugins use one or two).
constexpr int kMaxPollDescriptors = 8;
// Pause after a wake-up that brought nothing, so a descriptor that stays
// readable cannot make the thread spin.
constexpr int kIdleWaitMs = 5;

}  // namespace

PcmWait waitForPcm(snd_pcm_t* pcm, int wakeFd, int leftMs, short want, long* error)
{
    pollfd fds[kMaxPollDescriptors + 1];
    fds[0] = pollfd{wakeFd, POLLIN, 0};
    const int count = snd_pcm_poll_descriptors_count(pcm);
    if (count <= 0 || count > kMaxPollDescriptors ||
        snd_pcm_poll_descriptors(pcm, fds + 1, static_cast<unsigned>(count)) != count) {
        // No descriptors to wait on: wait a little for the wake-up alone.
        waitReadable(wakeFd, std::min(kIdleWaitMs, leftMs));
        return PcmWait::Quiet;
    }
    const int r = ::poll(fds, static_cast<nfds_t>(count + 1), leftMs);
    if (r < 0 && errno != EINTR)
        return PcmWait::Quiet;
    if (fds[0].revents != 0 || r == 0)
        return PcmWait::Quiet;  // asked for attention, or the deadline passed
    unsigned short revents = 0;
    if (snd_pcm_poll_descriptors_revents(pcm, fds + 1, static_cast<unsigned>(count), &revents) < 0) {
        *error = snd_pcm_state(pcm) == SND_PCM_STATE_DISCONNECTED ? -ENODEV : -EPIPE;
        return PcmWait::Broken;
    }
    if ((revents & (want | POLLERR)) != 0)
        return PcmWait::Ready;  // the transfer goes, or reports what went wrong
    // The descriptor woke with nothing to transfer: do not spin on it.
    return waitReadable(wakeFd, std::min(kIdleWaitMs, leftMs)) ? PcmWait::Quiet : PcmWait::Ready;
}

}  // namespace varmolen
