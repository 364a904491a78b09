// The record of everything heard, against a reference that keeps every
// frame: what it holds after wrapping around, its breaks, and the least and
// greatest value of every span, which it forms from its runs' summaries.
#include "dsp/SampleRing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <set>
#include <vector>

#include "dsp/SampleDecoder.h"

namespace varmolen {
namespace {

// Keeps every frame appended and where each break falls.
struct Reference {
    std::vector<float> chan1, chan2;
    std::set<std::int64_t> breaks;

    void append(const std::vector<float>& a, const std::vector<float>& b, bool follows)
    {
        if (!follows && !chan1.empty())
            breaks.insert(static_cast<std::int64_t>(chan1.size()));
        chan1.insert(chan1.end(), a.begin(), a.end());
        chan2.insert(chan2.end(), b.begin(), b.end());
    }
    const std::vector<float>& of(int channel) const { return channel == 2 ? chan2 : chan1; }
};

struct Scenario {
    const char* name;
    std::size_t capacity;              // frames asked for
    std::vector<std::size_t> appends;  // frames of each buffer
    int breakEvery;                    // every n-th buffer does not follow (0: none)
};

// Every span of the frames held checked against the reference: the ring's
// copy, its first break and its extremes.
void checkSpans(const SampleRing& ring, const Reference& ref, std::mt19937& rng, const char* name)
{
    const std::int64_t end = static_cast<std::int64_t>(ref.chan1.size());
    ASSERT_EQ(ring.end(), end) << name;
    const std::int64_t oldest = std::max<std::int64_t>(0, end - static_cast<std::int64_t>(ring.capacity()));
    ASSERT_EQ(ring.oldest(), oldest) << name;
    std::uniform_int_distribution<std::int64_t> pick(oldest, end);
    for (int trial = 0; trial < 60; ++trial) {
        std::int64_t from = pick(rng), to = pick(rng);
        if (from > to)
            std::swap(from, to);
        for (int ch = 1; ch <= 2; ++ch) {
            const std::vector<float>& r = ref.of(ch);
            std::vector<float> got(static_cast<std::size_t>(to - from));
            ASSERT_TRUE(ring.copy(ch, from, got.size(), got.data())) << name;
            ASSERT_TRUE(std::equal(got.begin(), got.end(), r.begin() + from)) << name << " copy " << from << ".." << to;
            if (from < to) {
                const auto [lo, hi] = std::minmax_element(r.begin() + from, r.begin() + to);
                const SampleRing::Extremes e = ring.extremes(ch, from, to);
                EXPECT_EQ(e.min, *lo) << name << " ch" << ch << " " << from << ".." << to;
                EXPECT_EQ(e.max, *hi) << name << " ch" << ch << " " << from << ".." << to;
            }
        }
        const auto b = ref.breaks.lower_bound(from);
        const std::optional<std::int64_t> want =
            b != ref.breaks.end() && *b < to ? std::optional<std::int64_t>(*b) : std::nullopt;
        EXPECT_EQ(ring.firstBreak(from, to), want) << name << " breaks " << from << ".." << to;
    }
    // Outside what is held nothing is copied.
    std::vector<float> one(1);
    EXPECT_FALSE(ring.copy(1, end, 1, one.data())) << name;
    if (oldest > 0) {
        EXPECT_FALSE(ring.copy(1, oldest - 1, 1, one.data())) << name;
    }
}

TEST(SampleRing, HoldsTheNewestFramesWithTheirBreaksAndExtremesAcrossEveryWrap)
{
    const std::vector<Scenario> scenarios = {
        {"never fills", 1000, {100, 200, 300}, 2},
        {"one run", 1, {10, 70, 64, 1, 200}, 3},
        {"blocks of 1024 wrap a short ring", 3000, std::vector<std::size_t>(12, 1024), 5},
        {"odd buffers, breaks often", 777, {1, 2, 3, 63, 64, 65, 127, 129, 500, 999, 31}, 2},
        {"buffers longer than the ring", 256, {300, 1000, 5, 700}, 1},
        {"no breaks, many wraps", 640, std::vector<std::size_t>(40, 97), 0},
        {"empty buffers pass their break on", 500, {50, 0, 30, 0, 0, 20, 0}, 2},
    };
    std::mt19937 rng(20261209);
    std::normal_distribution<float> noise(0.0f, 4000.0f);
    for (const Scenario& sc : scenarios) {
        SampleRing ring(sc.capacity);
        ring.restart(44100);
        ASSERT_GE(ring.capacity(), sc.capacity) << sc.name;
        ASSERT_EQ(ring.capacity() % SampleRing::kRunFrames, 0u) << sc.name;
        Reference ref;
        for (std::size_t n = 0; n < sc.appends.size(); ++n) {
            std::vector<float> a(sc.appends[n]), b(sc.appends[n]);
            for (std::size_t i = 0; i < a.size(); ++i) {
                a[i] = std::round(noise(rng));
                b[i] = std::round(noise(rng));
            }
            const bool follows = sc.breakEvery == 0 || (n + 1) % static_cast<std::size_t>(sc.breakEvery) != 0;
            ring.append(a.data(), b.data(), a.size(), follows);
            ref.append(a, b, follows);
            checkSpans(ring, ref, rng, sc.name);
        }
    }
}

TEST(SampleRing, ASingleSpikeAnywhereInASpanIsItsExtreme)
{
    // A quiet record of three rings' length; the spike at each position of
    // a span that starts and ends inside runs, up or down.
    SampleRing ring(512);
    ring.restart(192000);
    std::vector<float> quiet(1536, 3.0f);
    ring.append(quiet.data(), quiet.data(), quiet.size(), true);
    const std::int64_t from = ring.oldest() + 5, to = ring.end() - 7;
    for (std::int64_t at = from; at < to; ++at) {
        for (const float spike : {32767.0f, -32768.0f}) {
            SampleRing r(512);
            r.restart(192000);
            std::vector<float> a(quiet);
            a[static_cast<std::size_t>(at)] = spike;
            r.append(a.data(), quiet.data(), a.size(), true);
            const SampleRing::Extremes e = r.extremes(1, from, to);
            ASSERT_EQ(spike > 0 ? e.max : e.min, spike) << "spike at " << at;
            ASSERT_EQ(spike > 0 ? e.min : e.max, 3.0f) << "spike at " << at;
        }
    }
}

// Pixel columns of a span, at whole and fractional frames a column: a
// single spike at every frame of the held record shows in exactly one
// column, the one its time falls in (within a column), and columns of
// frames the ring no longer or not yet holds read nothing.
TEST(SampleRing, ColumnsShowASingleSpikeWhereverItFalls)
{
    constexpr std::size_t kFrames = 1500;  // wraps a ring of 1024
    const std::vector<float> quiet(kFrames, -2.0f);
    for (const double perColumn : {1.0, 1.7, 64.0, 100.3}) {
        SampleRing plain(1024);
        plain.restart(48000);
        plain.append(quiet.data(), quiet.data(), kFrames, true);
        // From 40 frames before the oldest held to past the newest.
        const std::int64_t from = plain.oldest() - 40;
        const int count = static_cast<int>(std::ceil((plain.end() + 30 - from) / perColumn));
        std::vector<SampleRing::Extremes> columns(static_cast<std::size_t>(count));
        plain.columnExtremes(2, from, perColumn, count, columns.data());
        for (int k = 0; k < count; ++k) {
            const double firstFrame = from + k * perColumn, nextFrame = from + (k + 1) * perColumn;
            const bool outside = nextFrame <= plain.oldest() || firstFrame >= plain.end() + 1;
            if (outside) {
                EXPECT_TRUE(std::isnan(columns[static_cast<std::size_t>(k)].max)) << perColumn << " column " << k;
            }
        }
        for (std::int64_t at = plain.oldest(); at < plain.end(); ++at) {
            SampleRing ring(1024);
            ring.restart(48000);
            std::vector<float> a(quiet);
            a[static_cast<std::size_t>(at)] = 30000.0f;
            ring.append(quiet.data(), a.data(), kFrames, true);
            ring.columnExtremes(2, from, perColumn, count, columns.data());
            int shown = -1;
            for (int k = 0; k < count; ++k) {
                const SampleRing::Extremes& c = columns[static_cast<std::size_t>(k)];
                if (c.max == 30000.0f) {
                    ASSERT_EQ(shown, -1) << "the spike at " << at << " shows twice, " << perColumn << " a column";
                    shown = k;
                    // A column of one frame is the spike alone.
                    const bool single = std::floor((k + 1) * perColumn) - std::floor(k * perColumn) == 1.0;
                    EXPECT_EQ(c.min, single ? 30000.0f : -2.0f) << at;
                } else if (!std::isnan(c.max)) {
                    ASSERT_EQ(c.max, -2.0f);
                }
            }
            ASSERT_NE(shown, -1) << "the spike at " << at << " is lost, " << perColumn << " a column";
            EXPECT_LT(std::abs(shown - static_cast<double>(at - from) / perColumn), 1.0) << at;
        }
    }
}

TEST(SampleRing, ReadsTheRecordedBuffersAsTheDisplayDoesAndARateStartsAfresh)
{
    // Stereo frames are (channel 2, channel 1); a mono buffer is channel 1.
    const std::vector<std::uint8_t> stereo = {0x01, 0x00, 0xFF, 0x7F, 0x00, 0x80, 0xFE, 0xFF};
    const std::vector<std::uint8_t> mono = {0x10, 0x00, 0xF0, 0xFF};
    SampleRing ring(64);
    ring.restart(8000);
    ring.append(RecordedBlock{stereo.data(), 8, 2, 8000, false});
    ring.append(RecordedBlock{mono.data(), 4, 1, 8000, true});
    ring.append(RecordedBlock{stereo.data(), 7, 2, 8000, false});  // a torn last frame is left out
    ASSERT_EQ(ring.end(), 5);
    const float chan1[] = {32767, -2, 16, -16, 32767};
    const float chan2[] = {1, -32768, 0, 0, 1};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(ring.at(1, i), chan1[i]) << i;
        EXPECT_EQ(ring.at(2, i), chan2[i]) << i;
    }
    // The record's first buffer is no break; one that does not follow is.
    EXPECT_EQ(ring.firstBreak(0, 5), std::optional<std::int64_t>(4));

