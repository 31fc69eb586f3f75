#pragma once

#include "program/Program.h"
#include "program/SampleChunks.h"
#include "transfer/SysExDecoder.h"

#include <string>
#include <vector>

namespace velomire::transfer {

struct ReceivedZone;

// The root key and loop of a sample taken back from an S900/S950 (its sample header).
program::SampleChunks S900ReceivedChunks(const DecodedSample& sample);

// The keygroups of an S900/S950 program as rows, each starting from `defaults`: key range,
// output and the keygroup words the send takes from a row; and the program words its header and
// keygroups carry.
void S900ReceivedZones(const DecodedProgram& received, const program::KeygroupBlock& defaults,
                       program::ProgramHeader& header, std::vector<ReceivedZone>& zones);

} // namespace velomire::transfer
