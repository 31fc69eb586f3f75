#pragma once

#include "program/Program.h"
#include "transfer/Librarian.h"
#include "transfer/SamplerModel.h"

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace velomire::transfer {

class Family;

// The names the open program and its sample parts carry in a sampler of `family`, as a send
// writes them (cut to the family's field, "-L"/"-R" for the halves of a stereo entry, in the
// Akai character set), to mark what the sampler holds of them.
class ProgramNamesInSampler {
public:
    ProgramNamesInSampler(const program::Program& program, SamplerFamily family);

    bool Matches(const SamplerEntry& entry) const;

private:
    std::string Normalised(std::string_view name) const;
    std::string WireName(std::string_view name, int part) const;

    const Family* family; // null when no model is chosen
    std::string programName;
    std::set<std::string> sampleNames;
};

// The numbers of the listed samples a program taken back plays: those its keygroups name, in
// the order first named, each once.
std::vector<int> SamplesOfProgram(const DecodedProgram& program,
                                  const std::vector<SamplerEntry>& entries);

} // namespace velomire::transfer