    ring.restart(11025);
    EXPECT_EQ(ring.rate(), 11025u);
    EXPECT_EQ(ring.end(), 0);
    EXPECT_FALSE(ring.firstBreak(0, 5));
    ring.append(RecordedBlock{mono.data(), 4, 1, 11025, false});
    EXPECT_FALSE(ring.firstBreak(0, ring.end()));
    EXPECT_EQ(ring.extremes(1, 0, 2).max, 16.0f);
}

// A buffer finer than 16 bits, as 32-bit integers and as floats: the record
// keeps each value's fraction where the display draws the code of its top 16
// bits, and a long buffer read in pieces is one stretch without a break.
TEST(SampleRing, AFineBufferKeepsItsFractionWhereTheDisplayDrawsItsCode)
{
    struct Value {
        std::int32_t s32;
        float unit;   // the same value as a float, full scale at 1.0
        float codes;  // what the record keeps
        std::int32_t drawn;
    };
    const Value values[] = {
        {0x7FFFFF00, 8388607.0f / 8388608.0f, 32767.0f + 255.0f / 256.0f, 32767},
        {-256, -1.0f / 8388608.0f, -1.0f / 256.0f, -1},
        {0x00008000, 0.5f / 32768.0f, 0.5f, 0},
        {INT32_MIN, -1.0f, -32768.0f, -32768},
    };
    for (const SampleFormat format : {SampleFormat::S32LE, SampleFormat::FloatLE}) {
        // 600 frames of (channel 2, channel 1): the table's value in channel 1, negated in channel 2.
        std::vector<std::uint8_t> bytes;
        const auto put = [&](const Value& v, bool negated) {
            std::uint8_t b[4];
            if (format == SampleFormat::S32LE) {
                const std::int32_t x = negated ? (v.s32 == INT32_MIN ? INT32_MAX : -v.s32) : v.s32;
                std::memcpy(b, &x, 4);
            } else {
                const float x = negated ? -v.unit : v.unit;
                std::memcpy(b, &x, 4);
            }
            bytes.insert(bytes.end(), b, b + 4);
        };
        for (int i = 0; i < 600; ++i) {
            put(values[i % 4], true);
            put(values[i % 4], false);
        }
        SampleRing ring(1024);
        ring.restart(48000);
        const auto size = static_cast<std::uint32_t>(bytes.size());
        ring.append(RecordedBlock{bytes.data(), size, 2, 48000, false, format});
        ring.append(RecordedBlock{bytes.data(), size, 2, 48000, false, format});
        ASSERT_EQ(ring.end(), 1200) << sampleFormatName(format);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(ring.at(1, i), values[i].codes) << sampleFormatName(format) << " " << i;
            EXPECT_EQ(ring.at(1, 600 + i), values[i].codes) << sampleFormatName(format) << " " << i;
        }
        EXPECT_EQ(ring.firstBreak(0, 1200), std::optional<std::int64_t>(600)) << sampleFormatName(format);
        std::vector<std::int32_t> drawn(4);
        decodeChannelCodes(format, bytes.data(), 4, 2, 1, drawn.data());
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(drawn[static_cast<std::size_t>(i)], values[i].drawn) << sampleFormatName(format) << " " << i;
    }
}

