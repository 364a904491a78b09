// Records through ALSA's default device from a private PulseAudio server
// whose null sink plays a 1 kHz tone, with the engine and the run loop driven
// by a small event pump as the window drives them.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>

#include "acquisition/AcquisitionRig.h"
#include "audio/AlsaWaveInput.h"
#include "tests/audio/EventPump.h"
#include "audio/PulseRig.h"

namespace varmolen {
namespace {

using test::PulseRig;

// The frequency of the strongest line of a 1024-sample block (Hann window).
double dominantFrequency(const std::array<std::int32_t, kArrayLength>& x, double rate)
{
    int best = 1;
    double bestPower = -1.0;
    for (int k = 1; k < 512; ++k) {
        double re = 0.0, im = 0.0;
        for (int n = 0; n < 1024; ++n) {
            const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * n / 1024);
            re += w * x[n] * std::cos(2 * std::numbers::pi * k * n / 1024);
            im -= w * x[n] * std::sin(2 * std::numbers::pi * k * n / 1024);
        }
        if (re * re + im * im > bestPower) {
            bestPower = re * re + im * im;
            best = k;
        }
    }
    return best * rate / 1024;
}

TEST(AlsaCapture, RecordsTheServersToneInRealTime)
{
    PulseRig rig;
    if (!rig.ready())
        GTEST_SKIP() << "no private PulseAudio server could start (needs pulseaudio, pulseaudio-utils, "
                        "libasound2-plugins and sox); the capture through ALSA was not tested";

    const std::vector<AlsaCaptureDevice> devices = listAlsaCaptureDevices();
    ASSERT_FALSE(devices.empty());
    ASSERT_EQ(devices.front().pcmName, "default") << "the server's default device is offered first";
    AlsaWaveInput input(devices);

    AcquisitionRig r;
    WaveEngine engine(r.s, r.s, input, r.host);
    test::EventPump pump(input);
    constexpr int kBlocks = 40;
    int passes = 0;
    std::chrono::steady_clock::time_point first, last;
    double frequency = 0.0;
    AcquisitionLoop loop(r.s, r.s, r.s, engine, r.host, [&] {
        const auto now = std::chrono::steady_clock::now();
        if (passes == 0)
            first = now;
        last = now;
        if (passes == 10)
            frequency = dominantFrequency(r.s.chan1Samples, 44100.0);
        ++passes;
    });
    r.useLine(44100);
    r.s.waveDeviceId = 0;
    loop.StartBtnClick();
    ASSERT_TRUE(r.host.messages.empty()) << r.host.messages.front().text;

    pump.run(loop, r.host, std::chrono::steady_clock::now() + std::chrono::seconds(10),
             [&] { return passes >= kBlocks + 1; });
    loop.StopBtnClick();
    EXPECT_TRUE(r.host.messages.empty());
    ASSERT_EQ(passes, kBlocks + 1);
    EXPECT_EQ(loop.timeoutCount(), 0);
    const double seconds = std::chrono::duration<double>(last - first).count();
    std::printf("40 blocks of 2048 frames at 44100 Hz took %.3f s; dominant line %.1f Hz\n", seconds, frequency);
    // At 44100 Hz each buffer holds 2048 frames (46 ms), of which the first
    // 1024 are converted.
    EXPECT_NEAR(seconds, kBlocks * 2048 / 44100.0, 0.12);
    EXPECT_NEAR(frequency, 1000.0, 44100.0 / 1024);
}

}  // namespace
}  // namespace varmolen
