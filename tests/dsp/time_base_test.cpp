// The time base's 1-2-5 steps, what each rate offers, and the labels under
// the divisions: round values in one unit across the whole picture.
#include "dsp/TimeBase.h"

#include <gtest/gtest.h>

#include <cmath>

namespace varmolen {
namespace {

TEST(TimeBase, StepsRunOneTwoFiveFromTheShortestSpanARateAllows)
{
    EXPECT_DOUBLE_EQ(timeBaseStep(0), 1e-6);
    EXPECT_DOUBLE_EQ(timeBaseStep(4), 20e-6);
    EXPECT_DOUBLE_EQ(timeBaseStep(8), 500e-6);
    EXPECT_DOUBLE_EQ(timeBaseStep(21), 10.0);
    const struct {
        std::uint32_t rate;
        double recordSeconds;
        double shortest;  // the span holds at least ten frames
        double longest;   // 10 s/div, or longer while the record holds the span
    } cases[] = {
        {8000, 10, 200e-6, 10.0},   // 100 µs/div: 8 frames
        {44100, 10, 50e-6, 10.0},   // 20 µs/div: 8.8 frames
        {192000, 10, 10e-6, 10.0},  // 5 µs/div: 9.6 frames
        {48000, 600, 50e-6, 50.0},  // 500 s of 600 held; 100 s/div would need 1000 s
        {48000, 200, 50e-6, 20.0},  // exactly a 200 s span
        {96000, 1, 20e-6, 10.0},    // a short record still offers 10 s/div (roll mode)
    };
    for (const auto& c : cases) {
        const std::vector<double> steps = timeBaseSteps(c.rate, c.recordSeconds);
        ASSERT_FALSE(steps.empty()) << c.rate;
        EXPECT_DOUBLE_EQ(steps.front(), c.shortest) << c.rate << " Hz, " << c.recordSeconds << " s";
        EXPECT_DOUBLE_EQ(steps.back(), c.longest) << c.rate << " Hz, " << c.recordSeconds << " s";
        for (std::size_t i = 1; i < steps.size(); ++i) {
            const double ratio = steps[i] / steps[i - 1];
            EXPECT_TRUE(std::abs(ratio - 2.0) < 1e-9 || std::abs(ratio - 2.5) < 1e-9) << steps[i];
        }
    }
    EXPECT_TRUE(timeBaseSteps(0, 10).empty());
}

// Every step at 8000, 44100 and 192000 Hz: the eleven labels read whole
// multiples of the step in one unit, the last at the span's end, and the
// columns of the division lines map to those times exactly.
TEST(TimeBase, LabelsReadRoundValuesAtEveryStepAndRate)
{
    for (const std::uint32_t rate : {8000u, 44100u, 192000u}) {
        for (const double perDiv : timeBaseSteps(rate, 10)) {
            const std::string unit = perDiv * 10 < 1e-3 * (1 - 1e-9) ? " µs" : perDiv * 10 < 1 - 1e-9 ? " ms" : " s";
            const double scale = unit == " µs" ? 1e6 : unit == " ms" ? 1e3 : 1.0;
            EXPECT_EQ(timeBaseLabel(timeBaseColumnTime(0, perDiv), perDiv, '.'), "0");
            for (int d = 1; d <= kTimeBaseDivisions; ++d) {
                const double t = timeBaseColumnTime(d * kTimeBaseColumnsPerDivision, perDiv);
                EXPECT_NEAR(t, d * perDiv, perDiv * 1e-12);
                const std::string label = timeBaseLabel(t, perDiv, '.');
                ASSERT_GT(label.size(), unit.size());
                EXPECT_EQ(label.substr(label.size() - unit.size()), unit) << label;
                const double value = std::stod(label.substr(0, label.size() - unit.size()));
                EXPECT_NEAR(value / scale, d * perDiv, d * perDiv * 1e-9) << label;
                EXPECT_LE(label.size() - unit.size(), 4u) << "a round value: " << label;
            }
            EXPECT_NEAR(timeBaseSpanFrames(perDiv, rate), 10 * perDiv * rate, 1e-6);
        }
    }
    const struct {
        double seconds, perDiv;
        const char* label;
    } texts[] = {
        {4e-3, 2e-3, "4 ms"}, {1.5e-3, 500e-6, "1,5 ms"}, {250e-6, 50e-6, "250 µs"},
        {0.3, 0.1, "0,3 s"},  {200.0, 20.0, "200 s"},     {30e-6, 10e-6, "30 µs"},
    };
    for (const auto& t : texts)
        EXPECT_EQ(timeBaseLabel(t.seconds, t.perDiv, ','), t.label);
    EXPECT_EQ(timeBaseText(2e-3, '.'), "2 ms/div");
    EXPECT_EQ(timeBaseText(500e-6, '.'), "500 µs/div");
    EXPECT_EQ(timeBaseText(10.0, '.'), "10 s/div");
}

}  // namespace
}  // namespace varmolen
