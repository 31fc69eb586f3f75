#pragma once

#include "program/UserMessages.h"
#include "transfer/SimulatedSampler.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velomire::transfer {

// What the sampler holds after the load: the program files it took whole and the samples it
// keeps; each file it does not hold (or holds in part) named once, with the reason.
struct SamplerLoadResult {
    int programs = 0;
    int samples = 0;
    std::vector<std::string> refused;
};

// Fills the simulated sampler with what a directory holds, as sending it would have left it: each
// program (`.vmp`) with its samples, then the WAV files no program plays, as samples alone. Each
// is rendered by the Send command as the model's one-way bytes and fed to the sampler, numbered
// after what it already holds. An SDS sampler keeps each sample's name for the Sample Name
// Request. A file whose samples do not fit in the memory still free is refused before it is
// rendered. The working directory is left where it was.
SamplerLoadResult LoadSampler(SimulatedSampler& sampler, std::int32_t model,
                              const std::filesystem::path& directory,
                              program::UserMessages& messages);

} // namespace velomire::transfer
