#pragma once

#include "transfer/SysExDecoder.h"
#include "transfer/families/WireBlock.h"
#include "transfer/families/s900/S900Wire.h"

// Reading the S900/S950 messages back: what one whole message says.
namespace velomire::transfer::s900 {

// The sample data message (checked to begin as one): every piece's number and checksum.
wire::Parsed<DecodedSample> ParseSampleData(wire::Bytes m, std::size_t offset);
// A sample header, as the sample it makes without its data.
wire::Parsed<DecodedSample> ParseSampleHeader(wire::Bytes m, std::size_t offset);
wire::Parsed<DecodedProgram> ParseProgram(wire::Bytes m, std::size_t offset);

// The points of a decoded sample header (its fields endPoint, firstReplayPoint and loopLength),
// for a sample of `lengthWords` words: a missing end point is the last word, a missing replay
// point 0, a missing loop length 0, and a value outside 0 to 2^32 - 1 is taken as 0.
SamplePoints PointsOf(const DecodedFields& fields, std::uint32_t lengthWords);

} // namespace velomire::transfer::s900
