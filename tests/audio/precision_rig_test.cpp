// The capture finer than 16 bits on a private PulseAudio server whose null
// sink runs in 32-bit floats: the signal generator's 24-bit sine played into
// it and read back through the instrument's own ALSA capture, as floats and
// as 24-bit integers, into the strip's readings. Sixteen bits would read
// THD+N near -92 dB here; the fine path reads the generator itself.
#include <gtest/gtest.h>

#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/AlsaPlayback.h"
#include "audio/AlsaWaveInput.h"
#include "audio/PulseRig.h"
#include "dsp/Measurements.h"
#include "dsp/SpectrumAnalysis.h"

namespace varmolen {
namespace {

using test::PulseRig;
constexpr unsigned kRate = 48000;
constexpr int kBlock = 1024;
constexpr int kBlocks = 16;  // 16384 frames: two full tone records

// Reads the default input in `format` for a second (the way through the
// server filled), then kBlocks blocks of stereo frames into the strip's
// meters; the tone reading of channel 1, or nothing when the stream broke.
std::optional<ToneReading> readTone(SampleFormat format)
{
    const std::uint16_t tag = format == SampleFormat::FloatLE ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM;
    const WAVEFORMATEX f{tag, 2, kRate, kRate * 8, 8, 32, 0};
    AlsaCaptureSource source("default");
    const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    std::optional<ToneReading> reading;
    if (source.open(f) == MMSYSERR_NOERROR && source.start()) {
        std::vector<std::uint8_t> frames;
        const std::size_t want = kRate + static_cast<std::size_t>(kBlocks * kBlock);
        std::vector<std::uint8_t> chunk(8 * 1024);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::uint32_t breaks = 0;
        while (frames.size() < 8 * want && std::chrono::steady_clock::now() < end) {
            const long n = source.read(chunk.data(), 1024, wake);
            if (n < 0)
                break;
            breaks += source.takeBreaks().count;
            frames.insert(frames.end(), chunk.begin(), chunk.begin() + 8 * n);
        }
        if (frames.size() >= 8 * want && breaks == 0) {
            auto m = std::make_unique<Measurements>();
            const std::uint8_t* p = frames.data() + 8 * kRate;
            for (int b = 0; b < kBlocks; ++b)
                m->measureBlock(
                    RecordedBlock{p + static_cast<std::ptrdiff_t>(8 * kBlock * b), 8 * kBlock, 2, kRate, b > 0, format},
                    true, false, MeasureParts{.time = true, .tone = true});
            reading = m->tone(1);
        }
    }
    source.stop();
    source.close();
    ::close(wake);
    return reading;
}

TEST(PrecisionRig, AFloatLoopbackReadsTheGeneratorBelowTheSixteenBitFloor)
{
    setenv("VARMOLEN_RIG_FORMAT", "float32le", 1);
    setenv("VARMOLEN_RIG_RATE", "48000", 1);
    PulseRig rig("loopback");
    unsetenv("VARMOLEN_RIG_FORMAT");
    unsetenv("VARMOLEN_RIG_RATE");
    if (!rig.ready())
        GTEST_SKIP() << "no private PulseAudio server could start; the fine capture was not tested";
    const struct {
        SampleFormat format;
        double dbfs;
        const char* name;
    } cases[] = {
        {SampleFormat::FloatLE, -1.0, "float, -1 dBFS"},
        {SampleFormat::S32LE, -1.0, "24-bit, -1 dBFS"},
        {SampleFormat::FloatLE, -60.0, "float, -60 dBFS"},
    };
    for (const auto& c : cases) {
        SignalPlayer player([] { return std::make_unique<AlsaPlaybackSink>("default"); });
        std::string whyNot;
        ASSERT_TRUE(player.start(kRate, {.hz = 997.0, .levelDbfs = c.dbfs}, whyNot)) << whyNot;
        // A gap in the private server's stream (a loaded machine) spoils a
        // record; it is read again, three times at most.
        std::optional<ToneReading> r;
        for (int attempt = 0; attempt < 3 && !r; ++attempt)
            r = readTone(c.format);
        player.stop();
        ASSERT_TRUE(r && r->valid && r->thdValid && r->thdNValid) << c.name;
        const double level = 20.0 * std::log10(r->amplitude / kAnalysisFullScale);
        const double thd = 20.0 * std::log10(r->thd);
        const double thdN = 20.0 * std::log10(r->thdN);
        std::printf("%s: %.4f Hz, %.4f dBFS, THD %.1f dB, THD+N %.1f dB, %d-bit output\n", c.name, r->hz, level, thd,
                    thdN, player.bits());
        EXPECT_NEAR(level, c.dbfs, 0.01) << c.name;
        if (c.dbfs > -10.0) {
            EXPECT_LT(thd, -130.0) << c.name;
            EXPECT_LT(thdN, -120.0) << c.name;
        }
    }
}

}  // namespace
}  // namespace varmolen
