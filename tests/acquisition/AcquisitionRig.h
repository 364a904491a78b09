// An instrument state, a memory device, the engine and the run loop wired as
// the main window wires them, with the device's notifications queued and
// delivered by pump() as the user-interface thread would.
#pragma once

#include <memory>

#include "state/InstrumentState.h"
#include "acquisition/AcquisitionLoop.h"
#include "tests/support/MemoryWaveInput.h"
#include "acquisition/WaveEngine.h"
#include "audio/RecordingHost.h"

namespace varmolen {

struct AcquisitionRig {
    InstrumentState s;
    RecordingHost host;
    MemoryWaveInput device{{"Card A", "Card B"}};
    WaveEngine engine{s, s, device, host};
    int displayPasses = 0;
    std::function<void()> onDisplayPass;
    AcquisitionLoop loop{s, s, s, engine, host, [this] {
                             ++displayPasses;
                             if (onDisplayPass)
                                 onDisplayPass();
                         }};
    bool pending = false;

    AcquisitionRig()
    {
        s.loadingSettings = 0;
        s.bufferA = std::make_unique<std::uint8_t[]>(kRecordBufferBytes);
        s.bufferB = std::make_unique<std::uint8_t[]>(kRecordBufferBytes);
        useLine(11025);
        device.setNotifier([this] { pending = true; });
    }

    // The recording format the input handlers set.
    void useLine(std::uint32_t rate)
    {
        s.inputSelect = 1;
        s.sampleRate = rate;
        s.channelCount = 2;
        s.blockAlign = 4;
        s.bufferBytes = static_cast<std::uint16_t>(1024 * 2 * 2 * (rate < 44100 ? 1 : 2));
    }
    void useMic(std::uint32_t rate)
    {
        s.inputSelect = 0;
        s.sampleRate = rate;
        s.channelCount = 1;
        s.blockAlign = 2;
        s.bufferBytes = static_cast<std::uint16_t>(1024 * 2 * (rate < 44100 ? 1 : 2));
    }

    void pump()
    {
        while (pending) {
            pending = false;
            loop.onDeviceNotification();
        }
    }
    // The device records this many frames; the loop sees the notification.
    void record(std::uint32_t frames)
    {
        device.advanceFrames(frames);
        pump();
    }
    // One block's worth of frames in the current format.
    std::uint32_t blockFrames() const { return s.bufferBytes / s.blockAlign; }
    void recordBlocks(int blocks)
    {
        for (int i = 0; i < blocks; ++i)
            record(blockFrames());
    }
    // 250 ms pass without a block: the timeout timer ticks if it is enabled.
    void tickTimeout()
    {
        if (host.timeoutTimer)
            loop.TimeoutTimerTimer();
        pump();
    }
};

}  // namespace varmolen
