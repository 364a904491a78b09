// A display pass allocates nothing: global operator new is counted while
// passes run in every mode with all features on, and while pictures of the
// record are taken and drawn.
#include "display/DisplayPass.h"

#include <gtest/gtest.h>

#include "tests/CountAllocations.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "display/DisplayTestState.h"
#include "display/RecordSweep.h"
#include "display/RecordTraces.h"
#include "display/SpectrumAnalyser.h"
#include "dsp/SampleRing.h"

using varmolen::test::allocations;

using namespace varmolen;
using varmolen::testing::Bench;

TEST(DisplayAllocation, PassesAllocateNothing)
{
    Bench b;
    b.s.chan1Enabled = 1;
    b.s.chan2Enabled = 1;
    b.s.triggerEnabled = 1;
    b.s.marker1Enabled = 1;
    b.s.marker2Enabled = 1;
    b.s.span = 300;
    b.s.blockSize = 512;
    b.s.interpFactor = 2;
    for (int i = 0; i < 1024; ++i) {
        b.s.chan1Samples[i] = static_cast<int>(9000 * std::sin(i * 0.07));
        b.s.chan2Samples[i] = static_cast<int>(6000 * std::cos(i * 0.31));
    }
    // The counter works: an allocation here is seen.
    const long before = allocations.load();
    void* volatile probe = ::operator new(16);
    ::operator delete(probe);
    ASSERT_EQ(allocations.load(), before + 1);

    long during = 0;
    for (int type : {2, 1}) {
        for (int expanded : {0, 1}) {
            for (int mode : {1, 2}) {
                b.s.displayType = type;
                b.s.expanded = static_cast<flag>(expanded);
                b.s.traceMode = mode;
                b.s.addChannels = static_cast<flag>(mode == 1 && expanded);
                const long start = allocations.load();
                for (int pass = 0; pass < 3; ++pass)
                    runDisplayPass(b.s, b.s, b.s, b.r);
                during += allocations.load() - start;
            }
        }
    }
    EXPECT_EQ(during, 0);
}

// Passes of pictures of the record allocate nothing either: each a buffer
// appended to the record, the sweep's search and its picture, and the pass
// that draws it (a band of tall strokes), triggered over a ten-second span,
// rolling, and at 192000 Hz with every frame searched; the first at a
// larger bitmap too; expanded between the markers, live and held.
TEST(DisplayAllocation, RecordPassesAllocateNothing)
{
    const struct {
        std::uint32_t rate;
        double perDiv;
        std::int32_t mode;
        int width, height;
        RecordSweep::Taken expected;  // what every pass takes
        bool expanded;                // Exp on between the markers
    } cases[] = {{44100, 1.0, kMainTimeBase, Raster::kWidth, Raster::kHeight, RecordSweep::Taken::Triggered, false},
                 {44100, 1.0, kMainTimeBase, 1025, 685, RecordSweep::Taken::Triggered, false},
                 {44100, 1.0, kRollTimeBase, Raster::kWidth, Raster::kHeight, RecordSweep::Taken::Untriggered, false},
                 {192000, 0.001, kAutoTimeBase, Raster::kWidth, Raster::kHeight, RecordSweep::Taken::Triggered, false},
                 {44100, 1.0, kRollTimeBase, 1025, 685, RecordSweep::Taken::Untriggered, true},
                 {192000, 0.001, kAutoTimeBase, Raster::kWidth, Raster::kHeight, RecordSweep::Taken::Triggered, true}};
    for (const auto& c : cases) {
        Bench b;
        b.r.resize(c.width, c.height);
        b.s.chan1Enabled = 1;
        b.s.chan2Enabled = 1;
        b.s.chan1TimeGain = 50;
        b.s.chan2TimeGain = 50;
        b.s.displayType = kTimeDisplayType;
        b.s.traceMode = kYtTraceMode;
        b.s.triggerEnabled = 1;
        b.s.triggerChannel = 2;
        b.s.triggerShape = kSquareTrigger;
        b.s.marker1Enabled = 1;
        b.s.marker2Enabled = c.expanded ? 1 : 0;
        b.s.marker1Pos = 100;
        b.s.marker2Pos = 300;
        b.s.expanded = c.expanded ? 1 : 0;
        b.s.sampleRate = c.rate;
        b.s.features.timePerDiv = c.perDiv;
        b.s.features.timeBaseMode = c.mode;
        SampleRing ring(11 * c.rate);
        ring.restart(c.rate);
        auto sweep = std::make_unique<RecordSweep>();
        const std::size_t frames = c.rate <= 48000 ? 2048 : 4096;
        std::vector<float> chan1(frames), chan2(frames);
        std::int64_t at = 0;
        // A buffer of a 1 kHz triangle and a 250 Hz square, then the pass.
        const auto pass = [&] {
            for (std::size_t i = 0; i < frames; ++i, ++at) {
                const double phase = std::fmod(at * 1000.0 / c.rate, 1.0);
                chan1[i] = static_cast<float>(std::round(30000 * (4 * std::abs(phase - 0.5) - 1)));
                chan2[i] = std::fmod(at * 250.0 / c.rate, 1.0) < 0.5 ? 20000.0f : -20000.0f;
            }
            ring.append(chan1.data(), chan2.data(), frames, true);
            const RecordSweep::Taken taken = sweep->advance(b.s, b.s, ring, {0.0f, 0.0f}, b.r.width());
            if (taken != RecordSweep::Taken::Nothing)
                runDisplayPass(b.s, b.s, b.s, b.r);
            b.r.takeChangedRows();
            return taken;
        };
        while (ring.end() < static_cast<std::int64_t>(10 * c.rate) + 2 * static_cast<std::int64_t>(frames))
            pass();
        const long start = allocations.load();
        for (int n = 0; n < 5; ++n)
            EXPECT_EQ(pass(), c.expected) << c.rate << " Hz, pass " << n;
        // Held and expanded, a marker moved: the stretch taken again and drawn.
        if (c.expanded) {
            b.s.displayHold = 1;
            b.s.marker2Pos = 200;
            takeExpandedRecord(b.s, b.s, ring);
            runRedrawPass(b.s, b.s, b.s, b.r);
            EXPECT_TRUE(b.s.expandedRecord.shows(b.s.recordPicture, 100.0, 200.0));
        }
        EXPECT_EQ(allocations.load() - start, 0)
            << c.rate << " Hz, mode " << c.mode << ", " << c.width << " wide, expanded " << c.expanded;
    }
}

