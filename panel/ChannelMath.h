// The arithmetic behind the channel columns, without a widget: gain from the
// range multiplier and the Gain dial, the zero-line row from the Position dial
// and back, and the range track bar's positions. The window's handlers read their control, call these and
// leave the results in the instrument state.
//
// Every channel setting exists once for the TIME display and once for the
// FREQUENCY display; the Apply... functions write only the copy of the
// display type in force.
#pragma once

#include <cstdint>
#include <optional>

#include "state/InstrumentSettings.h"

namespace varmolen {

// Gains run from 0 (Gnd) to 5000 (range 100, dial at 100 %).
constexpr std::int32_t kMaxGain = 5000;

// Range track bar position 0..3 → multiplier 0 (Gnd), 1, 10, 100; nothing
// for any other position.
std::optional<std::int32_t> rangeFromPosition(int position);
// Multiplier 0, 1, 10, 100 → track bar position 0..3; nothing for any other
// multiplier (a stored value the bar cannot show leaves it where it is).
std::optional<int> positionFromRange(std::int32_t multiplier);

// Gain of a channel: multiplier × dial value, then × 0.5, truncated toward
// zero (range 1, dial 37.6 → 18; range 100, dial 50 → 2500). A multiplier
// no track bar position gives (from a damaged settings file) cannot push the
// gain beyond 0..5000, which keeps the renderers' products within 32 bits.
std::int32_t gainFromDial(std::int32_t multiplier, float dialValue);

// The stored gain-dial position: whole part of the dial value, 0..100.
std::int32_t gainDialPosition(float dialValue);

// Zero-line row of the Position dial: H − H × V × 0.01, truncated toward
// zero, within 0..H (75 % of 343 rows → 85, 100 % → 0, 0 % → 343).
std::int32_t offsetFromDial(std::int32_t height, float dialValue);

// The Position dial value that shows a stored row: (H − row) × 100 ÷ H in
// integers, truncated toward zero, within 0..100 (row 85 → 75, 86 → 74).
std::int32_t dialFromOffset(std::int32_t height, std::int32_t offset);

// The fields of one channel for one display type.
struct ChannelFields {
    std::int32_t& gain;
    std::int32_t& range;
    std::int32_t& gainDial;
    std::int32_t& offset;
};
// Channel 1 or 2 (any other number reads channel 2) for the display type in
// force: TIME when displayType is 2, FREQUENCY otherwise.
ChannelFields fieldsInForce(InstrumentSettings& s, int channel);

// The Gain dial of a channel moved to dialValue.
void applyGainDial(InstrumentSettings& s, int channel, float dialValue);
// The range track bar of a channel moved to position, with the Gain dial at
// gainDialValue: stores the multiplier and recomputes the gain; the stored
// gain-dial position stays. False (and nothing changed) for a position
// outside 0..3.
bool applyRangePosition(InstrumentSettings& s, int channel, int position, float gainDialValue);
// The Position dial of a channel moved to dialValue, on a display of
// displayHeight rows.
void applyOffsetDial(InstrumentSettings& s, std::int32_t displayHeight, int channel, float dialValue);

// Where a channel's controls go when a display type is brought back: the
// track bar (if the stored multiplier has a position), the Gain dial at the
// stored whole-number position and the Position dial at the value that shows
// the stored row on a display of displayHeight rows.
struct ChannelControlsSetting {
    std::optional<int> trackBarPosition;
    float gainDial;
    float offsetDial;
};
ChannelControlsSetting controlsForDisplayType(InstrumentSettings& s, std::int32_t displayHeight, int channel);

}  // namespace varmolen
