#include "transfer/families/SdsReception.h"

#include "transfer/SimulatedSampler.h"
#include "transfer/families/SdsWire.h"

#include <utility>

namespace velomire::transfer::families::sds {

int AnswerChannel(const SysExDecoder::Result& result) {
    return result.channel < 0 ? 0 : result.channel;
}

void AnswerSampleHeader(const SysExDecoder::Result& result, ReceivingSampler& sampler,
                        std::vector<std::uint8_t> refusal) {
    if (!result.Ok()) {
        sampler.Reply(std::move(refusal), {});
        return;
    }
    const auto kind = sampler.KeepOpenSample(*result.sample) ? SamplerReply::Kind::ack
                                                             : SamplerReply::Kind::cancel;
    sampler.Reply(SdsHandshake(kind, AnswerChannel(result), 0), {});
}

void AnswerDataPacket(const SysExDecoder::Result& result, ReceivingSampler& sampler) {
    const int index = sampler.NumberedPacket(result.packet, result.Ok());
    const int named = !result.Ok() && sampler.Script().nakExpected
                          ? (sampler.LastPacketNumber() + 1) & 0x7F
                          : result.packet;
    for (const ScriptedAnswer& answer : sampler.PacketAnswers(index, result.Ok(), true)) {
        sampler.Reply(SdsHandshake(answer.kind, AnswerChannel(result), named), answer.extra);
    }
}

} // namespace velomire::transfer::families::sds
