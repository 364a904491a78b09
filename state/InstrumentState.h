// The instrument state: every setting, derived value, device record and work
// array of the instrument, under the names the whole program uses. One
// instance lives as long as the main window, which hands a reference to each
// part it builds; tests make their own. All fields start at zero here; the
// main window's start-up (applyStartupValues) gives the documented values.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "audio/WaveInput.h"
#include "dsp/SpectrumHistory.h"
#include "state/FeatureSettings.h"

namespace varmolen {

using flag = std::uint8_t;  // one byte holding 0 or 1

constexpr int kArrayLength = 4097;      // every work array, 1-based where numerical
constexpr int kRecordBufferBytes = 20000;  // each of bufferA and bufferB
constexpr int kDisplayColumns = 513;    // display columns 0..512
constexpr int kDisplayRows = 343;
constexpr int kPathLength = 256;        // 255 characters and a terminating NUL
constexpr int kBlockSamples = 1024;     // samples per channel in one block

// Colour words 0x00BBGGRR (red in the low byte).
namespace colour {
constexpr std::int32_t black = 0x000000;
constexpr std::int32_t red = 0x0000FF;
constexpr std::int32_t blue = 0xFF0000;
constexpr std::int32_t teal = 0x808000;
constexpr std::int32_t lime = 0x00FF00;
constexpr std::int32_t yellow = 0x00FFFF;
constexpr std::int32_t white = 0xFFFFFF;
constexpr std::int32_t magenta = 0xFF00FF;
}  // namespace colour

// What the display shows now, for exports: the display type, channels and
// view of the last pass of any kind, and the rate of the last block drawn
// (which the readouts describe while the picture is held). The blocks the
// picture came from are keptBlocks.
struct DisplayedView {
    std::uint32_t sampleRate = 0;
    std::int32_t displayType = 0;
    std::uint8_t chan1Enabled = 0;
    std::uint8_t chan2Enabled = 0;
    // TIME: the samples across the width (span, 9..512), the columns at the
    // view's left and right ends (0 and 512, or the markers' in the expanded
    // view), XY and Add.
    std::int32_t span = 0;
    std::int32_t firstColumn = 0;
    std::int32_t lastColumn = 0;
    std::uint8_t xy = 0;
    std::uint8_t addChannels = 0;
    // [n - 1]: the sample index of channel n's kept block that its trace on
    // the display starts at (the trigger point, or 0 running free).
    std::array<std::int32_t, 2> traceStart{};
};

struct InstrumentState {
    // Recording format and device
    std::int32_t waveDeviceId = 0;
    std::int32_t waveDeviceCount = 0;
    std::int32_t inputSelect = 0;  // 0 = microphone (mono), 1 = line (stereo)
    std::uint32_t sampleRate = 0;  // Hz: 11025, 22050 or 44100
    std::uint16_t channelCount = 0;
    std::int32_t bytesPerSample = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::int32_t blockSamples = 0;
    std::uint16_t bufferBytes = 0;
    WAVEFORMATEX waveFormat{};
    WAVEHDR headerA;
    WAVEHDR headerB;
    HWAVEIN waveInHandle = 0;
    MMTIME positionRecord;
    std::uint32_t positionBytes = 0;

    // Acquisition control
    flag stopped = 0;
    flag bufferTimedOut = 0;
    std::int32_t bufferSelect = 0;
    flag loadingSettings = 0;
    std::int32_t currentChannel = 0;
    // 1 while a display pass draws again a block it has drawn before (a held
    // picture redrawn after a control changed), 0 for a new block: whatever
    // accumulates over blocks advances only on new ones.
    flag passIsRedraw = 0;

    // Sample blocks
    std::unique_ptr<std::uint8_t[]> bufferA;  // kRecordBufferBytes, from start-up to the end
    std::unique_ptr<std::uint8_t[]> bufferB;
    std::array<std::int32_t, kArrayLength> chan1Samples{};
    std::array<std::int32_t, kArrayLength> chan2Samples{};
    float chan1DcLevel = 0.0f;
    float chan2DcLevel = 0.0f;

    // Channels
    flag chan1Enabled = 0;
    flag chan2Enabled = 0;
    std::int32_t chan1TimeGain = 0;
    std::int32_t chan2TimeGain = 0;
    std::int32_t chan1FreqGain = 0;
    std::int32_t chan2FreqGain = 0;
    std::int32_t chan1TimeRange = 0;
    std::int32_t chan2TimeRange = 0;
    std::int32_t chan1FreqRange = 0;
    std::int32_t chan2FreqRange = 0;
    std::int32_t chan1TimeGainDial = 0;
    std::int32_t chan2TimeGainDial = 0;
    std::int32_t chan1FreqGainDial = 0;
    std::int32_t chan2FreqGainDial = 0;
    std::int32_t chan1TimeOffset = 0;
    std::int32_t chan2TimeOffset = 0;
    std::int32_t chan1FreqOffset = 0;
    std::int32_t chan2FreqOffset = 0;
    flag addChannels = 0;
    std::int32_t traceMode = 0;  // 1 = Y-T, otherwise XY

