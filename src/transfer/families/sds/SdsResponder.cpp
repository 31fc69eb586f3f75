#include "transfer/families/sds/SdsResponder.h"

#include "transfer/families/SdsWire.h"

namespace velomire::transfer::families::sds {

std::optional<std::vector<TimedReply>> SdsResponder::Answer(std::span<const std::uint8_t> message) {
    const auto request = ParseRequest(message);
    if (!request) {
        return sender.Answer(message);
    }
    const auto found = memory.samples.find(request->number);
    if (found == memory.samples.end()) {
        return std::vector<TimedReply>{};
    }
    const DecodedSample& sample = found->second;
    switch (request->kind) {
    case Request::Kind::dump: {
        DecodedSample copy = sample;
        copy.number = request->number;
        return sender.Start(request->channel, std::move(copy));
    }
    case Request::Kind::name:
        return std::vector<TimedReply>{
            {NameTransmission(request->channel, request->number,
                              FieldString(sample.fields, "sampleName").value_or(""))}};
    case Request::Kind::loops:
    default: {
        const auto field = [&](std::string_view name, std::int64_t fallback) {
            const auto value = FieldNumber(sample.fields, name);
            return static_cast<std::uint32_t>(value && *value >= 0 ? *value : fallback);
        };
        return std::vector<TimedReply>{{LoopPointTransmission(
            request->channel, request->number, 0, static_cast<int>(field("loopType", loopOff)),
            field("loopStart", 0), field("loopEnd", 0))}};
    }
    }
}

std::unique_ptr<RequestResponder> MakeSdsResponder(SamplerMemory& memory,
                                                   const SendFaults& faults) {
    return std::make_unique<SdsResponder>(memory, faults);
}

} // namespace velomire::transfer::families::sds
