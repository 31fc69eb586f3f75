#pragma once

#include "program/UserMessages.h"
#include "transfer/SimulatedSampler.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velomire::transfer {

struct SamplerLoadResult {
    int programs = 0;
    int samples = 0;
    // One line for each file that was not taken.
    std::vector<std::string> refused;
};

// Fills the simulated sampler with what a directory holds, as sending it would have left it: each
// program (`.vmp`) with its samples, then the WAV files no program plays, as samples alone. Each
// is rendered by the Send command as the model's one-way bytes and fed to the sampler, numbered
// after what it already holds. An SDS sampler keeps each sample's name for the Sample Name
// Request. The working directory is left where it was.
SamplerLoadResult LoadSampler(SimulatedSampler& sampler, std::int32_t model,
                              const std::filesystem::path& directory,
                              program::UserMessages& messages);

} // namespace velomire::transfer
