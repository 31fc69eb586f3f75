#pragma once

#include "program/SampleChunks.h"
#include "transfer/SysExDecoder.h"

namespace velomire::transfer {

// The loop of a sample taken back from an SDS sampler (its Dump Header's loop points; SDS has no
// root key).
program::SampleChunks SdsReceivedChunks(const DecodedSample& sample);

} // namespace velomire::transfer
