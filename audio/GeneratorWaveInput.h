// The built-in calibrator: a recording source that needs no sound card and is
// paced by the steady clock like a real device. In stereo the frame's first
// value (channel 2 after the split) is a 250 Hz square wave at a quarter of full
// scale and its second value (channel 1) a 1 kHz sine at half scale; in mono
// every value is the sine.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/CaptureSource.h"
#include "audio/StreamWaveInput.h"

namespace varmolen {

constexpr const char* kGeneratorProductName = "Signal generator";
constexpr int kGeneratorSineHz = 1000;
constexpr int kGeneratorSineAmplitude = 16384;  // half scale
constexpr int kGeneratorSquareHz = 250;
constexpr int kGeneratorSquareAmplitude = 8192;  // quarter scale

// The calibrator's values at frame k of a recording at the given rate.
std::int16_t generatorSine(std::uint64_t frame, std::uint32_t rate);
std::int16_t generatorSquare(std::uint64_t frame, std::uint32_t rate);

class GeneratorSource : public CaptureSource {
public:
    MMRESULT query(const WAVEFORMATEX& format) override;
    MMRESULT open(const WAVEFORMATEX& format) override;
    bool start() override;
    long read(void* dst, std::size_t maxFrames, int wakeFd) override;
    void stop() override {}
    void close() override {}

private:
    std::uint32_t rate_ = 11025;
    std::uint16_t channels_ = 2;
    SampleFormat format_ = SampleFormat::S16LE;
    std::uint64_t frame_ = 0;  // frames generated since open: keeps the phase
    std::uint64_t framesSinceStart_ = 0;
    std::vector<std::int16_t> sineTable_;  // one second of the sine, filled at open
    std::chrono::steady_clock::time_point startTime_{};
};

StreamDevice generatorDevice();

// The calibrator on its own, as a one-device service.
class GeneratorWaveInput : public StreamWaveInput {
public:
    GeneratorWaveInput();
};

}  // namespace varmolen
