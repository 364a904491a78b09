// The instrument's own ALSA capture of a private sound server's default
// input, as the rig tests read it: stereo 16-bit frames, breaks counted;
// and a stepped response sweep played and read through it.
#pragma once

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "audio/AlsaPlayback.h"
#include "audio/AlsaWaveInput.h"
#include "audio/SignalPlayer.h"
#include "dsp/ResponseSweep.h"
#include "dsp/SampleFormats.h"

namespace varmolen::test {

// The instrument's capture of ALSA's default input, stereo at `kRate`, each
// value a 16-bit code (Value std::int16_t) or a 32-bit float (Value float).
template <unsigned kRate, typename Value = std::int16_t>
class RigRecorder {
public:
    static constexpr bool kFloat = std::is_same_v<Value, float>;
    static constexpr SampleFormat kFormat = kFloat ? SampleFormat::FloatLE : SampleFormat::S16LE;
    static constexpr std::uint16_t kFrameBytes = 2 * sizeof(Value);

    RigRecorder() : wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    {
        const WAVEFORMATEX f{kFloat ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM,
                             2,
                             kRate,
                             kRate * kFrameBytes,
                             kFrameBytes,
                             8 * sizeof(Value),
                             0};
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
    bool read(std::vector<Value>& out, std::size_t frames)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        Value chunk[2 * 1024];
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

// Plays `sweep`'s steps into ALSA's default output at its plan's level,
// opened to be heard promptly as the generator opens it for a sweep, and
// hands it what the default input records until it is finished; false with
// the reason when the output or the input fails.
template <unsigned kRate>
bool playSteppedSweep(ResponseSweep& sweep, std::string& whyNot)
{
    const double level = sweep.plan().levelDbfs;
    SignalPlayer player([] { return std::make_unique<AlsaPlaybackSink>("default"); });
    if (!player.start(kRate, {.hz = sweep.currentHz(), .levelDbfs = level}, whyNot, true))
        return false;
    RigRecorder<kRate> rec;
    std::vector<std::int16_t> frames;
    while (rec.ok() && !sweep.finished()) {
        frames.clear();
        if (!rec.read(frames, 2048))
            break;
        const RecordedBlock block{reinterpret_cast<const std::uint8_t*>(frames.data()), 4 * 2048, 2, kRate, true};
        if (sweep.take(block) && !sweep.finished())
            player.set({.hz = sweep.currentHz(), .levelDbfs = level});
    }
    player.stop();
    if (!sweep.finished())
        whyNot = "the default input stopped recording";
    return sweep.finished();
}

}  // namespace varmolen::test
