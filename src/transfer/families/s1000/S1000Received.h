#pragma once

#include "program/Program.h"
#include "program/SampleChunks.h"
#include "transfer/SysExDecoder.h"

#include <vector>

namespace velomire::transfer {

struct ReceivedZone;

// The root key and loops of a sample taken back from an S1000-family sampler (its sample header).
program::SampleChunks S1000ReceivedChunks(const DecodedSample& sample);

// The velocity zones of an S1000-family program's keygroups as rows, each starting from
// `defaults`: key range, tune, keygroup and velocity words, output; and the program header's
// words.
void S1000ReceivedZones(const DecodedProgram& received, const program::KeygroupBlock& defaults,
                        program::ProgramHeader& header, std::vector<ReceivedZone>& zones);

} // namespace velomire::transfer
