#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "state/InstrumentState.h"

namespace varmolen {
namespace {

TEST(InstrumentStateTest, StartupValuesMatchTheStartupTable)
{
    auto s = std::make_unique<InstrumentState>();

    // recording format
    EXPECT_EQ(s->sampleRate, 11025u);
    EXPECT_EQ(s->channelCount, 2);
    EXPECT_EQ(s->blockAlign, 4);
    EXPECT_EQ(s->bitsPerSample, 16);
    EXPECT_EQ(s->bytesPerSample, 2);
    EXPECT_EQ(s->blockSamples, 1024);
    EXPECT_EQ(s->bufferBytes, 8192);
    EXPECT_EQ(s->inputSelect, 0);
    // acquisition control
    EXPECT_EQ(s->stopped, 1);
    EXPECT_EQ(s->bufferTimedOut, 0);
    EXPECT_EQ(s->bufferSelect, 0);
    EXPECT_EQ(s->loadingSettings, 1);
    // display
    EXPECT_EQ(s->displayType, 2);
    EXPECT_EQ(s->displayWidth, 511);
    EXPECT_EQ(s->displayHeight, 343);
    EXPECT_EQ(s->clearHeight, 343);
    EXPECT_EQ(s->xyCenterX, 255);
    EXPECT_EQ(s->xyCenterY, 171);
    EXPECT_EQ(s->gridEnabled, 1);
    EXPECT_EQ(s->backgroundScheme, 1);
    EXPECT_EQ(s->chan1Color, 0);
    EXPECT_EQ(s->chan2Color, 0);
    EXPECT_FLOAT_EQ(s->spectrumScale, 10.0f);
    EXPECT_FLOAT_EQ(s->spectrumSmooth, 0.0f);
    // channels: the offsets are integer divisions of the display height
    EXPECT_EQ(s->chan1TimeGain, 25);
    EXPECT_EQ(s->chan2TimeGain, 25);
    EXPECT_EQ(s->chan1FreqGain, 50);
    EXPECT_EQ(s->chan2FreqGain, 50);
    EXPECT_EQ(s->chan1TimeRange, 1);
    EXPECT_EQ(s->chan2TimeRange, 1);
    EXPECT_EQ(s->chan1FreqRange, 1);
    EXPECT_EQ(s->chan2FreqRange, 1);
    EXPECT_EQ(s->chan1TimeOffset, 86);
    EXPECT_EQ(s->chan2TimeOffset, 258);
    EXPECT_EQ(s->chan1FreqOffset, 172);
    EXPECT_EQ(s->chan2FreqOffset, 343);
    EXPECT_EQ(s->addChannels, 0);
    EXPECT_EQ(s->traceMode, 1);
    // trigger
    EXPECT_EQ(s->triggerChannel, 1);
    EXPECT_EQ(s->triggerThreshold, 0);
    EXPECT_EQ(s->triggerSlope, 1);
    EXPECT_EQ(s->triggerShape, 1);
    EXPECT_EQ(s->triggerBand, 5);
    EXPECT_EQ(s->chopMode, 1);
    // markers and time base
    EXPECT_EQ(s->marker1Pos, 142);
    EXPECT_EQ(s->marker2Pos, 396);
    EXPECT_EQ(s->marker1Grabbable, 1);
    EXPECT_EQ(s->marker2Grabbable, 1);
    EXPECT_EQ(s->grabLeft, 10);
    EXPECT_EQ(s->grabRight, 10);
    EXPECT_EQ(s->span, 512);
    EXPECT_EQ(s->blockSize, 512);
    EXPECT_EQ(s->interpFactor, 2);
    EXPECT_EQ(s->osVariant, 1);
    // fields the table leaves at zero
    EXPECT_EQ(s->triggerEnabled, 0);
    EXPECT_EQ(s->chan1TimeGainDial, 0);
    EXPECT_EQ(s->chan2FreqGainDial, 0);
    EXPECT_EQ(s->timeBaseSetting, 0);
    EXPECT_EQ(s->waveDeviceId, 0);
    EXPECT_EQ(s->marker1Enabled, 0);
    EXPECT_EQ(s->expanded, 0);
    EXPECT_EQ(s->displayHold, 0);
}

TEST(InstrumentStateTest, FieldTypesHaveTheirDocumentedWidths)
{
    InstrumentState s;
    static_assert(sizeof(s.chan1Enabled) == 1 && sizeof(s.stopped) == 1, "flags are one byte");
    static_assert(sizeof(s.sampleRate) == 4 && sizeof(s.bufferBytes) == 2 && sizeof(s.channelCount) == 2);
    static_assert(sizeof(s.waveFormat) == 18 && sizeof(s.headerA) == 32 && sizeof(s.positionRecord) == 12);
    EXPECT_EQ(s.chan1Samples.size(), 4097u);
    EXPECT_EQ(s.windowTable.size(), 4097u);
    EXPECT_EQ(s.configFilePath.size(), 256u);
}

TEST(InstrumentStateTest, PathsAreCutAndTerminated)
{
    std::array<char, kPathLength> field{};
    setPath(field, "/home/user/.config/Varmolen/Varmolen.cfg");
    EXPECT_STREQ(field.data(), "/home/user/.config/Varmolen/Varmolen.cfg");
    const std::string longPath(400, 'x');
    setPath(field, longPath.c_str());
    EXPECT_EQ(std::string(field.data()).size(), 255u);
    EXPECT_EQ(field[255], '\0');
    setPath(field, nullptr);
    EXPECT_EQ(field[0], '\0');
}

// Reaching a channel by its number lands on that channel's own record field
// for each display type, and on no other: every field is written through the
// channel and the channel fields compared with a record written by name.
TEST(InstrumentStateTest, AChannelByItsNumberReachesItsOwnFieldsOnly)
{
    using Pick = std::int32_t& (*)(InstrumentSettings&, int);
    using Named = std::int32_t InstrumentSettings::*;
    struct Case {
        const char* what;
        Pick viaChannel;
        Named one;
        Named two;
    };
    const Case cases[] = {
        {"color", [](InstrumentSettings& s, int n) -> std::int32_t& { return channelSettings(s, n).color(); },
         &InstrumentSettings::chan1Color, &InstrumentSettings::chan2Color},
        {"time range", [](InstrumentSettings& s, int n) -> std::int32_t& { return channelSettings(s, n).range(true); },
         &InstrumentSettings::chan1TimeRange, &InstrumentSettings::chan2TimeRange},
        {"freq range", [](InstrumentSettings& s, int n) -> std::int32_t& { return channelSettings(s, n).range(false); },
         &InstrumentSettings::chan1FreqRange, &InstrumentSettings::chan2FreqRange},
        {"time dial",
         [](InstrumentSettings& s, int n) -> std::int32_t& { return channelSettings(s, n).gainDial(true); },
         &InstrumentSettings::chan1TimeGainDial, &InstrumentSettings::chan2TimeGainDial},
        {"freq dial",
         [](InstrumentSettings& s, int n) -> std::int32_t& { return channelSettings(s, n).gainDial(false); },
         &InstrumentSettings::chan1FreqGainDial, &InstrumentSettings::chan2FreqGainDial},
        {"time gain", [](InstrumentSettings& s, int n) -> std::int32_t& { return channelSettings(s, n).gain(true); },
         &InstrumentSettings::chan1TimeGain, &InstrumentSettings::chan2TimeGain},
        {"freq gain", [](InstrumentSettings& s, int n) -> std::int32_t& { return channelSettings(s, n).gain(false); },
         &InstrumentSettings::chan1FreqGain, &InstrumentSettings::chan2FreqGain},
        {"time offset",
         [](InstrumentSettings& s, int n) -> std::int32_t& { return channelSettings(s, n).offset(true); },
         &InstrumentSettings::chan1TimeOffset, &InstrumentSettings::chan2TimeOffset},
        {"freq offset",
         [](InstrumentSettings& s, int n) -> std::int32_t& { return channelSettings(s, n).offset(false); },
         &InstrumentSettings::chan1FreqOffset, &InstrumentSettings::chan2FreqOffset},
    };
    // Every channel field of the two records alike (where a mix-up would land).
    const auto same = [&cases](const InstrumentSettings& a, const InstrumentSettings& b) {
        for (const Case& c : cases)
            if (a.*c.one != b.*c.one || a.*c.two != b.*c.two)
                return false;
        return a.chan1Enabled == b.chan1Enabled && a.chan2Enabled == b.chan2Enabled;
    };
    for (const Case& c : cases) {
        for (const int n : {1, 2}) {
            SCOPED_TRACE(std::string(c.what) + " of channel " + std::to_string(n));
            auto viaChannel = std::make_unique<InstrumentSettings>();
            auto byName = std::make_unique<InstrumentSettings>();
            c.viaChannel(*viaChannel, n) = 12345;
            (*byName).*(n == 1 ? c.one : c.two) = 12345;
            EXPECT_TRUE(same(*viaChannel, *byName));
            const InstrumentSettings& reading = *viaChannel;
            EXPECT_EQ(n == 1 ? reading.*c.one : reading.*c.two, 12345);
        }
    }
    auto s = std::make_unique<InstrumentSettings>();
    channelSettings(*s, 2).enabled() = 1;
    EXPECT_TRUE(channelSettings(std::as_const(*s), 2).on());
    EXPECT_FALSE(channelSettings(std::as_const(*s), 1).on());
    EXPECT_EQ(s->chan2Enabled, 1);
}

}  // namespace
}  // namespace varmolen
