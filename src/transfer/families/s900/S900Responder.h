#pragma once

#include "transfer/SamplerMemory.h"

#include <memory>

namespace velomire::transfer {

// The S900/S950's side of reading back, for the simulated sampler: the catalogue, sample
// parameters and programs from the memory, and the sample dump block by block, each block sent
// after the ACK of the one before (again after a NAK), ended by an abort. Blocks are counted
// from 0 over the responder's life for the faults: one is sent once with a bad checksum, and
// after `stallAfter` of them nothing more is sent.
std::unique_ptr<RequestResponder> MakeS900Responder(const SamplerMemory& memory, SendFaults faults);

} // namespace velomire::transfer
