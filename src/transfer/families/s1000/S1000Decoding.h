#pragma once

#include "transfer/SysExDecoder.h"
#include "transfer/families/WireBlock.h"

#include <cstddef>

// Reading the S1000/S3000 family messages back: what one whole message says. Blocks of either
// size are read; the fields of the later models' longer blocks only when they are there.
namespace velomire::transfer::s1000 {

// A sample header: the sample without frames; its data follow as SDS Data Packets.
wire::Parsed<DecodedSample> ParseSampleHeader(wire::Bytes m, std::size_t offset);
wire::Parsed<decoded::ProgramHeader> ParseProgramHeader(wire::Bytes m, std::size_t offset);
wire::Parsed<decoded::Keygroup> ParseKeygroup(wire::Bytes m);

} // namespace velomire::transfer::s1000
