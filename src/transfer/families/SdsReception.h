#pragma once

#include "transfer/SysExDecoder.h"

#include <cstdint>
#include <vector>

namespace velomire::transfer {
class ReceivingSampler;
}

// How the simulated sampler answers a send whose sample data come as Data Packets (the SDS
// samplers, and the S1000 family after its sample header). Answers go on the message's channel
// (0 for a message refused before its channel was read).
namespace velomire::transfer::families::sds {

int AnswerChannel(const SysExDecoder::Result& result);

// A header that opens a sample whose data follow as Data Packets: ACK, CANCEL (and the sample
// dropped) when it does not fit beside the samples held, `refusal` when the header was refused.
void AnswerSampleHeader(const SysExDecoder::Result& result, ReceivingSampler& sampler,
                        std::vector<std::uint8_t> refusal);

// A Data Packet: NAK when it was refused, otherwise what the script says of its number in the
// run; a resend keeps the number of the packet it repeats. A NAK names the packet that came, or
// the one expected next where the script says so.
void AnswerDataPacket(const SysExDecoder::Result& result, ReceivingSampler& sampler);

} // namespace velomire::transfer::families::sds
