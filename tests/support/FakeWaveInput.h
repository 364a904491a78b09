// A wave-input service that only lists devices: enough for the window's
// start-up, which counts them. Every recording call fails.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "audio/WaveInput.h"

namespace varmolen::test {

class ListingWaveInput : public WaveInput {
public:
    explicit ListingWaveInput(std::vector<std::string> names = {}) : names_(std::move(names)) {}

    UINT waveInGetNumDevs() override { return static_cast<UINT>(names_.size()); }
    MMRESULT waveInGetDevCapsA(UINT id, WAVEINCAPSA* caps, UINT) override
    {
        if (id >= names_.size())
            return MMSYSERR_BADDEVICEID;
        std::strncpy(caps->szPname, names_[id].c_str(), sizeof caps->szPname - 1);
        return MMSYSERR_NOERROR;
    }
    MMRESULT waveInOpen(HWAVEIN*, UINT, const WAVEFORMATEX*, std::uintptr_t, std::uintptr_t, std::uint32_t) override
    {
        return MMSYSERR_BADDEVICEID;
    }
    MMRESULT waveInPrepareHeader(HWAVEIN, WAVEHDR*, UINT) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT waveInUnprepareHeader(HWAVEIN, WAVEHDR*, UINT) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT waveInAddBuffer(HWAVEIN, WAVEHDR*, UINT) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT waveInStart(HWAVEIN) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT waveInGetPosition(HWAVEIN, MMTIME*, UINT) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT waveInReset(HWAVEIN) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT waveInClose(HWAVEIN) override { return MMSYSERR_INVALHANDLE; }

private:
    std::vector<std::string> names_;
};

}  // namespace varmolen::test
