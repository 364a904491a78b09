#include "audio/GeneratorWaveInput.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace varmolen {

std::int16_t generatorSine(std::uint64_t frame, std::uint32_t rate)
{
    // A whole number of cycles fits in one second, so the phase can restart
    // every second and the argument of sin stays small however long it runs.
    const double t = static_cast<double>(frame % rate) / rate;
    const double v = kGeneratorSineAmplitude * std::sin(2.0 * std::numbers::pi * kGeneratorSineHz * t);
    return static_cast<std::int16_t>(std::lround(v));
}

std::int16_t generatorSquare(std::uint64_t frame, std::uint32_t rate)
{
    const std::uint64_t halfPeriods = (frame % rate) * (2 * kGeneratorSquareHz) / rate;
    return static_cast<std::int16_t>(halfPeriods % 2 == 0 ? kGeneratorSquareAmplitude : -kGeneratorSquareAmplitude);
}

MMRESULT GeneratorSource::query(const WAVEFORMATEX& format)
{
    return isSupportedFormat(format) ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
}

MMRESULT GeneratorSource::open(const WAVEFORMATEX& format)
{
    if (!isSupportedFormat(format))
        return WAVERR_BADFORMAT;
    rate_ = format.nSamplesPerSec;
    channels_ = format.nChannels;
    format_ = *sampleFormatOf(format);
    frame_ = 0;
    sineTable_.resize(rate_);
    for (std::uint32_t k = 0; k < rate_; ++k)
        sineTable_[k] = generatorSine(k, rate_);
    return MMSYSERR_NOERROR;
}

bool GeneratorSource::start()
{
    startTime_ = std::chrono::steady_clock::now();
    framesSinceStart_ = 0;
    return true;
}

long GeneratorSource::read(void* out, std::size_t maxFrames, int wakeFd)
{
    // Deliver the chunk when a real card would have recorded its last frame:
    // one wait on the steady clock, up to that moment, so the chunks come
    // at the card's pace (one read a chunk) and at its true rate. A wake-up
    // from the service ends the wait early with nothing.
    const auto due =
        startTime_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                         std::chrono::duration<double>(static_cast<double>(framesSinceStart_ + maxFrames) / rate_));
    const auto now = std::chrono::steady_clock::now();
    if (due > now && waitReadableUntil(wakeFd, std::min(due, now + std::chrono::milliseconds(kReadWaitMs))))
        return 0;
    if (std::chrono::steady_clock::now() < due)
        return 0;  // not due within one read's wait (a chunk longer than that)
    // Opened finer than 16 bits, the calibrator's codes are widened exactly.
    auto* dst = static_cast<std::uint8_t*>(out);
    const auto write = [&dst](auto value) {
        std::memcpy(dst, &value, sizeof value);
        dst += sizeof value;
    };
    const auto put = [&](std::int16_t code) {
        if (format_ == SampleFormat::S16LE)
            write(code);
        else if (format_ == SampleFormat::S32LE)
            write(static_cast<std::int32_t>(code) * 65536);
        else
            write(static_cast<float>(code) / 32768.0f);
    };
    for (std::size_t i = 0; i < maxFrames; ++i, ++frame_) {
        const std::int16_t sine = sineTable_[frame_ % rate_];
        if (channels_ == 2)
            put(generatorSquare(frame_, rate_));
        put(sine);
    }
    framesSinceStart_ += maxFrames;
    return static_cast<long>(maxFrames);
}

StreamDevice generatorDevice()
{
    // The calibrator computes its signal at whatever rate it is opened with.
    const std::uint32_t all = rateBits([](std::uint32_t) { return true; });
    return StreamDevice{kGeneratorProductName, [] { return std::make_unique<GeneratorSource>(); },
                        [all] {
                            return std::optional<DeviceRates>(DeviceRates{all, all});
                        }};
}

GeneratorWaveInput::GeneratorWaveInput() : StreamWaveInput({generatorDevice()}) {}

}  // namespace varmolen