    // Trigger and sweep
    flag triggerEnabled = 0;
    std::int32_t triggerChannel = 0;  // 1 or 2
    std::int32_t triggerSlope = 0;    // 1 = rising, 0 = falling
    std::int32_t triggerShape = 0;    // 1 = Sin, 2 = Sqv
    std::int32_t triggerThreshold = 0;
    std::int32_t triggerBand = 0;
    flag chopMode = 0;  // 1 = Chop, 0 = Alt
    flag displayHold = 0;
    flag singleSweep = 0;
    std::int32_t triggerIndex = 0;
    flag crossingSeen = 0;

    // Display
    std::int32_t displayType = 0;  // 2 = TIME, 1 = FREQUENCY
    std::int32_t displayWidth = 0;
    std::int32_t displayHeight = 0;
    std::int32_t clearHeight = 0;
    std::int32_t xyCenterX = 0;
    std::int32_t xyCenterY = 0;
    flag gridEnabled = 0;
    std::int32_t backgroundScheme = 0;  // 1 = white, 2 = black, 3 = teal
    std::int32_t chan1Color = 0;
    std::int32_t chan2Color = 0;
    float spectrumScale = 0.0f;
    float spectrumSmooth = 0.0f;

    // Markers and time base
    flag marker1Enabled = 0;
    flag marker2Enabled = 0;
    std::int32_t marker1Pos = 0;
    std::int32_t marker2Pos = 0;
    flag marker1Grabbable = 0;
    flag marker2Grabbable = 0;
    std::int32_t grabLeft = 0;
    std::int32_t grabRight = 0;
    flag expanded = 0;
    std::int32_t expandWidth = 0;
    std::int32_t span = 0;
    std::int32_t blockSize = 0;
    std::int32_t interpFactor = 0;
    std::int32_t timeBaseSetting = 0;

    // Working arrays
    std::array<std::int32_t, kArrayLength> scaledTrace{};
    std::array<std::int32_t, kArrayLength> chan1Trace{};
    std::array<std::int32_t, kArrayLength> chan2Trace{};
    std::array<std::int32_t, kArrayLength> resampledTrace{};
    std::array<std::int32_t, kArrayLength> expandedTrace{};
    std::array<float, kArrayLength> windowTable{};
    std::array<float, kArrayLength> spectrumWork{};
    std::array<float, kArrayLength> fftReal{};
    std::array<float, kArrayLength> fftImag{};
    std::array<float, kArrayLength> interpInput{};
    std::array<float, kArrayLength> interpOutput{};
    std::array<float, kArrayLength> splineCurvature{};
    std::array<float, kArrayLength> splineSweep{};
    // XY display: the scaled horizontal (channel 2) and vertical (channel 1)
    // deflections, 513 used. Scaling into these leaves chan1Samples and
    // chan2Samples untouched, so a block that is not refilled (channel 2 at
    // the microphone input) is not scaled again on every pass.
    std::array<std::int32_t, kArrayLength> xyHorizontal{};
    std::array<std::int32_t, kArrayLength> xyVertical{};

    // The picture on the display. A held picture (Hold, a finished single
    // sweep, a channel that keeps its previous trace) is a record of the
    // block that made it: when a control changes how a block is drawn, the
    // display pass draws that block again, so picture and readouts agree.
    struct KeptBlock {
        std::array<std::int32_t, kBlockSamples> chan1{};  // both channels of the block
        std::array<std::int32_t, kBlockSamples> chan2{};
        std::int32_t traceStart = 0;  // sample index of the trace's first point
        std::uint32_t sampleRate = 0;  // Hz, the rate the block was recorded at
        // [n - 1]: the DC level taken from channel n's samples (the slow
        // average, truncated): as recorded, a sample read value + dcOffset.
        std::array<std::int32_t, 2> dcOffset{};
        flag valid = 0;
    };
    std::array<KeptBlock, 2> keptBlocks{};  // [n - 1]: the block channel n's picture came from
    std::array<flag, 2> traceKept{};        // [n - 1]: the last pass kept channel n's previous trace
    flag triggerFound = 0;                  // the last pass found the trigger source's trigger point
    // The live block, set aside while a redraw borrows the sample arrays.
    std::array<std::int32_t, kBlockSamples> liveChan1Samples{};
    std::array<std::int32_t, kBlockSamples> liveChan2Samples{};

    // Files and platform
    std::array<char, kPathLength> configFilePath{};
    std::array<char, kPathLength> helpFilePath{};
    std::int32_t osVariant = 0;

    // Features beyond the settings record, kept in Varmolen.ini; all off by default.
    FeatureSettings features;
    // Spectrum averaging and peak hold (features.spectrumAverage, features.peakHold).
    SpectrumHistory spectrumHistory;
    DisplayedView displayedView;
};

// Gives the fields of the start-up table their values. Fields the table does
// not name keep theirs: zero in a fresh state.
void applyStartupValues(InstrumentState& s);

// Copies text into a fixed path field, cut to 255 characters and NUL-terminated.
void setPath(std::array<char, kPathLength>& field, const char* text);

}  // namespace varmolen
