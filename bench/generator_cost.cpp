// What the signal generator costs: the CPU time of this process while the
// generator plays a 1 kHz sine at 44100 Hz into ALSA's default device (the
// playback thread and ALSA's own work for it), over the wall time, as a
// percentage of one core; and the synthesis alone, rendering as fast as it
// can, as the share of a core that 44100 frames a second take. Run it
// through bench/generator_cost.sh, which starts the tests' sound server.
//   generator_cost [seconds]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "audio/AlsaPlayback.h"
#include "dsp/SignalSynth.h"

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace varmolen;
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    constexpr unsigned kRate = 44100;

    // The synthesis alone: 60 s of sound rendered in a tight loop.
    SignalSynth synth(kRate, 24);
    synth.set({.hz = 1000, .levelDbfs = -1});
    synth.switchOn(true);
    std::vector<std::int32_t> codes(2 * 441);
    const auto began = std::chrono::steady_clock::now();
    for (int i = 0; i < 6000; ++i)
        synth.render(codes.data(), 441);
    const double renderWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();

    SignalPlayer player([] { return std::make_unique<AlsaPlaybackSink>("default"); });
    std::string whyNot;
    if (!player.start(kRate, {.hz = 1000, .levelDbfs = -1}, whyNot)) {
        std::fprintf(stderr, "%s\n", whyNot.c_str());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // started and settled
    const double cpu0 = cpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = cpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    // Stopping plays out what the device holds and the ramp down.
    const auto stopping = std::chrono::steady_clock::now();
    const bool stopped = player.stop();
    const double stopMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - stopping).count();
    std::printf(
        "playing: %.3f %% of a core (%.3f s CPU over %.1f s), %u underruns, %d-bit; "
        "synthesis alone: %.3f %% of a core; stopped in %.0f ms%s\n",
        100.0 * cpu / wall, cpu, wall, player.underruns(), player.bits(), 100.0 * renderWall / 60.0, stopMs,
        stopped ? "" : " (did not finish)");
    return 0;
}
