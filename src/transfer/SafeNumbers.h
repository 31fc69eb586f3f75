#pragma once

#include "transfer/Librarian.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velomire::transfer {

// The program and sample numbers a sampler holds, with their names, as a List read them just
// before a send.
struct NumbersInUse {
    std::map<std::int32_t, std::string> programs;
    std::map<std::int32_t, std::string> samples;

    static NumbersInUse From(const std::vector<SamplerEntry>& entries);
};

// What a send puts into the sampler: `sampleParts` samples numbered on from the first, and the
// program when `withProgram` (the Akai families).
struct SendShape {
    std::int32_t sampleParts = 0;
    bool withProgram = false;
};

struct FreeNumbers {
    std::int32_t programs = 0;
    std::int32_t samples = 0;
};

// The lowest program number not in use and the lowest sample number from which the send's
// parts all land on free numbers, each below its limit (the dialog's spins stop at limit - 1);
// nothing when the sampler has no such room.
std::optional<FreeNumbers> FirstFreeNumbers(const NumbersInUse& inUse, const SendShape& shape,
                                            std::int32_t programLimit, std::int32_t sampleLimit);

// What a send from these numbers would overwrite, named ("This send overwrites program 1 PIANO
// and samples 4 PIANO C3, 5 PIANO C4 in the sampler."); empty when nothing.
std::string OverwriteWarning(const NumbersInUse& inUse, const SendShape& shape,
                             std::int32_t programNumber, std::int32_t sampleNumber);

} // namespace velomire::transfer