// The seconds asked for, in whole runs, unless the memory it may take holds
// fewer: then as many whole runs as fit, and never less than one.
TEST(SampleRing, SizedForItsSecondsWithinTheMemoryItMayTake)
{
    constexpr std::uint64_t kUnbounded = ~std::uint64_t{0};
    const struct {
        double seconds;
        std::uint32_t rate;
        std::uint64_t budget;
        std::size_t frames;
    } cases[] = {
        {10, 44100, kUnbounded, 441024},             // 441000 rounded up to whole runs
        {60, 192000, kUnbounded, 11520000},          // a minute at the highest rate: 96.48 MB
        {60, 192000, 50'000'000, 5970112},           // 50 MB hold 5970149 frames: whole runs below
        {1, 8000, 67000, 8000},                      // exactly what it asks
        {1, 8000, 66991, 7936},                      // a frame short: a run less
        {600, 192000, 100, SampleRing::kRunFrames},  // next to nothing: one run
    };
    for (const auto& c : cases) {
        const std::size_t frames = SampleRing::framesFor(c.seconds, c.rate, c.budget);
        EXPECT_EQ(frames, c.frames) << c.seconds << " s at " << c.rate << " Hz in " << c.budget << " bytes";
        EXPECT_EQ(SampleRing(frames).capacity(), frames);
    }
    EXPECT_DOUBLE_EQ(11520000 * SampleRing::kBytesPerFrame, 96.48e6);
}

}  // namespace
}  // namespace varmolen
