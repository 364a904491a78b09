#include "state/InstrumentState.h"

#include <cstring>

namespace varmolen {

void applyStartupValues(InstrumentState& s)
{
    // recording format
    s.sampleRate = 11025;
    s.channelCount = 2;
    s.blockAlign = 4;
    s.bitsPerSample = 16;
    s.bytesPerSample = 2;
    s.blockSamples = 1024;
    s.bufferBytes = 2 * 1024 * 2 * 2;
    s.inputSelect = 0;
    // acquisition control
    s.stopped = 1;
    s.bufferTimedOut = 0;
    s.bufferSelect = 0;
    s.currentChannel = 1;
    s.loadingSettings = 1;
    // display
    s.displayType = 2;
    s.displayWidth = 511;
    s.displayHeight = 343;
    s.clearHeight = 343;
    s.xyCenterX = 511 / 2;
    s.xyCenterY = 343 / 2;
    s.gridEnabled = 1;
    s.backgroundScheme = 1;
    s.chan1Color = colour::black;
    s.chan2Color = colour::black;
    s.spectrumScale = 10.0f;
    s.spectrumSmooth = 0.0f;
    // channels
    s.chan1Enabled = 0;
    s.chan2Enabled = 0;
    s.chan1TimeGain = 25;
    s.chan2TimeGain = 25;
    s.chan1FreqGain = 50;
    s.chan2FreqGain = 50;
    s.chan1TimeRange = 1;
    s.chan2TimeRange = 1;
    s.chan1FreqRange = 1;
    s.chan2FreqRange = 1;
    s.chan1TimeOffset = 343 - (3 * 343 / 4);
    s.chan2TimeOffset = 343 - (343 / 4);
    s.chan1FreqOffset = 343 - (343 / 2);
    s.chan2FreqOffset = 343;
    s.addChannels = 0;
    s.traceMode = 1;
    // trigger
    s.triggerChannel = 1;
    s.triggerThreshold = 0;
    s.triggerSlope = 1;
    s.triggerShape = 1;
    s.triggerBand = 5;
    s.triggerIndex = 0;
    s.chopMode = 1;
    s.displayHold = 0;
    s.singleSweep = 0;
    // markers and time base
    s.marker1Enabled = 0;
    s.marker2Enabled = 0;
    s.marker1Pos = 142;
    s.marker2Pos = 396;
    s.marker1Grabbable = 1;
    s.marker2Grabbable = 1;
    s.grabLeft = 10;
    s.grabRight = 10;
    s.expanded = 0;
    s.span = 512;
    s.blockSize = 512;
    s.interpFactor = 2;
    // other
    s.osVariant = 1;
}

void setPath(std::array<char, kPathLength>& field, const char* text)
{
    field.fill('\0');
    if (text == nullptr)
        return;
    std::size_t n = std::strlen(text);
    if (n > kPathLength - 1)
        n = kPathLength - 1;
    std::memcpy(field.data(), text, n);
}

}  // namespace varmolen
