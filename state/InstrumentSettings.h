// The instrument's settings: what the front panel and the menus set, as the
// settings record Varmolen.cfg keeps it (its 37 fields), the gains in force
// that follow from those fields, the trigger's shape switch, and the settings
// of the features beyond the record that Varmolen.ini keeps. Every field
// starts at its start-up value, the instrument's setting before a file is read.
#pragma once

#include <array>
#include <cstdint>
#include <type_traits>

#include "audio/SampleRates.h"
#include "state/FeatureSettings.h"
#include "state/StateBasics.h"

namespace varmolen {

// displayType
constexpr std::int32_t kFrequencyDisplayType = 1;
constexpr std::int32_t kTimeDisplayType = 2;
// traceMode: Y-T; any other value draws XY
constexpr std::int32_t kYtTraceMode = 1;
constexpr std::int32_t kXyTraceMode = 2;  // what the switch stores for XY
// triggerSlope
constexpr std::int32_t kFallingSlope = 0;
constexpr std::int32_t kRisingSlope = 1;
// triggerShape: the Sin detector (a window above the level) or the Sqv
// detector (an edge through it)
constexpr std::int32_t kSineTrigger = 1;
constexpr std::int32_t kSquareTrigger = 2;
// backgroundScheme; any other value draws no background
constexpr std::int32_t kWhiteBackground = 1;
constexpr std::int32_t kBlackBackground = 2;
constexpr std::int32_t kTealBackground = 3;
// osVariant: which volume control the Options menu chose (the desktop's
// mixer first, or the terminal's)
constexpr std::int32_t kDesktopVolumeControl = 1;
constexpr std::int32_t kTerminalVolumeControl = 2;
// inputSelect
constexpr std::int32_t kMicrophoneInput = 0;  // mono
constexpr std::int32_t kLineInput = 1;        // stereo

// Start-up values the settings record's mending falls back to.
constexpr std::uint32_t kStartupSampleRate = 11025;
constexpr std::int32_t kStartupMarker1Pos = 142;
constexpr std::int32_t kStartupMarker2Pos = 396;

struct InstrumentSettings {
    // Input and recording
    std::int32_t waveDeviceId = 0;
    std::int32_t inputSelect = kMicrophoneInput;
    // Hz: the rate in force, one of kSampleRates (audio/SampleRates.h); 11025,
    // 22050 or 44100 while the three buttons set it.
    std::uint32_t sampleRate = kStartupSampleRate;

    // Channels. Each setting exists once for the TIME display and once for
    // the FREQUENCY display.
    flag chan1Enabled = 0;
    flag chan2Enabled = 0;
    std::int32_t chan1TimeRange = 1;  // range multiplier: 0 (Gnd), 1, 10, 100
    std::int32_t chan2TimeRange = 1;
    std::int32_t chan1FreqRange = 1;
    std::int32_t chan2FreqRange = 1;
    std::int32_t chan1TimeGainDial = 0;  // the Gain dial's whole percent
    std::int32_t chan2TimeGainDial = 0;
    std::int32_t chan1FreqGainDial = 0;
    std::int32_t chan2FreqGainDial = 0;
    // The gain in force: range multiplier and Gain dial (not kept: it follows
    // from them whenever the record is applied).
    std::int32_t chan1TimeGain = 25;
    std::int32_t chan2TimeGain = 25;
    std::int32_t chan1FreqGain = 50;
    std::int32_t chan2FreqGain = 50;
    // Zero-line rows.
    std::int32_t chan1TimeOffset = kDisplayRows - (3 * kDisplayRows / 4);
    std::int32_t chan2TimeOffset = kDisplayRows - (kDisplayRows / 4);
    std::int32_t chan1FreqOffset = kDisplayRows - (kDisplayRows / 2);
    std::int32_t chan2FreqOffset = kDisplayRows;
    flag addChannels = 0;
    std::int32_t traceMode = kYtTraceMode;

    // Trigger and sweep
    flag triggerEnabled = 0;
    std::int32_t triggerChannel = 1;  // 1 or 2
    std::int32_t triggerSlope = kRisingSlope;
    std::int32_t triggerShape = kSineTrigger;  // not kept: the switch starts at Sin
    std::int32_t triggerThreshold = 0;
    flag chopMode = 1;  // 1 = Chop, 0 = Alt
    flag displayHold = 0;
    flag singleSweep = 0;

