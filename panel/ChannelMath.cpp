#include "panel/ChannelMath.h"

#include <cmath>

namespace varmolen {

namespace {

constexpr std::int32_t kRanges[] = {0, 1, 10, 100};

double clampReal(double v, double lo, double hi)
{
    if (std::isnan(v))
        return lo;
    return v < lo ? lo : (v > hi ? hi : v);
}

std::int64_t clampTo(std::int64_t v, std::int64_t lo, std::int64_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

// The dials report 0..100 %; a value from elsewhere is brought into that
// range before any arithmetic (NaN reads 0).
double dialPercent(float dialValue) { return clampReal(static_cast<double>(dialValue), 0.0, 100.0); }

}  // namespace

std::optional<std::int32_t> rangeFromPosition(int position)
{
    if (position < 0 || position > 3)
        return std::nullopt;
    return kRanges[position];
}

std::optional<int> positionFromRange(std::int32_t multiplier)
{
    for (int i = 0; i < 4; ++i)
        if (kRanges[i] == multiplier)
            return i;
    return std::nullopt;
}

std::int32_t gainFromDial(std::int32_t multiplier, float dialValue)
{
    // Multiplier × V first, then × 0.5, in floating point.
    const double gain = static_cast<double>(multiplier) * dialPercent(dialValue) * 0.5;
    // Bounded before the conversion, which truncates toward zero.
    return static_cast<std::int32_t>(clampReal(gain, 0.0, static_cast<double>(kMaxGain)));
}

std::int32_t gainDialPosition(float dialValue) { return static_cast<std::int32_t>(dialPercent(dialValue)); }

std::int32_t offsetFromDial(std::int32_t height, float dialValue)
{
    const double h = height;
    // H × V first, then × 0.01, then taken from H.
    const double row = h - h * dialPercent(dialValue) * 0.01;
    const double lo = height < 0 ? h : 0.0;
    const double hi = height < 0 ? 0.0 : h;
    return static_cast<std::int32_t>(clampReal(row, lo, hi));
}

std::int32_t dialFromOffset(std::int32_t height, std::int32_t offset)
{
    if (height <= 0)
        return 0;
    // 64 bits: a row from a damaged settings file cannot overflow the product.
    const std::int64_t percent = (static_cast<std::int64_t>(height) - offset) * 100 / height;
    return static_cast<std::int32_t>(clampTo(percent, 0, 100));
}

ChannelFields fieldsInForce(InstrumentSettings& s, int channel)
{
    const bool time = s.displayType == kTimeDisplayType;
    const auto c = channelSettings(s, channel);
    return {c.gain(time), c.range(time), c.gainDial(time), c.offset(time)};
}

void applyGainDial(InstrumentSettings& s, int channel, float dialValue)
{
    ChannelFields f = fieldsInForce(s, channel);
    f.gain = gainFromDial(f.range, dialValue);
    f.gainDial = gainDialPosition(dialValue);
}

bool applyRangePosition(InstrumentSettings& s, int channel, int position, float gainDialValue)
{
    const std::optional<std::int32_t> multiplier = rangeFromPosition(position);
    if (!multiplier)
        return false;
    ChannelFields f = fieldsInForce(s, channel);
    f.range = *multiplier;
    f.gain = gainFromDial(f.range, gainDialValue);
    return true;
}

void applyOffsetDial(InstrumentSettings& s, std::int32_t displayHeight, int channel, float dialValue)
{
    fieldsInForce(s, channel).offset = offsetFromDial(displayHeight, dialValue);
}

ChannelControlsSetting controlsForDisplayType(InstrumentSettings& s, std::int32_t displayHeight, int channel)
{
    const ChannelFields f = fieldsInForce(s, channel);
    ChannelControlsSetting c{};
    c.trackBarPosition = positionFromRange(f.range);
    c.gainDial = static_cast<float>(clampTo(f.gainDial, 0, 100));
    c.offsetDial = static_cast<float>(dialFromOffset(displayHeight, f.offset));
    return c;
}

}  // namespace varmolen
