// What the signal generator costs, its sine and its band-limited square side
// by side, at 44100 Hz, 24 bits, -1 dBFS:
// - the synthesis alone: the CPU time of this thread rendering 10 s of
//   output in periods of 441 frames, per second of output, as the share of
//   one core that playing it takes; the median of seven runs of each, taken
//   in turn (sine, square, sine, ...); also a 20 Hz square (its odd
//   harmonics up to the 1101st) and the time to build a square's table at
//   1 kHz, 20 Hz and 1 Hz;
// - playing: the CPU time of this process while the generator plays a
//   1 kHz tone into ALSA's default device (the playback thread and ALSA's
//   own work for it) over the wall time, as a share of one core, for each.
// Run it through bench/generator_cost.sh, which starts the tests' sound
// server and takes the median of five runs.
//   generator_cost [seconds of each playing]
// The last line of a run, `run: name=value ...`, is what the script reads.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "audio/AlsaPlayback.h"
#include "dsp/CycleTable.h"
#include "dsp/SignalSynth.h"

namespace {

using varmolen::SynthSettings;
using varmolen::SynthWaveform;

constexpr unsigned kRate = 44100;

double processCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The share of a core (percent) that rendering `settings` takes while it plays.
double synthesisShare(const SynthSettings& settings)
{
    constexpr double kSeconds = 10.0;
    varmolen::SignalSynth synth(kRate, 24);
    synth.set(settings);
    synth.switchOn(true);
    std::vector<std::int32_t> codes(2 * 441);
    synth.render(codes.data(), 441);
    const double began = threadCpuSeconds();
    for (int i = 0; i < static_cast<int>(kSeconds * kRate / 441); ++i)
        synth.render(codes.data(), 441);
    return 100.0 * (threadCpuSeconds() - began) / kSeconds;
}

double buildMs(double hz)
{
    const auto began = std::chrono::steady_clock::now();
    const varmolen::CycleTable table(varmolen::CycleShape::Square, varmolen::harmonicsBelowHalfRate(hz, kRate));
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
    return table.size() > 0 ? ms : 0.0;
}

struct Playing {
    double share = 0.0, stopMs = 0.0;
    unsigned underruns = 0;
    int bits = 0;
};

bool play(const SynthSettings& settings, double seconds, Playing& out)
{
    using namespace varmolen;
    SignalPlayer player([] { return std::make_unique<AlsaPlaybackSink>("default"); });
    std::string whyNot;
    if (!player.start(kRate, settings, whyNot)) {
        std::fprintf(stderr, "%s\n", whyNot.c_str());
        return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // started and settled
    const double cpu0 = processCpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = processCpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    // Stopping plays out what the device holds and the ramp down.
    const auto stopping = std::chrono::steady_clock::now();
    player.stop();
    out.stopMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - stopping).count();
    out.share = 100.0 * cpu / wall;
    out.underruns = player.underruns();
    out.bits = player.bits();
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const SynthSettings sine{.waveform = SynthWaveform::Sine, .hz = 1000, .levelDbfs = -1};
    SynthSettings square = sine, lowSquare = sine;
    square.waveform = lowSquare.waveform = SynthWaveform::Square;
    lowSquare.hz = 20;

    std::vector<double> sines, squares, lowSquares;
    for (int run = 0; run < 7; ++run) {
        sines.push_back(synthesisShare(sine));
        squares.push_back(synthesisShare(square));
        lowSquares.push_back(synthesisShare(lowSquare));
    }
    const double build1k = buildMs(1000), build20 = buildMs(20), build1 = buildMs(1);
    std::printf(
        "synthesis alone (%% of a core, median of 7): sine %.4f, square %.4f (%.2f of the sine), 20 Hz square %.4f; "
        "a square's table built in %.2f ms at 1 kHz, %.2f ms at 20 Hz, %.1f ms at 1 Hz\n",
        median(sines), median(squares), median(squares) / median(sines), median(lowSquares), build1k, build20, build1);

    Playing playingSine, playingSquare;
    if (!play(sine, seconds, playingSine) || !play(square, seconds, playingSquare))
        return 1;
    std::printf(
        "playing (%% of a core over %.0f s): sine %.3f, square %.3f; %u and %u underruns, %d-bit; stopped in "
        "%.0f and %.0f ms\n",
        seconds, playingSine.share, playingSquare.share, playingSine.underruns, playingSquare.underruns,
        playingSine.bits, playingSine.stopMs, playingSquare.stopMs);
    std::printf(
        "run: synth_sine=%.4f synth_square=%.4f synth_square20=%.4f play_sine=%.3f play_square=%.3f "
        "build_1hz_ms=%.1f\n",
        median(sines), median(squares), median(lowSquares), playingSine.share, playingSquare.share, build1);
    return 0;
}
