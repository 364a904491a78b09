#include "audio/AlsaDeviceList.h"

#include <algorithm>

#include "audio/DeviceNames.h"

namespace varmolen {

namespace {

// The devices of one direction (`ioid` "Input" or "Output"): "default", then
// each card's devices through the plug layer.
std::vector<AlsaCaptureDevice> selectDevices(const std::vector<AlsaHint>& hints, const std::string& ioid,
                                             const char* defaultName)
{
    std::vector<AlsaCaptureDevice> out;
    const auto capturable = [&ioid](const AlsaHint& h) { return h.ioid.empty() || h.ioid == ioid; };

    for (const AlsaHint& h : hints) {
        if (h.name == "default" && capturable(h)) {
            out.push_back({h.name, joinDescriptionLines(h.description.empty() ? defaultName : h.description)});
            break;
        }
    }
    for (const AlsaHint& h : hints) {
        // Only the cards' raw devices, reopened through the plug layer so every
        // rate and channel count works on any card.
        if (h.name.rfind("hw:", 0) != 0 || !capturable(h))
            continue;
        const std::string plug = "plug" + h.name;
        const bool seen =
            std::any_of(out.begin(), out.end(), [&](const AlsaCaptureDevice& d) { return d.pcmName == plug; });
        if (!seen)
            out.push_back({plug, joinDescriptionLines(h.description.empty() ? plug : h.description)});
    }
    return out;
}

}  // namespace

std::vector<AlsaCaptureDevice> selectCaptureDevices(const std::vector<AlsaHint>& hints)
{
    return selectDevices(hints, "Input", "Default input");
}

std::vector<AlsaCaptureDevice> selectPlaybackDevices(const std::vector<AlsaHint>& hints)
{
    return selectDevices(hints, "Output", "Default output");
}

}  // namespace varmolen
