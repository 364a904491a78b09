#include "acquisition/AcquisitionLoop.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <new>

#include "dsp/SampleDecoder.h"
#include "dsp/VectorState.h"
#include "acquisition/RecordingFormat.h"

namespace varmolen {

void splitStereo(const std::uint8_t* buffer, PassBuffers& samples, SampleFormat format)
{
    decodeChannelCodes(format, buffer, kBlockFrames, 2, 0, samples.chan2Samples.data());
    decodeChannelCodes(format, buffer, kBlockFrames, 2, 1, samples.chan1Samples.data());
}

void splitMono(const std::uint8_t* buffer, PassBuffers& samples, SampleFormat format)
{
    decodeChannelCodes(format, buffer, kBlockFrames, 1, 0, samples.chan1Samples.data());
}

void removeDcLevel(std::array<std::int32_t, kArrayLength>& samples, float& dcLevel)
{
    std::int32_t sum = 0;
    for (int i = 0; i < kBlockFrames; ++i)
        sum += samples[i];
    const float mean = static_cast<float>(sum) * 0.0009765625f;
    dcLevel = (dcLevel * 9.0f + mean) * 0.1f;
    const auto offset = static_cast<std::int32_t>(dcLevel);
    for (int i = 0; i < kBlockFrames; ++i)
        samples[i] -= offset;
}

namespace {

// What the kernel says a new allocation can take without swapping
// (MemAvailable), or no bound where it does not say.
std::uint64_t availableMemoryBytes()
{
    std::FILE* file = std::fopen("/proc/meminfo", "re");
    if (file == nullptr)
        return std::numeric_limits<std::uint64_t>::max();
    unsigned long long kib = 0;
    bool found = false;
    char line[256];
    while (!found && std::fgets(line, sizeof line, file) != nullptr)
        found = std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1;
    std::fclose(file);
    return found ? static_cast<std::uint64_t>(kib) * 1024u : std::numeric_limits<std::uint64_t>::max();
}

}  // namespace

AcquisitionLoop::AcquisitionLoop(DeviceRecords& device, const InstrumentSettings& settings, PassBuffers& samples,
                                 WaveEngine& engine, Host& host, std::function<void()> displayPass)
    : device_(device),
      settings_(settings),
      samples_(samples),
      engine_(engine),
      host_(host),
      displayPass_(std::move(displayPass))
{}

void AcquisitionLoop::StartBtnClick()
{
    holdDepth_ = -1;  // whoever held acquisition stopped starts it again now
    if (device_.stopped == 0 || starting_)
        return;
    // The block is split by the input in force; the device must record the
    // same way, or channel 1 would show both stereo channels interleaved.
    alignRecordingFormat(device_, settings_);
    prepareRecord();
    device_.positionBytes = 1;
    device_.bufferSelect = 0;
    ++run_;
    const std::uint64_t run = run_;
    starting_ = true;
    engine_.FillWaveFormat();
    engine_.OpenWaveInput();
    engine_.PrepareHeaderA();
    engine_.QueueBufferA();
    engine_.StartWaveInput();
    starting_ = false;
    if (run_ != run)
        return;  // a handler run during a message box stopped this run
    device_.stopped = 0;
    timeoutCounter_ = 0;
    nextFollows_ = false;
    positionTimerArmed_ = false;
    phase_ = Phase::PositionWait;
    beginPass();
    advance();
}

void AcquisitionLoop::StopBtnClick()
{
    holdDepth_ = host_.eventLoopDepth();
    stopRun();
}

void AcquisitionLoop::stopRun()
{
    device_.stopped = 1;
    device_.bufferTimedOut = 0;
    const bool wasRunning = running();
    phase_ = Phase::Idle;
    ++run_;
    engine_.ReleaseWaveInput();
    if (wasRunning) {
        // The run is over. Unless the caller starts a new one right away, a
        // fresh run follows 250 ms later, as after any other end of a run.
        host_.enableTimer(TimerId::TimeoutTimer, false);
        host_.enableTimer(TimerId::StartTimer, true);
    }
}

void AcquisitionLoop::StartTimerTimer()
{
    // A handler that stopped acquisition holds it stopped while its dialog or
    // message box serves events; the timer ticks on and starts nothing then.
    if (starting_ || (holdDepth_ >= 0 && host_.eventLoopDepth() > holdDepth_))
        return;
    holdDepth_ = -1;
    host_.enableTimer(TimerId::StartTimer, false);
    // When the run started here ends, finishRun releases the device and
    // enables StartTimer again.
    StartBtnClick();
}

void AcquisitionLoop::TimeoutTimerTimer()
{
    device_.bufferTimedOut = 1;
    host_.enableTimer(TimerId::TimeoutTimer, false);
    if (running())
        advance();
}

void AcquisitionLoop::onDeviceNotification()
{
    if (running())
        advance();
}

void AcquisitionLoop::advance()
{
    // A modal message box may run a nested event loop in which the device's
    // notifications and the timers arrive; they are served when the current
    // step returns instead of re-entering it.
    if (advancing_) {
        advanceAgain_ = true;
        return;
    }
    advancing_ = true;
    do {
        advanceAgain_ = false;
        step();
    } while (advanceAgain_ && running());
    advancing_ = false;
}

void AcquisitionLoop::beginPass()
{
    if (device_.bufferTimedOut == 1)
        ++timeoutCounter_;
}

bool AcquisitionLoop::positionReached() const
{
    const std::uint32_t bytes = device_.bufferBytes;
    if (bytes == 0)
        return true;  // no block to wait for: avoids a division by zero
    const std::uint32_t r = device_.positionBytes % bytes;
    return r == 0 || r >= bytes / 2;
}

void AcquisitionLoop::step()
{
    const std::uint64_t run = run_;
    // True when a handler run inside an engine call (a message box) stopped or
    // replaced this run, or a device failure ended the application.
    const auto interrupted = [&] {
        if (run_ != run)
            return true;
        if (engine_.failureEndedRun()) {
            abandonRun();
            return true;
        }
        return false;
    };

    for (;;) {
        if (phase_ == Phase::PositionWait) {
            if (!positionReached()) {
                if (device_.stopped == 1) {
                    finishRun();
                    return;
                }
                engine_.ReadWavePosition();
                if (interrupted())
                    return;
                if (!positionReached()) {
                    // A device that stops short of the half block would hold
                    // the run here for good; the timeout timer guards this
                    // wait as it guards the block wait.
                    if (!positionTimerArmed_) {
                        positionTimerArmed_ = true;
                        device_.bufferTimedOut = 0;
                        host_.enableTimer(TimerId::TimeoutTimer, true);
                        return;
                    }
                    if (device_.bufferTimedOut == 0)
                        return;
                }
            }
            positionTimerArmed_ = false;
            if (device_.bufferSelect == 0) {
                engine_.RearmHeaderB();
                engine_.PrepareHeaderB();
                engine_.QueueBufferB();
            } else {
                engine_.RearmHeaderA();
                engine_.PrepareHeaderA();
                engine_.QueueBufferA();
            }
            if (interrupted())
                return;
            device_.bufferTimedOut = 0;
            host_.enableTimer(TimerId::TimeoutTimer, true);
            phase_ = Phase::BufferWait;
        }

        if (phase_ != Phase::BufferWait)
            return;
        const std::optional<std::uint32_t> bytes =
            device_.bufferSelect == 0 ? engine_.WaitBufferA() : engine_.WaitBufferB();
        if (interrupted())
            return;
        if (!bytes)
            return;  // not yet: the next notification or tick comes back here
        completedBytes_ = *bytes;
        if (device_.bufferTimedOut == 1 && timeoutCounter_ > 3)
            device_.stopped = 1;
        host_.enableTimer(TimerId::TimeoutTimer, false);
        if (device_.bufferSelect == 0) {
            engine_.UnprepareHeaderA();
            device_.bufferSelect = 1;
        } else {
            engine_.UnprepareHeaderB();
            device_.bufferSelect = 0;
        }
        if (interrupted())
            return;
        if (device_.stopped == 1) {
            finishRun();
            return;
        }
        processBlock();
        if (run_ != run || !running())
            return;
        phase_ = Phase::PositionWait;
        beginPass();
    }
}

void AcquisitionLoop::processBlock()
{
    // The measurements and the display pass are floating-point work.
    clearUpperVectorState();
    ++blocksCompleted_;
    const std::uint8_t* block = device_.bufferSelect == 1 ? device_.bufferA.get() : device_.bufferB.get();
    const bool frozen = pictureFrozen();
    const SampleFormat format = sampleFormatOf(device_.waveFormat).value_or(SampleFormat::S16LE);
    if (block != nullptr) {
        // A wait that timed out reset the device: the stream starts again,
        // and so does it after a buffer the device returned short.
        const WAVEHDR& header = device_.bufferSelect == 1 ? device_.headerA : device_.headerB;
        const std::uint32_t length = header.dwBufferLength;
        const bool reset = device_.bufferTimedOut == 1;
        // The device lost sound before or within this block (an overrun, a suspend).
        const bool broken = (header.dwFlags.load(std::memory_order_acquire) & WHDR_AFTERBREAK) != 0;
        RecordedBlock recorded{block,
                               std::min(completedBytes_, length),
                               settings_.inputSelect == kLineInput ? 2 : 1,
                               settings_.sampleRate,
                               nextFollows_ && !reset && !broken,
                               format};
        nextFollows_ = !reset && completedBytes_ >= length;
        if (record_ != nullptr)
            record_->append(recorded);
        // The observers see a block follow only the one they saw before it.
        const bool observed = !frozen && (blockObservers_[0] || blockObservers_[1]);
        recorded.followsPrevious = recorded.followsPrevious && observedLast_;
        observedLast_ = observed;
        for (const BlockObserver& observer : blockObservers_) {
            if (observed && observer)
                observer(recorded);
        }
    }
    if (block != nullptr) {
        if (settings_.inputSelect == kLineInput)
            splitStereo(block, samples_, format);
        else
            splitMono(block, samples_, format);
    }
    removeDcLevel(samples_.chan1Samples, samples_.chan1DcLevel);
    removeDcLevel(samples_.chan2Samples, samples_.chan2DcLevel);
    if (settings_.displayHold == 1 || frozen)
        return;
    ++blocksDrawn_;
    if (displayPass_)
        displayPass_();
}

void AcquisitionLoop::prepareRecord()
{
    const std::uint32_t rate = settings_.sampleRate;
    const double seconds = std::clamp(settings_.features.memorySeconds, kMemorySecondsMin, kMemorySecondsMax);
    const std::size_t wanted = SampleRing::framesFor(seconds, rate, std::numeric_limits<std::uint64_t>::max());
    if (record_ == nullptr || record_->capacity() != wanted || recordShortened_) {
        // The old record goes first, so that its memory counts as free.
        record_.reset();
        std::uint64_t budget = availableMemoryBytes() / 2;
        while (record_ == nullptr) {
            const std::size_t frames = SampleRing::framesFor(seconds, rate, budget);
            try {
                record_ = std::make_unique<SampleRing>(frames);
            } catch (const std::bad_alloc&) {
                if (frames <= static_cast<std::size_t>(SampleRing::kRunFrames))
                    throw;
                budget = static_cast<std::uint64_t>(static_cast<double>(frames) * SampleRing::kBytesPerFrame / 2);
            }
        }
        recordShortened_ = record_->capacity() < wanted;
        record_->restart(rate);
    } else if (record_->rate() != rate) {
        record_->restart(rate);
    }
}

void AcquisitionLoop::finishRun()
{
    phase_ = Phase::Idle;
    ++run_;
    host_.enableTimer(TimerId::TimeoutTimer, false);
    stopRun();
    host_.enableTimer(TimerId::StartTimer, true);
}

void AcquisitionLoop::abandonRun()
{
    phase_ = Phase::Idle;
    ++run_;
    device_.stopped = 1;
    host_.enableTimer(TimerId::TimeoutTimer, false);
}

}  // namespace varmolen
