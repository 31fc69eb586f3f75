#include "editing/devices/SystemAudioOutput.h"

#ifdef _WIN32
#include "editing/devices/WaveOutAudioOutput.h"
#else
#include "editing/devices/RtAudioOutput.h"
#endif

namespace velomire::editing {

std::unique_ptr<AudioOutput> MakeSystemAudioOutput() {
#ifdef _WIN32
    return std::make_unique<WaveOutAudioOutput>(MakeSystemWaveOutCalls(),
                                                std::make_unique<transfer::SteadyWaitClock>());
#else
    return std::make_unique<RtAudioOutput>();
#endif
}

} // namespace velomire::editing