    // Display
    std::int32_t displayType = kTimeDisplayType;
    flag gridEnabled = 1;
    std::int32_t backgroundScheme = kWhiteBackground;
    std::int32_t chan1Color = colour::kBlack;
    std::int32_t chan2Color = colour::kBlack;

    // Markers and time base
    flag marker1Enabled = 0;
    flag marker2Enabled = 0;
    std::int32_t marker1Pos = kStartupMarker1Pos;
    std::int32_t marker2Pos = kStartupMarker2Pos;
    std::int32_t timeBaseSetting = 0;  // the Time dial's whole percent

    // Platform: which desktop's volume control the Options menu starts.
    std::int32_t osVariant = kDesktopVolumeControl;

    // Where the settings and the manual are, and whether the settings are
    // being applied (1 until the start-up has applied the record): the
    // input and rate handlers then leave acquisition alone.
    std::array<char, kPathLength> configFilePath{};
    std::array<char, kPathLength> helpFilePath{};
    flag loadingSettings = 1;

    // Features beyond the settings record, kept in Varmolen.ini; all off by default.
    FeatureSettings features;

    // The rate of the three buttons last chosen: what Varmolen.cfg keeps
    // while the Sample Rate menu has another rate in force.
    std::uint32_t buttonSampleRate = kStartupSampleRate;
};

// One channel's settings reached by its number, 1 or 2 (any other number
// reaches channel 2, as the channel columns count): the record's fields under
// their own names, picked once here so that code for either channel is
// written once. Reached through a const InstrumentSettings it reads only.
template <class Settings>
class ChannelSettings {
    template <class T>
    using Ref = std::conditional_t<std::is_const_v<Settings>, const T&, T&>;
    using S = std::remove_const_t<Settings>;
    using Int = std::int32_t S::*;

    struct Members {
        flag S::*enabled;
        Int color, timeRange, freqRange, timeGainDial, freqGainDial, timeGain, freqGain, timeOffset, freqOffset;
    };
    static constexpr Members kMembers[2] = {
        {&S::chan1Enabled, &S::chan1Color, &S::chan1TimeRange, &S::chan1FreqRange, &S::chan1TimeGainDial,
         &S::chan1FreqGainDial, &S::chan1TimeGain, &S::chan1FreqGain, &S::chan1TimeOffset, &S::chan1FreqOffset},
        {&S::chan2Enabled, &S::chan2Color, &S::chan2TimeRange, &S::chan2FreqRange, &S::chan2TimeGainDial,
         &S::chan2FreqGainDial, &S::chan2TimeGain, &S::chan2FreqGain, &S::chan2TimeOffset, &S::chan2FreqOffset},
    };

public:
    ChannelSettings(Settings& s, int channel) : s_(s), m_(kMembers[channel == 1 ? 0 : 1]) {}

    Ref<flag> enabled() const { return s_.*m_.enabled; }
    bool on() const { return s_.*m_.enabled == 1; }
    Ref<std::int32_t> color() const { return s_.*m_.color; }
    // Each of these exists once for the TIME display (`time`) and once for
    // the FREQUENCY display.
    Ref<std::int32_t> range(bool time) const { return s_.*(time ? m_.timeRange : m_.freqRange); }
    Ref<std::int32_t> gainDial(bool time) const { return s_.*(time ? m_.timeGainDial : m_.freqGainDial); }
    Ref<std::int32_t> gain(bool time) const { return s_.*(time ? m_.timeGain : m_.freqGain); }
    Ref<std::int32_t> offset(bool time) const { return s_.*(time ? m_.timeOffset : m_.freqOffset); }

private:
    Settings& s_;
    const Members& m_;
};

// A marker's column and switch by its number, 1 or 2 (any other number
// reaches marker 2, as the channel columns count).
inline std::int32_t& markerColumn(InstrumentSettings& s, int marker)
{
    return marker == 1 ? s.marker1Pos : s.marker2Pos;
}
inline std::int32_t markerColumn(const InstrumentSettings& s, int marker)
{
    return marker == 1 ? s.marker1Pos : s.marker2Pos;
}
inline bool markerOn(const InstrumentSettings& s, int marker)
{
    return (marker == 1 ? s.marker1Enabled : s.marker2Enabled) != 0;
}

inline ChannelSettings<InstrumentSettings> channelSettings(InstrumentSettings& s, int channel) { return {s, channel}; }
inline ChannelSettings<const InstrumentSettings> channelSettings(const InstrumentSettings& s, int channel)
{
    return {s, channel};
}

}  // namespace varmolen
