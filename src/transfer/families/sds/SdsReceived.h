#pragma once

#include "program/SampleChunks.h"
#include "transfer/SysExDecoder.h"

#include <string>

namespace velomire::transfer {

// The loop of a sample taken back from an SDS sampler (its Dump Header's loop points), and root
// key 60: an SDS dump carries none.
program::SampleChunks SdsReceivedChunks(const DecodedSample& sample);

// That the root key is the 60 put in its place, and which half of a stereo pair the sample is
// when its name says so ("PAD-L").
std::string SdsReceivedNote(const DecodedSample& sample);

} // namespace velomire::transfer
