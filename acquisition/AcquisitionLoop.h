// The acquisition run loop as a state machine on the user-interface thread.
// StartBtnClick opens the device and returns; the run then advances whenever
// the device notifies (onDeviceNotification) and when the timeout timer ticks.
// Each completed block is split into chan1Samples and chan2Samples, loses its
// slowly averaged DC level and, unless the display is held, goes through one
// display pass. Exactly one run is active at a time, so a handler that needs
// the device idle simply calls StopBtnClick and later StartBtnClick.
#pragma once

#include <cstdint>
#include <array>
#include <functional>
#include <memory>

#include "acquisition/Host.h"
#include "state/DeviceRecords.h"
#include "state/InstrumentSettings.h"
#include "state/PassBuffers.h"
#include "dsp/RecordedBlock.h"
#include "dsp/SampleRing.h"
#include "acquisition/WaveEngine.h"

namespace varmolen {

constexpr int kBlockFrames = 1024;

// Stereo: the frame's first value goes to channel 2, its second to channel 1.
// At a finer precision, each value becomes the code it draws.
void splitStereo(const std::uint8_t* buffer, PassBuffers& samples, SampleFormat format = SampleFormat::S16LE);
// Mono: every value goes to channel 1; channel 2 keeps what it held.
void splitMono(const std::uint8_t* buffer, PassBuffers& samples, SampleFormat format = SampleFormat::S16LE);
// Follows the block's mean with weight 0.1 and subtracts the truncated level.
void removeDcLevel(std::array<std::int32_t, kArrayLength>& samples, float& dcLevel);

class AcquisitionLoop {
public:
    // The loop drives the device records; it reads the input, the rate and
    // Hold from the settings, and splits each block into the samples.
    AcquisitionLoop(DeviceRecords& device, const InstrumentSettings& settings, PassBuffers& samples, WaveEngine& engine,
                    Host& host, std::function<void()> displayPass);

    void StartBtnClick();
    void StopBtnClick();
    void StartTimerTimer();
    void TimeoutTimerTimer();
    // The device recorded something or returned a block (on the UI thread).
    void onDeviceNotification();

    // Receives every completed buffer as recorded, before its split and DC
    // removal, held display or not. Unset (the default), nothing is called.
    // Two observers may watch at once, each in its own slot: the measurement
    // strip's (kMeasureObserver) and the response sweep's (kSweepObserver).
    // An observer is never replaced from within its own call.
    using BlockObserver = std::function<void(const RecordedBlock&)>;
    static constexpr int kMeasureObserver = 0;
    static constexpr int kSweepObserver = 1;
    void setBlockObserver(BlockObserver observer, int slot = kMeasureObserver)
    {
        blockObservers_[slot == kSweepObserver ? 1 : 0] = std::move(observer);
    }

    // While a command works on the picture during a WAV recording, the run
    // goes on for the file and only the picture stands still: blocks are
    // still split and lose their DC level (as with Hold), but no display
    // pass runs and no block reaches the observer, so the readouts stay as
    // they are. Calls nest. The first block the observer sees afterwards
    // does not follow the last one it saw.
    void freezePicture() { ++freezeDepth_; }
    void releasePicture() { freezeDepth_ = freezeDepth_ > 0 ? freezeDepth_ - 1 : 0; }
    bool pictureFrozen() const { return freezeDepth_ > 0; }

    // The record of every frame the device delivered, held, frozen or drawn
    // (see SampleRing): sized at each start for the settings' memory seconds
    // at the rate of the run, within half the memory the machine has free,
    // and kept across runs at one rate (a new run's first frame is a break).
    // Null before the first start.
    const SampleRing* record() const { return record_.get(); }

    bool running() const { return phase_ != Phase::Idle; }
    // Passes of this run that began after a timed-out wait.
    int timeoutCount() const { return timeoutCounter_; }
    // Blocks completed since the program started, and those of them drawn
    // (for load measurements: under load every block is still drawn).
    std::uint64_t blocksCompleted() const { return blocksCompleted_; }
    std::uint64_t blocksDrawn() const { return blocksDrawn_; }

private:
    enum class Phase { Idle, PositionWait, BufferWait };

    // Ends the active run and releases the device; StartTimer brings a
    // fresh run 250 ms later.
    void stopRun();
    void advance();
    void step();
    void beginPass();
    bool positionReached() const;
    void processBlock();
    // Sizes the record for the run about to start (see record()).
    void prepareRecord();
    // The loop noticed the stop request: the run is over, the device is
    // released and a fresh run follows through StartTimer.
    void finishRun();
    // A device failure has ended the application: stop driving the device.
    void abandonRun();

    DeviceRecords& device_;
    const InstrumentSettings& settings_;
    PassBuffers& samples_;
    WaveEngine& engine_;
    Host& host_;
    std::function<void()> displayPass_;
    std::array<BlockObserver, 2> blockObservers_;

    Phase phase_ = Phase::Idle;
    int timeoutCounter_ = 0;
    std::uint64_t run_ = 0;  // changes whenever a run starts or ends
    std::uint64_t blocksCompleted_ = 0;
    std::uint64_t blocksDrawn_ = 0;
    bool positionTimerArmed_ = false;
    bool advancing_ = false;
    bool advanceAgain_ = false;
    std::uint32_t completedBytes_ = 0;  // recorded into the buffer just completed
    bool nextFollows_ = false;          // the next buffer continues the last one without a gap
    bool observedLast_ = false;         // the last buffer reached the observers
    std::unique_ptr<SampleRing> record_;
    bool recordShortened_ = false;  // the machine's memory gave fewer seconds: try again at the next start
    // A start sequence is running (its failures show message boxes, inside
    // which the timers tick): a second one must not begin inside it.
    bool starting_ = false;
    // Event-loop depth at which a handler stopped acquisition, -1 when none
    // holds it: until that handler starts acquisition again, StartTimer's
    // ticks in its dialogs and message boxes (deeper loops) start nothing.
    int holdDepth_ = -1;
    int freezeDepth_ = 0;  // see freezePicture
};

}  // namespace varmolen
