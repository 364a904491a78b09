// The oscilloscope's time base in 1-2-5 steps per division, for pictures of
// the record shorter or longer than one block: ten divisions of 51 columns
// span the picture exactly, so column c shows the time c / 51 divisions
// after the picture's left end, and the labels under the divisions read
// round values ("0", "2 ms", "4 ms").
#pragma once

#include <array>
#include <cmath>
#include <algorithm>

#include <cstdint>
#include <string>
#include <vector>

namespace varmolen {

constexpr int kTimeBaseDivisions = 10;
constexpr int kTimeBaseColumnsPerDivision = 51;
// The narrowest picture holds ten frames, one a division.
constexpr double kTimeBaseMinSpanFrames = 10.0;
// Steps up to this many seconds a division are always offered; longer ones
// only as far as the record holds their whole span.
constexpr double kTimeBaseLongestPerDiv = 10.0;

// The longest step any record offers (500 s of the longest record), and
// how many steps there are from 1 µs to it.
constexpr double kTimeBaseLongestStep = 50.0;
constexpr int kTimeBaseStepCount = 24;

// The trigger point's places in the span the Time/Div menu offers (the
// part of the span before it), and its holdoffs in seconds; Varmolen.ini
// and remote control take any value in their ranges.
inline constexpr int kTriggerPositionCount = 7;
inline constexpr std::array<double, kTriggerPositionCount> kTriggerPositions{0.0, 0.1, 0.25, 0.5, 0.75, 0.9, 1.0};
inline constexpr int kHoldoffCount = 5;
inline constexpr std::array<double, kHoldoffCount> kHoldoffs{0.0, 1e-3, 10e-3, 100e-3, 1.0};

// The index of `value` among `items` (to a billionth), -1 for none.
template <std::size_t n>
int presetIndex(const std::array<double, n>& items, double value)
{
    for (std::size_t i = 0; i < n; ++i)
        if (std::abs(items[i] - value) <= 1e-9 * std::max(1.0, std::abs(value)))
            return static_cast<int>(i);
    return -1;
}

// The step `index` of 1, 2, 5, 10, 20, 50 ... microseconds a division (index 0: 1 µs).
double timeBaseStep(int index);
// The index of the step `perDiv` is (to a billionth), from 1 µs to
// kTimeBaseLongestStep; -1 for none.
int timeBaseStepIndex(double perDiv);
bool isTimeBaseStep(double perDiv);
// Two times a division are the same step (to a billionth).
bool sameTimeBaseStep(double a, double b);
// The steps offered at `rate` with a record of `recordSeconds`, shortest first.
std::vector<double> timeBaseSteps(std::uint32_t rate, double recordSeconds);
// Frames in the ten divisions of `perDiv` at `rate` (a fraction where the span falls between frames).
double timeBaseSpanFrames(double perDiv, std::uint32_t rate);
// The whole frames a span of `spanFrames` covers (at least one): a span
// that ends between two frames takes the later one too.
std::int64_t timeBaseSpanCount(double spanFrames);
// The time of column `column` (0 at the left end, 510 at the right division line).
double timeBaseColumnTime(double column, double perDiv);
// A label under the divisions of `perDiv`: the time in the unit the whole
// span reads best in (µs below 1 ms, ms below 1 s, else s), "0" for zero.
std::string timeBaseLabel(double seconds, double perDiv, char decimalSeparator);
// The unit the labels of `perDiv` read in ("µs", "ms" or "s"), and a
// label's number alone ("0", "2", "1.5").
std::string timeBaseUnit(double perDiv);
std::string timeBaseNumber(double seconds, double perDiv, char decimalSeparator);
// The step as the control shows it: "2 ms/div", "500 µs/div", "10 s/div".
std::string timeBaseText(double perDiv, char decimalSeparator);

}  // namespace varmolen
