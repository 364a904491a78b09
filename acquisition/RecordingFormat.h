// The recording format that acquisition opens: frames of the input kind in
// force and the length of each recording buffer at a sample rate.
#pragma once

#include <cstdint>

#include "audio/SampleRates.h"
#include "state/DeviceRecords.h"
#include "state/InstrumentSettings.h"

namespace varmolen {

// Length of each recording buffer for one block of blockSamples frames of
// bytesPerSample × channelCount bytes; doubled at 44100 Hz (and from 32000 Hz
// on), four times from 88200 Hz on: a buffer lasts 21 to 128 ms at every
// rate, so the run loop does not wake for every few milliseconds of sound,
// and holds more than two reads of the capture thread. Never more than a
// recording buffer holds.
std::uint16_t blockBufferBytes(const DeviceRecords& device, std::uint32_t rate);

// The recording format of an input kind: mono frames for the microphone,
// stereo for the line, of 16-bit values, or at a finer precision 32-bit
// integers or floats; and the buffer length at the sample rate.
void setRecordingFormat(DeviceRecords& device, std::uint32_t rate, bool line, std::int32_t precision = kPrecision16);

// Whether a device that answered `rates` records at `precision`: 16 bits
// always, the finer ones where it says so, and no other number.
bool recordsPrecision(const DeviceRates& rates, std::int32_t precision);

// Makes the format that acquisition opens agree with the input and the
// precision in force, as their menus set them; returns whether it had to change (the start-up
// values name the microphone but a stereo format).
bool alignRecordingFormat(DeviceRecords& device, const InstrumentSettings& s);

}  // namespace varmolen
