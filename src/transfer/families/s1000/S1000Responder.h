#pragma once

#include "transfer/SamplerMemory.h"

#include <cstdint>
#include <memory>

namespace velomire::transfer {

// The sampler's side of the S1000/S3000 family's read-back, answering from `memory`: the status
// (RSTAT), the program and sample lists (RPLIST, RSLIST), the headers (RPDATA, RKDATA, RSDATA),
// the sample data by the Sample Dump Standard Dump Request or by RSPACK, and the deletes (DELP,
// DELS, answered by REPLY). As on the sampler, a program's or sample's number is its position in
// the list, counted from 0, and the positions close up after a delete; the SDS number of a
// sample is the same position. The memory is numbered so from the responder's making on
// (SamplerMemory::NumberByPosition). Requests are answered on the channel they came on; a number
// with nothing there is refused by REPLY (a Dump Request for one gets no answer at all).
//
// Data Packets go one at a time: each after the receiver's ACK of the one before (the first
// after the ACK of the Dump Header; after RSPACK there is no header), again after a NAK, not at
// all after CANCEL; WAIT holds until the next handshake, and a wait for an answer that runs out
// goes on as the SDS family's sender does. `faults` plays a packet damaged once and
// a sampler that stops answering, counting packets from 0 over the responder's life.
std::unique_ptr<RequestResponder> MakeS1000Responder(SamplerMemory& memory,
                                                     const SendFaults& faults, std::int32_t model);

} // namespace velomire::transfer
