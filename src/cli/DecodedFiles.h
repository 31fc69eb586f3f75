#pragma once

#include "transfer/SysExDecoder.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>

namespace velomire::cli {

nlohmann::ordered_json DecodedSampleToJson(const transfer::DecodedSample& sample);
nlohmann::ordered_json DecodedProgramToJson(const transfer::DecodedProgram& program);

// Writes "sample-NNN.wav" (16-bit, mono) and "sample-NNN.json" for a sample, "program-NNN.json"
// for a program, NNN being its number on the sampler; a later one of the same number replaces
// the earlier. An empty text when written, else why not.
std::string WriteSample(const std::filesystem::path& directory,
                        const transfer::DecodedSample& sample);
std::string WriteProgram(const std::filesystem::path& directory,
                         const transfer::DecodedProgram& program);

} // namespace velomire::cli
