// The wave-input service the instrument records from: ALSA's default input
// first when present, then each card's capture devices through the plug
// layer, and last the built-in signal generator (device 0 on a machine with
// no sound input, so the instrument shows a signal out of the box).
#pragma once

#include <memory>

#include "audio/WaveInput.h"

namespace varmolen {

std::unique_ptr<WaveInput> createSystemWaveInput();

}  // namespace varmolen
