// What a running WAV recording takes from the capture thread: every chunk of
// frames the source delivers, whether or not a buffer is queued for the
// display. The wave-input service calls it; the recorder behind it must never
// make the caller wait (it queues, or counts what it had to drop).
#pragma once

#include <cstddef>
#include <cstdint>

namespace varmolen {

class RecordingTap {
public:
    virtual ~RecordingTap() = default;

    // Capture thread: interleaved 16-bit frames exactly as the source
    // delivered them, in the format the tap was attached for. `afterStart`
    // marks the first frames since the source started (after an open or a
    // reset): they do not follow the frames before them without a break.
    virtual void deliver(const std::int16_t* frames, std::size_t frameCount, bool afterStart) = 0;
    // Capture thread: the device lost sound (an overrun, a suspend) and runs
    // again; `lostFrames` is its best estimate of the frames it never
    // delivered. The next frames delivered come after that break.
    virtual void streamBroke(std::uint64_t /*lostFrames*/) {}
    // Capture thread: the device has failed for good; nothing more comes.
    virtual void deviceFailed() = 0;
    // User-interface thread: the device was opened for another device or
    // another format; the tap has been let go and nothing more comes.
    virtual void formatChanged() = 0;
};

}  // namespace varmolen
