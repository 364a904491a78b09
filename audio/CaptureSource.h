// One recording source behind the stream service: a sound card through ALSA
// or the built-in signal generator. The stream service owns the queue of
// buffers and the capture thread; a source only delivers interleaved 16-bit
// frames when asked. After open, only the capture thread touches the source.
#pragma once

#include <cstddef>
#include <cstdint>

#include "audio/WaveInput.h"

namespace varmolen {

class CaptureSource {
public:
    virtual ~CaptureSource() = default;

    // Whether the source can record this format; nothing is kept open.
    virtual MMRESULT query(const WAVEFORMATEX& format) = 0;
    // Opens the source for recording in this format.
    virtual MMRESULT open(const WAVEFORMATEX& format) = 0;
    // Begins delivering frames; false when the device has failed.
    virtual bool start() = 0;
    // Waits at most about one chunk's time for frames and copies up to
    // maxFrames of them into dst. Returns the frames copied (0 when none were
    // ready), or a negative value once the device has failed for good.
    virtual long read(std::int16_t* dst, std::size_t maxFrames) = 0;
    // Stops delivering and drops whatever is pending.
    virtual void stop() = 0;
    virtual void close() = 0;
};

}  // namespace varmolen
