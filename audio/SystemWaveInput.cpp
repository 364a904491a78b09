#include "audio/SystemWaveInput.h"

#include "audio/AlsaWaveInput.h"
#include "audio/GeneratorWaveInput.h"

namespace varmolen {

std::unique_ptr<WaveInput> createSystemWaveInput()
{
    std::vector<StreamDevice> devices = alsaStreamDevices(listAlsaCaptureDevices());
    devices.push_back(generatorDevice());
    return std::make_unique<StreamWaveInput>(std::move(devices));
}

}  // namespace varmolen
