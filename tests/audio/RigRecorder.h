// The instrument's own ALSA capture of a private sound server's default
// input, as the rig tests read it: stereo 16-bit frames, breaks counted.
#pragma once

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "audio/AlsaWaveInput.h"

namespace varmolen::test {

// The instrument's capture of ALSA's default input, stereo 16-bit at `kRate`.
template <unsigned kRate>
class RigRecorder {
public:
    RigRecorder() : wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    {
        const WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, kRate, kRate * 4, 4, 16, 0};
        ok_ = source_.open(f) == MMSYSERR_NOERROR && source_.start();
    }
    ~RigRecorder()
    {
        source_.stop();
        source_.close();
        ::close(wake_);
    }
    bool ok() const { return ok_; }
    // Appends `frames` more frames (both values) to `out`; false when the
    // device failed or 10 s passed first. Breaks in the stream are counted.
    bool read(std::vector<std::int16_t>& out, std::size_t frames)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::int16_t chunk[2 * 1024];
        while (frames > 0 && std::chrono::steady_clock::now() < end) {
            const long n = source_.read(chunk, std::min<std::size_t>(frames, 1024), wake_);
            if (n < 0)
                return false;
            breaks_ += source_.takeBreaks().count;
            out.insert(out.end(), chunk, chunk + 2 * n);
            frames -= static_cast<std::size_t>(n);
        }
        return frames == 0;
    }
    std::uint32_t breaks() const { return breaks_; }

private:
    AlsaCaptureSource source_{"default"};
    int wake_;
    bool ok_ = false;
    std::uint32_t breaks_ = 0;
};

}  // namespace varmolen::test
