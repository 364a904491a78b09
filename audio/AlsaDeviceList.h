// Which of ALSA's device-name hints the instrument offers as inputs. The hints
// also list converter and output plugins; "null" in particular "captures"
// uninitialised memory at unbounded speed, so only the default device and
// the cards' own capture devices through the plug layer are kept.
#pragma once

#include <string>
#include <vector>

namespace varmolen {

struct AlsaHint {
    std::string name;         // e.g. "default", "hw:CARD=PCH,DEV=0"
    std::string description;  // the hint's description, all its lines
    std::string ioid;         // "Input", "Output" or empty (both)
};

struct AlsaCaptureDevice {
    std::string pcmName;      // what snd_pcm_open is given
    std::string productName;  // the whole description, its lines joined
};

// The useful capture devices, in order: "default" first when present, then
// each card's capture device through the plug layer ("plughw:CARD=...,DEV=...").
std::vector<AlsaCaptureDevice> selectCaptureDevices(const std::vector<AlsaHint>& hints);
// The same for the signal generator's output: "default" first, then each
// card's playback devices through the plug layer.
std::vector<AlsaCaptureDevice> selectPlaybackDevices(const std::vector<AlsaHint>& hints);

}  // namespace varmolen
