#include "transfer/HandshakeSend.h"

#include <cstdint>
#include <vector>

namespace velomire::transfer {

void Refill(MidiOutPort& port, const std::vector<std::uint8_t>& bytes) {
    for (std::uint8_t b : bytes) {
        port.AppendBytes(b);
    }
}

namespace {

const char* PartName(int part) {
    return part == 1 ? "left channel" : part == 2 ? "right channel" : "mono";
}

} // namespace

ClosedLoop::Answer SendWithHandshake(TransferContext& context,
                                     const std::function<ClosedLoop::Answer()>& await,
                                     int& resends) {
    MidiOutPort& port = context.port;
    const std::vector<std::uint8_t> bytes(port.Bytes().begin(), port.Bytes().end());
    resends = 0;
    if (!port.Send()) {
        return ClosedLoop::Answer::none; // the transfer has ended; the caller sees it on the port
    }
    for (;;) {
        const ClosedLoop::Answer answer = await();
        if (answer != ClosedLoop::Answer::nak || resends == ClosedLoop::maxResends) {
            return answer;
        }
        ++resends;
        Refill(port, bytes);
        if (!port.Send()) {
            return ClosedLoop::Answer::none;
        }
    }
}

std::string SamplePartText(const program::SampleBlock& sample, int part) {
    return "sample#" + std::to_string(sample.samplerSampleNumber[static_cast<std::size_t>(part)]) +
           " (" + program::FieldText(sample.sampleName) + ", " + PartName(part) + ")";
}

void TakeHeaderAnswer(TransferContext& context, ClosedLoop::Answer answer,
                      const program::SampleBlock& sample, int part) {
    ClosedLoop& loop = *context.closedLoop;
    loop.partHandshake = answer == ClosedLoop::Answer::ack;
    switch (answer) {
    case ClosedLoop::Answer::cancel:
        context.stopReason = "The sampler cancelled the transfer.";
        break;
    case ClosedLoop::Answer::nak:
        context.stopReason = "The sampler refused the header of " + SamplePartText(sample, part) +
                             " " + std::to_string(ClosedLoop::maxResends + 1) + " times.";
        break;
    case ClosedLoop::Answer::refused:
        context.stopReason =
            "The sampler refused the header of " + SamplePartText(sample, part) + ".";
        break;
    case ClosedLoop::Answer::held:
        context.stopReason = loop.HeldText();
        break;
    default:
        break;
    }
}

} // namespace velomire::transfer
