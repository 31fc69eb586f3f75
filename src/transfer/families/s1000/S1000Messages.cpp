#include "transfer/families/s1000/S1000Messages.h"

#include "transfer/HandshakeSend.h"
#include "transfer/families/SdsWire.h"
#include "transfer/families/s1000/S1000Blocks.h"
#include "transfer/families/s1000/S1000Wire.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace velomire::transfer {

namespace {

using s1000::waitAfterKeygroupMs;
using s1000::waitAfterProgramHeaderMs;
using s1000::waitAfterSampleHeaderMs;

// F0 47, the exclusive channel, the function and the model byte.
void AppendStart(MidiOutPort& port, const SamplerSettings& settings, std::int16_t function) {
    port.AppendBytes(0xF0, s1000::akaiId,
                     static_cast<std::int16_t>(settings.exclusiveChannel & 0xFF), function);
    port.AppendBytes(s1000::modelByte);
}

// A parameter block as nibbles, low nibble first, then F7.
void AppendBlock(MidiOutPort& port, const std::vector<std::uint8_t>& block) {
    for (std::uint8_t byte : block) {
        port.AppendNibbles(byte, 2);
    }
    port.AppendBytes(0xF7);
}

} // namespace

void S1000Messages::SendS1000SampleHeader(int entry, int part) {
    const program::SampleEntry* found = context.FindEntry(entry, part);
    if (found == nullptr) {
        return;
    }
    const program::SampleBlock& sample = found->sample;
    const SamplerSettings& settings = context.settings;
    MidiOutPort& port = context.port;

    AppendStart(port, settings, s1000::sampleHeaderFunction);
    port.AppendSevenBit(sample.samplerSampleNumber[static_cast<std::size_t>(part)], 2);
    AppendBlock(port, s1000::SampleHeaderBlock(sample, part, settings.samplerModel));
    if (context.closedLoop == nullptr) {
        port.Send();
        port.WaitMilliseconds(waitAfterSampleHeaderMs);
        return;
    }
    // The header makes the sampler act as after a Dump Header (it may first ask to wait while it
    // deletes a sample of the same name); the fixed wait becomes the longest wait for its answer,
    // which may come on the exclusive channel or on the MIDI channel its packets use.
    const int exclusive = settings.exclusiveChannel & 0x7F;
    const int midi = settings.midiChannel & 0x7F;
    port.SetCancelMessage(SdsHandshake(SamplerReply::Kind::cancel, midi, 0));
    int resends = 0;
    const ClosedLoop::Answer answer = SendWithHandshake(
        context,
        [&] {
            return context.closedLoop->AwaitHeader(
                std::chrono::milliseconds(waitAfterSampleHeaderMs), {exclusive, midi});
        },
        resends);
    port.EndIfCancelled();
    port.SetCancelMessage({});
    TakeHeaderAnswer(context, answer, sample, part);
}

void S1000Messages::SendS1000Program() {
    program::Program& program = context.program;
    const program::ProgramHeader& header = program.header;
    const SamplerSettings& settings = context.settings;
    MidiOutPort& port = context.port;
    const int count = std::clamp(program.sampleCount, 0, program::Program::maxSamples);

    AppendStart(port, settings, s1000::programHeaderFunction);
    port.AppendSevenBit(header.programNumber, 2);
    AppendBlock(port, s1000::ProgramHeaderBlock(program, settings.samplerModel));
    port.Send();
    port.WaitMilliseconds(waitAfterProgramHeaderMs);
    if (Refused("program#" + std::to_string(header.programNumber))) {
        return;
    }

    // One keygroup per entry; the zone names are what ties a keygroup to its samples.
    for (int i = 0; i < count; ++i) {
        AppendStart(port, settings, s1000::keygroupFunction);
        port.AppendSevenBit(header.programNumber, 2);
        port.AppendBytes(static_cast<std::int16_t>(i));
        AppendBlock(port, s1000::KeygroupBlock(program, i, settings.samplerModel));
        port.Send();
        port.WaitMilliseconds(waitAfterKeygroupMs);
        if (Refused("keygroup " + std::to_string(i) + " of program#" +
                    std::to_string(header.programNumber))) {
            return;
        }
    }
}

bool S1000Messages::Refused(const std::string& what) {
    // Closed-loop, the answers that came during the wait are read: a refusal stops the send.
    if (context.closedLoop == nullptr) {
        return false;
    }
    const ClosedLoop::Answer answer = context.closedLoop->Drain();
    if (answer == ClosedLoop::Answer::cancel) {
        context.stopReason = "The sampler cancelled the transfer.";
    } else if (answer == ClosedLoop::Answer::refused) {
        context.stopReason = "The sampler refused " + what + ".";
    }
    return context.Stopped();
}

} // namespace velomire::transfer
