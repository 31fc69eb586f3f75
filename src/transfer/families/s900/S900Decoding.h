#pragma once

#include "transfer/SysExDecoder.h"
#include "transfer/families/WireBlock.h"

// Reading the S900/S950 messages back: what one whole message says.
namespace velomire::transfer::s900 {

// The fields of a sample header; the data of its number came before it.
struct SampleHeader {
    int number = 0;
    int channel = 0;
    std::uint32_t rate = 0;
    DecodedFields fields;
};

// The sample data message (checked to begin as one): every piece's number and checksum.
wire::Parsed<DecodedSample> ParseSampleData(wire::Bytes m, std::size_t offset);
wire::Parsed<SampleHeader> ParseSampleHeader(wire::Bytes m);
wire::Parsed<DecodedProgram> ParseProgram(wire::Bytes m, std::size_t offset);

} // namespace velomire::transfer::s900
