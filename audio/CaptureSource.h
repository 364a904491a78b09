// One recording source behind the stream service: a sound card through ALSA
// or the built-in signal generator. The stream service owns the queue of
// buffers and the capture thread; a source only delivers interleaved frames
// in the format it was opened in (16-bit or 32-bit integers, or 32-bit
// floats) when asked. After open, only the capture thread touches the source:
// it starts, reads, stops and finally closes it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "audio/WaveInput.h"

namespace varmolen {

// The longest a read may wait for frames. The capture thread looks at its
// stop and close requests between reads, so this bounds how long either can
// go unnoticed by a source that honours it.
constexpr int kReadWaitMs = 50;

// Sound a source lost between two reads: an overrun (the device's buffer
// filled before it was read) or a suspend. The stream runs again after it;
// the frames delivered next do not follow those delivered before.
struct StreamBreaks {
    std::uint32_t count = 0;       // breaks since the last look
    std::uint64_t lostFrames = 0;  // the source's best estimate of the frames lost in them
};

class CaptureSource {
public:
    virtual ~CaptureSource() = default;

    // Whether the source can record this format; nothing is kept open.
    virtual MMRESULT query(const WAVEFORMATEX& format) = 0;
    // Opens the source for recording in this format.
    virtual MMRESULT open(const WAVEFORMATEX& format) = 0;
    // Begins delivering frames; false when the device has failed.
    virtual bool start() = 0;
    // Waits at most kReadWaitMs for frames and copies up to maxFrames of them
    // into dst, in the format opened. Returns at once with 0 when `wakeFd` (a descriptor that the
    // service makes readable to ask for attention) is or becomes readable.
    // Returns the frames copied (0 when none were ready), or a negative value
    // once the device has failed for good. A source that lost sound and runs
    // again reports it through takeBreaks, never by failing.
    virtual long read(void* dst, std::size_t maxFrames, int wakeFd) = 0;
    // After each read: the breaks that lie before the frames that read
    // returned (and after those of the read before), cleared by the look.
    virtual StreamBreaks takeBreaks() { return {}; }
    // Stops delivering and drops whatever is pending.
    virtual void stop() = 0;
    virtual void close() = 0;
};

// Waits until `fd` is readable or `timeoutMs` has passed (0 or less: does not
// wait); true when it is readable. Interrupted waits are resumed with the
// time left.
bool waitReadable(int fd, int timeoutMs);
// The same up to a point on the steady clock; never returns before it
// unless `fd` is readable.
bool waitReadableUntil(int fd, std::chrono::steady_clock::time_point deadline);

}  // namespace varmolen
