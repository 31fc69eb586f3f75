#pragma once

#include "transfer/SamplerMemory.h"
#include "transfer/families/SdsDumpSender.h"

#include <memory>

namespace velomire::transfer::families::sds {

// A Sample Dump Standard sampler's answers to requests, drawn from its memory: a Dump Request
// starts the sample's dump, the Sample Name Request and the Loop Point Request are answered as
// the extensions have them. A number the memory does not hold gets no answer at all. Requests
// on any channel are answered on that channel.
class SdsResponder final : public RequestResponder {
public:
    SdsResponder(SamplerMemory& memory, const SendFaults& faults)
        : memory(memory), sender(faults) {}

    std::optional<std::vector<TimedReply>> Answer(std::span<const std::uint8_t> message) override;
    std::vector<TimedReply> Silence(std::chrono::milliseconds quiet) override {
        return sender.Silence(quiet);
    }

private:
    SamplerMemory& memory;
    SdsDumpSender sender;
};

std::unique_ptr<RequestResponder> MakeSdsResponder(SamplerMemory& memory, const SendFaults& faults);

} // namespace velomire::transfer::families::sds