// The spectrum analyser's passes allocate nothing once its length is set:
// a buffer appended to the record, the transforms it takes of both channels
// and the pass that draws them, at 48000 Hz with 65536 points, as bands
// and as the spectrogram, at its own size and a larger bitmap.
TEST(DisplayAllocation, AnalyserPassesAllocateNothing)
{
    const struct {
        std::int32_t bands;
        bool spectrogram;
        int width, height;
    } cases[] = {{0, false, Raster::kWidth, Raster::kHeight},
                 {3, false, 1025, 685},
                 {0, true, Raster::kWidth, Raster::kHeight},
                 {0, true, 1025, 685}};
    for (const auto& c : cases) {
        Bench b;
        b.r.resize(c.width, c.height);
        b.s.chan1Enabled = 1;
        b.s.chan2Enabled = 1;
        b.s.displayType = kFrequencyDisplayType;
        b.s.sampleRate = 48000;
        b.s.features.analyser.length = 65536;
        b.s.features.analyser.logFrequency = true;
        b.s.features.analyser.bands = c.bands;
        b.s.features.analyser.spectrogram = c.spectrogram;
        b.s.features.spectrumAverage = 16;
        SampleRing ring(4 * 65536);
        ring.restart(48000);
        auto sweep = std::make_unique<AnalyserSweep>();
        std::vector<float> chan1(4800), chan2(4800);
        std::int64_t at = 0;
        int taken = 0;
        const auto pass = [&] {
            for (std::size_t i = 0; i < chan1.size(); ++i, ++at) {
                chan1[i] = static_cast<float>(20000 * std::sin(at * 0.13));
                chan2[i] = static_cast<float>(9000 * std::sin(at * 0.021));
            }
            ring.append(chan1.data(), chan2.data(), chan1.size(), true);
            if (sweep->advance(b.s, b.s, ring, {0.0f, 0.0f}, b.r.width())) {
                ++taken;
                runDisplayPass(b.s, b.s, b.s, b.r);
            }
            b.r.takeChangedRows();
        };
        for (int n = 0; n < 20; ++n)
            pass();
        const long start = allocations.load();
        taken = 0;
        for (int n = 0; n < 5; ++n)
            pass();
        EXPECT_EQ(taken, 5) << "a tenth of a second of frames takes a new spectrum";
        EXPECT_EQ(allocations.load() - start, 0) << c.bands << " bands, spectrogram " << c.spectrogram;
    }
}
