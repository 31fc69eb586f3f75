#pragma once

#include "editing/AudioOutput.h"

#include <memory>

namespace velomire::editing {

// The audio preview's output on this system: the wave output (waveOut) on Windows, RtAudio
// elsewhere.
std::unique_ptr<AudioOutput> MakeSystemAudioOutput();

} // namespace velomire::editing
