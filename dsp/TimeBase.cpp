#include "dsp/TimeBase.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace varmolen {

namespace {

struct Unit {
    double seconds;
    const char* name;
};

// The unit a time of this size reads best in.
Unit unitFor(double seconds)
{
    if (seconds < 1e-3 * (1.0 - 1e-9))
        return {1e-6, "µs"};
    if (seconds < 1.0 * (1.0 - 1e-9))
        return {1e-3, "ms"};
    return {1.0, "s"};
}

// Up to six significant digits, no trailing zeros, the user's decimal separator.
std::string number(double v, char decimalSeparator)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.6g", v);
    std::string text(buffer);
    if (decimalSeparator != '\0')
        std::replace(text.begin(), text.end(), '.', decimalSeparator);
    return text;
}

}  // namespace

double timeBaseStep(int index)
{
    static constexpr double kMantissa[] = {1.0, 2.0, 5.0};
    const int decade = index >= 0 ? index / 3 : (index - 2) / 3;
    return kMantissa[index - 3 * decade] * std::pow(10.0, decade - 6);
}

bool sameTimeBaseStep(double a, double b) { return std::abs(a - b) <= std::abs(b) * 1e-9 && b != 0.0; }

int timeBaseStepIndex(double perDiv)
{
    for (int i = 0; i < kTimeBaseStepCount; ++i) {
        if (sameTimeBaseStep(perDiv, timeBaseStep(i)))
            return i;
    }
    return -1;
}

bool isTimeBaseStep(double perDiv) { return timeBaseStepIndex(perDiv) >= 0; }

std::vector<double> timeBaseSteps(std::uint32_t rate, double recordSeconds)
{
    std::vector<double> steps;
    if (rate == 0)
        return steps;
    for (int i = 0;; ++i) {
        const double perDiv = timeBaseStep(i);
        const bool longerThanOffered = perDiv > kTimeBaseLongestPerDiv * (1.0 + 1e-9);
        if (longerThanOffered && perDiv * kTimeBaseDivisions > recordSeconds * (1.0 + 1e-9))
            break;
        if (timeBaseSpanFrames(perDiv, rate) >= kTimeBaseMinSpanFrames * (1.0 - 1e-9))
            steps.push_back(perDiv);
    }
    return steps;
}

double timeBaseSpanFrames(double perDiv, std::uint32_t rate) { return perDiv * kTimeBaseDivisions * rate; }

std::int64_t timeBaseSpanCount(double spanFrames)
{
    return static_cast<std::int64_t>(std::ceil(std::max(1.0, spanFrames) - 1e-9));
}

double timeBaseColumnTime(double column, double perDiv) { return column / kTimeBaseColumnsPerDivision * perDiv; }

std::string timeBaseUnit(double perDiv) { return unitFor(perDiv * kTimeBaseDivisions).name; }

std::string timeBaseNumber(double seconds, double perDiv, char decimalSeparator)
{
    if (std::abs(seconds) < perDiv * 1e-9)
        return "0";
    const Unit unit = unitFor(perDiv * kTimeBaseDivisions);
    // Rounded to a millionth of the unit: 0.1 + 0.2 steps read 0.3.
    const double value = std::round(seconds / unit.seconds * 1e6) / 1e6;
    return number(value, decimalSeparator);
}

std::string timeBaseLabel(double seconds, double perDiv, char decimalSeparator)
{
    const std::string n = timeBaseNumber(seconds, perDiv, decimalSeparator);
    return n == "0" ? n : n + " " + timeBaseUnit(perDiv);
}

std::string timeBaseText(double perDiv, char decimalSeparator)
{
    const Unit unit = unitFor(perDiv);
    const double value = std::round(perDiv / unit.seconds * 1e6) / 1e6;
    return number(value, decimalSeparator) + " " + unit.name + "/div";
}

}  // namespace varmolen
