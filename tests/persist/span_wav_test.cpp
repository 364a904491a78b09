// Export Span as WAV's file, read back by walking its chunks and through
// libsndfile: the span's frames of the channels chosen at the record's rate,
// each sample rounded to a whole code and held within 16 bits; and nothing
// at all for a span the record no longer holds.
#include "persist/SpanWav.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <vector>

#include <QTemporaryDir>

#include "tests/persist/WavReading.h"

namespace varmolen {
namespace {

TEST(SpanWav, TheChannelsChosenSampleForSampleAndNothingOfASpanNotHeld)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Longer than the writer's chunk; codes beyond 16 bits and fractions.
    constexpr std::int64_t kFrames = 70000;
    SampleRing ring(kFrames);
    ring.restart(96000);
    std::vector<float> a;
    std::vector<float> b;
    for (std::int64_t i = 0; i < kFrames; ++i) {
        a.push_back(static_cast<float>(i % 90000) - 45000.0f + 0.5f);
        b.push_back(static_cast<float>(i % 7) * 0.75f - 2.0f);
    }
    ring.append(a.data(), b.data(), a.size(), true);
    const auto code = [](float v) { return static_cast<std::int16_t>(std::clamp(std::lround(v), -32768L, 32767L)); };
    struct Case {
        const char* what;
        std::array<bool, 2> channels;
    };
    const RecordSpan span{&ring, 3, kFrames - 10, 0};
    for (const Case& c :
         {Case{"both", {true, true}}, Case{"channel 1", {true, false}}, Case{"channel 2", {false, true}}}) {
        SCOPED_TRACE(c.what);
        std::vector<char> bytes;
        std::string whyNot;
        ASSERT_TRUE(composeSpanWav(span, c.channels, bytes, whyNot)) << whyNot;
        const std::string path = dir.filePath(QStringLiteral("span.wav")).toStdString();
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        const test::WavContents w = test::readWav(path);
        ASSERT_EQ(w.problem, "");
        EXPECT_EQ(w.rate, 96000u);
        const int lanes = c.channels[0] && c.channels[1] ? 2 : 1;
        ASSERT_EQ(w.channels, lanes);
        ASSERT_EQ(w.frames(), static_cast<std::size_t>(span.count));
        for (std::int64_t j = 0; j < span.count; ++j) {
            int lane = 0;
            for (int ch = 1; ch <= 2; ++ch) {
                if (!c.channels[static_cast<std::size_t>(ch - 1)])
                    continue;
                ASSERT_EQ(w.samples[static_cast<std::size_t>(j * lanes + lane)], code(ring.at(ch, span.from + j)))
                    << "frame " << j << ", channel " << ch;
                ++lane;
            }
        }
    }
    std::vector<char> bytes;
    std::string whyNot;
    EXPECT_FALSE(composeSpanWav({&ring, -5, 100, 0}, {true, true}, bytes, whyNot));
    EXPECT_EQ(whyNot, "the record no longer holds the span");
    EXPECT_TRUE(bytes.empty());
}

}  // namespace
}  // namespace varmolen
