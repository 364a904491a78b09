// The recording rates the instrument offers, in one table, and what one
// device answers about them: which it takes and which it records without
// the conversion of a plug layer or a sound server in between.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace varmolen {

inline constexpr std::array<std::uint32_t, 11> kSampleRates{8000,  11025, 16000, 22050,  32000, 44100,
                                                            48000, 88200, 96000, 176400, 192000};

// Whether the instrument records at this rate (one of kSampleRates).
bool isSampleRate(std::uint32_t rate);
// The rate's place in kSampleRates, or nothing.
std::optional<std::size_t> sampleRateIndex(std::uint32_t rate);

// The capture formats finer than 16 bits a device may record in.
constexpr std::uint8_t kFineInteger = 1;  // 32-bit integers: S32, S24 or packed S24
constexpr std::uint8_t kFineFloat = 2;    // 32-bit floats

// A device's answer, one bit a rate of kSampleRates (bit i for kSampleRates[i]),
// and the finer formats it records (every one, unless it was asked).
struct DeviceRates {
    std::uint32_t taken = 0;   // the device opens for capture at the rate
    std::uint32_t native = 0;  // ... and records it as it is, unconverted
    std::uint8_t fine = kFineInteger | kFineFloat;

    bool takes(std::uint32_t rate) const;
    bool isNative(std::uint32_t rate) const;
    // Every rate taken, none known to be native: what a device that cannot
    // be asked (it is busy, or the service has no way to ask) is offered.
    static DeviceRates unknown();
    friend bool operator==(const DeviceRates&, const DeviceRates&) = default;
};

// The bits of the table's rates that `accepts` says yes to.
template <typename Accepts>
std::uint32_t rateBits(Accepts accepts)
{
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < kSampleRates.size(); ++i)
        if (accepts(kSampleRates[i]))
            bits |= 1u << i;
    return bits;
}

}  // namespace varmolen
